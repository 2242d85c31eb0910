// Reading .tun files: both format versions, every section, precedence of the tuning
// sections, error texts with their line numbers.
#include "tun_test_util.h"

#include "../support/child_deadline.h"
#include "../support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace TUN;
using tuntest::CentsToFactor;
using tuntest::EqualHz;
using tuntest::NoteHz;
using tuntest::ReadTun;

namespace {

const double kNote0Hz = 8.175798915643707; // note 0 of standard tuning

// A version 200 dataset around the given sections.
std::string V200(const std::string& body)
{
  return "[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n" + body + "[Scale End]\n";
}

void ExpectEqualTemperament(const CSingleScale& s)
{
  for (int n = 0; n < 128; ++n) EXPECT_HZ(EqualHz(n), s.m_vdblNoteFrequenciesHz[n]) << "note " << n;
}

} // namespace

TEST(TunRead, Version100IntegerCents)
{
  CSingleScale s;
  auto r = ReadTun(s, "[Tuning]\nNote 69 = 6900\n");
  EXPECT_EQ(1, r.result);
  EXPECT_EQ("", r.error);
  EXPECT_EQ("AnaMark-TUN", s.m_strFormat);
  EXPECT_EQ(100, s.m_lFormatVersion);
  EXPECT_FALSE(s.m_strFormatSpecs.empty());
  ExpectEqualTemperament(s);
  for (long n = 0; n < 128; ++n) EXPECT_EQ(n, s.MapMIDI2Scale(n));

  r = ReadTun(s, "[Tuning]\nNote 69 = 7000\n");
  EXPECT_EQ(1, r.result);
  EXPECT_NEAR(466.16, s.m_vdblNoteFrequenciesHz[69], 0.005);
  for (int n = 0; n < 128; ++n)
    if (n != 69) {
      EXPECT_HZ(EqualHz(n), s.m_vdblNoteFrequenciesHz[n]);
    }

  // The table is kept as 128 descriptive formulas: note 127 first, each "note 0 plus cents".
  ASSERT_EQ(128u, s.m_lstFormulas.size());
  EXPECT_EQ(127, s.m_lstFormulas.front().m_lNoteIndex);
  EXPECT_EQ(0, s.m_lstFormulas.back().m_lNoteIndex);
  auto it = s.m_lstFormulas.begin();
  std::advance(it, 127 - 69);
  EXPECT_EQ("#=0 %7000", it->GetAsStr());
  EXPECT_EQ(0, s.m_lBaseNote);
  EXPECT_NEAR(kNote0Hz, s.m_dblBaseFreqHz, 1e-15);
}

TEST(TunRead, Version100ExactCents)
{
  CSingleScale s;
  // A just-intonation octave on note 0 = 10 Hz, repeated every 12 notes.
  const double ji[13] = {0,       111.731, 203.910, 315.641,  386.314,  498.045, 590.224,
                         701.955, 813.686, 884.359, 1017.596, 1088.269, 1200.0};
  std::string text = "; comment\n[Exact Tuning]\nBaseFreq = 10\n";
  for (int i = 12; i >= 0; --i) text += "Note " + std::to_string(i) + " = " + strx::dtostr(ji[i]) + "\n";
  ASSERT_EQ(1, ReadTun(s, text).result);
  EXPECT_EQ(100, s.m_lFormatVersion);
  for (int n = 0; n < 128; ++n)
    EXPECT_HZ(10.0 * CentsToFactor(ji[n % 12] + 1200.0 * (n / 12)), s.m_vdblNoteFrequenciesHz[n]) << n;
}

TEST(TunRead, ExactCentsRepeatThePatternUpToTheHighestNote)
{
  struct Case
  {
    const char* body;
    double (*cents)(int n);
  } cases[] = {
      // 0..12 in equal steps: equal temperament everywhere
      {"BaseFreq = 8.175798915643707\nNote 0 = 0\nNote 1 = 100\nNote 2 = 200\nNote 3 = 300\nNote 4 = 400\n"
       "Note 5 = 500\nNote 6 = 600\nNote 7 = 700\nNote 8 = 800\nNote 9 = 900\nNote 10 = 1000\nNote 11 = 1100\n"
       "Note 12 = 1200\n",
       [](int n) { return 100.0 * n; }},
      // h = 0: every note is a repetition, note 0 itself included
      {"Note 0 = 10\n", [](int n) { return 100.0 * n + 10.0 + (n == 0 ? 10.0 : 0.0); }},
      // a three-note pattern with a 250-cent period; notes below h keep 100 * n
      {"Note 3 = 250\nNote 1 = 80\n",
       [](int n) {
         return (n % 3 == 0 ? 0.0 : n % 3 == 1 ? 80.0 : 200.0) + 250.0 * (n / 3);
       }},
      // h = 127: nothing to extend
      {"Note 127 = 5\n", [](int n) { return n == 127 ? 5.0 : 100.0 * n; }},
      // no note at all
      {"BaseFreq = 8.175798915643707\n", [](int n) { return 100.0 * n; }},
  };
  for (const Case& c : cases) {
    CSingleScale s;
    ASSERT_EQ(1, ReadTun(s, V200(std::string("[Exact Tuning]\n") + c.body)).result) << c.body;
    for (int n = 0; n < 128; ++n)
      EXPECT_HZ(kNote0Hz * CentsToFactor(c.cents(n)), s.m_vdblNoteFrequenciesHz[n]) << c.body << " note " << n;
  }
}

