// Scala import: .scl scales, .kbm keyboard mappings and the 128-note scale they make.
#include "scala_model.h"
#include "tun_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace TUN;
using tuntest::EqualHz;
using tuntest::Mapping;
using tuntest::RatioCents;
using tuntest::ReadKbm;
using tuntest::ReadScl;
using tuntest::ScalaHz;

namespace {

// Five-limit just intonation, written with cents and ratios mixed.
const char* kJustScl = "! just.scl\n!\nFive-limit just intonation\n 12\n!\n16/15\n9/8\n6/5\n5/4\n4/3\n45/32\n"
                       "701.955\n8/5\n5/3\n9/5\n15/8\n2/1\n";
std::vector<double> JustDegrees()
{
  return {0,
          RatioCents(16, 15),
          RatioCents(9, 8),
          RatioCents(6, 5),
          RatioCents(5, 4),
          RatioCents(4, 3),
          RatioCents(45, 32),
          701.955,
          RatioCents(8, 5),
          RatioCents(5, 3),
          RatioCents(9, 5),
          RatioCents(15, 8),
          1200.0};
}

std::string KbmText(const Mapping& m, const std::vector<std::string>& keys)
{
  std::string t = "! generated\n" + std::to_string(m.size) + "\n" + std::to_string(m.first) + "\n" +
                  std::to_string(m.last) + "\n" + std::to_string(m.middle) + "\n" + std::to_string(m.ref) + "\n" +
                  strx::dtostr(m.refHz) + "\n" + std::to_string(m.octave) + "\n! keys\n";
  for (const std::string& k : keys) t += k + "\n";
  return t;
}

void ExpectFrequencies(CSCL_Import& scala, const std::vector<double>& degrees, const Mapping& m,
                       const std::string& what)
{
  CSingleScale s;
  scala.SetSingleScale(s);
  for (int n = 0; n < 128; ++n) EXPECT_HZ(ScalaHz(degrees, m, n), tuntest::NoteHz(s, n)) << what << " note " << n;
}

} // namespace

TEST(TunScala, Defaults)
{
  CSCL_Import scala;
  EXPECT_EQ("Equal tempered (Default)", scala.m_strScaleName);
  EXPECT_EQ("MIDI (Default)", scala.m_strMappingName);
  EXPECT_EQ(128, scala.m_lScaleSize);
  EXPECT_EQ(0, scala.m_lMapSize); // linear
  EXPECT_EQ(60, scala.m_lMiddleNote);
  EXPECT_EQ(69, scala.m_lRefNote);
  EXPECT_EQ(440.0, scala.m_dblRefFreqHz);
  EXPECT_EQ(1200.0, scala.m_adblScaleCents[12]);
  CSingleScale s;
  s.m_strName = "gone";
  scala.SetSingleScale(s);
  EXPECT_TRUE(s.m_strName.empty());
  for (int n = 0; n < 128; ++n) EXPECT_HZ(EqualHz(n), s.m_vdblNoteFrequenciesHz[n]);
  EXPECT_EQ(127u, s.m_lstFormulas.size());
  EXPECT_EQ(69, s.m_lBaseNote);
  EXPECT_EQ("#=69 %-6900", s.m_lstFormulas.front().GetAsStr());
}

TEST(TunScala, ScaleEntriesInCentsAndRatios)
{
  struct Case
  {
    const char* entry;
    double cents;
  } cases[] = {
      {"3/2", RatioCents(3, 2)},
      {"3 / 2 fifth", RatioCents(3, 2)},
      {"701.955", 701.955},
      {"-100.0", -100.0},
      {"+5.", 5.0},
      {".5", 0.5},
      {"701.955 ! comment", 701.955},
      {"1.5e2.", 150.0},
      {"2/1", 1200.0},
      {"1/2", -1200.0},
      {"0.5/1", 0.5} /* a "." first: cents */,
      {"81/80 syntonic comma", RatioCents(81, 80)},
      // a whole number stands for the ratio n/1; what follows it is a label
      {"2", 1200.0},
      {"+3", RatioCents(3, 1)},
      {"3 2", RatioCents(3, 1)},
      {"5\tfifth harmonic", RatioCents(5, 1)},
  };
  for (const Case& c : cases) {
    CSCL_Import scala;
    ASSERT_TRUE(ReadScl(scala, std::string("desc\n1\n") + c.entry + "\n")) << c.entry << scala.m_err.m_strLastError;
    EXPECT_EQ(1, scala.m_lScaleSize);
    EXPECT_EQ(0.0, scala.m_adblScaleCents[0]);
    EXPECT_NEAR(c.cents, scala.m_adblScaleCents[1], 1e-9) << c.entry;
  }
}

