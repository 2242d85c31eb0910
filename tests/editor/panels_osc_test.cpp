// The oscillator family's panels beyond their tables: the formant oscillator's two knobs at one place,
// swapped by the editor's idle call as the mode changes, and the wavetable oscillator's loader, which sits
// where the oscillator has its waveform menu and loads a file chosen there.
#include "BitmapStore.h"
#include "EditorImages.h"
#include "ModuleConfig.h"
#include "OscFormant.h"
#include "OscWavetable.h"
#include "WavetableLoader.h"
#include "panel_rig.h"
#include "veltrane_controls.h"

#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// The pixels of a rectangle of the editor as last drawn.
std::vector<LICE_pixel> pixels(PanelRig& r, const IRECT& rect)
{
  r.g->Tick();
  std::vector<LICE_pixel> out;
  for (int y = rect.T; y < rect.B; ++y)
    for (int x = rect.L; x < rect.R; ++x) out.push_back(LICE_GetPixel(r.g->GetDrawBitmap(), x, y));
  return out;
}

// ---- the formant oscillator ----

// Picks a mode from the panel's mode menu (0 Fixed, 1 Partial, 2 Ring).
void chooseMode(PanelRig& r, int mode)
{
  IControl* menu = r.boundTo(0);
  ASSERT_TRUE(dynamic_cast<ITWPopUpMenuControl*>(menu));
  r.g->answers.push_back({mode});
  r.clickCentre(*menu->GetRECT());
}

TEST(OscPanels, FormantShowsTheKnobItsModeUses)
{
  for (bool master : {false, true}) {
    SCOPED_TRACE(master ? "master slot" : "voice slot");
    PanelRig r(ModuleConfig::MOD_OSCFORMANT, master);
    auto* osc = dynamic_cast<OscFormant*>(r.module());
    ASSERT_TRUE(osc);
    const std::vector<IControl*> knobs = r.specials();
    ASSERT_EQ(2u, knobs.size());
    IControl* frequency = knobs[0];
    IControl* ratio = knobs[1];
    ASSERT_EQ(r.base() + 1, frequency->ParamIdx());
    ASSERT_EQ(r.base() + 2, ratio->ParamIdx());
    const IRECT place = *frequency->GetRECT();
    EXPECT_EQ(place, *ratio->GetRECT());
    EXPECT_FALSE(frequency->IsHidden());
    EXPECT_TRUE(ratio->IsHidden());
    // The frequency reads in hertz, the ratio as a factor: what the place shows tells which knob is drawn.
    const std::vector<LICE_pixel> fixedLook = pixels(r, place);

    const struct
    {
      int mode;
      bool frequencyShown;
    } steps[] = {{OscFormant::kPartial, false},
                 {OscFormant::kRing, false},
                 {OscFormant::kFixed, true},
                 {OscFormant::kRing, false},
                 {OscFormant::kFixed, true}};
    bool shown = true;
    for (const auto& step : steps) {
      SCOPED_TRACE(OscFormant::labelMode[step.mode]);
      chooseMode(r, step.mode);
      EXPECT_EQ(step.mode, osc->mode) << "the menu reached the module";
      EXPECT_EQ(!shown, frequency->IsHidden()) << "nothing changes before the idle call";
      r.v->OnIdle();
      shown = step.frequencyShown;
      EXPECT_EQ(!shown, frequency->IsHidden());
      EXPECT_EQ(shown, ratio->IsHidden());
      if (shown)
        EXPECT_EQ(fixedLook, pixels(r, place));
      else
        EXPECT_NE(fixedLook, pixels(r, place));
      r.v->OnIdle(); // a second idle call keeps what the first set
      EXPECT_EQ(!shown, frequency->IsHidden());
      EXPECT_EQ(shown, ratio->IsHidden());
    }
  }
}