TEST(TunRead, Version200WithEverySection)
{
  const std::string text = ";\n; a complete file\n;\n"
                           "garbage before the first section\n"
                           "[Scale Begin]\n"
                           "Format = \"AnaMark-TUN\"\n"
                           "FormatVersion = 200\n"
                           "FormatSpecs = \"specs\"\n"
                           "[Info]\n"
                           "Name = \"Name \\\"1\\\"\"\nID = \"id\"\nFilename = \"f.tun\"\nAuthor = \"author\"\n"
                           "Location = \"loc\"\nContact = \"contact\"\nDate = \"2024-05-06\"\nEditor = \"ed\"\n"
                           "EditorSpecs = \"es\"\nDescription = \"desc\"\nKeyword = \"k1\"\nKeyword = \"\"\n"
                           "Keyword = \"k2\"\nHistory = \"hist\"\nGeography = \"geo\"\nInstrument = \"inst\"\n"
                           "Composition = \"Band|Album|Title|1999|misc\"\nComposition = \"\"\nComments = \"c\\tc\"\n"
                           "Unknown = 5\nNote 3 = \"ignored here\"\n"
                           "[Editor Specifics]\nanything = goes\n5 = 3\n!!\n"
                           "[Assignment]\nMIDIChannel = \"1-4, 10\"\n"
                           "[Mapping]\nLoopSize = 12\nKeyboard 0 = 2\nKeyboard 1 = 1\nKeyboard 11 = 9\n"
                           "[Functional Tuning]\n"
                           "Note 0 = \"!1000\"\n" // dropped by the InitEqual below
                           "InitEqual = (60, 250)\n"
                           "Note 61 = \"#=60 *3 /2\"\n"
                           "Note 62 = \"#>-1 %50 ~3\"\n"
                           "AllData = 1\n"
                           "[Some Section Of The Future]\nwhatever = 1\n"
                           "[Scale End]\n"
                           "this line is never read\n[_DataSet_]\n";
  CSingleScale s;
  const auto r = ReadTun(s, text);
  ASSERT_EQ(1, r.result) << r.error << " line " << r.line;
  EXPECT_EQ("", r.error);
  EXPECT_EQ("AnaMark-TUN", s.m_strFormat);
  EXPECT_EQ(200, s.m_lFormatVersion);
  EXPECT_EQ("specs", s.m_strFormatSpecs);
  EXPECT_EQ("Name \"1\"", s.m_strName);
  EXPECT_EQ("id", s.m_strID);
  EXPECT_EQ("f.tun", s.m_strFilename);
  EXPECT_EQ("author", s.m_strAuthor);
  EXPECT_EQ("loc", s.m_strLocation);
  EXPECT_EQ("contact", s.m_strContact);
  EXPECT_EQ("2024-05-06", s.m_strDate);
  EXPECT_EQ("ed", s.m_strEditor);
  EXPECT_EQ("es", s.m_strEditorSpecs);
  EXPECT_EQ("desc", s.m_strDescription);
  EXPECT_EQ((std::list<std::string>{"k1", "k2"}), s.m_lststrKeywords);
  EXPECT_EQ("hist", s.m_strHistory);
  EXPECT_EQ("geo", s.m_strGeography);
  EXPECT_EQ("inst", s.m_strInstrument);
  EXPECT_EQ((std::list<std::string>{"Band|Album|Title|1999|misc"}), s.m_lststrCompositions);
  EXPECT_EQ("c\tc", s.m_strComments);
  EXPECT_EQ("1-4,10", s.GetMIDIChannelsAssignment());
  EXPECT_TRUE(s.AppliesToChannel(10));
  EXPECT_FALSE(s.AppliesToChannel(5));

  // Frequencies: equal temperament with note 60 at 250 Hz, then the two formulas.
  auto et = [](double n) { return 250.0 * std::pow(2.0, (n - 60) / 12.0); };
  for (int n = 0; n < 128; ++n) {
    double expected = et(n);
    if (n == 61) expected = 375.0;
    if (n >= 62 && n <= 64) expected = 375.0 * CentsToFactor(50.0 * (n - 61));
    EXPECT_HZ(expected, s.m_vdblNoteFrequenciesHz[n]) << n;
  }
  EXPECT_EQ(60, s.m_lBaseNote);
  EXPECT_EQ(250.0, s.m_dblBaseFreqHz);
  EXPECT_EQ(2u, s.m_lstFormulas.size());

  // The mapping repeats every 12 keys, each loop 12 scale notes higher.
  EXPECT_EQ(12, s.m_lMappingLoopSize);
  EXPECT_EQ(2, s.MapMIDI2Scale(0));
  EXPECT_EQ(1, s.MapMIDI2Scale(1));
  EXPECT_EQ(62, s.MapMIDI2Scale(60));
  EXPECT_EQ(69, s.MapMIDI2Scale(71));
  EXPECT_EQ(65, s.MapMIDI2Scale(65));
  EXPECT_HZ(s.m_vdblNoteFrequenciesHz[62], NoteHz(s, 60));
}

