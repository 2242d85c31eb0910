// Host identification from the host's product string and vendor version.
#include "Hosts.h"
#include "PlugHarness.h"

#include <gtest/gtest.h>

TEST(HostLookup, ProductStringsToHostIds)
{
  struct Case
  {
    const char* product;
    int host;
  };
  const Case cases[] = {
      {"REAPER", 1},
      {"Cubase Pro", 3},
      {"Cubase LE AI Elements", 3},
      {"Ableton Live 11", 9},
      {"reaper and cubase together", 3}, // the earlier key of the list wins
      {"Cakewalk SONAR", 5},
      {"PreSonus Studio One", 26},
      {"Ardour", 28},
      {"Renoise", 29},
      {"OpenMPT", 30},
      {"Pro Tools", 0}, // the key is "protools", without a blank
      {"ProTools", 2},
      {"Digital Performer", 23},
      {"a delivery host", 9}, // "live" anywhere counts
      {"my digital audio workstation", 23},
      {"Fruity Wrapper", 7},
      {"Melodyne", 12},
      {"Adobe Audition", 17},
      {"Image-Line Forte", 15},
      {"Standalone", 24},
      {"vstmanlib scanner", 13},
      {"", 0},
      {"Veltrane vsthost", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(LookUpHost(c.product), c.host) << c.product;
  EXPECT_EQ(LookUpHost(nullptr), 0);
  std::string longName(400, 'x');
  longName += "reaper"; // beyond the 255 characters that are matched
  EXPECT_EQ(LookUpHost(longName.c_str()), 0);
}

TEST(HostLookup, DisplayNames)
{
  struct Case
  {
    int host;
    const char* name;
  };
  const Case cases[] = {{0, "Unknown"},  {1, "Reaper"},     {5, "Sonar"},
                        {6, "Vegas"},    {9, "Live"},       {12, "Unknown"},
                        {19, "Unknown"}, {26, "StudioOne"}, {27, "VST3PluginTestHost"},
                        {30, "OpenMPT"}, {31, "Unknown"},   {-1, "Unknown"},
                        {10, "Unknown"}};
  for (const Case& c : cases) {
    char name[32];
    GetHostNameStr((EHost)c.host, name);
    EXPECT_STREQ(name, c.name) << c.host;
    EXPECT_LE(std::strlen(name), 18u);
  }
}

TEST(HostIdentification, AskedOnceThroughTheHostCallback)
{
  Harness h;
  h.host.productString = "REAPER";
  h.host.vendorVersion = 50203;
  EXPECT_EQ(h.plug->GetHost(), kHostReaper);
  EXPECT_EQ(h.plug->GetHostVersion(false), (5 << 16) | (2 << 8) | 3);
  EXPECT_EQ(h.host.Count(audioMasterGetProductString), 1);
  h.plug->GetHost();
  EXPECT_EQ(h.host.Count(audioMasterGetProductString), 1);
}

TEST(HostIdentification, EmptyProductStringIsUnknownWithoutAskingTheVersion)
{
  Harness h;
  h.host.productString = "";
  EXPECT_EQ(h.plug->GetHost(), kHostUnknown);
  EXPECT_EQ(h.plug->GetHostVersion(false), 0);
  EXPECT_EQ(h.host.Count(audioMasterGetVendorVersion), 0);
  BarePlug noCallback(1, 1, true);
  EXPECT_EQ(noCallback.GetHost(), kHostUnknown);
}

TEST(HostIdentification, StereoLimitForSomeHostsKeepsAStereoLayout)
{
  Harness h;
  h.host.productString = "Adobe Audition";
  h.Dispatch(effOpen);
  EXPECT_EQ(h.plug->GetHost(), kHostAudition);
  EXPECT_EQ(h.effect->numInputs, 2);
  EXPECT_EQ(h.effect->numOutputs, 2);
  EXPECT_TRUE(h.plug->IsInChannelConnected(1));
}
