// Synth: the product-independent synth layer between the VST 2.4 adapter and the product class. It fixes
// the plug-in's identity towards the host, creates the editor surface and owns what every synthesizer
// built on it shares: the queue of timed MIDI events, the host transport record, the control period of
// the 1 ms control tick, the sorted buffer of held keys, the MIDI-learn map, the tuning table with its
// Scala importer and name, the program clipboard and the dialog and start-up bank paths.
//
// Pitch throughout the engine is an int in 1/128 semitone, 0 being MIDI note 0 (8.176 Hz).
//
// Threads (THREADS.md): the host's threads enter through the adapter, which holds the instance mutex for most
// calls (not for loads, which take it only to put a state in place); Reset, OnActivate and OnParamChange take
// it themselves as well.
#pragma once

#include "ByteChunk.h"
#include "IGraphicsLinux.h"
#include "IMidiQueue.h"
#include "IPlugVST.h"
#include "tun_scala.h"
#include "wdlstring.h"

#include <atomic>

class IControl;
struct TuningRead;

namespace File {
// The program and tuning menu choices that Synth::runFileCommand carries out; 3, 8 and 10 do nothing here
// (two separators, and the web-site item the menu opens itself).
enum Command : int {
  kCopyProgram = 0,
  kPasteProgram = 1,
  kInitProgram = 2,
  kSeparator1 = 3,
  kLoadProgram = 4,
  kSaveProgram = 5,
  kLoadBank = 6,
  kSaveBank = 7,
  kSeparator2 = 8,
  kCheckVersion = 9,
  kWebSite = 10,
  kLoadTuning = 11,
  kResetTuning = 12,
};
} // namespace File

class Synth : public IPlugVST
{
public:
  static constexpr int kNumParams = 300;
  static constexpr int kNumPrograms = 64;
  static constexpr int kEditorWidth = 1280;
  static constexpr int kEditorHeight = 650;
  static constexpr int kMidiQueueSize = 1024;      // messages; also the queue's first grow step
  static constexpr int kMidiQueueRoom = 8192;      // messages the queue holds once the host has set it up
  static constexpr int kNumLearnControllers = 120; // controllers 0..119 can be learned
  static constexpr int kNumNotes = 128;
  static constexpr int kNoKey = 256; // value of an unused entry of the held-key buffer
  static constexpr int kTuningNameSize = 256;
  static constexpr int kMaxPitch = 17280; // note 135, 19912.127 Hz
  static constexpr const char* kEqualTuningName = "Equal (Standard)";
  static constexpr const char* kProductName = "Veltrane";
  static constexpr const char* kBundleID = "com.tarnwellmusic.vst.Veltrane";

  // withEditor false: no editor surface (an engine that never shows one, such as a product's staging engine).
  explicit Synth(IPlugInstanceInfo instanceInfo, bool withEditor = true);
  ~Synth() override;

  // Loads the start-up bank: "Veltrane.fxb" beside the plug-in, else "init.fxb" in its resources folder, else
  // the copy of "init.fxb" built into the plug-in file. A bank that cannot be read, or brings no program,
  // gives way to the next.
  void initState();
  // Loads a bank file's bytes as the start-up bank; false, nothing changed, for one that brings no
  // initialised program or that the plug-in refuses.
  bool loadStartupBank(ByteChunk* file);

  // Sample rates the host may set, Hz; a rate beyond them is taken as the nearest. Below 1 kHz a control tick
  // cannot last 1 ms; above 768 kHz, the highest rate of audio interfaces, delay memory and the work of a
  // program change grow with the rate (a program change at 10 MHz took 2 s).
  static constexpr double kMinSampleRate = 1000.0;
  static constexpr double kMaxSampleRate = 768000.0;
  void SetSampleRate(double sampleRate) override;
  void Reset() override;
  void OnActivate(bool active) override;
  void OnParamChange(int paramIdx) override;
  void ProcessMidiMsg(IMidiMsg* msg) override;

  // Makes host parameter paramIdx an enumeration of count entries named by labels.
  void initListParameter(int paramIdx, const char* name, int defaultIdx, int count, const char* const* labels);