TEST(TunRead, MappingSurvivesOnlyWithFunctionalTuning)
{
  const char* sections[] = {"[Tuning]\nNote 1 = 100\n", "[Exact Tuning]\nNote 1 = 100\n",
                            "[Functional Tuning]\nNote 1 = \"\"\n"};
  for (int i = 0; i < 3; ++i) {
    CSingleScale s;
    ASSERT_EQ(1, ReadTun(s, V200(std::string("[Mapping]\nKeyboard 60 = 62\nLoopSize = 0\n") + sections[i])).result);
    EXPECT_EQ(i == 2 ? 62 : 60, s.MapMIDI2Scale(60)) << sections[i];
  }
}

TEST(TunRead, TuningSectionPrecedence)
{
  // Functional beats exact beats integer cents, whatever their order in the file. A section
  // ranked below one already met is skipped unread, so its bad lines do not matter.
  const std::string tuning = "[Tuning]\nNote 69 = 7000\n";
  const std::string badTuning = "[Tuning]\nNote 69 = 12.5\nnot a key line\n";
  const std::string exact = "[Exact Tuning]\nNote 127 = 12700\nNote 69 = 6950\n";
  const std::string badExact = "[Exact Tuning]\nNote 69 = x\n";
  const std::string functional = "[Functional Tuning]\nNote 69 = \"*2\"\n";
  struct Case
  {
    std::string body;
    long result;
    double note69; // Hz, when the read succeeds
  } cases[] = {
      {tuning + exact, 1, 440.0 * CentsToFactor(50)},
      {exact + tuning, 1, 440.0 * CentsToFactor(50)},
      {exact + badTuning, 1, 440.0 * CentsToFactor(50)},
      {badTuning + exact, -1, 0},
      {functional + exact, 1, 880.0},
      {functional + badExact + badTuning, 1, 880.0},
      {exact + functional, 1, 880.0},
      {tuning + functional + tuning, 1, 880.0},
  };
  for (const Case& c : cases) {
    CSingleScale s;
    const auto r = ReadTun(s, V200(c.body));
    EXPECT_EQ(c.result, r.result) << c.body;
    if (c.result == 1) {
      EXPECT_HZ(c.note69, s.m_vdblNoteFrequenciesHz[69]) << c.body;
    }
  }
}

TEST(TunRead, TwoSectionsOfOneKindMergeAndTheLaterLineWins)
{
  // A second section of the kind already met is read on into the same data: a note it gives
  // again takes the later value, a note only the first gave keeps that one.
  struct Case
  {
    std::string body;
    double note69, note70, note71; // Hz
  } cases[] = {
      {"[Tuning]\nNote 69 = 7000\nNote 70 = 7050\n[Tuning]\nNote 69 = 6930\nNote 71 = 7120\n",
       440.0 * CentsToFactor(30), EqualHz(70.5), EqualHz(71.2)},
      {"[Exact Tuning]\nBaseFreq = 10\nNote 69 = 7000.5\nNote 70 = 7050\n[Exact Tuning]\nBaseFreq = 9\n"
       "Note 69 = 6930.25\nNote 127 = 12700\n",
       9.0 * CentsToFactor(6930.25), 9.0 * CentsToFactor(7050), 9.0 * CentsToFactor(7100)},
      {"[Functional Tuning]\nNote 69 = \"*2\"\nNote 70 = \"#=69\"\n[Functional Tuning]\nNote 69 = \"*1.5\"\n"
       "Note 71 = \"#=69 /2\"\n",
       1320.0, 880.0, 660.0},
  };
  for (const Case& c : cases) {
    CSingleScale s;
    const auto r = ReadTun(s, V200(c.body));
    ASSERT_EQ(1, r.result) << c.body << r.error;
    EXPECT_HZ(c.note69, s.m_vdblNoteFrequenciesHz[69]) << c.body;
    EXPECT_HZ(c.note70, s.m_vdblNoteFrequenciesHz[70]) << c.body;
    EXPECT_HZ(c.note71, s.m_vdblNoteFrequenciesHz[71]) << c.body;
  }
}

