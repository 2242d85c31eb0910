// Ranges, normalisation, stepping and display texts of host parameters, for every type.
#include "../support/comma_locale.h"
#include "IParam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace {

std::string Display(const IParam& p, double value, bool normalized = false, bool withTexts = true)
{
  char text[IParam::kDisplayBufferSize + 8];
  std::memset(text, '#', sizeof(text));
  p.GetDisplayForHost(value, normalized, text, withTexts);
  for (size_t i = IParam::kDisplayBufferSize; i < sizeof(text); ++i) EXPECT_EQ(text[i], '#') << "overran the text";
  return text;
}

void Int0to10(IParam& p)
{
  p.InitInt("i", 0, 0, 10);
}
void Double0to10(IParam& p)
{
  p.InitDouble("d", 0, 0, 10, 0.1);
}
void SteppedFrom03(IParam& p) // a stepped type over a range that does not start on a step
{
  p.mType = IParam::kTypeInt;
  p.InitDouble("s", 0.3, 0.3, 3.3, 1.0);
}
void Squared0to100(IParam& p)
{
  p.InitDouble("q", 0, 0, 100, 0.1, "", "", 2.0);
}
void Enum4(IParam& p)
{
  p.InitEnum("e", 0, 4);
}
void Bool(IParam& p)
{
  p.InitBool("b", false);
}

TEST(Param, DefaultConstructed)
{
  IParam p;
  EXPECT_EQ(p.Type(), IParam::kTypeNone);
  EXPECT_EQ(p.Value(), 0.0);
  EXPECT_EQ(p.GetMin(), 0.0);
  EXPECT_EQ(p.GetMax(), 1.0);
  EXPECT_EQ(p.GetStep(), 1.0);
  EXPECT_EQ(p.GetShape(), 1.0);
  EXPECT_STREQ(p.GetNameForHost(), "");
  EXPECT_EQ(p.GetNDisplayTexts(), 0);
  EXPECT_EQ(p.mDisplayFunc, nullptr);
}