// The module touches its knobs only while the slot's list holds exactly the two it registered.
TEST(OscPanels, FormantLeavesTheKnobsOfAnotherList)
{
  for (int count : {0, 1, 3}) {
    SCOPED_TRACE(count);
    PanelRig r(ModuleConfig::MOD_OSCFORMANT);
    ModuleConfig& config = r.v->slotConfig[r.slot];
    const std::vector<IControl*> knobs = config.specialControls;
    ASSERT_EQ(2u, knobs.size());
    config.specialControls.resize(count < 2 ? count : 2);
    if (count == 3)
      config.addSpecialControl(r.g, new IBitmapControl(r.v.get(), 0, 0, -1, BitmapStore::getBitmap(kImageLed)));
    for (int mode : {OscFormant::kPartial, OscFormant::kRing}) {
      chooseMode(r, mode);
      r.v->OnIdle();
      EXPECT_FALSE(knobs[0]->IsHidden());
      EXPECT_TRUE(knobs[1]->IsHidden());
    }
  }
}

// ---- the wavetable oscillator ----

// A mono 16-bit PCM file of `waves` cycles of a sine, 2048 frames each.
std::string wavFile(int waves)
{
  const uint32_t frames = 2048u * waves, dataBytes = 2 * frames;
  std::string b;
  auto put = [&b](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back((char)((v >> (8 * i)) & 255));
  };
  b += "RIFF";
  put(36 + dataBytes, 4);
  b += "WAVEfmt ";
  put(16, 4);
  put(1, 2); // PCM
  put(1, 2); // mono
  put(44100, 4);
  put(2 * 44100, 4);
  put(2, 2);
  put(16, 2);
  b += "data";
  put(dataBytes, 4);
  for (uint32_t i = 0; i < frames; ++i) put((uint16_t)(int16_t)std::lround(16000 * std::sin(2 * M_PI * i / 2048.0)), 2);
  return b;
}

TEST(OscPanels, WavetableLoaderInTheWaveformMenusPlaceLoadsAFile)
{
  IRECT menuPlace;
  {
    PanelRig osc(ModuleConfig::MOD_OSCILLATOR);
    IControl* menu = osc.boundTo(0);
    ASSERT_TRUE(dynamic_cast<ITWPopUpMenuControl*>(menu));
    menuPlace = *menu->GetRECT();
  }
  PanelRig r(ModuleConfig::MOD_OSCWAVETABLE);
  const std::vector<IControl*>& specials = r.specials();
  ASSERT_EQ(1u, specials.size());
  auto* loader = dynamic_cast<ITWLoadWavetableControl*>(specials[0]);
  ASSERT_TRUE(loader);
  EXPECT_EQ(r.base() + 0, loader->ParamIdx());
  const IRECT place = *loader->GetRECT();
  EXPECT_TRUE(place.L <= menuPlace.L && place.T <= menuPlace.T && place.R >= menuPlace.R && place.B >= menuPlace.B)
      << "the loader covers the place of the oscillator's waveform menu";
  auto* osc = dynamic_cast<OscWavetable*>(r.module());
  ASSERT_TRUE(osc);
  const std::vector<LICE_pixel> empty = pixels(r, place);

  TempDir dir;
  const std::string path = dir.write("Glass Pad.wav", wavFile(3));
  r.g->ScriptFilePrompt(path.c_str());
  const double before = r.v->GetParam(r.base())->GetNormalized();
  r.clickCentre(menuPlace);
  const SharedData& record = r.v->slotConfig[r.slot].sharedData;
  EXPECT_STREQ(path.c_str(), record.name.Get());
  EXPECT_EQ(3u * 2048, record.count);
  EXPECT_EQ(3, osc->waveCount) << "the module took the new table";
  EXPECT_NE(before, r.v->GetParam(r.base())->GetNormalized()) << "the host sees an edit";
  WDL_String shown;
  loader->shownName(&shown);
  EXPECT_STREQ("Glass Pad", shown.Get());
  EXPECT_NE(empty, pixels(r, place)) << "the panel shows the table's name";
}

} // namespace
