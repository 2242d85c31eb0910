// The scale model: initial state, equal temperament, keyboard mapping, dates, conversions.
#include "tun_test_util.h"

#include <gtest/gtest.h>

#include <array>

using namespace TUN;
using tuntest::EqualHz;

TEST(TunScale, NewScaleIsStandardTuning)
{
  CSingleScale s;
  ASSERT_EQ(128u, s.m_vdblNoteFrequenciesHz.size());
  ASSERT_EQ(128u, s.m_vlMapping.size());
  EXPECT_EQ(440.0, s.m_vdblNoteFrequenciesHz[69]);
  EXPECT_NEAR(8.175798915643707, s.m_vdblNoteFrequenciesHz[0], 1e-12);
  EXPECT_NEAR(12543.853951415975, s.m_vdblNoteFrequenciesHz[127], 1e-8);
  for (long n = 0; n < 128; ++n) {
    EXPECT_EQ(n, s.m_vlMapping[n]);
    EXPECT_EQ(n, s.MapMIDI2Scale(n));
  }
  EXPECT_EQ(0, s.m_lMappingLoopSize);
  EXPECT_EQ(69, s.m_lBaseNote);
  EXPECT_EQ(440.0, s.m_dblBaseFreqHz);
  EXPECT_EQ(0, s.m_lFormatVersion);
  EXPECT_TRUE(s.m_strName.empty() && s.m_strDescription.empty() && s.m_strFormat.empty() && s.m_strDate.empty());
  EXPECT_TRUE(s.m_lstFormulas.empty() && s.m_lststrKeywords.empty() && s.m_lstMIDIChannelRanges.empty());
  EXPECT_TRUE(s.m_err.m_strLastError.empty());
  EXPECT_EQ(128, MaxNumOfNotes);
  EXPECT_NEAR(440.0 * std::pow(2.0, -69.0 / 12.0), DefaultBaseFreqHz, 1e-15);
}

TEST(TunScale, NameTablesAreFilledOnce)
{
  CSingleScale a, b;
  const std::vector<std::string> sections = {
      "",        "Scale Begin", "Scale End", "Info", "Editor Specifics", "Tuning", "Exact Tuning", "Functional Tuning",
      "Mapping", "Assignment",  "_DataSet_"};
  EXPECT_EQ(sections, CSingleScale::m_vstrSections);
  ASSERT_EQ(27u, CSingleScale::m_vstrKeys.size());
  EXPECT_EQ("", CSingleScale::m_vstrKeys[0]);
  EXPECT_EQ("Format", CSingleScale::m_vstrKeys[CSingleScale::keyFormat]);
  EXPECT_EQ("Note", CSingleScale::m_vstrKeys[20]);
  EXPECT_EQ("Keyboard", CSingleScale::m_vstrKeys[24]);
  EXPECT_EQ("AllData", CSingleScale::m_vstrKeys[26]);
}

TEST(TunScale, ResetRestoresEverything)
{
  CSingleScale s;
  s.m_strName = "x";
  s.m_lststrKeywords.push_back("k");
  s.m_lFormatVersion = 200;
  s.InitEqual(60, 250.0);
  s.m_vlMapping[3] = 9;
  s.SetMappingLoopSize(12);
  s.SetMIDIChannelsAssignment("3");
  s.m_lLineNo = 42;
  s.Reset();
  EXPECT_TRUE(s.m_strName.empty() && s.m_lststrKeywords.empty() && s.m_lstMIDIChannelRanges.empty());
  EXPECT_EQ(0, s.m_lFormatVersion);
  EXPECT_EQ(3, s.MapMIDI2Scale(3));
  EXPECT_EQ(0, s.m_lMappingLoopSize);
  EXPECT_EQ(69, s.m_lBaseNote);
  for (int n = 0; n < 128; ++n) EXPECT_HZ(EqualHz(n), s.m_vdblNoteFrequenciesHz[n]);
  EXPECT_EQ(42, s.m_lLineNo); // the line number belongs to the last read
}

TEST(TunScale, InitEqual)
{
  CSingleScale s;
  s.m_vlMapping[5] = 7;
  CFormula f;
  f.m_lNoteIndex = 1;
  f.SetFromStr("*2");
  s.AddFormula(f);
  s.InitEqual(0, 8.175798915643707);
  EXPECT_NEAR(440.0, s.m_vdblNoteFrequenciesHz[69], 1e-9);
  EXPECT_TRUE(s.m_lstFormulas.empty());
  EXPECT_EQ(7, s.MapMIDI2Scale(5));

  s.InitEqual(200, 1000.0); // base note outside the table: extrapolated
  EXPECT_HZ(1000.0 * std::pow(2.0, (127 - 200) / 12.0), s.m_vdblNoteFrequenciesHz[127]);
  s.InitEqual(-9000000000000L, 0.0); // never 0 Hz times infinity
  for (double hz : s.m_vdblNoteFrequenciesHz) EXPECT_FALSE(std::isnan(hz));
}