TEST(TunRead, ValuesWhoseFrequencyIsNoFiniteNumberAreRefused)
{
  // Each fails at its line with the error of a bad value and leaves the table as a failed read
  // leaves it: equal temperament, or what an earlier InitEqual made of it.
  const std::string head = "[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n"; // lines 0..2
  const char* kFloat = "Value type mismatch. Float expected!";
  const char* kInteger = "Value type mismatch. Integer expected!";
  struct Case
  {
    std::string text;
    const char* error;
    long line;
    double note69; // Hz left in the table
  } cases[] = {
      {head + "[Exact Tuning]\nNote 5 = 1e300\n[Scale End]\n", kFloat, 4, 440.0},
      {"[Exact Tuning]\nNote 5 = 1e300\n", kFloat, 1, 440.0},
      {head + "[Exact Tuning]\nNote 5 = 1300000\nBaseFreq = 1e-300\n", kFloat, 4, 440.0},
      {head + "[Exact Tuning]\nNote 127 = 1e5\nBaseFreq = 1e300\n", kFloat, 5, 440.0},
      {head + "[Exact Tuning]\nBaseFreq = 1e308\n", kFloat, 4, 440.0},
      // note 1 as the pattern's period: note 127 lies 127 periods up, beyond every finite frequency
      {head + "[Exact Tuning]\nNote 1 = 1e5\n[Scale End]\n", kFloat, 5, 440.0},
      {head + "[Tuning]\nNote 5 = 99999999999999999999999\n", kInteger, 4, 440.0},
      {"[Tuning]\nNote 1 = 100\nNote 5 = 9223372036854775807\n", kInteger, 2, 440.0},
      {head + "[Functional Tuning]\nInitEqual = (-99999999999999999999, 440)\n", kInteger, 4, 440.0},
      {head + "[Functional Tuning]\nInitEqual = (60, 250)\nInitEqual = (-99999999999999999999, 440)\n", kInteger, 5,
       250.0 * std::pow(2.0, 9.0 / 12.0)},
      {head + "[Functional Tuning]\nInitEqual = (69, 1e308)\n", kFloat, 4, 440.0},
  };
  for (const Case& c : cases) {
    CSingleScale s;
    const auto r = ReadTun(s, c.text);
    EXPECT_EQ(-1, r.result) << c.text;
    EXPECT_EQ(c.error, r.error) << c.text;
    EXPECT_EQ(c.line, r.line) << c.text;
    EXPECT_HZ(c.note69, s.m_vdblNoteFrequenciesHz[69]) << c.text;
    for (double hz : s.m_vdblNoteFrequenciesHz) EXPECT_TRUE(std::isfinite(hz)) << c.text;
  }
  // Just inside the limits the values are taken.
  CSingleScale s;
  ASSERT_EQ(1, ReadTun(s, "[Exact Tuning]\nNote 127 = 1e5\n").result);
  EXPECT_HZ(kNote0Hz * CentsToFactor(1e5), s.m_vdblNoteFrequenciesHz[127]);
  ASSERT_EQ(1, ReadTun(s, V200("[Functional Tuning]\nInitEqual = (10000, 440)\n")).result);
  EXPECT_HZ(440.0 * std::pow(2.0, (127 - 10000) / 12.0), s.m_vdblNoteFrequenciesHz[127]);
}

TEST(TunRead, KeysAndSectionsMatchInAnyCaseAndWithBlanks)
{
  CSingleScale s;
  ASSERT_EQ(1, ReadTun(s, "[ tuning ]\n  NOTE 5 = 500\nnote6=600\n\tNoTe  7   =   710\n").result);
  EXPECT_HZ(EqualHz(7.1), s.m_vdblNoteFrequenciesHz[7]);
  ASSERT_EQ(1, ReadTun(s, "[ exact tuning ]\nnote 5 = 510\nbasefreq = 10\n").result);
  EXPECT_HZ(10.0 * CentsToFactor(510), s.m_vdblNoteFrequenciesHz[5]);
}

