// A module panel as data: the controls of one module type's panel in attach order, each with its kind,
// position, slot parameter and the caption the background image carries for it. The panel builder makes the
// controls from the table, and the artwork generator draws the captions from the same table, so a caption
// cannot lose its control.
//
//   const PanelControl kRows[] = {
//     popUp(18, 24, 0, 0, {"WAVE", kAbove}),
//     knob(16, 64, 4, {"SEMI"}),
//     sources(16, 280, 7, SourceDef::MODULATION),
//   };
//   const PanelLayout Oscillator::panel = {kImageOsc, kRows};
//   void Oscillator::createGraphics(ModuleConfig* c, int x, int y, int base) { buildPanel(c, x, y, base, panel); }
//
// Positions are offsets from the panel origin, handed to each control's constructor as the module panels
// place them; every rectangle below is in panel pixels. This header needs no editor headers, so the
// artwork generator includes it as it is.
#pragma once

#include <cstddef>

class IControl;
class ModuleConfig;

enum PanelKind : unsigned char
{
  kPanelKnob,      // knob with its value text below (image "knob")
  kPanelKnobSmall, // the same with the small knob image
  kPanelSources,   // source menu of an input selector; option: the source type
  kPanelPopUp,     // chooser of a list parameter; option: its button image id, 0 for plain text
  kPanelSwitch,    // two-frame switch; option: its image id
  kPanelLed,       // indicator lamp without a parameter, shown and hidden by the module
  kPanelLoader,    // the wavetable file chooser; w and h give its rectangle
  kPanelBeatSteps, // a beat sequencer's column of 16 step lamps
};

enum PanelFlags : unsigned char
{
  kPanelSpecial = 1,   // registered in the slot's special-control list (the module updates it)
  kPanelHidden = 2,    // hidden at creation
  kPanelAlwaysLit = 4, // pop-up with a button image: lit also on its first entry
  kPanelWheelByStep = 8, // knob: the mouse wheel moves by the parameter's own step, not by 0.001
};

// Where a caption sits beside its control: centred above or below it, or left or right of it.
enum CaptionPlace : unsigned char
{
  kAbove,
  kBelow,
  kLeft,
  kRight,
};

struct PanelCaption
{
  const char* text = nullptr; // null: the control has no caption
  CaptionPlace place = kAbove;
  signed char nx = 0, ny = 0; // a nudge in pixels from the computed place
};

struct PanelControl
{
  PanelKind kind;
  short dx, dy;
  short param;          // offset from the slot's first host parameter; -1 for none
  unsigned char option; // source type, or image id
  unsigned char flags;
  PanelCaption caption;
  short w = 0, h = 0; // the loader's rectangle size
};

struct PanelRect
{
  int l, t, r, b; // right and bottom exclusive
  bool overlaps(const PanelRect& o) const { return l < o.r && o.l < r && t < o.b && o.t < b; }
  bool empty() const { return r <= l || b <= t; }
};

struct PanelLayout
{
  int background; // image id of the panel background
  const PanelControl* controls;
  int count;

  template <size_t N> constexpr PanelLayout(int bg, const PanelControl (&rows)[N]) : background(bg), controls(rows), count((int)N)
  {
  }
  const PanelControl* begin() const { return controls; }
  const PanelControl* end() const { return controls + count; }
};

// ---- table rows ----
constexpr PanelControl knob(int dx, int dy, int param, PanelCaption c = {})
{
  return {kPanelKnob, (short)dx, (short)dy, (short)param, 0, 0, c};
}
constexpr PanelControl smallKnob(int dx, int dy, int param, PanelCaption c = {})
{
  return {kPanelKnobSmall, (short)dx, (short)dy, (short)param, 0, 0, c};
}
constexpr PanelControl sources(int dx, int dy, int param, int sourceType, PanelCaption c = {})
{
  return {kPanelSources, (short)dx, (short)dy, (short)param, (unsigned char)sourceType, 0, c};
}
constexpr PanelControl popUp(int dx, int dy, int param, int image = 0, PanelCaption c = {})
{
  return {kPanelPopUp, (short)dx, (short)dy, (short)param, (unsigned char)image, 0, c};
}
constexpr PanelControl switchControl(int dx, int dy, int param, int image, PanelCaption c = {})
{
  return {kPanelSwitch, (short)dx, (short)dy, (short)param, (unsigned char)image, 0, c};
}
// Lamps are always special: the module shows and hides them. They start dark, so that a rebuilt panel
// does not flash every lamp until the module's first refresh.
constexpr PanelControl led(int dx, int dy, PanelCaption c = {})
{
  return {kPanelLed, (short)dx, (short)dy, -1, 0, kPanelSpecial | kPanelHidden, c};
}
constexpr PanelControl loader(int l, int t, int r, int b, int param, PanelCaption c = {})
{
  return {kPanelLoader, (short)l, (short)t, (short)param, 0, kPanelSpecial, c, (short)(r - l), (short)(b - t)};
}
constexpr PanelControl beatSteps(int dx, int dy, int param, PanelCaption c = {})
{
  return {kPanelBeatSteps, (short)dx, (short)dy, (short)param, 0, 0, c};
}
constexpr PanelControl special(PanelControl c)
{
  c.flags |= kPanelSpecial;
  return c;
}
constexpr PanelControl hidden(PanelControl c)
{
  c.flags |= kPanelHidden;
  return c;
}
constexpr PanelControl alwaysLit(PanelControl c)
{
  c.flags |= kPanelAlwaysLit;
  return c;
}
constexpr PanelControl wheelByStep(PanelControl c)
{
  c.flags |= kPanelWheelByStep;
  return c;
}

// ---- geometry ----
// The image a row's control draws with (0: none).
int panelImage(const PanelControl& c);
// The rectangle the control takes, given the width and frame height of its image (as the control classes
// derive it from their position and image).
PanelRect panelControlRect(const PanelControl& c, int imageW, int imageH);
// The part of the control its caption must sit beside (a knob without its value text).
PanelRect panelCaptionAnchor(const PanelControl& c, int imageW, int imageH);
// The box of a caption of the given text size beside its anchor.
PanelRect panelCaptionRect(const PanelControl& c, const PanelRect& anchor, int textW, int textH);

// Makes the panel's controls at (x, y) for the slot whose first host parameter is base: the background
// first, then the rows in order; special rows go to the slot's special-control list. Needs the editor open.
void buildPanel(ModuleConfig* config, int x, int y, int base, const PanelLayout& layout);
// The rows alone, without the background (for panels that share their controls under different images).
void buildPanelControls(ModuleConfig* config, int x, int y, int base, const PanelLayout& layout);
// The background alone.
void buildPanelBackground(ModuleConfig* config, int x, int y, int image);

// For a module's refresh: the slot's special controls when the list holds exactly the count its panel
// registers (the panel the module expects is the one shown), else null, and the refresh does nothing.
IControl* const* panelSpecials(const ModuleConfig* config, int count);
// Shows or hides a lamp, touching it only when that changes (a hide marks the control for redrawing).
void showLamp(IControl* lamp, bool lit);

// The panel table of a module type, null for none (empty types and ids outside 1..44).
const PanelLayout* panelLayoutOf(int moduleID);
