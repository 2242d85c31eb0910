// A contact sheet of every module type's panel, each in a voice slot of the plug-in with a note held and
// its gate inputs on the voice's gate, so that lamps show what a playing module shows:
// build/test-output/module_panels.png (look at it; cell N - 1 of an 11-column grid is module type N).
// In each picture the text lands where the tables put it: the captions, the knobs' values and the global
// section's captions, each centred in its box.
#include "BitmapStore.h"
#include "Canvas.h"
#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "Veltrane.h"
#include "panel_rig.h"

#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
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

// The ink of text in box (picture coordinates) over a background whose rows are each of one colour where
// nothing is drawn: the pixels that differ by more than 40 in a channel from the colour most common in
// that row of `plain` (the background image, its top at oy in the picture) between its columns l and r.
struct Ink
{
  int l = 1 << 30, r = -1, t = 1 << 30, b = -1;
  double cx() const { return (l + r + 1) / 2.0; }
  double cy() const { return (t + b + 1) / 2.0; }
};
Ink inkIn(LICE_IBitmap* shot, LICE_IBitmap* plain, int oy, const PanelRect& box, int l, int r)
{
  Ink ink;
  for (int y = box.t; y < box.b; ++y) {
    std::map<LICE_pixel, int> seen;
    for (int x = l; x < r; ++x) ++seen[LICE_GetPixel(plain, x, y - oy) | LICE_RGBA(0, 0, 0, 255)];
    LICE_pixel body = 0;
    for (const auto& [colour, n] : seen) body = n > seen[body] ? colour : body;
    for (int x = box.l; x < box.r; ++x) {
      const LICE_pixel p = LICE_GetPixel(shot, x, y);
      const auto apart = [](unsigned a, unsigned b) { return std::abs((int)a - (int)b) > 40; };
      if (apart(LICE_GETR(p), LICE_GETR(body)) || apart(LICE_GETG(p), LICE_GETG(body)) || apart(LICE_GETB(p), LICE_GETB(body)))
        ink = {std::min(ink.l, x), std::max(ink.r, x), std::min(ink.t, y), std::max(ink.b, y)};
    }
  }
  return ink;
}

// The text's ink fills a box of its width (to two pixels), centred to a pixel and a half.
void expectCentred(const Ink& ink, const PanelRect& box, int textW, const std::string& what)
{
  ASSERT_GE(ink.r, 0) << what << ": no ink";
  EXPECT_NEAR((box.l + box.r) / 2.0, ink.cx(), 1.5) << what;
  EXPECT_NEAR((box.t + box.b) / 2.0, ink.cy(), 2.0) << what;
  EXPECT_GE(ink.r - ink.l + 1, textW - 2) << what << ": cut";
}

PanelRect moved(PanelRect r, int dx, int dy)
{
  return {r.l + dx, r.t + dy, r.r + dx, r.b + dy};
}

// The captions the artwork draws for a panel's rows (bold, size 9, in boxes of their width + 2, 10 high),
// and each knob's value text, centred in its box under the knob.
void expectPanelTextInPlace(LICE_IBitmap* shot, const PanelLayout& layout)
{
  const int x = PanelRig::kX, y = PanelRig::kY;
  LICE_IBitmap* plain = BitmapStore::getBitmap(layout.background)->mData;
  for (const PanelControl& row : layout) {
    IBitmap* image = BitmapStore::getBitmap(panelImage(row));
    const int w = panelImage(row) ? image->W : 0, h = panelImage(row) ? image->frameHeight() : 0;
    if (row.caption.text) {
      const int textW = art::Canvas::textWidth(row.caption.text, 9, true);
      const PanelRect box = moved(panelCaptionRect(row, panelCaptionAnchor(row, w, h), textW + 2, 10), x, y);
      expectCentred(inkIn(shot, plain, y, box, 0, 128), box, textW, row.caption.text);
    }
    if (row.kind == kPanelKnob || row.kind == kPanelKnobSmall) {
      const PanelRect box = moved({row.dx - 4, row.dy + h + 2, row.dx + w + 4, row.dy + h + 12}, x, y);
      expectCentred(inkIn(shot, plain, y, box, 0, 128), box, 0, "value under the knob at " + std::to_string(row.dx));
    }
  }
}

// The global section's captions (bold, size 10 unless given) and labels, centred on the places the artwork
// gives them: caption boxes are the text's width + 4 wide, labels fill their boxes.
void expectGlobalTextInPlace(LICE_IBitmap* shot)
{
  struct Place
  {
    const char* text;
    int cx, t, size;
    PanelRect box = {}; // a label's box; else a caption's, worked out from cx, t and the size
  };
  const Place places[] = {
      {"PROGRAM", 52, 38, 10},  {"MIDI", 215, 38, 10},    {"BEND", 30, 128, 10},      {"LEGATO", 118, 133, 10},
      {"MIDI SRC", 224, 136, 10}, {"VOICE OUT", 101, 194, 10}, {"VOLUME", 158, 194, 10}, {"DRONE", 33, 253, 9},
      {"RELEASE", 222, 262, 9}, {"VELTRANE", 0, 0, 13, {10, 0, 130, 24}}, {"MENU", 0, 0, 10, {136, 55, 184, 75}},
      {"LOAD", 0, 0, 10, {144, 167, 176, 181}}, {"LEARN", 0, 0, 10, {191, 54, 239, 76}},
  };
  LICE_IBitmap* plain = BitmapStore::getBitmap(kImageBack)->mData;
  for (const Place& p : places) {
    const int textW = art::Canvas::textWidth(p.text, p.size, true);
    // A label is looked for inside its face's edge, against the face; a caption against the body around it.
    const PanelRect box = p.box.empty() ? PanelRect{p.cx - (textW + 4) / 2, p.t, p.cx - (textW + 4) / 2 + textW + 4, p.t + p.size + 2}
                                        : PanelRect{p.box.l + 3, p.box.t + 3, p.box.r - 3, p.box.b - 3};
    const int l = p.box.empty() ? box.l - 40 : box.l, r = p.box.empty() ? box.r + 40 : box.r;
    expectCentred(inkIn(shot, plain, 0, box, std::max(l, 0), std::min(r, 256)), box, textW, p.text);
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
    expectPanelTextInPlace(shot, *panelLayoutOf(id));
    if (!built) expectGlobalTextInPlace(shot);
    const int cell = id - 1;
    LICE_Blit(sheet.get(), shot, (cell % kColumns) * kW, (cell / kColumns) * kH, PanelRig::kX, PanelRig::kY, kW, kH, 1.0f,
              LICE_BLIT_MODE_COPY);
    ++built;
  }
  mkdir(VELTRANE_TEST_OUTPUT, 0755);
  EXPECT_TRUE(LICE_WritePNG((std::string(VELTRANE_TEST_OUTPUT) + "/module_panels.png").c_str(), sheet.get(), false));
  EXPECT_GT(built, 0);
}