TEST(Param, InitSetsTypeRangeAndStep)
{
  const struct
  {
    const char* what;
    void (*init)(IParam&);
    IParam::EParamType type;
    double value, min, max, step;
    int precision;
  } cases[] = {
      {"bool", [](IParam& p) { p.InitBool("b", true); }, IParam::kTypeBool, 1, 0, 1, 1, 0},
      {"enum of 4", [](IParam& p) { p.InitEnum("e", 2, 4); }, IParam::kTypeEnum, 2, 0, 3, 1, 0},
      {"enum of 1", [](IParam& p) { p.InitEnum("e", 0, 1); }, IParam::kTypeEnum, 0, 0, 1, 1, 0},
      {"int", [](IParam& p) { p.InitInt("i", 3, -5, 10); }, IParam::kTypeInt, 3, -5, 10, 1, 0},
      {"int max = min", [](IParam& p) { p.InitInt("i", 4, 4, 4); }, IParam::kTypeInt, 4, 4, 5, 1, 0},
      {"int max < min", [](IParam& p) { p.InitInt("i", 4, 4, 0); }, IParam::kTypeInt, 4, 4, 5, 1, 0},
      {"double", [](IParam& p) { p.InitDouble("d", 0.5, 0, 2, 0.01); }, IParam::kTypeDouble, 0.5, 0, 2, 0.01, 2},
      {"double max < min + step", [](IParam& p) { p.InitDouble("d", 1, 1, 1.2, 0.5); }, IParam::kTypeDouble, 1, 1, 1.5,
       0.5, 1},
      {"type set before Init",
       [](IParam& p) {
         p.mType = IParam::kTypeEnum;
         p.InitInt("i", 1, 0, 3);
       },
       IParam::kTypeEnum, 1, 0, 3, 1, 0},
      {"double, then int",
       [](IParam& p) {
         p.InitDouble("d", 0.5, 0, 1, 0.001);
         p.InitInt("i", 2, 0, 7);
       },
       IParam::kTypeDouble, 2, 0, 7, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    IParam p;
    c.init(p);
    double lo = -1, hi = -1;
    p.GetBounds(&lo, &hi);
    EXPECT_EQ(p.Type(), c.type);
    EXPECT_EQ(p.Value(), c.value);
    EXPECT_EQ(p.GetDefault(), c.value);
    EXPECT_EQ(lo, c.min);
    EXPECT_EQ(hi, c.max);
    EXPECT_EQ(p.GetStep(), c.step);
    EXPECT_EQ(p.GetPrecision(), c.precision);
  }
}

TEST(Param, DisplayPrecisionIsTheDecimalsOfTheStep)
{
  const std::pair<double, int> cases[] = {{1.0, 0},  {5.0, 0},   {0.1, 1},    {0.5, 1}, {0.25, 2},
                                          {0.01, 2}, {0.001, 3}, {0.0005, 4}, {1e-7, 6}};
  for (const auto& [step, precision] : cases) {
    IParam p;
    p.InitDouble("d", 0, 0, 10, step);
    EXPECT_EQ(p.GetPrecision(), precision) << step;
  }
}

TEST(Param, ShapeIsKeptWhenZeroIsGiven)
{
  IParam p;
  p.InitDouble("d", 0, 0, 1, 0.1, "", "", 3.0);
  p.InitDouble("d", 0, 0, 1, 0.1, "", "", 0.0);
  p.SetShape(0.0);
  EXPECT_EQ(p.GetShape(), 3.0);
  p.SetShape(0.5);
  EXPECT_EQ(p.GetShape(), 0.5);
}

TEST(Param, SetNormalizedMapsRoundsAndCaps)
{
  const struct
  {
    const char* what;
    void (*init)(IParam&);
    double x, expected;
  } cases[] = {{"int", Int0to10, 0.55, 6},
               {"int", Int0to10, 0.54, 5},
               {"int", Int0to10, 0.05, 1}, // halves up
               {"int", Int0to10, 1.0, 10},
               {"double", Double0to10, 0.55, 5.5},
               {"double", Double0to10, 0.54, 5.4},
               {"double", Double0to10, 1.2, 10},
               {"stepped", SteppedFrom03, 0.0, 0.0}, // multiples of the step from zero, below min
               {"stepped", SteppedFrom03, 1.0, 3.0},
               {"squared", Squared0to100, 0.5, 25},
               {"squared", Squared0to100, 0.1, 1},
               {"enum", Enum4, 0.5, 2},
               {"enum", Enum4, 0.49, 1},
               {"bool", Bool, 0.49, 0},
               {"bool", Bool, 0.5, 1},
               // out of range from a host: never below the value for 0
               {"enum", Enum4, -0.3, 0},
               {"int", Int0to10, -2.0, 0},
               {"double", Double0to10, std::nan(""), 0}};
  for (const auto& c : cases) {
    IParam p;
    c.init(p);
    p.SetNormalized(c.x);
    EXPECT_DOUBLE_EQ(p.Value(), c.expected) << c.what << " " << c.x;
  }
}

TEST(Param, GetNormalizedClampsAndInvertsTheShape)
{
  IParam p;
  Squared0to100(p);
  EXPECT_DOUBLE_EQ(p.GetNormalized(25.0), 0.5);
  EXPECT_EQ(p.GetNormalized(-5.0), 0.0);
  EXPECT_EQ(p.GetNormalized(150.0), 1.0);
  EXPECT_EQ(p.GetNormalized(std::nan("")), 0.0);
  for (int i = 0; i <= 20; ++i) EXPECT_NEAR(p.GetNormalized(p.GetNonNormalized(i / 20.0)), i / 20.0, 1e-12);
  p.SetNormalized(0.3);
  EXPECT_DOUBLE_EQ(p.GetNormalized(), 0.3);
  EXPECT_DOUBLE_EQ(p.GetNonNormalized(1.5), 225.0); // neither clamped nor rounded
}

TEST(Param, SetClampsPlainValuesAndDBToAmp)
{
  IParam p;
  p.InitInt("i", 0, -3, 3);
  p.Set(7.5);
  EXPECT_EQ(p.Value(), 3.0);
  p.Set(-9);
  EXPECT_EQ(p.Int(), -3);
  p.Set(1.7);
  EXPECT_EQ(p.Int(), 1);
  p.Set(std::nan(""));
  EXPECT_EQ(p.Value(), -3.0); // not a number: below the range
  for (double db : {0.0, -6.0, 20.0, -96.0, 6.0}) {
    p.InitDouble("gain", db, -120, 24, 0.1);
    EXPECT_NEAR(p.DBToAmp(), std::pow(10.0, db / 20.0), 1e-9 * std::pow(10.0, db / 20.0)) << db;
  }
}

TEST(ParamDisplay, BoolShowsOffAndOnWithoutLabel)
{
  IParam p;
  p.InitBool("Loop", false, "state");
  EXPECT_EQ(Display(p, 0), "off");
  EXPECT_EQ(Display(p, 1), "on");
  EXPECT_EQ(Display(p, 1, false, false), "1");
  EXPECT_STREQ(p.GetLabelForHost(), "");
  p.Set(1);
  EXPECT_STREQ(p.GetLabelForHost(), "");
}

TEST(ParamDisplay, EnumShowsItsTextsAndFallsBackToTheNumber)
{
  IParam p;
  p.InitEnum("Wave", 0, 4, "shape");
  p.SetDisplayText(0, "Sine");
  p.SetDisplayText(1, "Saw");
  p.SetDisplayText(2, "");
  EXPECT_EQ(Display(p, 1), "Saw");
  EXPECT_EQ(Display(p, 1.9), "Saw"); // truncated toward zero
  EXPECT_EQ(Display(p, 2), "2");     // empty text
  EXPECT_EQ(Display(p, 3), "3");     // no text
  EXPECT_EQ(Display(p, 0.0, true), "Sine");
  EXPECT_EQ(Display(p, 1.0 / 3.0, true), "Saw");
  p.Set(2);
  EXPECT_STREQ(p.GetLabelForHost(), "shape");
  p.Set(0);
  EXPECT_STREQ(p.GetLabelForHost(), "");
}

TEST(ParamDisplay, IntAndDoubleShowNumbersWithTheirPrecision)
{
  IParam i;
  i.InitInt("Semi", 0, -24, 24, "st");
  EXPECT_EQ(Display(i, 7), "7");
  EXPECT_EQ(Display(i, -7.9), "-7");
  EXPECT_EQ(Display(i, 0.5, true), "0");
  EXPECT_STREQ(i.GetLabelForHost(), "st");

  const struct
  {
    double step, value;
    const char* expected;
  } cases[] = {{1, -2.7, "-2"},           {1, 2.7, "2"},           {0.01, 0.5, "0.50"},
               {0.001, 1.0 / 3, "0.333"}, {0.25, -0.125, "-0.12"}, {1e-7, 1.5, "1.500000"}};
  for (const auto& c : cases) {
    IParam d;
    d.InitDouble("d", 0, -1e6, 1e6, c.step);
    EXPECT_EQ(Display(d, c.value), c.expected) << c.step << " " << c.value;
  }
  IParam q;
  Squared0to100(q);
  EXPECT_EQ(Display(q, 0.5, true), "25.0"); // normalised values follow the shape
}

TEST(ParamDisplay, HugeNumbersAreCutToTheBuffer)
{
  IParam p;
  p.InitDouble("d", 0, -1e300, 1e300, 0.01);
  EXPECT_EQ(Display(p, 1e300).size(), size_t(IParam::kDisplayBufferSize - 1));
  p.InitInt("i", 0, 0, 1);
  EXPECT_EQ(Display(p, 1e300), std::to_string(std::numeric_limits<int>::max()));
}

void Formatter(double value, char* text)
{
  std::snprintf(text, 32, "<%g>", value);
}

TEST(ParamDisplay, FormatterOverridesTextsAndPrecisionAndSurvivesReInit)
{
  IParam p;
  p.InitEnum("e", 0, 3);
  p.SetDisplayText(1, "one");
  p.mDisplayFunc = Formatter;
  EXPECT_EQ(Display(p, 1), "<1>");
  EXPECT_EQ(Display(p, 1.0, true), "<2>");
  p.InitDouble("d", 0, 0, 10, 0.1);
  EXPECT_EQ(Display(p, 2.25), "<2.25>");
}

TEST(ParamDisplayTexts, LookupsFindTheFirstEntry)
{
  IParam p;
  p.InitBool("b", true);
  p.InitBool("b", false); // appends "off" and "on" again
  p.SetDisplayText(0, "zero");
  EXPECT_EQ(p.GetNDisplayTexts(), 5);
  EXPECT_STREQ(p.GetDisplayText(0), "off");
  EXPECT_STREQ(p.GetDisplayText(7), "");
  int value = -1;
  EXPECT_STREQ(p.GetDisplayTextAtIdx(4, &value), "zero");
  EXPECT_EQ(value, 0);
  EXPECT_STREQ(p.GetDisplayTextAtIdx(3), "on");
  EXPECT_STREQ(p.GetDisplayTextAtIdx(5, &value), "");
  EXPECT_STREQ(p.GetDisplayTextAtIdx(-1, &value), "");

  p.mDisplayTexts.Resize(0); // what an owner does before declaring the parameter again
  p.InitEnum("e", 0, 2);
  p.SetDisplayText(0, "B");
  EXPECT_EQ(p.GetNDisplayTexts(), 1);
}

TEST(ParamDisplayTexts, MapDisplayTextIsExactAndCaseSensitive)
{
  IParam p;
  p.InitEnum("e", 0, 4);
  p.SetDisplayText(2, "Saw");
  p.SetDisplayText(3, "Saw");
  int value = 0;
  EXPECT_TRUE(p.MapDisplayText("Saw", &value));
  EXPECT_EQ(value, 2);
  value = 9;
  EXPECT_FALSE(p.MapDisplayText("saw", &value));
  EXPECT_FALSE(p.MapDisplayText("Saw ", &value));
  EXPECT_FALSE(p.MapDisplayText(nullptr, &value));
  EXPECT_EQ(value, 9);
}

TEST(Param, TextsLongerThan31CharactersAreCut)
{
  const std::string longText(50, 'n'), cut(31, 'n');
  IParam p;
  p.InitInt(longText.c_str(), 0, 0, 1, longText.c_str(), longText.c_str());
  p.SetDisplayText(0, longText.c_str());
  EXPECT_EQ(p.GetNameForHost(), cut);
  EXPECT_EQ(p.GetParamGroupForHost(), cut);
  EXPECT_EQ(p.GetDisplayText(0), cut);
  p.Set(1);
  EXPECT_EQ(p.GetLabelForHost(), cut);
  p.InitInt(nullptr, 0, 0, 1, nullptr, nullptr);
  EXPECT_STREQ(p.GetNameForHost(), "");
}

} // namespace

