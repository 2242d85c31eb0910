#include "WavetableLoader.h"

#include "ControlKit.h"
#include "IGraphics.h"
#include "InfoArea.h"
#include "ModuleConfig.h"
#include "OscWavetable.h"
#include "Veltrane.h"
#include "WaveReader.h"
#include "fileread.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

constexpr int kBoxOK = 0;

// The part of a path after its last folder separator.
const char* fileNamePart(const char* path)
{
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return name;
}

// The extension (from the last "." of the file name) or "" when there is none.
const char* extensionOf(const char* path)
{
  const char* dot = std::strrchr(fileNamePart(path), '.');
  return dot ? dot : "";
}

// A file beyond the loaders' safety bound: refused before anything is read.
void tooManyWaves(char* text, size_t size, int64_t waves, const char* path)
{
  std::snprintf(text, size, "Too many wave tables (%lld, at most %i)! Cannot load\n\"%s\".", (long long)waves,
                OscWavetable::kMaxWaves, fileNamePart(path));
}

} // namespace

void wavetableDisplayName(const char* path, WDL_String* out)
{
  const char* name = fileNamePart(path ? path : "");
  const char* dot = std::strrchr(name, '.');
  if (!dot)
    out->Set(name);
  else if (dot == name)
    out->Set("");
  else
    out->Set(name, (int)(dot - name));
}

ITWLoadWavetableControl::ITWLoadWavetableControl(IPlugBase* plug, IRECT rect, int paramIdx, ModuleConfig* config,
                                                 EFileAction action, const char* dir, const char* extensions)
    : IFileSelectorControl(plug, rect, paramIdx, action, dir, extensions), mVeltrane(static_cast<Veltrane*>(plug)),
      mConfig(config), mRecord(config ? &config->sharedData : nullptr), mTextRect(rect.L, rect.T + 1, rect.R, rect.B)
{
  mText = productText(11, 192, 255, 255, 255);
}

void ITWLoadWavetableControl::refuse(const char* text)
{
  mFile.Set("");
  if (IGraphics* gui = mPlug ? mPlug->GetGUI() : nullptr) gui->ShowMessageBox(text, kCaption, kBoxOK);
}

int ITWLoadWavetableControl::checkSelectedFile(ITWInfoArea* info)
{
  const char* path = mFile.Get();
  if (!path[0]) return 1; // cancelled
  const char* ext = extensionOf(path);
  char text[512] = {};
  int result = 0;
  if (!strcasecmp(ext, ".wav")) {
    WaveReader reader;
    const int64_t n = reader.Open(path) ? reader.frames : 0;
    reader.Close();
    if (n <= 0) {
      // Nothing the oscillator could play: refused, the loaded table stays.
      std::snprintf(text, sizeof text, "Cannot read wave data from\n\"%s\".", fileNamePart(path));
      result = 1;
    } else if (n <= kWaveSize) {
      std::snprintf(text, sizeof text, "This is a single cycle waveform file\nwith %i samples.", (int)n);
    } else if (OscWavetable::wavesOfFrames(n) == 0) {
      tooManyWaves(text, sizeof text, n / kWaveSize, path);
      result = 1;
    } else if (n % kWaveSize == 0) {
      std::snprintf(text, sizeof text, "This is assumed to be a wave table file\nwith %i tables of %i samples.",
                    OscWavetable::wavesOfFrames(n), kWaveSize);
    } else {
      std::snprintf(text, sizeof text,
                    "This file does not have the correct Veltrane wave table format.\nHowever, it is treated as "
                    "a wave table with %i tables of %i samples.",
                    OscWavetable::wavesOfFrames(n), kWaveSize);
    }
  } else if (!strcasecmp(ext, ".syx")) {
    bool valid = false;
    WDL_FileRead file(path, 0);
    if (file.IsOpen() && file.GetSize() > 0 && file.GetSize() % kSyxMessageSize == 0) {
      unsigned char head[5] = {};
      valid = file.Read(head, 5) == 5 && head[0] == 0xF0 && head[1] == 0x3E && head[2] == 0x13 && head[4] == 0x12;
    }
    const int64_t messages = valid ? file.GetSize() / kSyxMessageSize : 0;
    if (messages > OscWavetable::kMaxWaves) {
      tooManyWaves(text, sizeof text, messages, path);
      result = 1;
    } else if (valid) {
      std::snprintf(text, sizeof text, "This is assumed to be a Blofield\nwave table file with %i wave tables.",
                    (int)messages);
    } else {
      std::snprintf(text, sizeof text, "Invalid file format! Cannot load\n\"%s\".", fileNamePart(path));
      result = 1;
    }
  }
  mMessage.Set(text);
  if (info) info->showInfo(mRECT.L, mRECT.B + 2, text);
  if (result) refuse(text);
  return result;
}