TEST(TunScala, DescriptionAndCount)
{
  CSCL_Import scala;
  ASSERT_TRUE(ReadScl(scala, kJustScl));
  EXPECT_EQ("Five-limit just intonation", scala.m_strScaleName);
  EXPECT_EQ(12, scala.m_lScaleSize);
  const auto degrees = JustDegrees();
  for (int i = 0; i <= 12; ++i) EXPECT_NEAR(degrees[i], scala.m_adblScaleCents[i], 1e-9) << i;
  for (int i = 13; i < 128; ++i) EXPECT_EQ(100.0 * i, scala.m_adblScaleCents[i]) << i;

  // Without a description the digits-only first line is the count; blank lines are skipped.
  ASSERT_TRUE(ReadScl(scala, "! x\n\n\n2\n100.\n2/1\n"));
  EXPECT_EQ("Equal tempered (Default)", scala.m_strScaleName);
  EXPECT_EQ(2, scala.m_lScaleSize);
  ASSERT_TRUE(ReadScl(scala, "desc\r\n12 notes\r\n"
                             "100.\r\n200.\r\n300.\r\n400.\r\n500.\r\n600.\r\n700.\r\n800.\r\n900.\r\n"
                             "1000.\r\n1100.\r\n2/1\r\n"));
  EXPECT_EQ(12, scala.m_lScaleSize);
}

TEST(TunScala, LongLinesAreReadWhole)
{
  CSCL_Import scala;
  const std::string description(50000, 'd');
  ASSERT_TRUE(ReadScl(scala, description + "\n1\n" + std::string(4000, '0') + "3/" + std::string(4000, '0') + "2\n"));
  EXPECT_EQ(description, scala.m_strScaleName);
  EXPECT_NEAR(RatioCents(3, 2), scala.m_adblScaleCents[1], 1e-9);
}

TEST(TunScala, ScaleErrors)
{
  struct Case
  {
    std::string text;
    const char* error;
    long size; // m_lScaleSize afterwards
  } cases[] = {
      {"", "No data in file.", -1},
      {"! only\n! comments\n", "No data in file.", -1},
      {"a description\n! and nothing else\n", "No data in file.", -1},
      {"12\n13\n100.\n", "Less tuning entries found than expected.", 12}, // "12" is the count, 13/1 an entry
      {"d\n0\n", "Scale size not allowed. Must be within [1;127].", -1},
      {"d\n-3\n", "Scale size not allowed. Must be within [1;127].", -1},
      {"d\n128\n", "Scale size not allowed. Must be within [1;127].", -1},
      {"d\nabc\n", "Scale size not allowed. Must be within [1;127].", -1},
      {"d\n1\n2/1\n3/1\n", "End of file expected, but further data found.", 1},
      {"d\n1\n1e3\n", "Unknown operator. '/' expected.", 1},
      {"d\n1\nabc\n", "Unknown operator. '/' expected.", 1},
      {"d\n1\n2x\n", "Unknown operator. '/' expected.", 1},
      {"d\n1\n-\n", "Unknown operator. '/' expected.", 1},
      {"d\n1\n0\n", "Ratio not allowed. Must be greater than 0.", 1},
      {"d\n1\n-2\n", "Ratio not allowed. Must be greater than 0.", 1},
      {"d\n1\n" + std::string(400, '9') + "\n", "Value not allowed. Must be a finite number.", 1},
      {"d\n1\n1/0\n", "Division by zero.", 1},
      {"d\n1\n1/\n", "Division by zero.", 1},
      {"d\n2\n2/1\n", "Less tuning entries found than expected.", 2},
      {"d\n2\n", "Less tuning entries found than expected.", 2},
      // no interval has a ratio of zero or below, nor one that is no finite number
      {"d\n1\n0/1\n", "Ratio not allowed. Must be greater than 0.", 1},
      {"d\n1\n-3/2\n", "Ratio not allowed. Must be greater than 0.", 1},
      {"d\n1\n3/-2\n", "Ratio not allowed. Must be greater than 0.", 1},
      {"d\n1\n/2\n", "Ratio not allowed. Must be greater than 0.", 1},
      {"d\n1\ninf/1\n", "Value not allowed. Must be a finite number.", 1},
      {"d\n1\nnan/1\n", "Value not allowed. Must be a finite number.", 1},
      {"d\n1\n1e300/1e-300\n", "Value not allowed. Must be a finite number.", 1},
      {"d\n1\n1.e999\n", "Value not allowed. Must be a finite number.", 1},
  };
  for (const Case& c : cases) {
    CSCL_Import scala;
    EXPECT_FALSE(ReadScl(scala, c.text)) << c.text;
    EXPECT_EQ(c.error, scala.m_err.m_strLastError) << c.text;
    EXPECT_EQ(c.size, scala.m_lScaleSize) << c.text;
  }
  // Degrees read before a failure replace the old ones; a later success keeps the old error text.
  CSCL_Import scala;
  EXPECT_FALSE(ReadScl(scala, "d\n3\n50.\n3/2\nx\n"));
  EXPECT_EQ(50.0, scala.m_adblScaleCents[1]);
  EXPECT_NEAR(RatioCents(3, 2), scala.m_adblScaleCents[2], 1e-9);
  EXPECT_TRUE(ReadScl(scala, kJustScl));
  EXPECT_EQ("Unknown operator. '/' expected.", scala.m_err.m_strLastError);
}