TEST(TunRead, UnknownKeysAreIgnored)
{
  CSingleScale s;
  const auto r = ReadTun(s, "5 = 100 before any section\n[Tuning]\nNote 128 = 5\nNote = 5\nFoo = 1\nNote -1 = 3\n"
                            "Notes = 300\nBaseFreq = 1\n");
  ASSERT_EQ(1, r.result);
  // "Notes" names note 0 (a number that cannot be read is 0).
  EXPECT_HZ(EqualHz(3), s.m_vdblNoteFrequenciesHz[0]);
  for (int n = 1; n < 128; ++n) EXPECT_HZ(EqualHz(n), s.m_vdblNoteFrequenciesHz[n]);
}

TEST(TunRead, FindSectionAndKey)
{
  EXPECT_EQ(CSingleScale::secExactTuning, CSingleScale::FindSection("exact tuning"));
  EXPECT_EQ(CSingleScale::secDataSet, CSingleScale::FindSection("_dataset_"));
  EXPECT_EQ(0, CSingleScale::FindSection(""));
  EXPECT_EQ(0, CSingleScale::FindSection("Exact Tuning")); // the caller lower-cases
  struct Case
  {
    const char* key;
    long result, note;
  } cases[] = {
      {"note 69", CSingleScale::keyNote, 69},
      {"note69", CSingleScale::keyNote, 69},
      {"notes", CSingleScale::keyNote, 0},
      {"note 128", 0, -1},
      {"note -1", 0, -1},
      {"note", 0, -1},
      {"names", 0, -1},
      {"keyboard 127", CSingleScale::keyKeyboard, 127},
      {"keyword", CSingleScale::keyKeyword, -1},
      {"formatversion", CSingleScale::keyFormatVersion, -1},
      {"alldata", CSingleScale::keyAllData, -1},
      {"", 0, -1},
  };
  for (const Case& c : cases) {
    long note = -1;
    EXPECT_EQ(c.result, CSingleScale::FindKey(c.key, note)) << c.key;
    if (c.note >= 0) {
      EXPECT_EQ(c.note, note) << c.key;
    }
  }
}

