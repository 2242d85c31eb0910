#include "ProgramControls.h"

#include "ControlKit.h"
#include "EditorImages.h"
#include "IGraphics.h"
#include "Veltrane.h"

#include <cstdio>

// ---- program display ----

ITWPresetMenu::ITWPresetMenu(IPlugBase* plug, IRECT numberRect_, IRECT nameRect_)
    : IControl(plug, numberRect_.Union(nameRect_)), numberRect(numberRect_), nameRect(nameRect_)
{
  mTextEntryLength = kNameLength;
  mText = productText(15, 160, 255, 255, 255, IText::kStyleNormal, IText::kQualityDefault);
}

bool ITWPresetMenu::Draw(IGraphics* graphics)
{
  {
    WDL_MutexLock lock(mPlug->GetMutex()); // the host renames and switches programs on its own thread
    numberText.SetFormatted(kNameLength, "%02d", mPlug->GetCurrentPresetIdx());
    nameText.SetFormatted(kNameLength, "%s", mPlug->GetPresetName(mPlug->GetCurrentPresetIdx()));
  }
  if (numberText.GetLength() && graphics->DrawIText(&mText, numberText.Get(), &numberRect, kCentredText))
    graphics->DrawIText(&mText, nameText.Get(), &nameRect, kCentredText);
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
      namedProgram = mPlug->GetCurrentPresetIdx();
      namedStates = v->StatesPutInPlace();
      name.Set(mPlug->GetPresetName(namedProgram));
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
    // The name was typed for the program shown when the field opened. Another put in place since (a MIDI
    // program change, the host) keeps its name and is not stored: the program the name was meant for takes it.
    if (v->StatesPutInPlace() != namedStates)
      v->RenamePreset(namedProgram, name);
    else
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
    : ISwitchControl(plug, x, y, Veltrane::kControlMidiLearn, image), learnMode(learnMode_),
      synth(dynamic_cast<Synth*>(plug))
{
}

bool ITWSwitchMidiLearn::IsDirty()
{
  // Learn disarmed elsewhere (a reset, a learn completed by a controller or by host automation), on any
  // thread: the switch shows it at the tick.
  if (synth && synth->learnDisarmed.exchange(false) && mValue != 0.0) {
    SetValueFromPlug(0.0);
    SetDirty(false);
  }
  return ISwitchControl::IsDirty();
}

void ITWSwitchMidiLearn::OnMouseDown(int x, int y, IMouseMod* mod)
{
  if (mod && mod->L) {
    ISwitchControl::OnMouseDown(x, y, mod);
    if (!synth) return;
    if (learnMode)
      synth->doMidiLearn(mValue > 0.0);
    else
      synth->doMidiUnlearn(mValue > 0.0);
  } else if (mod && mod->R && mValue == 0.0) {
    learnMode = !learnMode;
    mBitmap = productImage(mPlug, learnMode ? kImageLearn : kImageUnlearn);
    SetDirty(false);
  }
}