TEST(TunScala, MappingHeaderAndKeys)
{
  CSCL_Import scala;
  ASSERT_TRUE(ReadKbm(scala, "! map\n7\n10\n100\n50\n57\n261.5\n5\n0\nx\n 2 \n!\nX\n200\n-4\n"));
  EXPECT_EQ(7, scala.m_lMapSize);
  EXPECT_EQ(10, scala.m_lFirstNote);
  EXPECT_EQ(100, scala.m_lLastNote);
  EXPECT_EQ(50, scala.m_lMiddleNote);
  EXPECT_EQ(57, scala.m_lRefNote);
  EXPECT_EQ(261.5, scala.m_dblRefFreqHz);
  EXPECT_EQ(5, scala.m_lFormalOctave);
  const long keys[7] = {0, -1, 2, -1, 127, 0, -1}; // the seventh is missing: unmapped
  for (int i = 0; i < 7; ++i) EXPECT_EQ(keys[i], scala.m_alKeyMapping[i]) << i;

  struct Case
  {
    const char* header;
    long size, first, last, middle, ref;
    double hz;
    long octave;
  } clamps[] = {
      {"0\n0\n127\n0\n69\n440\n12\n", 0, 0, 127, 0, 69, 440, 12}, // linear
      {"-2\n0\n127\n0\n69\n440\n12\n", 1, 0, 127, 0, 69, 440, 12},
      {"500\n-5\n500\n0\n-1\n1e-9\n-3\n", 127, 0, 127, 0, 0, 0.001, 0},
      {"12 keys\n0\n127\n60\n300\n1e9\n200\n", 12, 0, 127, 60, 127, 100000, 127},
      {"1\n0\n1\n126\n0\n0.0002\n0\n", 1, 0, 1, 126, 0, 0.001, 0},
      {"1\n0\n1\n0\n0\ninf\n0\n", 1, 0, 1, 0, 0, 100000, 0},
  };
  for (const Case& c : clamps) {
    CSCL_Import s;
    ASSERT_TRUE(ReadKbm(s, c.header)) << c.header << s.m_err.m_strLastError;
    EXPECT_EQ(c.size, s.m_lMapSize) << c.header;
    EXPECT_EQ(c.first, s.m_lFirstNote) << c.header;
    EXPECT_EQ(c.last, s.m_lLastNote) << c.header;
    EXPECT_EQ(c.middle, s.m_lMiddleNote) << c.header;
    EXPECT_EQ(c.ref, s.m_lRefNote) << c.header;
    EXPECT_EQ(c.hz, s.m_dblRefFreqHz) << c.header;
    EXPECT_EQ(c.octave, s.m_lFormalOctave) << c.header;
    for (long i = 0; i < s.m_lMapSize; ++i) EXPECT_EQ(-1, s.m_alKeyMapping[i]); // no entries: all unmapped
  }
}