TEST(TunRead, ErrorTextsWithLineNumbers)
{
  const std::string head = "[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n"; // lines 0..2
  struct Case
  {
    std::string text;
    long result;
    const char* error;
    long line;
  } cases[] = {
      {"[Info]\n", -1, "Section not version compliant.", 0},
      {"[Tuning]\n[Scale End]\n", -1, "Section not version compliant.", 1},
      {"; c\n[Exact Tuning]\n[Mapping]\n", -1, "Section not version compliant.", 2},
      {"[Scale Begin]\n[Tuning]\n", -1, "Section not version compliant.", 1},
      {"[Scale Begin]\nFormatVersion = 99\n[Exact Tuning]\n", -1, "Section not version compliant.", 2},
      {head + "[_DataSet_]\n", -1, "Section not version compliant.", 3},
      {"[_DataSet_]\n", -1, "Section not version compliant.", 0},
      {head + "[Tuning]\nNote 1 = 100\n5 = 100\n", -1, "Syntax error", 5},
      {head + "[Tuning]\nNote 5 500\n", -1, "Syntax error", 4},
      {head + "[Info]\nName = abc\n", -1, "Value type mismatch. String expected!", 4},
      {head + "[Info]\nName = \"abc\n", -1, "Value type mismatch. String expected!", 4},
      {head + "[Tuning]\nNote 5 = 12.5\n", -1, "Value type mismatch. Integer expected!", 4},
      {head + "[Tuning]\nNote 5 =\n", -1, "Value type mismatch. Integer expected!", 4},
      {"[Scale Begin]\nFormatVersion = 2e2\n", -1, "Value type mismatch. Integer expected!", 1},
      {head + "[Mapping]\nKeyboard 3 = x\n", -1, "Value type mismatch. Integer expected!", 4},
      {head + "[Mapping]\nLoopSize = 1.5\n", -1, "Value type mismatch. Integer expected!", 4},
      {head + "[Exact Tuning]\nNote 5 = abc\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Exact Tuning]\nBaseFreq = 8 Hz\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Exact Tuning]\nBaseFreq = nan\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Exact Tuning]\nNote 1 = inf\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Exact Tuning]\nNote 1 = -INFINITY\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Exact Tuning]\nBaseFreq = 1e999\n", -1, "Value type mismatch. Float expected!", 4},
      // No note sounds at 0 Hz or below.
      {head + "[Exact Tuning]\nBaseFreq = 0\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Exact Tuning]\nNote 1 = 100\nBaseFreq = -8\n", -1, "Value type mismatch. Float expected!", 5},
      {head + "[Functional Tuning]\nInitEqual = (69, 0)\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Functional Tuning]\nInitEqual = (69, -440)\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Functional Tuning]\nInitEqual = (69,)\n", -1, "Value type mismatch. Float expected!", 4},
      {"[Exact Tuning]\nNote 2 = NaN\n", -1, "Value type mismatch. Float expected!", 1},
      {head + "[Functional Tuning]\nInitEqual = (69, nan)\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Functional Tuning]\nInitEqual = (69, -inf)\n", -1, "Value type mismatch. Float expected!", 4},
      {head + "[Functional Tuning]\nNote 5 = #=3\n", -1, "Value type mismatch. String expected!", 4},
      {head + "[Functional Tuning]\nInitEqual = 69, 440\n", -1,
       "Value type mismatch. Function parameter block expected!", 4},
      {head + "[Functional Tuning]\nInitEqual = (69, 440\n", -1,
       "Value type mismatch. Function parameter block expected!", 4},
      {"[Scale Begin]\nFormat = \"anamark-tun\"\n", -1, "Format not supported.", 1},
      {"[Scale Begin]\nFormat = AnaMark-TUN\n", -1, "Value type mismatch. String expected!", 1},
      {head + "[Functional Tuning]\nInitEqual = (69 440)\n", -1, "Coma after parameter 1 missing!", 4},
      {head + "[Functional Tuning]\nInitEqual = (69)\n", -1, "Coma after parameter 1 missing!", 4},
      {head + "[Functional Tuning]\nInitEqual = (69, 440 x)\n", -1, "No more data expected after parameter 2!", 4},
      {head + "[Functional Tuning]\nNote 5 = \"5\"\n", -1,
       "Formula syntax error or parameter refers to invalid note index!", 4},
      {head + "[Functional Tuning]\nNote 5 = \"#=128\"\n", -1,
       "Formula syntax error or parameter refers to invalid note index!", 4},
      {head + "[Functional Tuning]\nNote 120 = \"#>1 ~8\"\n", -1,
       "Formula syntax error or parameter refers to invalid note index!", 4},
      {head + "[Functional Tuning]\nNote 5 = \"!nan\"\n", -1,
       "Formula syntax error or parameter refers to invalid note index!", 4},
      {head + "[Functional Tuning]\nNote 5 = \"*inf\"\n", -1,
       "Formula syntax error or parameter refers to invalid note index!", 4},
      {head + "[Functional Tuning]\nNote 5 = \"#0\"\nNote 5 = \"!440\"\n", -1,
       "Formula syntax error or parameter refers to invalid note index!", 5},
      {head + "[Info]\nDate = \"2024-1-05\"\n", -1, "Date format mismatch. YYYY-MM-DD expected!", 4},
      {head + "[Info]\nComposition = \"a|b|c|d\"\n", -1,
       "Composition format mismatch. \"Musician or Band|Album|Title|Year|Misc\" expected!", 4},
      {head + "[Info]\nComposition = \"a|b|c|d|e|f\"\n", -1,
       "Composition format mismatch. \"Musician or Band|Album|Title|Year|Misc\" expected!", 4},
      {head + "[Assignment]\nMIDIChannel = \"0\"\n", -1,
       "Error in MIDI channel range: syntax error or values exceed the range 1-65535!", 4},
      {head + "[Assignment]\nMIDIChannel = \"1-16, 17-65536\"\n", -1,
       "Error in MIDI channel range: syntax error or values exceed the range 1-65535!", 4},
      {head + "[Tuning]\nNote 1 = 100\n\n", -1, "[Scale End] missing at file end or read error.", 5},
      {head + "[Tuning]\nNote 1 = 100", -1, "[Scale End] missing at file end or read error.", 3},
      {"", 0, "No scale dataset found", 0},
      {"; only comments\n\n; and key lines\nNote 1 = 5\n", 0, "No scale dataset found", 3},
      {head + "[Info]\n[Scale End]\n", -1, "No tuning data found!", 4},
      {"[Some Section]\nx = 1\n", -1, "No tuning data found!", 1},
  };
  for (const Case& c : cases) {
    CSingleScale s;
    const auto r = ReadTun(s, c.text);
    EXPECT_EQ(c.result, r.result) << c.text;
    EXPECT_EQ(c.error, r.error) << c.text;
    EXPECT_EQ(c.line, r.line) << c.text;
  }
}

