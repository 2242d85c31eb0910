// The wavetable oscillator's file chooser: shows the loaded wavetable's name, lets the user choose a .wav
// or .syx file, examines it before anything is replaced and tells in the info area what the file holds; a
// right click tells what is loaded now. A file that passes is read and decoded on the editor's thread
// without the instance mutex; only the finished table is swapped into the slot's record under it. A file
// that cannot be used is refused with a message box and the current table stays.
//
//   gui->AttachControl(new ITWLoadWavetableControl(plug, rect, base + 0, config, kFileOpen, "", "wav syx"));
//
// Threads: the editor's (main) thread only.
#pragma once

#include "IControlStock.h"

class ModuleConfig;
struct SharedData;
class ITWInfoArea;
class Veltrane;

class ITWLoadWavetableControl : public IFileSelectorControl
{
public:
  static constexpr int kWaveSize = 2048;      // samples per wave
  static constexpr int kSyxMessageSize = 410; // bytes of one wave message of a SysEx dump
  static constexpr const char* kCaption = "Load Wavetable";

  ITWLoadWavetableControl(IPlugBase* plug, IRECT rect, int paramIdx, ModuleConfig* config, EFileAction action,
                          const char* dir, const char* extensions);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  // Examines the selected file and shows what it holds in the info area (when there is one): 0 accepted,
  // 1 refused (an empty selection, a .wav without samples, a .syx of the wrong size or start, a file of more
  // waves than the oscillator loads; all but the first with a message box and the selection cleared).
  int checkSelectedFile(ITWInfoArea* info);
  // What the info area was last told (tests, and the message box of a refusal).
  const char* lastMessage() const { return mMessage.Get(); }
  // The name shown: the record's file name without folder and extension.
  void shownName(WDL_String* out);

protected:
  void refuse(const char* text);
  // The editor's info area as it is now (a panel rebuild replaces it; none is kept across a dialog).
  ITWInfoArea* infoArea() const;

  Veltrane* mVeltrane;
  ModuleConfig* mConfig;
  SharedData* mRecord;
  IRECT mTextRect;
  WDL_String mMessage;
};

// The base name of a path: without folder ("/" or "\") and without extension.
void wavetableDisplayName(const char* path, WDL_String* out);
