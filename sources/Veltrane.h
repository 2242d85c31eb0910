// Veltrane: the product plug-in class. It owns the whole patch engine: the tempo clock, 64 voices, 18 slot
// configurations with one master module per slot, the source lists (all, voice, master), the common source
// values that modules read, three parameters the host never sees (Porta Legato, Master Out Left and Right,
// numbered 301 to 303 past the host's 0..299) and the editor's command mailbox.
//
// Host parameters: 0..287 belong to the slots (16 each), 288..299 are global.
//
// Threads: host calls arrive on the audio and main threads with the instance mutex held by the adapter;
// structural changes, parameter changes and state loads take the same (recursive) mutex.
#pragma once

#include "Clock.h"
#include "IParam.h"
#include "ModuleConfig.h"
#include "SourceDef.h"
#include "Synth.h"
#include "Voice.h"

#include <vector>

class IControl;
class Module;

class Veltrane : public Synth
{
public:
  static constexpr int kNumVoices = 64;
  static constexpr int kNumSlots = 18;
  static constexpr int kNumMidiSources = 16;
  static constexpr int kStateVersion = 1001;

  // Global host parameters and the private ones.
  enum EParams {
    kParamVoices = 288,
    kParamSumLeft = 289,
    kParamSumRight = 290,
    kParamVolume = 291,
    kParamOutTrigger = 292,
    kParamOutAttack = 293,
    kParamOutDecay = 294,
    kParamOutSustain = 295,
    kParamOutRelease = 296,
    kParamPBRange = 297,
    kParamPortamento = 298,
    kParamCustomTuning = 299,
    kParamPortaLegato = 301,
    kParamMasterOutLeft = 302,
    kParamMasterOutRight = 303,
  };

  // Items of the trigger group (-3) and of the voice-sum and external-input group (-6).
  enum ETriggers { kTriggerSingle = 0, kTriggerMulti = 1, kTriggerVoice = 2, kTriggerStart = 3, kTriggerStop = 4 };
  enum EMasterAudio { kVoiceSumLeft = 1, kVoiceSumRight = 2, kExternalLeft = 3, kExternalRight = 4 };

  static const int nVoices[11]; // voice counts of parameter 288's entries
  static const char* const labelVoices[11];
  static const char* const labelTrigger[2];
  static const char* const labelOffOn[2];
  static const char* const labelPortaLegato[2];

  explicit Veltrane(IPlugInstanceInfo instanceInfo);
  ~Veltrane() override;

  // ---- parameters ----
  // Defines the twelve global host parameters and the three private ones.
  void initParameters() override;
  // Host parameter 0..299 or private parameter 301..303; null for any other index.
  IParam* getAnyParam(int paramIdx);
  // Private parameters take the value here (the host never sees them); the others go to the framework.
  void SetParameterFromGUI(int paramIdx, double normalizedValue) override;

  // ---- sources ----
  // Rebuilds the three lists from the built-ins and the slots' outputs, then every selector's range.
  void updateSources();
  // Turns a selector parameter into an enumeration over its list, keeping its value where it still fits.
  void changeSourceParam(int paramIdx, SourceDef::SourceType type, bool master);
  // A master module's (or master output's) selector value as the address of the value it reads; the
  // constant zero when it names nothing.
  double* getSourceForMaster(int index, SourceDef::SourceType type);
  void addSource(bool voice, bool master, SourceDef* source);
  // Addresses of the common values: On, PBend, PBnd+, MW, MW+, ChAft (null for the per-voice items).
  double* getModSource(SourceDef::ModCommonSources source);
  double* getModSource(SourceDef* source);  // MIDI sources and common modulation
  double* getGateSource(SourceDef* source); // Single, Multi, Start, Stop and the clock outputs

  // ---- editor hooks ----
  void createGraphics();
  void emptyControlTrash();
  void resetDroneMode();
  void RedrawParamControls() override;
  void OnIdle() override;
  // Plugs a block's first two audio outputs into the voice sums (voice slot) or master outputs (master slot).
  void plugToCommon(int position);

  // ---- members ----
  int stateVersion;
  Clock clock;
  // The configurations outlive the modules made from them: they are declared (and so destroyed) first.
  ModuleConfig slotConfig[kNumSlots];
  Voice voices[kNumVoices];
  Module* masterModules[kNumSlots]; // owned; processed only while the slot is master
  std::vector<Module*> masterProcessList;
  std::vector<int> displayOrder; // slot shown at each of the editor's 18 positions
  SourceDefCol allSources;       // owns the entries
  SourceDefCol voiceSources;     // selectable by voice modules and parameters 289, 290
  SourceDefCol masterSources;    // selectable by master modules and parameters 302, 303
  IParam portaLegato;            // private parameter 301
  IParam masterOutLeft;          // private parameter 302
  IParam masterOutRight;         // private parameter 303
  int sumBufferLength;           // control period the sum buffers were allocated for
  double* voiceSumLeft;          // one control period of the summed voices
  double* voiceSumRight;
  bool commandPending; // editor command mailbox
  int commandCode;
  int commandArg1;
  int commandArg2;
  int activeVoices;
  double volume;
  double portamentoTime; // seconds
  double pitchBendRange; // semitones
  bool portaLegatoOn;
  bool customTuningOn;
  bool suspended;         // output silent while a structural change or state load runs
  bool muteUntilNextTick; // output silent until the next control tick has run
  bool panelRebuild;      // the editor rebuilds the slot panels at its next idle call
  bool loadingStartupBank;
  bool lastTransportRunning;
  bool voiceSlotsPresent;
  bool masterModulesPresent;
  int masterTargetPitch; // 1/128 semitone
  int masterPitch;       // frequency source of every master module
  int glideCountdown;    // 1 ms steps of master portamento left
  double glideCurrent;
  double glideStep;
  int noteOnCounter;
  double zero; // every unconnected master input reads it
  double on;   // common modulation source "On", always 1.0
  double masterNote, masterNotePos, masterVelo;
  double pBend, pBendPos, mw, mwPos, chAft;
  double single, multi, start, stop; // common gates
  double voiceL, voiceR, extL, extR; // master audio sources of the current sample
  double* masterOutputLeft;          // resolved sources of parameters 302 and 303
  double* masterOutputRight;
  int midiSourceCC[kNumMidiSources]; // controller of each MIDI source, -1 none
  double midiSourceValue[kNumMidiSources];
  double multiAtLastTick;

  // Editor members: controls detached by the last panel rebuild, and the panel controls the engine updates.
  WDL_PtrList<IControl> controlTrash;
  IControl* tuningNameControl;
  IControl* droneControl;
  IControl* portaLegatoControl;
  IControl* masterOutLeftControl;
  IControl* masterOutRightControl;
};

// "HOLD" at 1.0 and above, else the value with two decimals.
void setDisplayTextForRelease(double value, char* text);
