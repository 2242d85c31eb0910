// The synth layer's program and file commands: the program menu's copy, paste and initialise, program
// change, loading and saving programs and banks, loading and resetting tunings, and the update check.
//
// Threads: runFileCommand runs on the editor thread. Dialogs and message boxes are shown without the
// instance mutex (a modal box must not stop the audio thread), and no file is read or written with it held:
// a save takes the plug-in's bytes under it, a load builds aside and takes it only to put the state in place,
// so a slow disk, a pipe or a device never stops the audio.
#include "Synth.h"

#include "fileerror.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {
const char kIllegalFileChars[] = "\"*/:<>?\\|";
constexpr int kSuggestedNameSize = 64; // the save dialog's proposed program name, terminator included
constexpr int kLoadFailed = 8;         // loadTuning's failure result
// Message boxes: the answer 1 is the Yes button; No (7) and a box closed without a button (0) refuse.
constexpr int kBoxYesNo = 4, kBoxOK = 0, kAnswerYes = 1;
// The bank save's proposed name: not the product's name, for "<product>.fxb" beside the plug-in (where the
// dialogs start) is the bank the plug-in starts with from then on; a user who wants that types the name.
constexpr const char* kProposedBankName = "Veltrane Bank";
// Bytes of a file around its state: the file header and the framework's, with room to spare.
constexpr int64_t kFileOverhead = 256;

// Whether the programs' stored states (the current one's holds the live state once it is taken in) are
// more than a file of them can hold: the reason a save failed that no folder is to blame for.
bool tooLargeForAFile(const IPlugBase& plug, bool bank)
{
  return kFileOverhead + plug.PresetsSize(bank ? -1 : plug.GetCurrentPresetIdx()) > ByteChunk::MaxSize();
}

// Why a file command failed, in the user's words, by the error the file step reported.
const char* reasonFor(int err, bool save, bool tuning)
{
  switch (err) {
  case ENOENT:
  case ENOTDIR:
    return save ? "The folder does not exist." : "The file does not exist.";
  case EACCES:
  case EPERM:
  case EROFS:
    return save ? "Maybe the folder/file is write-protected..." : "The file may not be read.";
  case ENOSPC:
  case EDQUOT:
    return "The disk is full.";
  case EFBIG:
    return save ? "The file would be larger than files may be here." : "The file is larger than any such file.";
  case WDL_ENOTREGULAR:
  case EISDIR:
    return "It is not a regular file.";
  case EBADMSG:
    return tuning ? "It is not a tuning that can be read." : "The file is damaged, cut short, or not one of this plug-in's.";
  case ENAMETOOLONG:
    return "The path is too long.";
  default:
    return save ? "The file could not be written." : "The file could not be read.";
  }
}
} // namespace

void Synth::replaceIllegalFileChar(char* name)
{
  if (!name) return;
  for (char* c = name; *c; ++c)
    if (std::strchr(kIllegalFileChars, *c)) *c = '_';
}

void Synth::copyPreset()
{
  WDL_MutexLock lock(&mMutex);
  copiedPreset = GetCurrentPresetIdx();
  copyBuffer.Clear();
  SerializeState(&copyBuffer);
}

void Synth::pastePreset()
{
  ByteChunk state(ByteChunk::kKeepsRuns);
  char name[IPreset::kNameSize];
  {
    WDL_MutexLock lock(&mMutex);
    if (copyBuffer.Size() <= 0) return;
    state.PutChunk(&copyBuffer);
    // The copied program's name as it is now (it may have been renamed since the copy).
    std::snprintf(name, sizeof(name), "%s", GetPresetName(copiedPreset));
  }
  if (LoadStateIntoProgram(&state, 0, name, false) < 0) return;
  WDL_MutexLock lock(&mMutex);
  RedrawParamControls();
  DirtyParameters();
}

void Synth::defaultParameters()
{
  WDL_MutexLock lock(&mMutex);
  for (int i = 0; i < NParams(); ++i) {
    IParam* param = GetParam(i);
    SetParameterFromGUI(i, param->GetNormalized(param->GetDefault()));
  }
}

void Synth::initPreset()
{
  WDL_MutexLock lock(&mMutex);
  defaultParameters();
  IPlugBase::ModifyCurrentPreset("Init");
  RedrawParamControls();
  DirtyParameters();
}

void Synth::changePreset(int index)
{
  RunQueuedEditorCommands();
  {
    WDL_MutexLock lock(&mMutex);
    IPlugBase::ModifyCurrentPreset(); // the program being left keeps its edits
  }
  // Built aside; the mutex is held only to put it in place (and to stop the notes, PresetsChangedByHost).
  RestorePreset(index);
  InformHostOfProgramChange();
  DirtyParameters();
}