namespace {
class ParamUnderCommaLocale : public commalocale::Fixture
{
protected:
  ParamUnderCommaLocale() : commalocale::Fixture(VELTRANE_TEST_LOCALE_DIR) {}
};
} // namespace

TEST_F(ParamUnderCommaLocale, DoubleTextsShowAPoint)
{
  struct Case
  {
    double step, min, value;
    bool normalized;
    const char* text;
  } cases[] = {
      {0.01, 0.0, 0.5, false, "0.50"},
      {0.001, -2.0, -1.25, false, "-1.250"},
      {0.1, 0.0, 0.25, true, "2.5"}, // normalised 0.25 of 0..10
      {1e-6, 0.0, 1234.5, false, "1234.500000"},
  };
  for (const Case& c : cases) {
    IParam p;
    p.InitDouble("d", 0.0, c.min, 10000.0 * (c.normalized ? 0.001 : 1.0), c.step);
    EXPECT_EQ(c.text, Display(p, c.value, c.normalized));
  }
}

// A program built aside hands its parameters over by exchange: every part of a definition goes with it.
TEST(Param, SwapExchangesWholeDefinitionsValuesAndTexts)
{
  IParam a, b;
  a.InitEnum("Mode", 1, 3, "lbl", "grp");
  for (int i = 0; i < 3; ++i) a.SetDisplayText(i, i == 0 ? "x" : i == 1 ? "y" : "z");
  a.SetDisplayNegated(true);
  a.Set(2);
  b.InitDouble("Cut", 5.0, 1.0, 10.0, 0.5, "Hz", "Flt", 2.0);
  b.mDisplayFunc = [](double, char* text) { std::strcpy(text, "fn"); };
  b.Set(7.0);
  const IParam beforeA = a, beforeB = b;
  auto same = [](const IParam& x, const IParam& y) {
    EXPECT_STREQ(x.GetNameForHost(), y.GetNameForHost());
    EXPECT_STREQ(x.GetParamGroupForHost(), y.GetParamGroupForHost());
    EXPECT_EQ(x.Type(), y.Type());
    EXPECT_EQ(x.Value(), y.Value());
    EXPECT_EQ(x.GetMin(), y.GetMin());
    EXPECT_EQ(x.GetMax(), y.GetMax());
    EXPECT_EQ(x.GetStep(), y.GetStep());
    EXPECT_EQ(x.GetShape(), y.GetShape());
    EXPECT_EQ(x.GetDefault(), y.GetDefault());
    EXPECT_EQ(x.GetPrecision(), y.GetPrecision());
    EXPECT_EQ(x.GetNegateDisplay(), y.GetNegateDisplay());
    EXPECT_EQ(x.mDisplayFunc, y.mDisplayFunc);
    ASSERT_EQ(x.GetNDisplayTexts(), y.GetNDisplayTexts());
    for (int i = 0; i < x.GetNDisplayTexts(); ++i) EXPECT_STREQ(x.GetDisplayTextAtIdx(i), y.GetDisplayTextAtIdx(i));
    EXPECT_EQ(Display(x, x.Value()), Display(y, y.Value()));
  };
  a.Swap(b);
  same(a, beforeB);
  same(b, beforeA);
}