TEST(TunRead, LineEndsOfEveryKind)
{
  const std::string lf = "[Scale Begin]\nFormatVersion = 200\n\n[Tuning]\nNote 1 = x\n";
  for (const char* end : {"\n", "\r\n", "\r"}) {
    std::string text;
    for (char c : lf) text += c == '\n' ? std::string(end) : std::string(1, c);
    CSingleScale s;
    const auto r = ReadTun(s, text);
    EXPECT_EQ(-1, r.result);
    EXPECT_EQ("Value type mismatch. Integer expected!", r.error);
    EXPECT_EQ(4, r.line) << "line end " << (end[0] == '\r' ? (end[1] ? "CR LF" : "CR") : "LF");
  }
  // The first line's terminator decides: a later CR inside an LF file is no line end of its own.
  CSingleScale s;
  const auto r = ReadTun(s, "[Tuning]\nNote 1 = 100\rNote 2 = x\n");
  EXPECT_EQ("Value type mismatch. Integer expected!", r.error);
  EXPECT_EQ(1, r.line);
}

TEST(TunRead, FailedReadKeepsWhatCameBefore)
{
  CSingleScale s;
  auto r = ReadTun(s, V200("[Info]\nAuthor = \"me\"\nName = abc\n"));
  EXPECT_EQ(-1, r.result);
  EXPECT_EQ("abc", s.m_strName); // the raw value text
  EXPECT_EQ("me", s.m_strAuthor);

  r = ReadTun(s, V200("[Tuning]\nNote 69 = 7000\n[Mapping]\nKeyboard 5 = 9\nLoopSize = 12\n"
                      "[Functional Tuning]\nNote 70 = \"#440\"\nNote 71 = \"x\"\n"));
  EXPECT_EQ(-1, r.result);
  EXPECT_EQ(440.0, s.m_vdblNoteFrequenciesHz[70]); // formulas already added stay
  EXPECT_HZ(440.0, s.m_vdblNoteFrequenciesHz[69]); // [Tuning] data are applied only at the end
  EXPECT_EQ(9, s.m_vlMapping[5]);
  EXPECT_EQ(12, s.m_lMappingLoopSize);

  r = ReadTun(s, V200("[Mapping]\nKeyboard 7 = 12abc\n"));
  EXPECT_EQ(-1, r.result);
  EXPECT_EQ(12, s.m_vlMapping[7]); // the leading number

  // A new read starts from scratch.
  r = ReadTun(s, "[Tuning]\n");
  EXPECT_EQ(1, r.result);
  EXPECT_TRUE(s.m_strName.empty());
  EXPECT_EQ(5, s.MapMIDI2Scale(5));
}

TEST(TunRead, FunctionalTuning)
{
  struct Case
  {
    const char* body;
    double (*hz)(int n);
  } cases[] = {
      {"InitEqual = (69, 440)\n", [](int n) { return EqualHz(n); }},
      {"InitEqual = ( 60 , 261.6255653005986 )\n", [](int n) { return EqualHz(n); }},
      {"InitEqual = (, 440)\n", [](int n) { return 440.0 * std::pow(2.0, n / 12.0); }},
      {"Note 69 = \"!880\"\n", [](int n) { return 2 * EqualHz(n); }},
      {"Note 60 = \"#>-1 %100 ~12\"\n", [](int n) { return EqualHz(n); }},
      {"Note 60 = \"#=69\"\nNote 61 = \"#=60 *2\"\n",
       [](int n) { return n == 60   ? 440.0
                          : n == 61 ? 880.0
                                    : EqualHz(n); }},
      // file order: the second formula sees the first one's result
      {"Note 61 = \"#=60 *2\"\nNote 60 = \"#=69\"\n",
       [](int n) { return n == 60   ? 440.0
                          : n == 61 ? 2 * EqualHz(60)
                                    : EqualHz(n); }},
      {"Note 60 = \"#=69\"\nInitEqual = (69, 440)\n", [](int n) { return EqualHz(n); }},
      {"Note 0 = \"#>0 %-100 ~-999\"\n", [](int n) { return n == 0 ? EqualHz(-1) : EqualHz(n); }},
  };
  for (const Case& c : cases) {
    CSingleScale s;
    const auto r = ReadTun(s, V200(std::string("[Functional Tuning]\n") + c.body));
    ASSERT_EQ(1, r.result) << c.body << r.error;
    for (int n = 0; n < 128; ++n) EXPECT_HZ(c.hz(n), s.m_vdblNoteFrequenciesHz[n]) << c.body << " note " << n;
  }
}

