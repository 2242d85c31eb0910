#include "veltrane_controls.h"

#include "EditorImages.h"
#include "IGraphics.h"
#include "IParam.h"
#include "ValueControls.h"
#include "Veltrane.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kCentred = 0x100; // format flags of every text these controls draw

IText arialText(int size, int a, int r, int g, int b, int style = IText::kStyleNormal,
                int quality = IText::kQualityClearType)
{
  const IColor color(a, r, g, b);
  return IText(size, &color, "Arial", style, IText::kAlignCenter, 0, quality);
}

IBitmap loadImage(IPlugBase* plug, int id)
{
  // The panel is built before the surface is attached to the plug-in: the synth layer holds it then.
  IGraphics* gui = plug ? plug->GetGUI() : nullptr;
  if (!gui)
    if (Synth* synth = dynamic_cast<Synth*>(plug)) gui = synth->graphics;
  if (!gui || id < 1 || id > kNumEditorImages) return IBitmap();
  const EditorImage& image = editorImages()[id - 1];
  return gui->LoadIBitmap(image.id, image.name, image.frames);
}

// The display text of a parameter's current value (the chosen entry's label for a selector).
void displayText(IParam* param, char* out, int size)
{
  out[0] = 0;
  if (!param) return;
  char text[IParam::kDisplayBufferSize] = {};
  param->GetDisplayForHost(param->Value(), false, text, true);
  std::snprintf(out, size, "%s", text);
}

} // namespace

Veltrane* veltraneOf(IPlugBase* plug)
{
  return dynamic_cast<Veltrane*>(plug);
}

int MenuTree::indexOf(const IPopupMenu* menu) const
{
  for (size_t i = 0; i < mSubmenus.size(); ++i)
    if (mSubmenus[i].get() == menu) return (int)i;
  return -1;
}

IPopupMenu* showMenu(IPlugBase* plug, IPopupMenu* menu, IRECT* r)
{
  IGraphics* gui = plug ? plug->GetGUI() : nullptr;
  if (!gui) return nullptr;
  Veltrane* v = veltraneOf(plug);
  Veltrane::ModalScope modal(v);
  return gui->CreateIPopupMenu(menu, r);
}

// ---- program display ----

ITWPresetMenu::ITWPresetMenu(IPlugBase* plug, IRECT numberRect_, IRECT nameRect_)
    : IControl(plug, numberRect_.Union(nameRect_)), numberRect(numberRect_), nameRect(nameRect_)
{
  mTextEntryLength = kNameLength;
  mText = arialText(15, 160, 255, 255, 255, IText::kStyleNormal, IText::kQualityDefault);
}

bool ITWPresetMenu::Draw(IGraphics* graphics)
{
  {
    WDL_MutexLock lock(mPlug->GetMutex()); // the host renames and switches programs on its own thread
    numberText.SetFormatted(kNameLength, "%02d", mPlug->GetCurrentPresetIdx());
    nameText.SetFormatted(kNameLength, "%s", mPlug->GetPresetName(mPlug->GetCurrentPresetIdx()));
  }
  if (numberText.GetLength() && graphics->DrawIText(&mText, numberText.Get(), &numberRect, kCentred))
    graphics->DrawIText(&mText, nameText.Get(), &nameRect, kCentred);
  return true;
}

void ITWPresetMenu::buildProgramMenu(MenuTree* tree)
{
  static const char* const kRanges[4] = {"00 - 15", "16 - 31", "32 - 47", "48 - 63"};
  IPopupMenu* current = tree->top();
  const int count = mPlug->NPresets(), chosen = mPlug->GetCurrentPresetIdx();
  for (int i = 0; i < count; ++i) {
    if (i % 16 == 0 && i / 16 < 4) {
      current = tree->submenu();
      tree->top()->AddItem(kRanges[i / 16], current);
    }
    WDL_String item;
    item.SetFormatted(kNameLength, "%02u: %s", (unsigned)i, mPlug->GetPresetName(i));
    current->AddItem(item.Get(), -1, i == chosen ? IPopupMenuItem::kChecked : 0);
  }
}