void Synth::runFileCommand(File::Command command)
{
  // A program change the host sent before is in place first, when the command acts (after its box or
  // dialog, during which another may come): the command acts on its program, with the edits queued before.
  RunQueuedEditorCommands();
  switch (command) {
  case File::kCopyProgram:
    SettlePendingProgram();
    copyPreset();
    return;
  case File::kPasteProgram:
    if (graphics->ShowMessageBox("Do you really want to overwrite the current program?", "Paste Program", kBoxYesNo) ==
        kAnswerYes) {
      SettlePendingProgram();
      pastePreset();
    }
    return;
  case File::kInitProgram:
    if (graphics->ShowMessageBox("Do you really want to initialize the current program?", "Initialize Program",
                                 kBoxYesNo) == kAnswerYes) {
      SettlePendingProgram();
      initPreset();
    }
    return;
  case File::kResetTuning:
    if (graphics->ShowMessageBox("Do you really want to reset the current tuning?", "Reset Tuning", kBoxYesNo) ==
        kAnswerYes) {
      SettlePendingProgram();
      WDL_MutexLock lock(&mMutex);
      resetTuning();
    }
    return;
  case File::kCheckVersion:
    checkVersionAgainstWeb();
    return;
  case File::kLoadProgram:
  case File::kSaveProgram:
  case File::kLoadBank:
  case File::kSaveBank:
  case File::kLoadTuning:
    break;
  default:
    return;
  }

  const bool save = command == File::kSaveProgram || command == File::kSaveBank;
  char extensions[16];
  std::snprintf(extensions, sizeof(extensions), "%s",
                command == File::kLoadTuning                               ? "tun scl kbm"
                : command == File::kLoadBank || command == File::kSaveBank ? "fxb"
                                                                           : "fxp");
  WDL_String fileName;
  if (command == File::kSaveProgram) {
    char suggested[kSuggestedNameSize];
    {
      WDL_MutexLock lock(&mMutex);
      std::snprintf(suggested, sizeof(suggested), "%s", GetPresetName(ProgramForHost()));
    }
    replaceIllegalFileChar(suggested);
    fileName.Set(suggested);
  } else if (command == File::kSaveBank) {
    fileName.Set(kProposedBankName);
  }
  // What the prompt asks; a save prompt adds the extension to a name without it.
  const char* question = command == File::kSaveProgram ? "Save program as:"
                         : command == File::kSaveBank  ? "Save bank as:"
                         : command == File::kLoadBank  ? "Load bank:"
                         : command == File::kLoadTuning ? "Load tuning:"
                                                        : "Load program:";
  // A file dialog opened for the current program: one put in place while it was open (a MIDI program change
  // taken over, the host's program change or load) ends the command without acting on another; a bank is every
  // program. (A box closes by itself then.)
  const unsigned shown = StatesPutInPlace();
  graphics->PromptForFile(&fileName, save ? kFileSave : kFileOpen, &dialogFolder, extensions, question);
  if (!fileName.GetLength()) return;
  if (command != File::kLoadBank && command != File::kSaveBank && StatesPutInPlace() != shown) return;
  SettlePendingProgram();

  bool failed = false, tooLarge = false;
  int err = 0;
  if (command == File::kLoadProgram) {
    failed = !LoadProgramFromFXP(&fileName, &err); // takes the mutex where it changes the state
  } else if (command == File::kLoadBank) {
    failed = !LoadBankFromFXB(&fileName, &err);
  } else if (save) {
    IPlugBase::ModifyCurrentPreset(); // the program in place holds the live state, if it is still its own
    failed = command == File::kSaveBank ? !SaveBankAsFXB(&fileName, &err) : !SaveProgramAsFXP(&fileName, &err);
    if (failed) {
      WDL_MutexLock lock(&mMutex);
      tooLarge = tooLargeForAFile(*this, command == File::kSaveBank);
    }
  } else {
    // The file is read and parsed without the mutex; a tuning that cannot be read changes nothing (the menu
    // keeps the tuning the user had, and the scale and mapping a later .scl or .kbm file combines with).
    failed = loadTuning(fileName.Get(), &err) == kLoadFailed;
  }
  if (!failed) return;
  char text[320];
  if (tooLarge) {
    std::snprintf(text, sizeof(text),
                  "Cannot save file!\n\nThe %s is too large for a file (2 GB at most).\n"
                  "Wavetables take the room: remove some, then save again.",
                  command == File::kSaveBank ? "bank" : "program");
  } else {
    std::snprintf(text, sizeof(text), "%s\n\n%s", save ? "Cannot save file!" : "Cannot load file!",
                  reasonFor(err, save, command == File::kLoadTuning));
  }
  graphics->ShowMessageBox(text, "Error", kBoxOK);
}

void Synth::loadFXBfromBlob(const void* data, int size)
{
  if (!data || size <= 0) return;
  ByteChunk bank;
  if (bank.Resize(size) != size) return;
  std::memcpy(bank.GetBytes(), data, (size_t)size);
  // Chunk magic and byte count are not checked; the format tag follows them, big-endian.
  if (size < 12 || FourCC(reinterpret_cast<const char*>(bank.GetBytes()) + 8) != FourCC("FBCh")) return;
  if (!DoesStateChunks()) return;
  int pos = 156 + 4; // version, plug-in ID and version, program count, 128 reserved bytes, the chunk size
  GetIPlugVerFromChunk(&bank, &pos);
  // A damaged image leaves the programs as they were.
  if (LoadPresets(&bank, pos) < 0) return;
  InformHostOfProgramChange();
}

bool Synth::loadStartupBank(ByteChunk* file)
{
  // A bank that brings no program (none at all, or only uninitialised ones, each of which would start as
  // an empty program) is no start-up bank: refused as a broken one is, so that the next one is tried.
  return BankFileHoldsPrograms(file) && LoadBankFromFXBData(file);
}
