#include "MidiSourcesAndDrone.h"

#include "ControlKit.h"
#include "EditorImages.h"
#include "IGraphics.h"
#include "MenuTree.h"
#include "Veltrane.h"

#include <cstdio>

// ---- MIDI sources ----

ITWMidiSourcesControl::ITWMidiSourcesControl(IPlugBase* plug, IGraphics*, IRECT rect, int paramIdx)
    : IControl(plug, rect, paramIdx), veltrane(veltraneOf(plug))
{
  image = productImage(plug, kImageButtonRed);
  imageRect = IRECT(rect.L, rect.T, rect.L + image.W, rect.T + image.frameHeight());
  textRect = imageRect;
  textRect.T += 3;
  mText = productText(11, 192, 255, 255, 255);
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
  graphics->DrawIText(&mText, any ? "On" : "Off", &textRect, kCentredText);
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
  mText = productText(11, 192, 255, 255, 255);
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
  if (noteName[0]) graphics->DrawIText(&mText, noteName, &textRect, kCentredText);
  return true;
}