int ITWPresetMenu::programOfChoice(MenuTree* tree, IPopupMenu* chosen)
{
  if (!chosen || chosen->GetChosenItemIdx() < 0) return -1;
  const int k = tree->indexOf(chosen);
  return (k >= 0 && k < 4 ? 16 * k : 0) + chosen->GetChosenItemIdx();
}

void ITWPresetMenu::OnMouseDown(int x, int y, IMouseMod*)
{
  Veltrane* v = veltraneOf(mPlug);
  IGraphics* gui = mPlug->GetGUI();
  if (!v || !gui) return;
  if (nameRect.Contains(x, y)) {
    WDL_String name;
    {
      WDL_MutexLock lock(v->GetMutex()); // the host renames and switches programs on its own thread
      name.Set(mPlug->GetPresetName(mPlug->GetCurrentPresetIdx()));
    }
    Veltrane::ModalScope modal(v);
    gui->CreateTextEntry(this, &mText, &nameRect, name.Get(), nullptr);
  } else if (numberRect.Contains(x, y)) {
    MenuTree tree;
    {
      WDL_MutexLock lock(v->GetMutex());
      buildProgramMenu(&tree);
    }
    const int program = programOfChoice(&tree, showMenu(mPlug, tree.top(), &numberRect));
    if (program >= 0) v->changePreset(program);
  }
}

void ITWPresetMenu::TextFromTextEntry(const char* text)
{
  Veltrane* v = veltraneOf(mPlug);
  if (!v) return;
  char name[257] = {};
  std::snprintf(name, sizeof name, "%s", text ? text : "");
  {
    WDL_MutexLock lock(v->GetMutex());
    v->ModifyCurrentPreset(name);
  }
  v->InformHostOfProgramChange();
  v->DirtyParameters();
  SetDirty(false);
}

// ---- option menus ----

ITWOptionMenu::ITWOptionMenu(IPlugBase* plug, IRECT rect, int id, Synth* synth_)
    : IControl(plug, rect, id), synth(synth_)
{
}

void ITWOptionMenu::OnMouseDown(int, int, IMouseMod*)
{
  doPopupMenu();
  mRedraw = true;
  SetDirty(false);
}

void ITWOptionMenu::doPopupMenu()
{
  if (!synth) return;
  if (mParamIdx == Veltrane::kControlProgramMenu) {
    if (IPopupMenuItem* paste = menu.GetItem(File::kPasteProgram)) {
      WDL_MutexLock lock(synth->GetMutex());
      const bool empty = synth->copyBuffer.Size() < 1;
      paste->SetFlags(empty ? (paste->GetFlags() | IPopupMenuItem::kDisabled)
                            : (paste->GetFlags() & ~IPopupMenuItem::kDisabled));
    }
  }
  IPopupMenu* chosen = showMenu(mPlug, &menu, &mRECT);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  const int index = chosen->GetChosenItemIdx();
  int command = -1;
  if (mParamIdx == Veltrane::kControlProgramMenu)
    command = index + (chosen == online.get() ? File::kCheckVersion : 0);
  else if (mParamIdx == Veltrane::kControlTuningMenu)
    command = index == 0 ? File::kLoadTuning : index == 1 ? File::kResetTuning : -1;
  else
    return;
  Veltrane::ModalScope modal(veltraneOf(mPlug)); // the commands' dialogs are modal too
  switch (command) {
  case File::kCopyProgram:
  case File::kPasteProgram:
  case File::kInitProgram:
  case File::kLoadProgram:
  case File::kSaveProgram:
  case File::kLoadBank:
  case File::kSaveBank:
  case File::kCheckVersion:
  case File::kLoadTuning:
  case File::kResetTuning:
    synth->runFileCommand((File::Command)command);
    break;
  case File::kWebSite:
    if (IGraphics* gui = mPlug->GetGUI()) gui->OpenURL(Veltrane::kWebSite);
    break;
  default:
    break;
  }
}

