// Text and timing helpers of the logging layer.
#include "Log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

TEST(Log, ToLower)
{
  char out[32];
  ToLower(out, "REAPER");
  EXPECT_STREQ(out, "reaper");
  ToLower(out, "");
  EXPECT_STREQ(out, "");
  ToLower(out, "Mixed 1.0-X");
  EXPECT_STREQ(out, "mixed 1.0-x");
  const char high[] = {'A', char(0xC9), 0}; // bytes above 127 pass unchanged in the "C" locale
  ToLower(out, high);
  EXPECT_EQ(std::string(out), std::string("a") + char(0xC9));
}

TEST(Log, IsWhitespace)
{
  for (int c = -128; c < 128; ++c) {
    const bool expected = c == 9 || c == 10 || c == 13 || c == 32;
    EXPECT_EQ(IsWhitespace(char(c)), expected) << c;
  }
}

TEST(Log, TextHelpersAnswerEmpty)
{
  EXPECT_STREQ(VSTOpcodeStr(0), "");
  EXPECT_STREQ(VSTOpcodeStr(-5), "");
  EXPECT_STREQ(AUSelectStr(1), "");
  EXPECT_STREQ(AUPropertyStr(1), "");
  EXPECT_STREQ(AUScopeStr(1), "");
  Trace(TRACELOC, "%d %s", 1, "ignored");
  TRACE;
}

TEST(Log, Timestamps)
{
  WDL_String s("build ");
  CompileTimestamp("Jan  2 2026", "03:04:05", &s);
  EXPECT_STREQ(s.Get(), "build [Jan  2 2026 03:04:05]");
  EXPECT_STREQ(AppendTimestamp("Jan  2 2026", "03:04:05", "v1.0.1"), "v1.0.1 [Jan  2 2026 03:04:05]");
}

// Sets the process time zone for one test and restores it afterwards.
class TimeZone
{
public:
  explicit TimeZone(const char* tz)
  {
    const char* old = std::getenv("TZ");
    mHadOld = old != nullptr;
    if (old) mOld = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~TimeZone()
  {
    if (mHadOld)
      setenv("TZ", mOld.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  bool mHadOld = false;
  std::string mOld;
};

std::time_t Utc(int year, int month, int day, int hour, int minute)
{
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return timegm(&t);
}

TEST(Log, CurrentTimeShowsLocalTimeAndOffsetFromUtc)
{
  const struct
  {
    const char* tz; // POSIX zones count west as positive: "XXX-1" is one hour east
    int year, month, day, hour, minute;
    const char* expected;
  } cases[] = {{"UTC0", 2024, 6, 15, 12, 0, "20240615 12:00 +0000"},
               {"XXX-1", 2024, 6, 15, 12, 0, "20240615 13:00 +0100"},
               {"XXX+0:30", 2024, 6, 15, 12, 0, "20240615 11:30 -0030"},
               {"XXX-5:45", 2024, 6, 15, 20, 0, "20240616 01:45 +0545"}, // next day
               {"XXX+10", 2024, 6, 15, 3, 0, "20240614 17:00 -1000"},    // previous day
               {"XXX-1", 2023, 12, 31, 23, 30, "20240101 00:30 +0100"},  // already in the new year
               {"XXX+1", 2024, 1, 1, 0, 15, "20231231 23:15 -0100"},     // still in the old year
               {"XXX-14", 2024, 12, 31, 12, 0, "20250101 02:00 +1400"}};
  for (const auto& c : cases) {
    TimeZone zone(c.tz);
    EXPECT_STREQ(CurrentTime(Utc(c.year, c.month, c.day, c.hour, c.minute)), c.expected) << c.tz;
  }
}

TEST(Log, CurrentTimeNowHasTheSameShape)
{
  TimeZone zone("XXX-1");
  const std::string text = CurrentTime();
  ASSERT_EQ(text.size(), 20u);
  EXPECT_EQ(text.substr(15), "+0100");
}

TEST(Log, TimerFiresAfterItsPeriod)
{
  Timer timer;
  EXPECT_FALSE(timer.Every(1000.0));
  EXPECT_TRUE(timer.Every(-1.0)); // any elapsed time exceeds a negative period
}

} // namespace
