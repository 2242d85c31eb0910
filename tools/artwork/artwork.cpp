// artwork: draws the editor's 61 images and writes them as PNG files into a folder (the plug-in's
// resources folder, as the build runs it).
//
//   artwork OUTPUT_FOLDER
//
// One calm, dark instrument panel: flat panel bodies with a soft vertical gradient, module panels marked
// by their category's colour, knobs with a value arc and a pointer over 65 positions, buttons and lamps
// whose lit and unlit states differ in brightness as well as hue. Sizes follow the control rectangles of
// the editor's panels (a knob frame is 28 x 28 because knobs stand 48 pixels above the bottom row of menus,
// a menu button 30 x 14 because two gate menus of the comb filter stand 14 pixels apart, and so on; see
// pieceSize). Same program, same bytes: nothing here reads the clock or the environment.
#include "Canvas.h"
#include "EditorImages.h"
#include "ModulePanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace art;

namespace {

constexpr float kPi = 3.14159265358979f;

// ---- palette ----
const Color kWindow = hex(0x17191d);
const Color kWell = hex(0x121417);
const Color kBodyTop = hex(0x23262c), kBodyBottom = hex(0x1e2126);
const Color kEdge = hex(0x34383f);
const Color kHighlight = hex(0x3d424a);
const Color kCaption = hex(0xc8ccd4);
const Color kSecondary = hex(0x8a909a);
const Color kValue = hex(0xe8eaee);
const Color kUnlit = hex(0x3a3e45);
const Color kUnlitRim = hex(0x272a30);
const Color kGlobal = hex(0x6f8bab);
const Color kKnobArc = hex(0xd9a441);

// Module categories 1..8: Oscillators, Filters, Amplifiers, Processors, Modulators, Sequencers, Effects, Tools.
const Color kCategory[9] = {kGlobal,       hex(0xe0913a), hex(0x3aa0e0), hex(0x58c46a), hex(0xb072e0),
                            hex(0xe0c23a), hex(0xe0584d), hex(0x3ac4b8), hex(0x9aa0aa)};

// Editor geometry the background follows.
constexpr int kEditorW = 1280, kEditorH = 650;
constexpr int kGlobalW = 256, kRowH = 325;
constexpr int kSlotW = 128, kHeaderH = 24, kPanelH = 300;

// ---- pieces ----

struct Size
{
  int w, h; // one frame
};

Size pieceSize(int id)
{
  switch (id) {
  case kImageBack: return {kEditorW, kEditorH};
  case kImageLearn:
  case kImageUnlearn: return {48, 22};  // at (191, 54), inside the global section's right margin
  case kImagePrev:
  case kImageNext: return {22, 20};     // at (16, 55) and (66, 55), beside the number at x 40..64
  case kImageDigits: return {10, 16};   // tens at x + 2, units at x + 12 of a 24 x 16 field
  case kImageLed: return {8, 8};        // beat-step LEDs 13 pixels apart, left of a column at x + 19
  case kImageMasterOn: return {12, 12}; // header left + 2, top + 5, before the menu at left + 16
  case kImageMasterHead: return {kSlotW, kHeaderH};
  case kImageMasterBack: return {kSlotW, kPanelH};
  case kImageButton:
  case kImageButtonBlue:
  case kImageButtonOrange: return {30, 14}; // comb filter: two menus 14 pixels apart; mixer: 37 between knobs
  case kImageButtonRed: return {34, 18};    // the MIDI sources field is 34 wide; tuning menu 18 below
  case kImageButtonOutput: return {44, 20}; // voice sums at x 80, volume knob at x 140; 28 apart
  case kImageButtonLight:
  case kImageButtonLight2: return {24, 12}; // beat-step lamps: 13 pixels apart, columns 25 apart
  case kImageButtonFreeze: return {40, 14}; // BBD hold: between the range menu and the gate menu
  case kImageSwitch2Orange: return {16, 20}; // between knobs at x 16 and 80 (their rectangles 48..76)
  case kImageSwitch2Horiz: return {28, 14};
  case kImageKnob: return {28, 28};      // rows 56 apart with 16 of text; 48 above a menu row
  case kImageKnobSmall: return {20, 20}; // comb: 36 from its top to the next menu
  default: return {kSlotW, kPanelH};     // module backgrounds
  }
}

// The module backgrounds: the panel body, the category colour, and the captions of the panel's controls,
// taken from the panel tables the editor builds the panels from.
struct ModuleArt
{
  int id;
  const char* name;
  int category;
};
const ModuleArt kModules[] = {
    {23, "OSCILLATOR", 1},    {24, "DUAL OSC", 1},      {25, "OSC LIN FM", 1},     {26, "FORMANT", 1},
    {27, "DUAL NOISE", 1},    {28, "FILTER", 2},        {29, "COMB FILTER", 2},    {30, "RESONATORS", 2},
    {31, "AMPLIFIER", 3},     {32, "MIXER", 3},         {33, "SIGNAL PROC", 3},    {34, "BLENDER", 3},
    {35, "RING MOD", 4},      {36, "AUDIO S/H", 4},     {37, "HILBERT", 4},        {38, "BIT REDUCER", 4},
    {39, "SATURATOR", 4},     {40, "ENVELOPE", 5},      {41, "DUAL ENVELOPE", 5},  {42, "QUAD ENVELOPE", 5},
    {43, "LFO", 5},           {44, "DUAL LFO", 5},      {45, "SAMPLE + HOLD", 5},  {46, "SEQUENCER", 6},
    {47, "SWITCH", 6},        {48, "BEAT SEQ", 6},      {49, "BBD DELAY", 7},      {50, "DELAY LINE", 7},
    {51, "REVERB", 7},        {52, "VOLTAGE PROC", 8},  {53, "LAG / ADDER", 8},    {54, "SAMPLE DELAY", 8},
    {55, "GATE TOOLS", 8},    {56, "MOD DELAY", 8},     {57, "EQUALIZER", 2},      {58, "ST. FILTER", 2},
    {59, "ST. COMB", 2},      {60, "ST. RESONATORS", 2}, {61, "PARAMETRIC EQ", 2},
};

// The panel body of a slot area: gradient, a lighter top edge and a frame.
void panelBody(Canvas& c, int x, int y, int w, int h)
{
  c.gradRect(x, y, w, h, kBodyTop, kBodyBottom);
  c.hline(x, x + w, y, kHighlight);
  c.fillRect(x, y, 1, h, kEdge);
  c.fillRect(x + w - 1, y, 1, h, kEdge);
  c.hline(x, x + w, y + h - 1, kEdge);
}

constexpr int kCaptionSize = 9, kCaptionH = 10;

// A caption's box and text, and the controls of every panel drawn on one background.
struct PlacedCaption
{
  PanelRect box;
  std::string text;
};
struct PanelArt
{
  std::vector<PanelRect> controls;
  std::vector<PlacedCaption> captions;
  std::vector<std::string> problems;
};

// Lays out the captions of every panel table whose background is this image, and checks them: inside the
// panel, clear of every control and of each other (the same caption of two tables at one place counts once).
PanelArt layOutCaptions(int imageId)
{
  PanelArt art;
  for (int moduleID = 1; moduleID < 64; ++moduleID) {
    const PanelLayout* layout = panelLayoutOf(moduleID);
    if (!layout && moduleID > 44) break;
    if (!layout || layout->background != imageId) continue;
    for (const PanelControl& row : *layout) {
      const int image = panelImage(row);
      const Size s = image ? pieceSize(image) : Size{0, 0};
      art.controls.push_back(panelControlRect(row, s.w, s.h));
      if (!row.caption.text) continue;
      const PanelRect anchor = panelCaptionAnchor(row, s.w, s.h);
      const int w = Canvas::textWidth(row.caption.text, kCaptionSize, true) + 2;
      const PlacedCaption c = {panelCaptionRect(row, anchor, w, kCaptionH), row.caption.text};
      bool seen = false;
      for (const PlacedCaption& o : art.captions)
        seen = seen || (o.text == c.text && o.box.l == c.box.l && o.box.t == c.box.t);
      if (!seen) art.captions.push_back(c);
    }
  }
  char line[160];
  for (size_t i = 0; i < art.captions.size(); ++i) {
    const PlacedCaption& c = art.captions[i];
    if (c.box.l < 1 || c.box.r > kSlotW - 1 || c.box.t < 3 || c.box.b > kPanelH - 1) {
      std::snprintf(line, sizeof line, "caption \"%s\" leaves the panel", c.text.c_str());
      art.problems.push_back(line);
    }
    for (size_t k = 0; k < art.controls.size(); ++k)
      if (c.box.overlaps(art.controls[k])) {
        std::snprintf(line, sizeof line, "caption \"%s\" covers control %zu", c.text.c_str(), k + 1);
        art.problems.push_back(line);
      }
    for (size_t k = i + 1; k < art.captions.size(); ++k)
      if (c.box.overlaps(art.captions[k].box)) {
        std::snprintf(line, sizeof line, "captions \"%s\" and \"%s\" overlap", c.text.c_str(), art.captions[k].text.c_str());
        art.problems.push_back(line);
      }
  }
  return art;
}

// The problems found in all module backgrounds; the build stops on any.
std::vector<std::string> captionProblems;

void moduleBackground(Canvas& c, const ModuleArt& m)
{
  const Color cat = kCategory[m.category];
  panelBody(c, 0, 0, kSlotW, kPanelH);
  c.gradRect(1, 0, kSlotW - 2, 3, cat, cat.scaled(0.8f));
  const PanelArt art = layOutCaptions(m.id);
  for (const std::string& p : art.problems) captionProblems.push_back(std::string(m.name) + ": " + p);
  for (const PlacedCaption& k : art.captions) {
    c.text(k.text.c_str(), k.box.l, k.box.t, k.box.r - k.box.l, kCaptionH, kCaptionSize, true, kSecondary);
  }
  // The name under the category bar where no control or caption is: centred, else right, else left. The
  // slot's header names the module as well, so a panel without room goes without.
  const int w = Canvas::textWidth(m.name, 10, true) + 4;
  const PanelRect places[] = {{(kSlotW - w) / 2, 3, (kSlotW + w) / 2, 15}, {kSlotW - 4 - w, 3, kSlotW - 4, 15}, {4, 3, 4 + w, 15}};
  for (const PanelRect& r : places) {
    bool clear = true;
    for (const PanelRect& k : art.controls) clear = clear && !r.overlaps(k);
    for (const PlacedCaption& k : art.captions) clear = clear && !r.overlaps(k.box);
    if (!clear) continue;
    c.text(m.name, r.l, r.t, r.r - r.l, 12, 10, true, cat.withAlpha(0.85f));
    break;
  }
}

void masterBack(Canvas& c)
{
  c.gradRect(0, 0, kSlotW, kPanelH, hex(0x1c2026), hex(0x191c21));
  c.fillRect(0, 0, 1, kPanelH, kEdge);
  c.fillRect(kSlotW - 1, 0, 1, kPanelH, kEdge);
  c.hline(0, kSlotW, kPanelH - 1, kEdge);
  c.gradRect(1, 0, kSlotW - 2, 3, kGlobal, kGlobal.scaled(0.8f));
  // Faint diagonal hatching: an empty master slot reads as a reserved place, not as a missing panel.
  for (int k = -kPanelH; k < kSlotW; k += 12) c.line((float)k, (float)kPanelH, (float)(k + kPanelH), 0.0f, 1.0f, kGlobal.withAlpha(0.05f));
  c.text("MASTER", 0, 140, kSlotW, 16, 12, true, kGlobal.withAlpha(0.45f));
  c.text("empty", 0, 158, kSlotW, 14, 11, false, kSecondary.withAlpha(0.4f));
}

void masterHead(Canvas& c)
{
  // Over the whole header: an accent frame and tint; the indicator's corner stays clear.
  c.shape(0, 0, kSlotW, kHeaderH,
          [](float px, float py) {
            const float rect = std::max(std::fabs(px - kSlotW * 0.5f) - kSlotW * 0.5f, std::fabs(py - kHeaderH * 0.5f) - kHeaderH * 0.5f);
            return std::max(rect, 6.0f - sdCircle(px, py, 8.0f, 11.0f, 0.0f));
          },
          kGlobal.withAlpha(0.16f));
  c.gradRect(0, 0, kSlotW, 2, kGlobal, kGlobal.scaled(0.85f));
  c.fillRect(kSlotW - 1, 2, 1, kHeaderH - 2, kGlobal.withAlpha(0.5f));
}

// The editor's header strip of a slot: the selector draws the module's label over it.
void headerStrip(Canvas& c, int x, int y)
{
  c.gradRect(x, y, kSlotW, kHeaderH, hex(0x2c3037), hex(0x24272d));
  c.hline(x, x + kSlotW, y, hex(0x41464f));
  c.hline(x, x + kSlotW, y + kHeaderH - 1, hex(0x111316));
  c.fillRect(x + kSlotW - 1, y, 1, kHeaderH, hex(0x1a1c20));
  // The voice/master indicator, unlit (the lit one is master_on.png).
  c.disc(x + 8.0f, y + 11.0f, 4.0f, kUnlitRim);
  c.disc(x + 8.0f, y + 11.0f, 3.0f, kUnlit);
  // A small chevron: the header opens the module menu.
  c.line(x + 115.0f, y + 10.0f, x + 118.0f, y + 13.0f, 1.2f, kSecondary.withAlpha(0.6f));
  c.line(x + 118.0f, y + 13.0f, x + 121.0f, y + 10.0f, 1.2f, kSecondary.withAlpha(0.6f));
}

void slotWell(Canvas& c, int x, int y)
{
  c.gradRect(x, y, kSlotW, kPanelH, kWell, hex(0x101215));
  c.fillRect(x + kSlotW - 1, y, 1, kPanelH, hex(0x1d2024));
  c.text("empty slot", x, y + kPanelH / 2 - 8, kSlotW, 16, 11, false, hex(0x2c3036));
}

// A recessed display field (program number and name, voice count).
void displayWell(Canvas& c, int x, int y, int w, int h)
{
  c.roundRect((float)x, (float)y, (float)w, (float)h, 3.0f, hex(0x0e1012));
  c.roundRectEdge((float)x, (float)y, (float)w, (float)h, 3.0f, hex(0x2b2f35));
}

void caption(Canvas& c, const char* text, int cx, int y, int size = 10, const Color& col = kSecondary)
{
  const int w = Canvas::textWidth(text, size, true) + 4;
  c.text(text, cx - w / 2, y, w, size + 2, size, true, col);
}

// The face of a small flat button drawn into the background (the option menus draw none of their own).
void faceButton(Canvas& c, int x, int y, int w, int h, const char* label)
{
  c.gradRoundRect((float)x, (float)y, (float)w, (float)h, 3.0f, hex(0x343840), hex(0x2a2e35));
  c.roundRectEdge((float)x, (float)y, (float)w, (float)h, 3.0f, hex(0x474c55));
  if (label) c.text(label, x, y, w, h, 10, true, kCaption);
}

void background(Canvas& c)
{
  c.fillRect(0, 0, kEditorW, kEditorH, kWindow);
  // Slot areas: 8 at the top right of the global section, 10 along the bottom.
  for (int p = 0; p < 18; ++p) {
    const int x = p < 8 ? kGlobalW + kSlotW * p : kSlotW * (p - 8);
    const int y = p < 8 ? 0 : kRowH + 1;
    headerStrip(c, x, y);
    slotWell(c, x, y + kHeaderH);
  }
  c.hline(0, kEditorW, kRowH - 1, hex(0x0b0c0e));
  c.hline(0, kEditorW, kRowH, hex(0x0b0c0e));

  // The global section: panel, a header strip in its accent colour, captions at its controls.
  panelBody(c, 0, 0, kGlobalW, kRowH - 1);
  c.gradRect(0, 0, kGlobalW, kHeaderH, kGlobal, kGlobal.scaled(0.78f));
  c.hline(0, kGlobalW, kHeaderH, hex(0x0e1012));
  c.text("VELTRANE", 10, 0, 120, kHeaderH, 13, true, hex(0x15181c));
  c.text("polyphonic modular", 120, 1, 128, kHeaderH, 10, false, hex(0x1d2228), 2);

  // Program row: previous and next around the number, version text, the program menu, MIDI learn.
  caption(c, "PROGRAM", 52, 38);
  caption(c, "MIDI", 215, 38);
  displayWell(c, 39, 56, 26, 20);
  faceButton(c, 136, 55, 48, 20, "MENU");
  displayWell(c, 14, 94, 228, 22);
  c.hline(12, kGlobalW - 12, 125, kEdge);

  // Performance row: bend range and portamento knobs, legato switch, tuning, MIDI sources.
  caption(c, "BEND", 30, 128);
  caption(c, "GLIDE", 82, 128);
  caption(c, "LEGATO", 118, 133);
  caption(c, "TUNING", 160, 136);
  faceButton(c, 144, 167, 32, 14, "LOAD");
  caption(c, "MIDI SRC", 224, 136);
  c.hline(12, kGlobalW - 12, 192, kEdge);

  // Voices and outputs: voice count, voice sums, volume, master outputs.
  caption(c, "VOICES", 31, 196);
  displayWell(c, 17, 210, 28, 20);
  caption(c, "VOICE OUT", 101, 194);
  c.text("L", 66, 208, 10, 16, 10, true, kSecondary);
  c.text("R", 66, 236, 10, 16, 10, true, kSecondary);
  caption(c, "VOLUME", 158, 194);
  caption(c, "MASTER", 229, 194);
  caption(c, "DRONE", 33, 253, 9);
  // Output envelope: trigger switch and four knobs.
  caption(c, "TRIG", 22, 264, 9);
  caption(c, "ATTACK", 54, 262, 9);
  caption(c, "DECAY", 110, 262, 9);
  caption(c, "SUSTAIN", 166, 262, 9);
  caption(c, "RELEASE", 222, 262, 9);
}

// ---- knobs ----

// One frame of a knob of diameter d: body, track, value arc, pointer.
void knobFrame(Canvas& c, int y0, int d, int frame, bool small)
{
  const float cx = d * 0.5f, cy = y0 + d * 0.5f;
  const float v = frame / 64.0f;
  const float a0 = -0.75f * kPi, a1 = 0.75f * kPi, a = a0 + v * (a1 - a0);
  const float arcR = d * 0.5f - (small ? 1.6f : 2.0f);
  const float arcW = small ? 1.5f : 2.2f;
  const float bodyR = arcR - (small ? 2.6f : 3.6f);
  // Track and value arc.
  c.shape(0, (float)y0, (float)d, (float)(y0 + d),
          [=](float px, float py) { return sdArc(px, py, cx, cy, arcR, a0, a1, arcW * 0.5f); }, hex(0x2e3238));
  if (frame > 0)
    c.shape(0, (float)y0, (float)d, (float)(y0 + d),
            [=](float px, float py) { return sdArc(px, py, cx, cy, arcR, a0, a, arcW * 0.5f); }, kKnobArc);
  // Body: a soft shadow, a rim, the face lighter at the top.
  c.disc(cx, cy + 0.8f, bodyR + 0.6f, Color(0, 0, 0, 0.45f));
  c.disc(cx, cy, bodyR, hex(0x4a5059));
  c.shape(
      cx - bodyR, cy - bodyR, cx + bodyR, cy + bodyR,
      [=](float px, float py) { return sdCircle(px, py, cx, cy, bodyR - 1.0f); },
      [=](float, float py) {
        float t = (py - (cy - bodyR)) / (2 * bodyR);
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        return hex(0x3c414a).mix(hex(0x25282e), t);
      });
  // Pointer from near the centre to the rim.
  const float s = std::sin(a), co = std::cos(a);
  const float r0 = small ? 1.5f : 2.5f, r1 = bodyR - 1.2f;
  c.line(cx + r0 * s, cy - r0 * co, cx + r1 * s, cy - r1 * co, small ? 1.5f : 1.9f, kValue);
}

// ---- two-state pieces ----

// A flat button: off = panel-dark face with an edge; on = the face lit in its colour.
void flatButton(Canvas& c, int y0, int w, int h, bool on, const Color& lit, float radius = 3.0f)
{
  const float x = 0.5f, y = y0 + 0.5f, fw = w - 1.0f, fh = h - 1.0f;
  if (on) {
    c.gradRoundRect(x, y, fw, fh, radius, lit.scaled(1.12f), lit.scaled(0.86f));
    c.roundRectEdge(x, y, fw, fh, radius, lit.scaled(0.55f));
    c.fillRect((int)radius + 1, y0 + 1, w - 2 * (int)radius - 2, 1, Color(1, 1, 1, 0.28f));
  } else {
    c.gradRoundRect(x, y, fw, fh, radius, hex(0x2e3238), hex(0x24272d));
    c.roundRectEdge(x, y, fw, fh, radius, hex(0x454a53));
  }
}

void learnButton(Canvas& c, int y0, bool on, const char* label)
{
  const Size s = pieceSize(kImageLearn);
  flatButton(c, y0, s.w, s.h, on, hex(0xe0584d));
  int size = 10;
  while (size > 9 && Canvas::textWidth(label, size, true) > s.w - 6) --size;
  c.text(label, 0, y0, s.w, s.h, size, true, on ? hex(0x1a0d0c) : kCaption);
}

void arrowButton(Canvas& c, int y0, bool on, bool next)
{
  const Size s = pieceSize(kImagePrev);
  flatButton(c, y0, s.w, s.h, on, kGlobal.scaled(1.3f));
  const float cx = s.w * 0.5f, cy = y0 + s.h * 0.5f, dx = next ? -1.0f : 1.0f; // tip toward -dx
  const Color ink = on ? hex(0x14171b) : kCaption;
  c.shape(0, (float)y0, (float)s.w, (float)(y0 + s.h),
          [=](float px, float py) {
            // A triangle pointing left or right.
            const float lx = (px - cx) * dx, ly = std::fabs(py - cy);
            const float d1 = lx - 3.0f, d2 = (-lx - 2.5f) * 0.6f + ly * 0.8f - 1.6f;
            return (d1 > d2 ? d1 : d2);
          },
          ink);
}

void digit(Canvas& c, int y0, int d)
{
  const Size s = pieceSize(kImageDigits);
  c.fillRect(0, y0, s.w, s.h, hex(0x0e1012));
  char t[2] = {(char)('0' + d), 0};
  c.text(t, 0, y0, s.w, s.h, 14, true, kValue);
}

void led(Canvas& c, const Color& lit)
{
  const Size s = pieceSize(kImageLed);
  const float cx = s.w * 0.5f, cy = s.h * 0.5f;
  c.glow(cx, cy, 1.5f, 4.0f, lit.withAlpha(0.55f));
  c.disc(cx, cy, 2.6f, lit);
  c.disc(cx - 0.7f, cy - 0.8f, 1.0f, Color(1, 1, 1, 0.55f));
}

void masterOn(Canvas& c)
{
  // Lit indicator over the header's unlit one (centre 8, 11 of the header: 6, 6 here).
  c.glow(6, 6, 2.0f, 6.0f, kGlobal.scaled(1.4f).withAlpha(0.6f));
  c.disc(6, 6, 4.0f, hex(0x1a1d22));
  c.disc(6, 6, 3.2f, kGlobal.scaled(1.45f));
  c.disc(5.2f, 5.2f, 1.1f, Color(1, 1, 1, 0.6f));
}

void lamp(Canvas& c, int y0, bool on, bool accent)
{
  const Size s = pieceSize(kImageButtonLight);
  const Color lit = accent ? hex(0xff8a5c) : kCategory[6];
  const float x = 1.5f, y = y0 + 1.5f, w = s.w - 3.0f, h = s.h - 3.0f;
  if (on) {
    c.glow(s.w * 0.5f, y0 + s.h * 0.5f, 3.0f, 9.0f, lit.withAlpha(0.25f));
    c.gradRoundRect(x, y, w, h, 2.0f, lit.scaled(1.15f), lit.scaled(0.85f));
    c.roundRectEdge(x, y, w, h, 2.0f, lit.scaled(0.6f));
  } else {
    c.gradRoundRect(x, y, w, h, 2.0f, accent ? hex(0x41454d) : hex(0x33373e), accent ? hex(0x363a41) : hex(0x2a2d33));
    c.roundRectEdge(x, y, w, h, 2.0f, accent ? hex(0x6a5a55) : kUnlitRim);
  }
}

void freeze(Canvas& c, int y0, bool on)
{
  const Size s = pieceSize(kImageButtonFreeze);
  flatButton(c, y0, s.w, s.h, on, kCategory[7]);
  c.text("HOLD", 0, y0, s.w, s.h, 9, true, on ? hex(0x0c1a19) : kSecondary);
}

// A lever in a slot: down and grey when off, up and lit (its slot glowing) when on.
void toggle(Canvas& c, int y0, bool on, bool horizontal)
{
  const Size s = pieceSize(horizontal ? kImageSwitch2Horiz : kImageSwitch2Orange);
  const Color lit = kCategory[1];
  const float sx = horizontal ? 0.5f : 2.5f, sy = y0 + (horizontal ? 2.5f : 0.5f);
  const float sw = horizontal ? s.w - 1.0f : s.w - 5.0f, sh = horizontal ? s.h - 5.0f : s.h - 1.0f;
  c.roundRect(sx, sy, sw, sh, 4.0f, on ? lit.scaled(0.35f) : hex(0x101215));
  c.roundRectEdge(sx, sy, sw, sh, 4.0f, on ? lit.scaled(0.6f) : hex(0x3b4047));
  float tx, ty, tw, th;
  if (horizontal) {
    tw = 12.0f, th = s.h - 6.0f, tx = on ? s.w - 13.0f : 1.0f, ty = y0 + 3.0f;
  } else {
    tw = s.w - 8.0f, th = 8.0f, tx = 4.0f, ty = on ? y0 + 2.0f : y0 + s.h - 10.0f;
  }
  if (on) c.glow(tx + tw * 0.5f, ty + th * 0.5f, 2.0f, 8.0f, lit.withAlpha(0.4f));
  c.gradRoundRect(tx, ty, tw, th, 2.0f, on ? lit.scaled(1.2f) : hex(0x5a5f68), on ? lit.scaled(0.9f) : hex(0x43474f));
}

// ---- the table of pieces ----

void draw(Canvas& c, int id, int frames, Size s)
{
  for (int f = 0; f < frames; ++f) {
    const int y0 = f * s.h;
    const bool on = f == 1;
    switch (id) {
    case kImageBack: background(c); break;
    case kImageLearn: learnButton(c, y0, on, "LEARN"); break;
    case kImageUnlearn: learnButton(c, y0, on, "UNLEARN"); break;
    case kImagePrev: arrowButton(c, y0, on, false); break;
    case kImageNext: arrowButton(c, y0, on, true); break;
    case kImageDigits: digit(c, y0, f); break;
    case kImageLed: led(c, hex(0xffc24a)); break;
    case kImageMasterOn: masterOn(c); break;
    case kImageMasterHead: masterHead(c); break;
    case kImageMasterBack: masterBack(c); break;
    // Menu buttons carry dark text when lit: light faces in the colour of their source type.
    case kImageButton: flatButton(c, y0, s.w, s.h, on, hex(0xd8d2b8)); break;
    case kImageButtonBlue: flatButton(c, y0, s.w, s.h, on, hex(0x6cbcec)); break;
    case kImageButtonOrange: flatButton(c, y0, s.w, s.h, on, hex(0xeeaa5c)); break;
    case kImageButtonOutput: flatButton(c, y0, s.w, s.h, on, kGlobal.scaled(1.4f)); break;
    // White text over both states.
    case kImageButtonRed: flatButton(c, y0, s.w, s.h, on, hex(0xb8433a)); break;
    case kImageButtonLight: lamp(c, y0, on, false); break;
    case kImageButtonLight2: lamp(c, y0, on, true); break;
    case kImageButtonFreeze: freeze(c, y0, on); break;
    case kImageSwitch2Orange: toggle(c, y0, on, false); break;
    case kImageSwitch2Horiz: toggle(c, y0, on, true); break;
    case kImageKnob: knobFrame(c, y0, s.w, f, false); break;
    case kImageKnobSmall: knobFrame(c, y0, s.w, f, true); break;
    default:
      for (const ModuleArt& m : kModules)
        if (m.id == id) moduleBackground(c, m);
      break;
    }
  }
}

} // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: artwork OUTPUT_FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  if (!folder.empty() && folder.back() != '/') folder += '/';
  const EditorImage* images = editorImages();
  for (int i = 0; i < kNumEditorImages; ++i) {
    const EditorImage& image = images[i];
    const Size s = pieceSize(image.id);
    Canvas c(s.w, s.h * image.frames);
    draw(c, image.id, image.frames, s);
    const char* base = std::strrchr(image.name, '/');
    const std::string path = folder + (base ? base + 1 : image.name);
    std::unique_ptr<LICE_MemBitmap> bm = c.toBitmap();
    if (!LICE_WritePNG(path.c_str(), bm.get(), true)) {
      std::fprintf(stderr, "artwork: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  for (const std::string& p : captionProblems) std::fprintf(stderr, "artwork: %s\n", p.c_str());
  return captionProblems.empty() ? 0 : 1;
}