// ---- previous, next and MIDI learn ----

ITWUtilityKick::ITWUtilityKick(IPlugBase* plug, int x, int y, int id, IBitmap* image, Veltrane* veltrane_)
    : IContactControl(plug, x, y, id, image), veltrane(veltrane_)
{
}

void ITWUtilityKick::OnMouseUp(int x, int y, IMouseMod* mod)
{
  IContactControl::OnMouseUp(x, y, mod);
  if (!veltrane) return;
  int current;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    current = mPlug->GetCurrentPresetIdx();
  }
  int program;
  if (mParamIdx == Veltrane::kControlPrevious)
    program = current <= 0 ? Synth::kNumPrograms - 1 : current - 1;
  else if (mParamIdx == Veltrane::kControlNext)
    program = current > Synth::kNumPrograms - 2 ? 0 : current + 1;
  else
    return;
  veltrane->changePreset(program);
}

ITWSwitchMidiLearn::ITWSwitchMidiLearn(IPlugBase* plug, int x, int y, IBitmap* image, bool learnMode_)
    : ISwitchControl(plug, x, y, Veltrane::kControlMidiLearn, image), learnMode(learnMode_)
{
}

void ITWSwitchMidiLearn::OnMouseDown(int x, int y, IMouseMod* mod)
{
  Synth* synth = dynamic_cast<Synth*>(mPlug);
  if (mod && mod->L) {
    ISwitchControl::OnMouseDown(x, y, mod);
    if (!synth) return;
    if (learnMode)
      synth->doMidiLearn(mValue > 0.0);
    else
      synth->doMidiUnlearn(mValue > 0.0);
  } else if (mod && mod->R && mValue == 0.0) {
    learnMode = !learnMode;
    mBitmap = loadImage(mPlug, learnMode ? kImageLearn : kImageUnlearn);
    SetDirty(false);
  }
}

// ---- info area ----

ITWInfoArea::ITWInfoArea(IPlugBase* plug, IRECT rect) : IControl(plug, rect)
{
  mText = arialText(12, 255, 0, 0, 0);
  mText.mColor = COLOR_BLACK;
  mDblAsSingleClick = true; // the second press of a double click hides it as a click does
}

void ITWInfoArea::showInfo(int x, int y, const char* t)
{
  dragMode = false;
  std::snprintf(text, sizeof text, "%s", t ? t : "");
  int pieces = 0, longest = 0, run = 0;
  for (const char* p = text;; ++p) {
    if (*p == '\n' || *p == 0) {
      if (run > 0) {
        ++pieces;
        longest = std::max(longest, run);
      }
      run = 0;
      if (!*p) break;
    } else {
      ++run;
    }
  }
  const int w = 5 * longest;
  const int r = x + w + 16;
  const int s = r > 1280 ? 1280 - r : 0;
  const int b = y + 10 * pieces + (pieces > 1 ? 2 : 0);
  boxRect = IRECT(x + s, y, r + s, b + 22);
  innerRect = IRECT(x + s + 2, y + 2, r + s - 2, b + 20);
  textRect = IRECT(x + s + 8, y + 8, r + s - 8, b + 14);
  mRECT = mTargetRECT = boxRect;
  mText.mColor = COLOR_BLACK;
  Hide(false);
}

void ITWInfoArea::showDrag(int x, int y, const char* t)
{
  dragMode = true;
  std::snprintf(text, sizeof text, "%s", t ? t : "");
  mText.mColor = COLOR_WHITE;
  textRect = IRECT(x - 60, y - 6, x + 60, y + 10);
  boxRect = IRECT(x - 64, y - 10, x + 64, y + 12);
  mRECT = IRECT(0, 0, 1280, 650);
  mTargetRECT = textRect;
  Hide(false);
}

