// Functional tuning formulas (parse, print, apply) and MIDI channel ranges.
#include "tun_test_util.h"

#include <gtest/gtest.h>

#include <vector>

using namespace TUN;
using tuntest::EqualHz;

namespace {

std::vector<double> EqualTable()
{
  std::vector<double> f(128);
  for (int n = 0; n < 128; ++n) f[n] = EqualHz(n);
  return f;
}

CFormula Parsed(long note, const std::string& text, bool* ok = nullptr)
{
  CFormula f;
  f.m_lNoteIndex = note;
  const bool parsed = f.SetFromStr(text);
  if (ok) *ok = parsed;
  return f;
}

} // namespace

TEST(TunFormula, ParsesEachTerm)
{
  struct Case
  {
    long note;
    const char* text;
    double absHz;
    int refMode;
    long refIndex;
    double refValue;
    double mul, div, cents;
    int addMode;
    long addIndex;
    double addValue;
    long range;
  } cases[] = {
      {0, "", 0, 2, 0, 0, 1, 1, 0, 0, 0, 0, 0},
      {0, "!440", 440, 2, 0, 0, 1, 1, 0, 0, 0, 0, 0},
      {0, "*3 !261.5 garbage", 261.5, 2, 0, 0, 1, 1, 0, 0, 0, 0, 0},
      {0, "#=60", 0, 1, 60, 0, 1, 1, 0, 0, 0, 0, 0},
      {0, "#>-1", 0, 2, -1, 0, 1, 1, 0, 0, 0, 0, 0},
      {0, "#440", 0, 0, 0, 440, 1, 1, 0, 0, 0, 0, 0},
      {0, " * 1.5 / 2 ", 0, 2, 0, 0, 1.5, 2, 0, 0, 0, 0, 0},
      {0, "%-50", 0, 2, 0, 0, 1, 1, -50, 0, 0, 0, 0},
      {0, "+=3", 0, 2, 0, 0, 1, 1, 0, 1, 3, 0, 0},
      {0, "+>2", 0, 2, 0, 0, 1, 1, 0, 2, 2, 0, 0},
      {0, "+-2.5", 0, 2, 0, 0, 1, 1, 0, 0, 0, -2.5, 0},
      {0, "%10 %20", 0, 2, 0, 0, 1, 1, 20, 0, 0, 0, 0}, // the last term counts
      {60, "#>-1 %100 ~12", 0, 2, -1, 0, 1, 1, 100, 0, 0, 0, 12},
      {10, "~200", 0, 2, 0, 0, 1, 1, 0, 0, 0, 0, 999},
      {10, "~-20", 0, 2, 0, 0, 1, 1, 0, 0, 0, 0, -999},
      {124, "~3", 0, 2, 0, 0, 1, 1, 0, 0, 0, 0, 3},
      {124, "~4", 0, 2, 0, 0, 1, 1, 0, 0, 0, 0, 999},
      {5, "~-5", 0, 2, 0, 0, 1, 1, 0, 0, 0, 0, -5},
  };
  for (const Case& c : cases) {
    bool ok = false;
    const CFormula f = Parsed(c.note, c.text, &ok);
    ASSERT_TRUE(ok) << c.text;
    EXPECT_EQ(c.note, f.m_lNoteIndex) << c.text;
    EXPECT_EQ(c.absHz, f.m_dblAbsFreqHz) << c.text;
    EXPECT_EQ(c.refMode, f.m_srvReference.m_nMode) << c.text;
    EXPECT_EQ(c.refIndex, f.m_srvReference.m_lNoteIndex) << c.text;
    EXPECT_EQ(c.refValue, f.m_srvReference.m_dblValue) << c.text;
    EXPECT_EQ(c.mul, f.m_dblMultiplier) << c.text;
    EXPECT_EQ(c.div, f.m_dblDivisor) << c.text;
    EXPECT_EQ(c.cents, f.m_dblCents) << c.text;
    EXPECT_EQ(c.addMode, f.m_srvAddend.m_nMode) << c.text;
    EXPECT_EQ(c.addIndex, f.m_srvAddend.m_lNoteIndex) << c.text;
    EXPECT_EQ(c.addValue, f.m_srvAddend.m_dblValue) << c.text;
    EXPECT_EQ(c.range, f.m_lRange) << c.text;
  }
}