TEST(TunRead, LoopSizeAboveTheTableIsClamped)
{
  struct Case
  {
    const char* value;
    long stored;
  } cases[] = {{"12", 12}, {"128", 128}, {"129", 128}, {"100000", 128}, {"9223372036854775807", 128},
               {"0", 0},   {"-5", -5}};
  for (const Case& c : cases) {
    CSingleScale s;
    ASSERT_EQ(
        1, ReadTun(s, V200(std::string("[Mapping]\nLoopSize = ") + c.value + "\nKeyboard 0 = 3\n[Functional Tuning]\n"))
               .result);
    EXPECT_EQ(c.stored, s.m_lMappingLoopSize) << c.value;
    for (long n = 0; n < 128; ++n) {
      const long m = s.MapMIDI2Scale(n);
      EXPECT_TRUE(m >= 0 && m < 128);
    }
    EXPECT_EQ(c.stored >= 1 && c.stored <= 12 ? 15 : 12, s.MapMIDI2Scale(12)) << c.value;
  }
}

TEST(TunRead, NoFrequencyIsEverNotANumber)
{
  // Finite text that drives frequencies to overflow must not produce "not a number" (a
  // pitch search on it would never end).
  const char* bodies[] = {
      "[Exact Tuning]\nBaseFreq = 1e-300\nNote 0 = 1e300\n",
      "[Exact Tuning]\nBaseFreq = 1e308\nNote 1 = 1e6\nNote 0 = -1e300\n",
      "[Tuning]\nNote 5 = 9223372036854775807\nNote 6 = -9223372036854775807\n",
      "[Functional Tuning]\nInitEqual = (-9000000000000000000, 1e-300)\n",
      "[Functional Tuning]\nInitEqual = (-9000000000000000000, 1e308)\nNote 3 = \"*0\"\n",
  };
  for (const char* body : bodies) {
    CSingleScale s;
    ReadTun(s, V200(body));
    for (double hz : s.m_vdblNoteFrequenciesHz) EXPECT_FALSE(std::isnan(hz)) << body;
  }
}

TEST(TunRead, LongLinesAreReadWhole)
{
  const std::string name(100000, 'n');
  CSingleScale s;
  const auto r = ReadTun(s, V200("[Info]\nName = \"" + name + "\"\nComments = \"" + std::string(3000, '\\') +
                                 "\"\n[Tuning]\nNote 1 = " + std::string(5000, '0') + "150\n"));
  ASSERT_EQ(1, r.result) << r.error;
  EXPECT_EQ(name, s.m_strName);
  EXPECT_EQ(std::string(1500, '\\'), s.m_strComments);
  EXPECT_HZ(EqualHz(1.5), s.m_vdblNoteFrequenciesHz[1]);
}

TEST(TunRead, FromFile)
{
  char path[] = "/tmp/tun_read_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream out(path, std::ios::binary);
    out << "[Tuning]\r\nNote 69 = 7000\r\n";
  }
  CSingleScale s;
  EXPECT_EQ(1, s.Read(path));
  EXPECT_NEAR(466.16, s.m_vdblNoteFrequenciesHz[69], 0.005);
  std::remove(path);

  s.m_strName = "kept";
  EXPECT_EQ(0, s.Read(path));
  EXPECT_EQ("Error opening the file.", s.m_err.m_strLastError);
  EXPECT_EQ("kept", s.m_strName); // nothing else changed
  EXPECT_EQ(0, s.Read(static_cast<const char*>(nullptr)));
  EXPECT_EQ(0, s.Read("/"));
  EXPECT_EQ("Not a regular file.", s.m_err.m_strLastError);
}

TEST(TunRead, OnlyRegularFilesUpToOneMebibyteAreRead)
{
  TempDir dir;
  const std::string fifo = dir.path("x.tun"), big = dir.write("big.tun", "[Tuning]\nNote 69 = 7000\n");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  ASSERT_EQ(0, truncate(big.c_str(), (1 << 20) + 1)); // sparse, refused from its size
  for (const std::string& p : {fifo, std::string("/dev/zero"), big}) {
    const std::string e = p == big ? "File too large. Must be at most 1 MiB." : "Not a regular file.";
    CSingleScale s;
    CSCL_Import a, b; // a bit for each reader that refused the file with the text:
    EXPECT_EQ(7, inChildWithin30s([&] {
                return (!s.Read(p.c_str()) && s.m_err.m_strLastError == e) |
                       (!a.ReadSCL(p.c_str()) && a.m_err.m_strLastError == e) << 1 |
                       (!b.ReadKBM(p.c_str()) && b.m_err.m_strLastError == e) << 2;
              }))
        << p;
  }
  ASSERT_EQ(0, truncate(big.c_str(), 1 << 20));
  CSingleScale s;
  EXPECT_EQ(1, s.Read(big.c_str()));
}