bool ITWInfoArea::Draw(IGraphics* graphics)
{
  if (dragMode) {
    // Square corners: the rounded fill draws its corner discs at full strength over a translucent colour.
    graphics->FillIRect(&dragColor, &boxRect, &mBlend);
  } else {
    graphics->FillRoundRect(&COLOR_BLACK, &mRECT, &mBlend, 8, false);
    graphics->FillRoundRect(&COLOR_WHITE, &innerRect, &mBlend, 8, false);
  }
  // One line of the box per piece of the text, 10 pixels apart (the box's height counts them so).
  int top = textRect.T;
  const char* p = text;
  while (*p) {
    const char* end = std::strchr(p, '\n');
    const size_t n = end ? (size_t)(end - p) : std::strlen(p);
    if (n > 0) {
      char line[kTextSize];
      std::memcpy(line, p, n);
      line[n] = 0;
      IRECT r(textRect.L, top, textRect.R, top + (dragMode ? textRect.H() : 12));
      graphics->DrawIText(&mText, line, &r, kCentred);
      top += 10;
    }
    if (!end) break;
    p = end + 1;
  }
  return true;
}

// ---- module selector ----

ITWModuleSelector::ITWModuleSelector(IPlugBase* plug, IRECT rect, int position_)
    : IControl(plug, rect), veltrane(veltraneOf(plug)), position(position_)
{
  masterOn = loadImage(plug, kImageMasterOn);
  masterHead = loadImage(plug, kImageMasterHead);
  masterRect = IRECT(rect.L + 2, rect.T + 5, rect.L + 2 + masterOn.W, rect.T + 5 + masterOn.frameHeight());
  menuRect = IRECT(rect.L + 16, rect.T, rect.R, rect.B);
  textRect = IRECT(rect.L, rect.T + 6, rect.R, rect.B);
  mText = arialText(12, 192, 255, 255, 255, IText::kStyleBold);
  // A double click is a press of its own: its release then belongs to a gesture this header saw begin.
  mDblAsSingleClick = true;
}

ITWInfoArea* ITWModuleSelector::infoArea() const
{
  return veltrane ? veltrane->infoArea : nullptr;
}

void ITWModuleSelector::OnMouseDown(int x, int y, IMouseMod* mod)
{
  dropTarget = menuRect.Contains(x, y) ? -3 : -4;
  leftButton = mod && mod->L;
  rightButton = mod && mod->R;
  if (ITWInfoArea* info = infoArea()) info->Hide(true);
}

void ITWModuleSelector::OnMouseDrag(int x, int y, int, int, IMouseMod*)
{
  if (!leftButton || dropTarget < -3 || !veltrane) return;
  // The surface hands over the pointer's new position: the drop target is the block under the pointer.
  const int px = x, py = y;
  dropTarget = veltrane->getBlockFromPosition(px, py);
  if (ITWInfoArea* info = infoArea()) {
    char label[ModuleConfig::kLabelSize];
    {
      WDL_MutexLock lock(veltrane->GetMutex());
      std::snprintf(label, sizeof label, "%s", veltrane->slotConfig[veltrane->slotAt(position)].label);
    }
    info->showDrag(px, py, label);
  }
}

void ITWModuleSelector::OnMouseUp(int x, int y, IMouseMod*)
{
  if (veltrane) {
    if (leftButton && dropTarget >= 0) {
      veltrane->postCommand(Veltrane::kCommandMove, position, dropTarget);
    } else if (leftButton && (dropTarget == -2 || dropTarget == -1)) {
      veltrane->postCommand(Veltrane::kCommandPlugToCommon, position, -1);
    } else if (menuRect.Contains(x, y)) {
      if (rightButton)
        doPopupUtilityMenu();
      else
        doPopupModuleMenu();
    } else if (masterRect.Contains(x, y)) {
      int slot, id, master;
      {
        WDL_MutexLock lock(veltrane->GetMutex());
        slot = veltrane->slotAt(position);
        id = veltrane->slotConfig[slot].moduleID;
        master = veltrane->slotConfig[slot].master;
      }
      if (id == ModuleConfig::MOD_EMPTY)
        veltrane->postCommand(Veltrane::kCommandToggleMaster, slot, master ? 0 : 1);
      else
        doPopupMasterMenu();
    }
  }
  dropTarget = -4;
  leftButton = rightButton = false;
  if (ITWInfoArea* info = infoArea()) info->Hide(true);
  mRedraw = true;
  SetDirty(false);
}