TEST(TunFormula, RejectsMalformedText)
{
  for (const char* text : {"5",      "*", "#",  "+", "*1.5x", "-3",   "#=",     "#>x",  "~",    "~1.5", "(1)",
                           "\"%5\"", ",", ".5", "!", "!nan",  "*inf", "%1e999", "#nan", "+inf", "/-nan"}) {
    bool ok = true;
    Parsed(0, text, &ok);
    EXPECT_FALSE(ok) << text;
  }
  // Fields set before the failure keep their values.
  bool ok = true;
  const CFormula f = Parsed(0, "*3 %7 x", &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(3.0, f.m_dblMultiplier);
  EXPECT_EQ(7.0, f.m_dblCents);
}

TEST(TunFormula, PrintsTermsThatDifferFromTheDefaults)
{
  struct Case
  {
    long note;
    const char* in;
    const char* out;
  } cases[] = {
      {0, "", ""},
      {60, "#=60 *3 /2 ~12", "#=60 *3 /2 ~12"},
      {0, "~12 /2 *3 #=60", "#=60 *3 /2 ~12"},
      {0, "! 440", "!440"},
      {0, "#>0 *1 /1 %0 +0 ~0", ""},
      {61, "#>-1%100", "#>-1 %100"},
      {0, "#261.5 +=3", "#261.5 +=3"},
      {0, "+>-2 %-0.5", "%-0.5 +>-2"},
      {0, "+-2.5", "+-2.5"},
  };
  for (const Case& c : cases) {
    const CFormula f = Parsed(c.note, c.in);
    EXPECT_EQ(c.out, f.GetAsStr()) << c.in;
    // The printed text parses back into the same formula.
    const CFormula g = Parsed(c.note, f.GetAsStr());
    EXPECT_EQ(f.GetAsStr(), g.GetAsStr()) << c.in;
  }
}

TEST(TunFormula, AppliesToTheTable)
{
  struct Case
  {
    long note;
    const char* text;
    double (*expected)(int n); // frequency of note n afterwards
  } cases[] = {
      {0, "", [](int n) { return EqualHz(n); }},
      {69, "! 440", [](int n) { return EqualHz(n); }},
      {69, "!880", [](int n) { return 2 * EqualHz(n); }},
      {81, "#=69", [](int n) { return n == 81 ? 440.0 : EqualHz(n); }},
      {81, "#440 *2", [](int n) { return n == 81 ? 880.0 : EqualHz(n); }},
      {60, "#=60 *3 /2", [](int n) { return n == 60 ? EqualHz(60) * 1.5 : EqualHz(n); }},
      {60, "%-50 +1", [](int n) { return n == 60 ? EqualHz(59.5) + 1 : EqualHz(n); }},
      {60, "+=0", [](int n) { return n == 60 ? EqualHz(60) + EqualHz(0) : EqualHz(n); }},
      // each of notes 60..71 a quarter tone above the note below, from note 59
      {60, "#>-1 %50 ~12", [](int n) { return (n >= 60 && n <= 71) ? EqualHz(59 + 0.5 * (n - 59)) : EqualHz(n); }},
      {10, "#>0 *2 ~200", [](int n) { return n >= 10 ? 2 * EqualHz(n) : EqualHz(n); }},
      {10, "#>0 *2 ~-20", [](int n) { return n <= 10 ? 2 * EqualHz(n) : EqualHz(n); }},
      {124, "#>0 *2 ~3", [](int n) { return (n >= 124 && n <= 126) ? 2 * EqualHz(n) : EqualHz(n); }},
      {124, "#>0 *2 ~4", [](int n) { return n >= 124 ? 2 * EqualHz(n) : EqualHz(n); }},
      // everything after a pin is ignored, the range too
      {60, "!100 ~3", [](int n) { return 100.0 * EqualHz(n) / EqualHz(60); }},
  };
  for (const Case& c : cases) {
    std::vector<double> f = EqualTable();
    bool ok = false;
    const CFormula formula = Parsed(c.note, c.text, &ok);
    ASSERT_TRUE(ok) << c.text;
    ASSERT_TRUE(formula.Apply(f)) << c.text;
    for (int n = 0; n < 128; ++n) EXPECT_NEAR(c.expected(n) / f[n], 1.0, 1e-12) << c.text << " note " << n;
  }
}

TEST(TunFormula, PinningARangeTransposesOncePerNote)
{
  CFormula pin = Parsed(60, "!100");
  pin.m_lRange = 3; // the last note of the range wins
  std::vector<double> f = EqualTable();
  ASSERT_TRUE(pin.Apply(f));
  for (int n = 0; n < 128; ++n) EXPECT_NEAR(100.0 * EqualHz(n) / EqualHz(62) / f[n], 1.0, 1e-12) << n;
  EXPECT_EQ("!100", pin.GetAsStr());
}

TEST(TunFormula, RefusesNotesOutsideTheTableAndNonFiniteResults)
{
  struct Case
  {
    long note;
    const char* text;
  } cases[] = {
      {5, "#=128"}, {5, "#=-1"},     {0, "#>-1"}, {127, "+>1"},          {120, "#>1 ~8"},
      {7, "+=200"}, {3, "#>-4 ~-2"}, {5, "/0"},   {5, "*1e300 /1e-300"}, {5, "%2000000"},
  };
  for (const Case& c : cases) {
    std::vector<double> f = EqualTable();
    bool ok = false;
    const CFormula formula = Parsed(c.note, c.text, &ok);
    ASSERT_TRUE(ok) << c.text;
    EXPECT_FALSE(formula.Apply(f)) << c.text;
    EXPECT_EQ(EqualTable(), f) << c.text << ": the table is untouched";
  }
  // A pin on a note that sounds at 0 Hz would scale every note by infinity.
  std::vector<double> f = EqualTable();
  f[10] = 0.0;
  const std::vector<double> before = f;
  EXPECT_FALSE(Parsed(10, "!440").Apply(f));
  EXPECT_EQ(before, f);
  // A range that starts outside the table changes nothing.
  CFormula outside = Parsed(0, "*2");
  outside.m_lNoteIndex = 200;
  f = EqualTable();
  outside.Apply(f);
  EXPECT_EQ(EqualTable(), f);
}

TEST(TunFormula, ScaleAppliesFormulasInTheOrderAdded)
{
  CSingleScale scale;
  EXPECT_TRUE(scale.AddFormula(Parsed(60, "#440")));
  EXPECT_TRUE(scale.AddFormula(Parsed(61, "#=60 *2")));
  EXPECT_FALSE(scale.AddFormula(Parsed(62, "#=130")));
  EXPECT_EQ(440.0, scale.m_vdblNoteFrequenciesHz[60]);
  EXPECT_EQ(880.0, scale.m_vdblNoteFrequenciesHz[61]);
  EXPECT_EQ(EqualHz(62), scale.m_vdblNoteFrequenciesHz[62]);
  ASSERT_EQ(2u, scale.m_lstFormulas.size());
  EXPECT_EQ("#440", scale.m_lstFormulas.front().GetAsStr());
  EXPECT_EQ(61, scale.m_lstFormulas.back().m_lNoteIndex);
}

TEST(TunChannels, RangeText)
{
  struct Case
  {
    const char* text;
    bool ok;
    long first, last;
    const char* printed;
  } cases[] = {
      {"1-16", true, 1, 16, "1-16"},
      {" 3 ", true, 3, 3, "3"},
      {"1 - 16", true, 1, 16, "1-16"},
      {"1-16xyz", true, 1, 16, "1-16"},
      {"65535", true, 65535, 65535, "65535"},
      {"7-7", true, 7, 7, "7"},
      {"0", false, 0, 0, "0"},
      {"16-1", false, 0, 0, "0"},
      {"1-65536", false, 0, 0, "0"},
      {"1-", false, 0, 0, "0"},
      {"a", false, 0, 0, "0"},
      {"", false, 0, 0, "0"},
      {"1x", false, 0, 0, "0"},
      {"-3", false, 0, 0, "0"},
      {"1--5", false, 0, 0, "0"},
  };
  for (const Case& c : cases) {
    CMIDIChannelRange r;
    r.m_lFirst = r.m_lLast = 99;
    EXPECT_EQ(c.ok, r.SetFromStr(c.text)) << c.text;
    EXPECT_EQ(c.first, r.m_lFirst) << c.text;
    EXPECT_EQ(c.last, r.m_lLast) << c.text;
    EXPECT_EQ(c.printed, r.GetAsStr()) << c.text;
  }
}

TEST(TunChannels, ScaleAssignment)
{
  CSingleScale scale;
  EXPECT_TRUE(scale.AppliesToChannel(1));
  EXPECT_TRUE(scale.AppliesToChannel(9999));

  EXPECT_TRUE(scale.SetMIDIChannelsAssignment("1-4, 9,,16"));
  EXPECT_EQ(3u, scale.m_lstMIDIChannelRanges.size());
  EXPECT_EQ("1-4,9,16", scale.GetMIDIChannelsAssignment());
  for (long ch : {1, 4, 9, 16}) EXPECT_TRUE(scale.AppliesToChannel(ch)) << ch;
  for (long ch : {0, 5, 8, 10, 15, 17}) EXPECT_FALSE(scale.AppliesToChannel(ch)) << ch;

  EXPECT_FALSE(scale.SetMIDIChannelsAssignment("2, 5-3, 7"));
  EXPECT_EQ("Error in MIDI channel range: syntax error or values exceed the range 1-65535!",
            scale.m_err.m_strLastError);
  EXPECT_EQ("2", scale.GetMIDIChannelsAssignment()); // the ranges before the bad one stay

  EXPECT_TRUE(scale.SetMIDIChannelsAssignment(""));
  EXPECT_TRUE(scale.m_lstMIDIChannelRanges.empty());
  EXPECT_TRUE(scale.AppliesToChannel(12));
}