TEST(TunScale, LoopSizeIsKeptInsideTheMapping)
{
  CSingleScale s;
  EXPECT_EQ(0, s.SetMappingLoopSize(-5));
  EXPECT_EQ(12, s.SetMappingLoopSize(12));
  EXPECT_EQ(128, s.SetMappingLoopSize(128));
  EXPECT_EQ(128, s.SetMappingLoopSize(200));
  EXPECT_EQ(128, s.m_lMappingLoopSize);
  for (long n = 0; n < 128; ++n) EXPECT_EQ(n, s.MapMIDI2Scale(n));
  // Even a loop size written straight into the field stays inside the mapping.
  s.m_lMappingLoopSize = 1000000;
  for (long n = 0; n < 128; ++n) EXPECT_EQ(n, s.MapMIDI2Scale(n));
}

TEST(TunScale, MapMIDI2Scale)
{
  struct Case
  {
    long loop;
    long entry, value; // mapping[entry] = value
    long midi, expected;
  } cases[] = {
      {12, 0, 2, 24, 26},
      {12, 0, 13, 120, 127},
      {12, 1, -5, 13, 7},
      {12, 1, -5, 1, 0},
      {0, 60, 62, 60, 62},
      {0, 60, 62, 72, 72},
      {0, 3, 500, 3, 127},
      {5, 2, 4, 7, 9},
      {12, 0, 0, 127, 127},
      {1, 0, 3, 100, 103},
      {12, 0, 9223372036854775807L, 12, 127},
  };
  for (const Case& c : cases) {
    CSingleScale s;
    s.SetMappingLoopSize(c.loop);
    s.m_vlMapping[c.entry] = c.value;
    EXPECT_EQ(c.expected, s.MapMIDI2Scale(c.midi)) << "loop " << c.loop << " note " << c.midi;
  }
  CSingleScale s;
  EXPECT_EQ(0, s.MapMIDI2Scale(-4)); // outside 0..127: the nearest note
  EXPECT_EQ(127, s.MapMIDI2Scale(300));
}

TEST(TunScale, Dates)
{
  CSingleScale s;
  EXPECT_TRUE(s.SetDate(2024, 2, 30));
  EXPECT_EQ("2024-02-30", s.m_strDate);
  EXPECT_TRUE(s.SetDate(5, 0, 0));
  EXPECT_EQ("0005-00-00", s.m_strDate);
  for (auto ymd : {std::array<long, 3>{10000, 1, 1}, {-1, 1, 1}, {2024, 13, 1}, {2024, 1, 32}, {2024, -1, 1}}) {
    EXPECT_FALSE(s.SetDate(ymd[0], ymd[1], ymd[2]));
    EXPECT_EQ("0005-00-00", s.m_strDate);
  }

  EXPECT_FALSE(s.SetDate(std::string("2024-1-05")));
  EXPECT_EQ("Date format mismatch. YYYY-MM-DD expected!", s.m_err.m_strLastError);
  EXPECT_EQ("0005-00-00", s.m_strDate);
  EXPECT_TRUE(s.SetDate(std::string("2024-01-05")));
  EXPECT_EQ("2024-01-05", s.m_strDate);
  EXPECT_TRUE(s.m_err.m_strLastError.empty());

  EXPECT_TRUE(CSingleScale::IsDateFormatOK("2024-13-45"));
  for (const char* bad : {"2024/01/05", "2024-01-5", "24-01-05", "2024-01-051", "2024-0a-05",
                          "2024-\xb9"
                          "1-05",
                          ""})
    EXPECT_FALSE(CSingleScale::IsDateFormatOK(bad)) << bad;
}

TEST(TunScale, NoteIndexAndConversions)
{
  EXPECT_TRUE(CSingleScale::IsNoteIndexOK(0));
  EXPECT_TRUE(CSingleScale::IsNoteIndexOK(127));
  EXPECT_FALSE(CSingleScale::IsNoteIndexOK(128));
  EXPECT_FALSE(CSingleScale::IsNoteIndexOK(-1));

  EXPECT_EQ(MIDINote_DefaultHz(0), MIDINote_DefaultHz(-3));
  EXPECT_NEAR(8.175798915643707, MIDINote_DefaultHz(0), 1e-15);
  EXPECT_EQ(MIDINote_DefaultHz(127), MIDINote_DefaultHz(200));
  EXPECT_NEAR(440.0, MIDINote_DefaultHz(69), 1e-9);
  EXPECT_EQ(6900.0, MIDINote_DefaultCents(69));
  EXPECT_EQ(0.0, MIDINote_DefaultCents(-1));
  EXPECT_EQ(12700.0, MIDINote_DefaultCents(128));

  EXPECT_NEAR(1200.0, Hz2Cents(880, 440), 1e-9);
  EXPECT_NEAR(880.0, Cents2Hz(1200, 440), 1e-9);
  EXPECT_NEAR(701.955000865, Factor2Cents(1.5), 1e-8);
  EXPECT_NEAR(1.5, Cents2Factor(701.955000865387), 1e-12);
}