ITWInfoArea* ITWLoadWavetableControl::infoArea() const
{
  return mVeltrane ? mVeltrane->infoArea : nullptr;
}

void ITWLoadWavetableControl::OnMouseDown(int, int, IMouseMod* mod)
{
  if (ITWInfoArea* info = infoArea()) info->Hide(true);
  IGraphics* gui = mPlug ? mPlug->GetGUI() : nullptr;
  if (!gui || !mRecord || !mConfig) return;
  if (mod && mod->L) {
    {
      WDL_MutexLock lock(mPlug->GetMutex());
      if (mRecord->name.GetLength()) SetLastSelectedFileFromPlug(mRecord->name.Get());
    }
    mState = kFSSelecting;
    SetDirty(false);
    // The dialog, the reading and any refusal box count as modal: idle calls leave the panels (this control
    // among them) alone until the gesture is over.
    Veltrane::ModalScope modal(mVeltrane);
    const unsigned shown = mPlug->StatesPutInPlace();
    gui->PromptForFile(&mFile, mFileAction, &mDir, mExtensions.Get());
    // The file is for this slot of the program shown when the dialog opened: with another put in place since
    // (a MIDI program change, the host), the slot is that program's, and the file is taken as cancelled.
    if (mPlug->StatesPutInPlace() != shown) mFile.Set("");
    if (checkSelectedFile(infoArea()) != 0) {
      mState = kFSNone;
      SetDirty(false);
      return;
    }
    // Decoded here, outside the instance mutex; only the finished table is swapped in under it. A file
    // that fails to decode changes nothing.
    WaveSpectra spectra;
    const bool installed = OscWavetable::readWavetableFile(mFile.Get(), &spectra) &&
                           OscWavetable::installWavetable(mVeltrane, mConfig->slot, &spectra, mFile.Get(), &shown);
    if (!installed) {
      if (mPlug->StatesPutInPlace() == shown) {
        char text[512];
        std::snprintf(text, sizeof text, "Cannot load\n\"%s\".", fileNamePart(mFile.Get()));
        mMessage.Set(text);
        if (ITWInfoArea* info = infoArea()) info->showInfo(mRECT.L, mRECT.B + 2, text);
        refuse(text);
      } else {
        // Another program came in while the file was read: the table was for the one shown before, and is
        // dropped without a word (nor the description of the file).
        if (ITWInfoArea* info = infoArea()) info->Hide(true);
        mFile.Set("");
      }
      mState = kFSNone;
      SetDirty(false);
      return;
    }
    // The value flips between 0 and 1 so that the host sees an edit; the instances already took the table.
    mValue += 1.0;
    if (mValue > 1.0) mValue = 0.0;
    mState = kFSDone;
    SetDirty(true);
  } else if (mod && mod->R) {
    uint32_t count;
    {
      WDL_MutexLock lock(mPlug->GetMutex());
      count = mRecord->count;
    }
    char text[128];
    if (count >= 2 * (uint32_t)kWaveSize)
      std::snprintf(text, sizeof text, "This is a wave table with %i tables.", (int)(count / kWaveSize));
    else if (count >= (uint32_t)kWaveSize)
      std::snprintf(text, sizeof text, "This is a single cycle wave.");
    else
      std::snprintf(text, sizeof text, "No wave data loaded!");
    mMessage.Set(text);
    if (ITWInfoArea* info = infoArea()) info->showInfo(mRECT.L, mRECT.B + 2, text);
  }
}

void ITWLoadWavetableControl::shownName(WDL_String* out)
{
  WDL_String path;
  if (mRecord && mPlug) {
    WDL_MutexLock lock(mPlug->GetMutex());
    path.Set(mRecord->name.Get());
  }
  wavetableDisplayName(path.Get(), out);
}

bool ITWLoadWavetableControl::Draw(IGraphics* graphics)
{
  WDL_String name;
  shownName(&name);
  if (name.GetLength()) graphics->DrawIText(&mText, name.Get(), &mTextRect, 0);
  return true;
}