void ITWModuleSelector::doPopupModuleMenu()
{
  int slot, currentID, currentCategory;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    slot = veltrane->slotAt(position);
    currentID = veltrane->slotConfig[slot].moduleID;
    currentCategory = veltrane->slotConfig[slot].category;
  }
  MenuTree tree;
  IPopupMenu* sub[ModuleConfig::kNumCategories] = {};
  tree.top()->AddItem(ModuleConfig::labelModuleType[0]);
  for (int c = 1; c < ModuleConfig::kNumCategories; ++c) {
    sub[c] = tree.submenu();
    tree.top()->AddItem(ModuleConfig::labelModuleType[c], sub[c]);
    for (ModuleConfig::ModuleID id : ModuleConfig::ModuleTypeMap[c]) {
      const bool current = c == currentCategory && id == currentID;
      sub[c]->AddItem(ModuleConfig::labelModuleName[id], -1,
                      current ? IPopupMenuItem::kDisabled | IPopupMenuItem::kChecked : 0);
    }
  }
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &menuRect);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  const int k = tree.indexOf(chosen);
  const int category = k < 0 ? 0 : k + 1;
  const std::vector<ModuleConfig::ModuleID>& ids = ModuleConfig::ModuleTypeMap[category];
  const int index = chosen->GetChosenItemIdx();
  if (index >= (int)ids.size()) return;
  veltrane->postCommand(Veltrane::kCommandReplace, slot, ids[index]);
}

void ITWModuleSelector::doPopupUtilityMenu()
{
  MenuTree tree;
  bool empty;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    empty = veltrane->slotConfig[veltrane->slotAt(position)].moduleID == ModuleConfig::MOD_EMPTY;
    if (!empty) {
      for (int i = 0; i < Veltrane::kNumSlots; ++i) {
        char item[128];
        std::snprintf(item, sizeof item, "Move to position %i (%s)", i,
                      veltrane->slotConfig[veltrane->slotAt(i)].label);
        tree.top()->AddItem(item, -1, i == position ? IPopupMenuItem::kDisabled | IPopupMenuItem::kChecked : 0);
      }
    }
  }
  if (empty) tree.top()->AddItem("Remove Block");
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &menuRect);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  if (empty)
    veltrane->postCommand(Veltrane::kCommandRemoveEmpty, position, -1);
  else
    veltrane->postCommand(Veltrane::kCommandMove, position, chosen->GetChosenItemIdx());
}

void ITWModuleSelector::doPopupMasterMenu()
{
  int slot, master;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    slot = veltrane->slotAt(position);
    master = veltrane->slotConfig[slot].master;
  }
  MenuTree tree;
  tree.top()->AddItem("Change to Voice Module", -1, master ? 0 : IPopupMenuItem::kDisabled);
  tree.top()->AddItem("Change to Master Module", -1, master ? IPopupMenuItem::kDisabled : 0);
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &masterRect);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  veltrane->postCommand(Veltrane::kCommandToggleMaster, slot, chosen->GetChosenItemIdx());
}