TEST(TunScala, MappingErrors)
{
  struct Case
  {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "Premature end of file."},
      {"12\n0\n127\n60\n69\n440\n", "Premature end of file."},
      {"12\n10\n10\n", "Setting out of range."},
      {"12\n20\n10\n", "Setting out of range."},
      {"12\n0\n127\n120\n", "Setting out of range."},
      {"12\n0\n127\n116\n", "Setting out of range."},
      {"12\n0\n127\n60\n69\nnan\n12\n", "Setting out of range."},
      {"12\n0\n127\n60\n69\n0\n12\n", "Setting out of range."}, // no key sounds at 0 Hz or below
      {"12\n0\n127\n60\n69\n-440\n12\n", "Setting out of range."},
      {"2\n0\n127\n60\n69\n440\n12\n0\n1\n5\n", "End of file expected, but additional data found."},
      {"2\n0\n127\n60\n69\n440\n12\n0\n1\n! comment\n\n", ""},
  };
  for (const Case& c : cases) {
    CSCL_Import scala;
    EXPECT_EQ(c.error[0] == '\0', ReadKbm(scala, c.text)) << c.text;
    EXPECT_EQ(c.error, scala.m_err.m_strLastError) << c.text;
  }
  // A failed read keeps what it read before the failure.
  CSCL_Import scala;
  EXPECT_FALSE(ReadKbm(scala, "7\n3\n2\n"));
  EXPECT_EQ(7, scala.m_lMapSize);
  EXPECT_EQ(3, scala.m_lFirstNote);
  EXPECT_EQ(2, scala.m_lLastNote);
  EXPECT_EQ(60, scala.m_lMiddleNote);
}

TEST(TunScala, FrequenciesFromScaleAndMapping)
{
  struct Case
  {
    Mapping m;
    std::vector<std::string> keys;
  };
  Mapping identity60;
  identity60.middle = 60;
  Mapping whiteKeys; // a seven-note scale on the white keys, other keys unmapped
  whiteKeys.middle = 60;
  whiteKeys.octave = 7;
  whiteKeys.keys = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
  Mapping partial; // part of the keyboard, reference off the middle note, missing entries
  partial.size = 7;
  partial.first = 30;
  partial.last = 90;
  partial.middle = 48;
  partial.ref = 50;
  partial.refHz = 300.0;
  partial.octave = 12;
  partial.keys = {0, 2, 4, 5, 7};
  Mapping octaveBeyond = identity60; // formal octave the scale does not have
  octaveBeyond.octave = 20;
  Mapping twoKeys; // two keys per pattern, fifths
  twoKeys.size = 2;
  twoKeys.middle = 60;
  twoKeys.ref = 60;
  twoKeys.refHz = 250.0;
  twoKeys.octave = 7;
  twoKeys.keys = {0, 7};
  Mapping highDegree = identity60; // degrees 12 and 27 lie one and two periods up
  highDegree.keys = {0, 12, 2, 3, 4, 5, 6, 7, 8, 9, 10, 27};
  Mapping linear = tuntest::LinearMapping(); // size 0: key after key, a period per 12 keys
  linear.middle = 62;
  linear.ref = 60;
  linear.refHz = 255.0;
  linear.first = 20;
  linear.last = 110;

  const Case cases[] = {
      {identity60, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}},
      {whiteKeys, {"0", "x", "1", "x", "2", "3", "x", "4", "x", "5", "x", "6"}},
      {partial, {"0", "2", "4", "5", "7"}},
      {octaveBeyond, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}},
      {twoKeys, {"0", "7"}},
      {highDegree, {"0", "12", "2", "3", "4", "5", "6", "7", "8", "9", "10", "27"}},
      {linear, {}},
  };
  for (const Case& c : cases) {
    const std::string kbm = KbmText(c.m, c.keys);
    // Either order of loading gives the same scale.
    CSCL_Import sclFirst;
    ASSERT_TRUE(ReadScl(sclFirst, kJustScl));
    ASSERT_TRUE(ReadKbm(sclFirst, kbm)) << kbm << sclFirst.m_err.m_strLastError;
    ExpectFrequencies(sclFirst, JustDegrees(), c.m, kbm);
    CSCL_Import kbmFirst;
    ASSERT_TRUE(ReadKbm(kbmFirst, kbm));
    ASSERT_TRUE(ReadScl(kbmFirst, kJustScl));
    ExpectFrequencies(kbmFirst, JustDegrees(), c.m, kbm);
  }
}

