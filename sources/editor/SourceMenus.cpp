#include "SourceMenus.h"

#include "ControlKit.h"
#include "IGraphics.h"
#include "IParam.h"
#include "ValueControls.h"
#include "Veltrane.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// ---- source selectors ----

bool SourceElement::operator<(const SourceElement& o) const
{
  if (source->type != o.source->type) return source->type < o.source->type;
  if (source->module < 0 || o.source->module < 0) {
    if (source->module != o.source->module) return source->module < o.source->module;
  } else if (source->module != o.source->module) {
    return position < o.position;
  }
  return source->index < o.source->index;
}

ITWSourcesMenuControl::ITWSourcesMenuControl(IPlugBase* plug, int x, int y, int paramIdx, SourceDef::SourceType type_,
                                             bool master_, IBitmap* button_)
    : IControl(plug, IRECT(), paramIdx), veltrane(veltraneOf(plug)), param(editorParam(plug, paramIdx)), type(type_),
      button(button_ ? *button_ : IBitmap()), master(master_)
{
  mRECT = mTargetRECT = IRECT(x - 1, y - 2, x - 1 + button.W, y - 2 + button.frameHeight());
  textRect = mRECT;
  textRect.T += 3;
  mText = productText(11, 192, 0, 0, 0);
  mDblAsSingleClick = true;
  if (param) mValue = param->GetNormalized();
  createTooltip();
}

SourceDefCol* ITWSourcesMenuControl::list()
{
  if (!veltrane) return nullptr;
  return master ? &veltrane->masterSources : &veltrane->voiceSources;
}

void ITWSourcesMenuControl::createTooltip()
{
  SourceDefCol* sources = list();
  if (!sources || !veltrane) return;
  WDL_MutexLock lock(veltrane->GetMutex());
  char label[IParam::kDisplayBufferSize];
  parameterDisplayText(param, label, sizeof label);
  const char* text = sources->getSourceText(label);
  SetTooltip(text ? text : "");
}

void ITWSourcesMenuControl::SetValueFromPlug(double value)
{
  IControl::SetValueFromPlug(value);
  createTooltip();
}

void ITWSourcesMenuControl::getSubmenuLabel(SourceDef* source, char* out, int size)
{
  out[0] = 0;
  if (!source || source->module < 0 || source->module >= Veltrane::kNumSlots) return;
  ModuleConfig& c = veltrane->slotConfig[source->module];
  int outputs;
  if (type == SourceDef::AUDIO_OR_MOD)
    outputs = source->type == SourceDef::AUDIO ? c.getNumberOfOutputs(SourceDef::AUDIO)
                                               : c.getNumberOfOutputs(SourceDef::MODULATION);
  else
    outputs = c.getNumberOfOutputs(type);
  if (outputs >= 2) std::snprintf(out, size, "%s", c.label);
}

std::vector<SourceElement> ITWSourcesMenuControl::buildMenu(MenuTree* tree)
{
  std::vector<SourceElement> elements;
  SourceDefCol* sources = list();
  if (!param || !sources) return elements;
  const int n = param->GetNDisplayTexts();
  char current[IParam::kDisplayBufferSize];
  parameterDisplayText(param, current, sizeof current);
  for (int i = 0; i < n; ++i) {
    SourceDef* s = sources->getSource(i, type);
    if (!s) continue;
    int position = -1;
    for (int p = 0; p < Veltrane::kNumSlots; ++p)
      if (s->module >= 0 && veltrane->slotAt(p) == s->module) position = p;
    elements.push_back(SourceElement{s, i, position});
  }
  std::sort(elements.begin(), elements.end());
  if (elements.empty()) return elements;
  IPopupMenu* top = tree->top();
  top->AddItem(elements[0].source->label, -1,
               std::strcmp(elements[0].source->label, current) ? 0 : IPopupMenuItem::kChecked);
  const int count = (int)elements.size();
  if (count > 1 && (type < SourceDef::AUDIO || type > SourceDef::SYNC)) return elements;

  bool midiAssigned = false;
  for (int cc : veltrane->midiSourceCC) midiAssigned = midiAssigned || cc >= 0;
  const int g = sources->numCommonMod, c = sources->numTriggers;
  const int audioCount = sources->getSize(SourceDef::AUDIO);
  int midiHeader = -1;
  if (type == SourceDef::MODULATION) midiHeader = g + 1;
  if (type == SourceDef::AUDIO_OR_MOD) midiHeader = g + audioCount;
  // The group a k opens: its name, or "" for the top level; null when k opens none.
  auto header = [&](int k) -> const char* {
    const char* h = nullptr;
    switch (type) {
    case SourceDef::AUDIO:
      if (master) h = k == 1 ? "Voices Sum" : k == 3 ? "External Input" : k == 5 ? "" : nullptr;
      break;
    case SourceDef::MODULATION:
      h = k == 1 ? "Controls" : k == g + 1 ? "MIDI Sources" : k == g + 17 ? "Modulators" : nullptr;
      break;
    case SourceDef::GATE:
      h = k == 1 ? "Common" : k == c + 1 ? "Clock" : k == c + 21 ? "Gate" : nullptr;
      break;
    case SourceDef::AUDIO_OR_MOD:
      if (k == 1) h = "Signals";
      if (k == audioCount) h = "Controls";
      if (k == g + audioCount) h = "MIDI Sources";
      if (k == g + audioCount + 16) h = "Modulators";
      break;
    default:
      break;
    }
    return h;
  };

  IPopupMenu* group = top;
  IPopupMenu* previous = top;
  char remembered[ModuleConfig::kLabelSize] = {};
  for (int k = 1; k < count; ++k) {
    if (k == midiHeader && !midiAssigned) {
      k += 15; // neither the header nor the 16 entries
      continue;
    }
    if (const char* h = header(k)) {
      // A module's entries never reach back into the group before: Sample + Hold's audio outputs end one
      // group and its modulation outputs may open the next under the same label.
      remembered[0] = 0;
      if (!*h) {
        group = top;
      } else {
        group = tree->submenu();
        top->AddItem(h, group);
      }
    }
    SourceDef* s = elements[k].source;
    char label[ModuleConfig::kLabelSize];
    getSubmenuLabel(s, label, sizeof label);
    IPopupMenu* target = group;
    if (label[0]) {
      if (std::strcmp(label, remembered)) {
        target = tree->submenu();
        group->AddItem(label, target);
        std::snprintf(remembered, sizeof remembered, "%s", label);
      } else {
        target = previous;
      }
    }
    target->AddItem(s->text, -1, std::strcmp(s->label, current) ? 0 : IPopupMenuItem::kChecked);
    previous = target;
  }
  return elements;
}