  // Held keys, kept in ascending order without duplicates.
  void clearKeyBuffer();
  void addPressedKey(int key);
  void removePressedKey(int key);

  virtual void allNotesOff() {}
  virtual void initParameters() {}
  // A MIDI Program Change arriving (audio thread, under the instance mutex). What became of it: done here
  // (the program is restored at once, or there is no such program: the default), staged (a product that
  // builds it aside: it goes in place once the audio loop has reached its place in the stream), or to be put
  // in place by the audio loop where it reaches it. The last two are queued in the MIDI stream, with the
  // answer in the message's second data byte.
  enum EProgramChange { kChangeDone = 0, kChangeStaged = 1, kChangeAtItsPlace = 2 };
  virtual int programChangeFromMidi(int program)
  {
    RestorePreset(program);
    return kChangeDone;
  }
  // Whether the message ends something (a note, the sustain pedal) or is a program change taken:
  // such a message is never dropped from a full queue.
  static bool endsSomething(const IMidiMsg& m);
  // The sustain pedal's value: down from 64, up below it (MIDI 1.0 reads a switch controller so).
  static bool pedalDown(int value) { return value >= 64; }
  // A message that ends something, or a program change, which even a full queue could not take (it holds
  // nothing but such messages): the product acts on it at once. Audio thread, under the instance mutex.
  virtual void actOnUnqueued(const IMidiMsg& /*msg*/) {}
  // Stores the live state into the current program, then switches to program index.
  virtual void changePreset(int index);
  // Every host parameter to its default; the program is named "Init".
  virtual void initPreset();
  // Every host parameter to its default, the host told of each (under the instance mutex, taken here).
  void defaultParameters();
  // Pitch of a note from the tuning table (notes 0..127), else 0.
  virtual int getFrequency(int note);
  // Reads a .tun, .scl or .kbm file into the tuning table: 0 on success, 8 when the file could not be read.
  // A file that cannot be read changes nothing (the table, the name, and the scale and mapping a later file
  // combines with stay), and err (when given) tells why: the open's errno (WDL_ENOTREGULAR for a pipe or a
  // device), EFBIG for a file larger than any tuning file, EBADMSG for one that is not a tuning. The file is
  // read without the instance mutex (readTuning), then put in place under it (applyTuning).
  int loadTuning(const char* path, int* err = nullptr);
  // Reads and parses a .tun, .scl or .kbm file (by the path's extension, any case) into out, starting from a
  // copy of importer, which a .scl or .kbm file combines with; out->result as loadTuning answers. Changes
  // nothing of the plug-in and takes no lock: any thread, while the audio thread goes on.
  int readTuning(const char* path, const TUN::CSCL_Import& importer, TuningRead* out) const;
  // Puts a read's table, name and importer in place; a failed read puts nothing. The caller holds the
  // instance mutex.
  virtual void applyTuning(const TuningRead& read);
  // Back to equal temperament.
  virtual void resetTuning();

  // Pitch (1/128 semitone) to hertz, by linear interpolation between semitones; clamps beyond +-17279.
  static double convert2Hz(int pitch);
  // The tuning name differs, ignoring case, from "Equal (Standard)", or the table from equal temperament.
  bool isCustomTuning() const;

  // MIDI learn, driven by the editor's MIDI-learn switch with its new state.
  void doMidiLearn(bool on);
  void doMidiUnlearn(bool on);
  void setMidiLearnParam(int paramIdx);
  void setMidiLearnCC(int cc);
  void applyMidiLearn();
  bool hasMidiControllerMap() const;

  // ---- program and file commands (editor thread) ----
  // Runs one menu choice: confirmation, file dialog, the load or save (the disk read and written without the
  // instance mutex, which is taken only to take the bytes or put a state in place), and a message box that
  // says why it failed.
  void runFileCommand(File::Command command);
  void copyPreset();
  // The copied program's state into the current program, under the copied program's present name.
  void pastePreset();
  // Replaces the characters file names may not hold (" * / : < > ? \ |) with underscores.
  static void replaceIllegalFileChar(char* name);
  // Reads a bank file's bytes held in memory (chunk variant only); anything else is ignored. Nothing calls it.
  void loadFXBfromBlob(const void* data, int size);

