// Parameter display texts under a host that has set a decimal-comma locale: every text shows a
// point, and a text the host sends back sets the value it showed.
#include "../support/comma_locale.h"
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

namespace {

class DisplayUnderCommaLocale : public commalocale::Fixture
{
protected:
  DisplayUnderCommaLocale() : commalocale::Fixture(VELTRANE_TEST_LOCALE_DIR) {}
};

// A number with a fixed count of decimals, in the classic locale whatever the global one is.
std::string Fixed(double v, int decimals)
{
  std::ostringstream o;
  o.imbue(std::locale::classic());
  o << std::fixed << std::setprecision(decimals) << v;
  return o.str();
}

std::string Show(void (*f)(double, char*), double value)
{
  char text[IParam::kDisplayBufferSize] = {};
  f(value, text);
  return text;
}

std::string HostDisplay(HostedVeltrane& h, int param)
{
  char text[64] = {};
  h.dispatch(effGetParamDisplay, param, 0, text);
  return text;
}

} // namespace

TEST_F(DisplayUnderCommaLocale, EveryProductFormatterPrintsAPoint)
{
  struct Case
  {
    void (*f)(double, char*);
    double value;
    std::string text;
  } cases[] = {
      {setDisplayTextForDB, 0.5, Fixed(20 * std::log10(0.5), 1)},
      {setDisplayTextForDB, 1.37, Fixed(20 * std::log10(1.37), 1)},
      {setDisplayTextForFreqMod, 1000.0, Fixed(1000.0 / 1536, 2)},
      {setDisplayTextForFreqMod, -2500.0, Fixed(-2500.0 / 1536, 2)},
      {setDisplayTextForNotes, 0.3, Fixed(0.3 * 12, 2)},
      {setDisplayTextForRelease, 0.25, "0.25"},
      {setDisplayTextForMix, 0.25, "75:25"},
      {setDisplayTextForDryWet, 0.4, "60:40"},
      {setDisplayTextForTune, 13.0, Fixed(13 * 0.78125, 0)},
      {setDisplayTextForDegree, 0.1, "36"},
      {setDisplayTextForFrequency, 8832.0 / 17281.0, "440"},
  };
  for (const Case& c : cases) {
    const std::string text = Show(c.f, c.value);
    EXPECT_EQ(c.text, text) << c.value;
    EXPECT_EQ(std::string::npos, text.find(',')) << text;
  }
}

TEST_F(DisplayUnderCommaLocale, HostTextsReadBackToTheValueShown)
{
  HostedVeltrane h;
  struct Case
  {
    int param;
    double value;     // plain
    const char* text; // as the host shows it
  } cases[] = {
      {Veltrane::kParamOutAttack, 0.37, "0.37"},  // a double parameter without a formatter
      {Veltrane::kParamOutDecay, 0.05, "0.05"},   //
      {Veltrane::kParamOutRelease, 0.25, "0.25"}, // the product's release formatter
  };
  for (const Case& c : cases) {
    h.effect->setParameter(h.effect, c.param, (float)c.value);
    EXPECT_EQ(c.text, HostDisplay(h, c.param));
    h.effect->setParameter(h.effect, c.param, 0.9f);
    ASSERT_EQ(1, h.dispatch(effString2Parameter, c.param, 0, const_cast<char*>(c.text)));
    EXPECT_NEAR(c.value, h.plug->GetParam(c.param)->Value(), 1e-12) << c.text;
    EXPECT_EQ(c.text, HostDisplay(h, c.param));
  }
  // The volume shows decibels: with a point too.
  h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.25f); // 0.5 of 0..2
  EXPECT_EQ(Fixed(20 * std::log10(0.5), 1), HostDisplay(h, Veltrane::kParamVolume));
}