void ITWSourcesMenuControl::OnMouseDown(int, int, IMouseMod*)
{
  if (!veltrane || !param) return;
  MenuTree tree;
  std::vector<SourceElement> elements;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    elements = buildMenu(&tree);
  }
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &mRECT);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  IPopupMenuItem* item = chosen->GetItem(chosen->GetChosenItemIdx());
  if (!item || item->GetSubmenu()) return;
  WDL_String text(item->GetText());
  std::vector<double> values;
  {
    // The audio thread swaps parameters in when it takes a program over: read them under the lock.
    WDL_MutexLock lock(veltrane->GetMutex());
    // The lists may have changed while the menu was open: match against the current ones.
    SourceDefCol* sources = list();
    for (const SourceElement& e : elements) {
      SourceDef* now = sources->getSource(e.value, type);
      const bool offItem = e.value == 0 && !std::strcmp(text.Get(), e.source->label);
      if (now == e.source && (offItem || !std::strcmp(e.source->text, text.Get())))
        values.push_back(param->GetNormalized((double)e.value));
    }
  }
  for (double value : values) {
    SetValueFromUserInput(value);
    createTooltip();
    SetDirty(true);
  }
}

bool ITWSourcesMenuControl::Draw(IGraphics* graphics)
{
  if (mValue <= 0.0) {
    graphics->DrawBitmap(&button, &mRECT, 1, &mBlend);
    return true;
  }
  graphics->DrawBitmap(&button, &mRECT, 2, &mBlend);
  char text[IParam::kDisplayBufferSize];
  {
    WDL_MutexLock lock(mPlug->GetMutex());
    parameterDisplayText(param, text, sizeof text);
  }
  if (text[0]) graphics->DrawIText(&mText, text, &textRect, kCentredText);
  return true;
}

// ---- list pop-up ----

ITWPopUpMenuControl::ITWPopUpMenuControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* button_, bool alwaysLit_)
    : IControl(plug, IRECT(x, y, x + 58, y + 12), paramIdx), alwaysLit(alwaysLit_)
{
  mTargetRECT = IRECT(x, y, x + 58, y + 12);
  if (button_ && button_->mData) {
    button = *button_;
    mRECT = IRECT(x - 1, y - 2, x - 1 + button.W, y - 2 + button.frameHeight());
    textRect = mRECT;
    textRect.T += 3;
    mText = productText(11, 192, 0, 0, 0);
  } else {
    textRect = mRECT;
    textRect.T += 1;
    mText = productText(11, 192, 255, 255, 255);
  }
  mDblAsSingleClick = true;
  if (IParam* param = editorParam(plug, paramIdx)) mValue = param->GetNormalized();
}

void ITWPopUpMenuControl::OnMouseDown(int, int, IMouseMod*)
{
  IParam* param = editorParam(mPlug, mParamIdx);
  if (!param) return;
  MenuTree tree;
  {
    // The audio thread swaps parameters in when it takes a program over: read them under the lock.
    WDL_MutexLock lock(mPlug->GetMutex());
    char current[IParam::kDisplayBufferSize];
    parameterDisplayText(param, current, sizeof current);
    for (int i = 0; i < param->GetNDisplayTexts(); ++i) {
      const char* t = param->GetDisplayText(i);
      tree.top()->AddItem(t, -1, std::strcmp(t, current) ? 0 : IPopupMenuItem::kChecked);
    }
  }
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &mRECT);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  double value;
  {
    WDL_MutexLock lock(mPlug->GetMutex());
    value = param->GetNormalized((double)chosen->GetChosenItemIdx());
  }
  SetValueFromUserInput(value);
}

bool ITWPopUpMenuControl::Draw(IGraphics* graphics)
{
  const bool image = button.mData != nullptr;
  if (image && !alwaysLit && mValue <= 0.0) {
    graphics->DrawBitmap(&button, &mRECT, 1, &mBlend);
    return true;
  }
  if (image) graphics->DrawBitmap(&button, &mRECT, 2, &mBlend);
  char text[IParam::kDisplayBufferSize];
  {
    WDL_MutexLock lock(mPlug->GetMutex());
    parameterDisplayText(editorParam(mPlug, mParamIdx), text, sizeof text);
  }
  if (text[0]) graphics->DrawIText(&mText, text, &textRect, kCentredText);
  return true;
}
