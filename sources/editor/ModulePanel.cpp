// The panel builder and the geometry the artwork generator shares with it.
#include "ModulePanel.h"

#include "BeatSteps.h"
#include "BitmapStore.h"
#include "EditorImages.h"
#include "ModuleConfig.h"
#include "SourceDef.h"
#include "SourceMenus.h"
#include "Veltrane.h"
#include "ValueControls.h"
#include "WavetableLoader.h"

namespace {

constexpr int kPopUpW = 58, kPopUpH = 12; // a pop-up without a button image

// The button of a source menu follows the input's type alone.
int sourceButton(int type)
{
  switch (type) {
  case SourceDef::MODULATION: return kImageButton;
  case SourceDef::GATE: return kImageButtonOrange;
  default: return kImageButtonBlue; // audio, audio or modulation, sync
  }
}

} // namespace

int panelImage(const PanelControl& c)
{
  switch (c.kind) {
  case kPanelKnob: return kImageKnob;
  case kPanelKnobSmall: return kImageKnobSmall;
  case kPanelSources: return sourceButton(c.option);
  case kPanelPopUp:
  case kPanelSwitch: return c.option;
  case kPanelLed: return kImageLed;
  case kPanelBeatSteps: return kImageButtonLight;
  case kPanelLoader: return 0;
  }
  return 0;
}

PanelRect panelControlRect(const PanelControl& c, int w, int h)
{
  const int x = c.dx, y = c.dy;
  switch (c.kind) {
  case kPanelKnob:
  case kPanelKnobSmall: return {x - 4, y, x + w + 4, y + h + 16};
  case kPanelSources: return {x - 1, y - 2, x - 1 + w, y - 2 + h};
  case kPanelPopUp:
    if (c.option) return {x - 1, y - 2, x - 1 + w, y - 2 + h};
    return {x, y, x + kPopUpW, y + kPopUpH};
  case kPanelSwitch:
  case kPanelLed: return {x, y, x + w, y + h};
  case kPanelLoader: return {x, y, x + c.w, y + c.h};
  case kPanelBeatSteps: return {x, y, x + ITWBeatStepControl::kWidth, y + ITWBeatStepControl::kHeight};
  }
  return {x, y, x, y};
}

PanelRect panelCaptionAnchor(const PanelControl& c, int w, int h)
{
  if (c.kind == kPanelKnob || c.kind == kPanelKnobSmall) return {c.dx - 4, c.dy, c.dx + w + 4, c.dy + h};
  return panelControlRect(c, w, h);
}

PanelRect panelCaptionRect(const PanelControl& c, const PanelRect& a, int textW, int textH)
{
  const int cx = (a.l + a.r) / 2, cy = (a.t + a.b) / 2;
  PanelRect r = {};
  switch (c.caption.place) {
  case kAbove: r = {cx - textW / 2, a.t - 1 - textH, 0, a.t - 1}; break;
  case kBelow: r = {cx - textW / 2, a.b + 1, 0, a.b + 1 + textH}; break;
  case kLeft: r = {a.l - 2 - textW, cy - textH / 2, a.l - 2, 0}; break;
  case kRight: r = {a.r + 2, cy - textH / 2, a.r + 2 + textW, 0}; break;
  }
  if (r.r == 0 && c.caption.place != kLeft) r.r = r.l + textW;
  if (r.b == 0) r.b = r.t + textH;
  r.l += c.caption.nx;
  r.r += c.caption.nx;
  r.t += c.caption.ny;
  r.b += c.caption.ny;
  return r;
}

void buildPanel(ModuleConfig* config, int x, int y, int base, const PanelLayout& layout)
{
  buildPanelBackground(config, x, y, layout.background);
  buildPanelControls(config, x, y, base, layout);
}

void buildPanelBackground(ModuleConfig* config, int x, int y, int image)
{
  Veltrane* plug = config ? config->owner : nullptr;
  if (IGraphics* gui = plug ? plug->GetGUI() : nullptr)
    gui->AttachControl(new IBitmapControl(plug, x, y, -1, BitmapStore::getBitmap(image)));
}

void buildPanelControls(ModuleConfig* config, int x, int y, int base, const PanelLayout& layout)
{
  Veltrane* plug = config ? config->owner : nullptr;
  IGraphics* gui = plug ? plug->GetGUI() : nullptr;
  if (!gui) return;
  const bool master = config->master != 0;
  for (const PanelControl& row : layout) {
    const int cx = x + row.dx, cy = y + row.dy;
    const int param = row.param >= 0 ? base + row.param : -1;
    IBitmap* image = BitmapStore::getBitmap(panelImage(row));
    IControl* control = nullptr;
    switch (row.kind) {
    case kPanelKnob:
    case kPanelKnobSmall:
      control = new ITWKnobMultiControlText(plug, gui, cx, cy, param, image, (row.flags & kPanelWheelByStep) != 0);
      break;
    case kPanelSources:
      control = new ITWSourcesMenuControl(plug, cx, cy, param, (SourceDef::SourceType)row.option, master, image);
      break;
    case kPanelPopUp:
      control = new ITWPopUpMenuControl(plug, cx, cy, param, row.option ? image : nullptr,
                                        (row.flags & kPanelAlwaysLit) != 0);
      break;
    case kPanelSwitch: control = new ITWSwitchControl(plug, cx, cy, param, image); break;
    case kPanelLed: control = new IBitmapControl(plug, cx, cy, -1, image); break;
    case kPanelLoader:
      control = new ITWLoadWavetableControl(plug, IRECT(cx, cy, cx + row.w, cy + row.h), param, config, kFileOpen, "",
                                            "wav syx");
      break;
    case kPanelBeatSteps: control = new ITWBeatStepControl(plug, cx, cy, param); break;
    }
    if (!control) continue;
    if (row.flags & kPanelHidden) control->Hide(true);
    if (row.flags & kPanelSpecial)
      config->addSpecialControl(gui, control);
    else
      gui->AttachControl(control);
  }
}

IControl* const* panelSpecials(const ModuleConfig* config, int count)
{
  if (!config || (int)config->specialControls.size() != count) return nullptr;
  return config->specialControls.data();
}

void showLamp(IControl* lamp, bool lit)
{
  if (lamp && lamp->IsHidden() == lit) lamp->Hide(!lit);
}
