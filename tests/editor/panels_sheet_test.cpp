// A contact sheet of every module type's panel, each in a voice slot of the plug-in with a note held and
// its gate inputs on the voice's gate, so that lamps show what a playing module shows:
// build/test-output/module_panels.png (look at it; cell N - 1 of an 11-column grid is module type N).
#include "ModuleCatalogue.h"
#include "Veltrane.h"
#include "panel_rig.h"

#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

// Sets every gate input of the slot's module to the voice's own gate.
void gatesOnTheVoice(Veltrane& v, int slot)
{
  const ModuleCatalogue::InputList& gates = ModuleCatalogue::declarations[v.slotConfig[slot].moduleID].gateIn;
  const SourceDefCol& list = v.voiceSources;
  int position = 0;
  for (int i = 1; i < list.getSize(SourceDef::GATE); ++i) // entry 0 is "off"
    if (!std::strcmp(list.getSource(i, SourceDef::GATE)->label, "Voice")) position = i;
  ASSERT_GT(position, 0);
  for (int k = 0; k < gates.count; ++k) {
    const int param = slot * 16 + gates.params[k];
    v.SetParameterFromGUI(param, v.GetParam(param)->GetNormalized(position));
  }
}

} // namespace

TEST(ModulePanels, ContactSheet)
{
  constexpr int kColumns = 11, kW = 128, kH = 300;
  std::unique_ptr<LICE_MemBitmap> sheet(new LICE_MemBitmap(kColumns * kW, 4 * kH));
  LICE_Clear(sheet.get(), LICE_RGBA(0, 0, 0, 255));
  int built = 0;
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    if (!panelLayoutOf(id)) continue;
    SCOPED_TRACE(ModuleConfig::labelModuleName[id]);
    PanelRig r(id);
    r.atTickRate();
    gatesOnTheVoice(*r.v, r.slot);
    r.v->RedrawParamControls(); // the panel shows the gates chosen behind its back
    r.midi(0x90, 60, 100);
    r.ticks(250); // a quarter of a second
    r.v->OnIdle(); // a rebuild pending
    r.v->OnIdle(); // the modules' own refresh
    r.g->Tick();
    LICE_IBitmap* shot = r.g->GetDrawBitmap();
    ASSERT_TRUE(shot);
    const int cell = id - 1;
    LICE_Blit(sheet.get(), shot, (cell % kColumns) * kW, (cell / kColumns) * kH, PanelRig::kX, PanelRig::kY, kW, kH, 1.0f,
              LICE_BLIT_MODE_COPY);
    ++built;
  }
  mkdir(VELTRANE_TEST_OUTPUT, 0755);
  EXPECT_TRUE(LICE_WritePNG((std::string(VELTRANE_TEST_OUTPUT) + "/module_panels.png").c_str(), sheet.get(), false));
  EXPECT_GT(built, 0);
}