bool ITWModuleSelector::Draw(IGraphics* graphics)
{
  if (!veltrane) return true;
  char label[ModuleConfig::kLabelSize];
  bool master;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    const ModuleConfig& c = veltrane->slotConfig[veltrane->slotAt(position)];
    master = c.master != 0;
    std::snprintf(label, sizeof label, "%s", c.label);
  }
  if (master) {
    graphics->DrawBitmap(&masterOn, &masterRect, 1, &mBlend);
    graphics->DrawBitmap(&masterHead, &mRECT, 1, &mBlend);
  }
  graphics->DrawIText(&mText, label, &textRect, kCentred);
  return true;
}

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
  mText = arialText(11, 192, 0, 0, 0);
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
  displayText(param, label, sizeof label);
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
  displayText(param, current, sizeof current);
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
  std::vector<int> values;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    // The lists may have changed while the menu was open: match against the current ones.
    SourceDefCol* sources = list();
    for (const SourceElement& e : elements) {
      SourceDef* now = sources->getSource(e.value, type);
      const bool offItem = e.value == 0 && !std::strcmp(text.Get(), e.source->label);
      if (now == e.source && (offItem || !std::strcmp(e.source->text, text.Get()))) values.push_back(e.value);
    }
  }
  for (int value : values) {
    SetValueFromUserInput(param->GetNormalized((double)value));
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
    displayText(param, text, sizeof text);
  }
  if (text[0]) graphics->DrawIText(&mText, text, &textRect, kCentred);
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
    mText = arialText(11, 192, 0, 0, 0);
  } else {
    textRect = mRECT;
    textRect.T += 1;
    mText = arialText(11, 192, 255, 255, 255);
  }
  mDblAsSingleClick = true;
  if (IParam* param = editorParam(plug, paramIdx)) mValue = param->GetNormalized();
}

void ITWPopUpMenuControl::OnMouseDown(int, int, IMouseMod*)
{
  IParam* param = editorParam(mPlug, mParamIdx);
  if (!param) return;
  MenuTree tree;
  char current[IParam::kDisplayBufferSize];
  displayText(param, current, sizeof current);
  for (int i = 0; i < param->GetNDisplayTexts(); ++i) {
    const char* t = param->GetDisplayText(i);
    tree.top()->AddItem(t, -1, std::strcmp(t, current) ? 0 : IPopupMenuItem::kChecked);
  }
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &mRECT);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  SetValueFromUserInput(param->GetNormalized((double)chosen->GetChosenItemIdx()));
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
    displayText(editorParam(mPlug, mParamIdx), text, sizeof text);
  }
  if (text[0]) graphics->DrawIText(&mText, text, &textRect, kCentred);
  return true;
}

// ---- MIDI sources ----

ITWMidiSourcesControl::ITWMidiSourcesControl(IPlugBase* plug, IGraphics*, IRECT rect, int paramIdx)
    : IControl(plug, rect, paramIdx), veltrane(veltraneOf(plug))
{
  image = loadImage(plug, kImageButtonRed);
  imageRect = IRECT(rect.L, rect.T, rect.L + image.W, rect.T + image.frameHeight());
  textRect = imageRect;
  textRect.T += 3;
  mText = arialText(11, 192, 255, 255, 255);
  mDblAsSingleClick = true;
}

bool ITWMidiSourcesControl::Draw(IGraphics* graphics)
{
  bool any = false;
  if (veltrane) {
    WDL_MutexLock lock(veltrane->GetMutex()); // a state load on the host's thread rewrites them
    for (int cc : veltrane->midiSourceCC) any = any || cc >= 0;
  }
  graphics->DrawBitmap(&image, &imageRect, any ? 2 : 1, &mBlend);
  graphics->DrawIText(&mText, any ? "On" : "Off", &textRect, kCentred);
  return true;
}

void ITWMidiSourcesControl::OnMouseDown(int, int, IMouseMod*)
{
  if (!veltrane) return;
  static const char* const kRanges[4] = {"000 - 029", "030 - 059", "060 - 089", "090 - 119"};
  MenuTree tree;
  int assigned[Veltrane::kNumMidiSources];
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    for (int s = 0; s < Veltrane::kNumMidiSources; ++s) assigned[s] = veltrane->midiSourceCC[s];
  }
  for (int s = 0; s < Veltrane::kNumMidiSources; ++s) {
    const int cc = assigned[s];
    char name[64];
    if (cc >= 0 && cc < Synth::kNumLearnControllers)
      std::snprintf(name, sizeof name, "MIDI Source %i [%s]", s + 1, Veltrane::labelCC[cc]);
    else
      std::snprintf(name, sizeof name, "MIDI Source %i", s + 1);
    IPopupMenu* source = tree.submenu();
    tree.top()->AddItem(name, source);
    source->AddItem("Off");
    for (int r = 0; r < 4; ++r) {
      IPopupMenu* range = tree.submenu();
      source->AddItem(kRanges[r], range);
      for (int i = 0; i < 30; ++i)
        range->AddItem(Veltrane::labelCC[30 * r + i], -1, 30 * r + i == cc ? IPopupMenuItem::kChecked : 0);
    }
  }
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &mRECT);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  const int k = tree.indexOf(chosen);
  if (k < 0) return;
  const int source = k / 5, range = k % 5 - 1;
  const int cc = range < 0 ? -1 : 30 * range + chosen->GetChosenItemIdx();
  if (range < 0 && chosen->GetChosenItemIdx() != 0) return;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    veltrane->midiSourceCC[source] = cc;
  }
  SetDirty(false);
}