TEST(TunScala, TwelveNoteOctaveRepeatsEveryTwelveKeys)
{
  CSCL_Import scala;
  ASSERT_TRUE(ReadScl(scala, kJustScl));
  ASSERT_TRUE(ReadKbm(scala, "12\n0\n127\n60\n69\n440\n12\n0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n"));
  CSingleScale s;
  scala.SetSingleScale(s);
  EXPECT_EQ(440.0, s.m_vdblNoteFrequenciesHz[69]);
  const double c4 = 440.0 / (5.0 / 3.0);
  for (int n = 0; n < 128; ++n) {
    const int octave = static_cast<int>(std::floor((n - 60) / 12.0));
    const double ratios[12] = {1,        16. / 15, 9. / 8, 6. / 5, 5. / 4, 4. / 3,
                               45. / 32, 0,        8. / 5, 5. / 3, 9. / 5, 15. / 8};
    const int degree = n - 60 - 12 * octave;
    if (degree == 7) continue; // given in cents
    EXPECT_HZ(c4 * ratios[degree] * std::pow(2.0, octave), s.m_vdblNoteFrequenciesHz[n]) << n;
  }
}

TEST(TunScala, ResetsRestoreTheDefaults)
{
  CSCL_Import scala;
  ASSERT_TRUE(ReadScl(scala, kJustScl));
  ASSERT_TRUE(ReadKbm(scala, "5\n1\n100\n3\n4\n100\n2\n"));
  scala.ResetTuning();
  scala.ResetMapping();
  CSingleScale s;
  scala.SetSingleScale(s);
  for (int n = 0; n < 128; ++n) EXPECT_HZ(EqualHz(n), s.m_vdblNoteFrequenciesHz[n]);
}

TEST(TunScala, FilesByPath)
{
  char dir[] = "/tmp/tun_scala_XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string scl = std::string(dir) + "/just.scl", kbm = std::string(dir) + "/a440.kbm";
  const std::string nodesc = std::string(dir) + "/nodesc.scl";
  std::ofstream(scl, std::ios::binary) << kJustScl;
  std::ofstream(kbm, std::ios::binary) << "12\r\n0\r\n127\r\n60\r\n69\r\n440.0\r\n12\r\n";
  std::ofstream(nodesc, std::ios::binary) << "1\n2/1\n";

  CSCL_Import scala;
  ASSERT_TRUE(scala.ReadSCL(scl.c_str()));
  EXPECT_EQ("Five-limit just intonation", scala.m_strScaleName);
  ASSERT_TRUE(scala.ReadSCL(nodesc.c_str()));
  EXPECT_EQ("nodesc.scl", scala.m_strScaleName);
  ASSERT_TRUE(scala.ReadKBM(kbm.c_str()));
  EXPECT_EQ("a440.kbm", scala.m_strMappingName);

  // A file that cannot be opened changes nothing.
  EXPECT_FALSE(scala.ReadSCL((std::string(dir) + "/missing.scl").c_str()));
  EXPECT_EQ("Error opening the file.", scala.m_err.m_strLastError);
  EXPECT_EQ("nodesc.scl", scala.m_strScaleName);
  EXPECT_EQ(1, scala.m_lScaleSize);
  EXPECT_FALSE(scala.ReadKBM((std::string(dir) + "/missing.kbm").c_str()));
  EXPECT_EQ("a440.kbm", scala.m_strMappingName);
  EXPECT_FALSE(scala.ReadKBM(nullptr));

  // A failed read names the scale after its file.
  const std::string bad = std::string(dir) + "\\odd\\bad.scl";
  std::ofstream(bad, std::ios::binary) << "2\n2/1\n";
  std::ofstream(std::string(dir) + "/only-desc.scl", std::ios::binary) << "x\n";
  EXPECT_FALSE(scala.ReadSCL((std::string(dir) + "/only-desc.scl").c_str()));
  EXPECT_EQ("x", scala.m_strScaleName);
  EXPECT_FALSE(scala.ReadSCL(bad.c_str()));
  EXPECT_EQ("bad.scl", scala.m_strScaleName);

  for (const std::string& f : {scl, kbm, nodesc, bad, std::string(dir) + "/only-desc.scl"}) std::remove(f.c_str());
  rmdir(dir);
}