  // A computed pitch (1/128 semitone) as an int, rounded down; values no tuning or bend can reach are
  // clamped first, so that hostile tables never overflow the conversion.
  static int floorPitch(double pitch);

  // Portamento of a voice or the master section, in 1 ms control ticks. startGlide heads current for target
  // over seconds (at once for 0 or less): countdown ticks of step each. stepGlide is one tick; the last one
  // lands exactly on target.
  static void startGlide(int target, double seconds, double* current, double* step, int* countdown);
  static void stepGlide(int target, double step, double* current, int* countdown)
  {
    if (*countdown <= 0) return;
    *current += step;
    if (*countdown == 1) *current = target;
    --*countdown;
  }

  // The editor's online update check (the menu command asks for it; sources/editor/UpdateCheck.cpp supplies
  // it). Editor thread, without the instance mutex; blocks for at most 10 s. Answers UpdateCheck::Status.
  int checkVersionAgainstWeb();

  // Pitches of MIDI notes 0..135 in hertz, and of 0..135 semitones below note 0.
  static const double MIDI2Hz[136];
  static const double AntiMIDI2Hz[136];

  // Makes the editor surface of every new instance; null (the default) makes the platform's. Tests set a
  // surface of their own here (one whose menus and text fields answer from a script).
  static IGraphicsLinux* (*surfaceFactory)(IPlugBase* plug, int width, int height);

  // Owned by the framework once the product attaches it; the synth layer keeps the typed pointer.
  IGraphicsLinux* graphics;
  IMidiQueue midiQueue;
  // A message that ends something, in a full queue: it takes the place of the latest note-on, else of the
  // latest event that ends nothing. False when there is none.
  bool queueInPlaceOfAnother(const IMidiMsg& m);
  struct OverflowSearch
  {
    unsigned generation = ~0u; // the queue's, when the indices below were found
    int noteOnFrom = 0;        // no note-on at or above this index
    int droppableFrom = 0;     // no event that ends nothing at or above this index
  } overflow;
  ITimeInfo timeInfo; // refreshed by the audio loop at every block
  // Editor controls set by the panel: the program menu, and the MIDI-learn switch that learn resets to off.
  IControl* presetMenu;
  IControl* midiLearnSwitch;
  int copiedPreset; // index of the program last copied, -1 before any copy
  ByteChunk copyBuffer{ByteChunk::kKeepsRuns}; // its tables by reference
  bool processing = false; // the host has switched processing on (and not off since)
  int tickCountdown; // samples until the next control tick; 0 = a tick is due now
  // Samples per control tick: sample rate / 1000, at least 1. It stays 0 until the first Reset, and the
  // audio loop outputs silence while it is 0.
  int controlPeriod;
  WDL_String dialogFolder; // start folder of file dialogs: the plug-in's folder, then the last one used
  WDL_String startupBankPath;
  int midiLearnMap[kNumLearnControllers]; // host parameter driven by each controller, -1 none
  int tuningTable[kNumNotes];             // pitch of each MIDI note
  TUN::CSCL_Import sclImport;             // keeps the last .scl scale and .kbm mapping
  char tuningName[kTuningNameSize];
  // Raised (under the mutex, on any thread) when learn is disarmed other than by the editor's switch: a reset
  // or a learn completed. The switch shows off at its next tick; arming from the switch lowers it.
  std::atomic<bool> learnDisarmed{false};
  bool midiLearnArmed;
  bool midiUnlearnMode;
  int midiLearnCC;            // pending controller, -1 none
  int midiLearnParam;         // pending parameter, -1 none
  int pressedKeys[kNumNotes]; // ascending; entries past the count are kNoKey
  int numPressedKeys;

protected:
  void setTuningName(const char* name); // cut to 255 characters
};

// A tuning file read by Synth::readTuning, waiting for Synth::applyTuning.
struct TuningRead
{
  int table[Synth::kNumNotes] = {};       // pitch of each MIDI note, 1/128 semitone
  char name[Synth::kTuningNameSize] = {}; // cut to 255 characters
  TUN::CSCL_Import importer;              // the given importer after the read: the last scale and mapping
  int result = 8;                         // 0 read, 8 could not be read (the rest then means nothing)
};