// ---- drone note ----

ITWDroneControl::ITWDroneControl(IPlugBase* plug, int x, int y, IBitmap* image_)
    : IControl(plug, IRECT(), kDroneId), veltrane(veltraneOf(plug)), image(image_)
{
  if (image) mRECT = mTargetRECT = IRECT(x, y, x + image->W, y + image->frameHeight());
  textRect = mRECT;
  textRect.T += 3;
  mText = arialText(11, 192, 255, 255, 255);
  mDblAsSingleClick = true;
  set(-1);
}

void ITWDroneControl::setNoteName(char* out, int n)
{
  static const char kNotes[] = "C C#D D#E F F#G G#A A#B ";
  if (n < 0 || n > 127) {
    std::snprintf(out, 8, "Off");
    return;
  }
  const char letter = kNotes[2 * (n % 12)], sharp = kNotes[2 * (n % 12) + 1];
  if (sharp == '#')
    std::snprintf(out, 8, "%c%c%i", letter, sharp, n / 12 - 2);
  else
    std::snprintf(out, 8, "%c%i", letter, n / 12 - 2);
}

void ITWDroneControl::createTooltip()
{
  char tip[48];
  if (note < 0)
    std::snprintf(tip, sizeof tip, "Drone Mode: Off");
  else
    std::snprintf(tip, sizeof tip, "Drone Mode: Note %.32s", noteName);
  SetTooltip(tip);
}

void ITWDroneControl::set(int n)
{
  note = n >= 0 && n <= 127 ? n : -1;
  setNoteName(noteName, note);
  createTooltip();
  SetDirty(false);
  mRedraw = true;
}

bool ITWDroneControl::IsDirty()
{
  if (veltrane && veltrane->droneResetRequested.exchange(false)) set(-1);
  return IControl::IsDirty();
}

void ITWDroneControl::OnMouseDown(int, int, IMouseMod*)
{
  MenuTree tree;
  tree.top()->AddItem("off", -1, note < 0 ? IPopupMenuItem::kChecked : 0);
  IPopupMenu* octave = nullptr;
  for (int n = 0; n < 128; ++n) {
    if (n % 12 == 0) {
      char name[32];
      if (n == 120)
        std::snprintf(name, sizeof name, "C8 - G8");
      else
        std::snprintf(name, sizeof name, "C%i - B%i", n / 12 - 2, n / 12 - 2);
      octave = tree.submenu();
      tree.top()->AddItem(name, octave);
    }
    char noteText[8];
    setNoteName(noteText, n);
    octave->AddItem(noteText, -1, n == note ? IPopupMenuItem::kChecked : 0);
  }
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &mRECT);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  const int k = tree.indexOf(chosen);
  const int base = k < 0 ? -1 : 12 * k;
  const int n = base + chosen->GetChosenItemIdx();
  if (k < 0 && n != -1) return; // an octave's own item, not a note
  set(n);
  if (veltrane) veltrane->startDroneMode(n);
}

bool ITWDroneControl::Draw(IGraphics* graphics)
{
  if (image) graphics->DrawBitmap(image, &mRECT, note < 0 ? 1 : 2, &mBlend);
  if (noteName[0]) graphics->DrawIText(&mText, noteName, &textRect, kCentred);
  return true;
}
