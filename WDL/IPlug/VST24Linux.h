// The VST 2.4 binary interface between a host and a plug-in, as laid out on 64-bit Linux (LP64, GCC/Clang
// natural alignment). Written from the public description of the interface: the records a host and a plug-in
// exchange, the dispatcher opcodes (eff...), the host-callback opcodes (audioMaster...) and the flag values,
// all with their published numbers. The static_asserts at the end pin the sizes and field offsets that compiled
// hosts and plug-ins rely on, so a change that breaks binary compatibility fails to build.
//
// Both sides include this header: the plug-in adapter (IPlugVST) and our command-line host (tools/vsthost).
#pragma once

#include <cstddef>
#include <cstdint>

// Pointer-sized integer of the dispatcher's `value` argument and of every dispatcher and callback answer.
typedef intptr_t VstIntPtr;
typedef int32_t VstInt32;
typedef int16_t VstInt16;

struct AEffect;

// The host's callback, handed to the plug-in's entry point. Arguments: the plug-in's record (may be null
// before the record exists), opcode, index, value, pointer, float option.
typedef VstIntPtr (*audioMasterCallback)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                         float opt);

typedef VstIntPtr (*AEffectDispatcherProc)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                           float opt);
// Old accumulating process call: the plug-in adds its output to what the buffers hold.
typedef void (*AEffectProcessProc)(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames);
typedef void (*AEffectProcessDoubleProc)(AEffect* effect, double** inputs, double** outputs, VstInt32 sampleFrames);
typedef void (*AEffectSetParameterProc)(AEffect* effect, VstInt32 index, float parameter);
typedef float (*AEffectGetParameterProc)(AEffect* effect, VstInt32 index);

// The entry point a plug-in exports as `VSTPluginMain` (and, for old hosts, as `main`).
typedef AEffect* (*VstPluginEntryProc)(audioMasterCallback hostCallback);

// Four characters packed with the first one in the most significant byte ('VstP' style literals).
constexpr VstInt32 VstFourCC(char a, char b, char c, char d)
{
  return (VstInt32)(((uint32_t)(uint8_t)a << 24) | ((uint32_t)(uint8_t)b << 16) | ((uint32_t)(uint8_t)c << 8) |
                    (uint32_t)(uint8_t)d);
}

constexpr VstInt32 kEffectMagic = VstFourCC('V', 's', 't', 'P');
// A private extension between our own host and our plug-ins, not part of the interface: effVendorSpecific with
// this index plays a script of user actions on the editor opened headless (ptr: the PNG path to write,
// value: the script text or 0) and saves the editor's picture. Answers 1 when written, 0 when not, and -N when
// line N (from 1) of the script cannot be read (nothing is played then).
constexpr VstInt32 kVendorHeadlessScreenshot = VstFourCC('V', 't', 'S', 'h');

// The script's actions and what each takes: the plug-in's parser holds the numbers to these ranges, and the
// host names them when a line is refused. Coordinates may lie off the editor (a pointer outside it).
constexpr int kScriptFar = 100000, kScriptMaxWheel = 1000, kScriptMaxTicks = 25 * 60;
struct ScriptActionForm
{
  const char* action;
  const char* takes; // followed by "a whole number from lo to hi" when lo <= hi
  int lo, hi;
};
constexpr ScriptActionForm kScriptActionForms[] = {
    {"click", "X Y, each", -kScriptFar, kScriptFar},
    {"rclick", "X Y, each", -kScriptFar, kScriptFar},
    {"down", "X Y, each", -kScriptFar, kScriptFar},
    {"up", "X Y, each", -kScriptFar, kScriptFar},
    {"drag", "X Y, each", -kScriptFar, kScriptFar},
    {"move", "X Y, each", -kScriptFar, kScriptFar},
    {"dblclick", "X Y, each", -kScriptFar, kScriptFar},
    {"wheel", "X Y STEPS, X and Y as for click, STEPS", -kScriptMaxWheel, kScriptMaxWheel},
    {"key", "one character or a key's name", 0, -1}, // the host lists kScriptKeyNames after it
    {"type", "the text to type", 0, -1},
    {"button", "N (-1 closes the message box as Escape does, 0 to 2 its buttons),", -1, 2},
    {"choose", "a path of menu entries such as 3/1 (digits and slashes), or nothing", 0, -1},
    {"ticks", "N,", 0, kScriptMaxTicks},
};

// The key names `key` takes, as the host lists them; the plug-in's parser checks its own table against it.
constexpr const char* kScriptKeyNames[] = {"up",    "down",   "left", "right",     "home",   "end", "return",
                                           "enter", "escape", "esc",  "backspace", "delete", "tab", "space"};

// The record a plug-in hands to its host; the host calls the plug-in only through these function pointers.
struct AEffect
{
  VstInt32 magic; // kEffectMagic
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process; // accumulating, deprecated but still called by a few hosts
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;         // effFlags...
  VstIntPtr resvd1;       // belongs to the host
  VstIntPtr resvd2;       // belongs to the host
  VstInt32 initialDelay;  // latency in samples
  VstInt32 realQualities; // unused
  VstInt32 offQualities;  // unused
  float ioRatio;          // unused, 1.0
  void* object;           // the plug-in's own object
  void* user;             // free for the host
  VstInt32 uniqueID;      // four characters
  VstInt32 version;       // plug-in version, decimal (1.0.1 is 10001)
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56];
};

enum VstAEffectFlags {
  effFlagsHasEditor = 1 << 0,
  effFlagsCanMono = 1 << 3, // obsolete but still set by some plug-ins
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsCanDoubleReplacing = 1 << 12,
};

// Dispatcher opcodes (host to plug-in). The gaps are opcodes retired before 2.4; they must still be answered.
enum VstDispatcherOpcode {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditIdle = 19,
  effIdentify = 22,
  effGetChunk = 23,
  effSetChunk = 24,
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetProgramNameIndexed = 29,
  effGetInputProperties = 33,
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effOfflineNotify = 38,
  effOfflinePrepare = 39,
  effOfflineRun = 40,
  effProcessVarIo = 41,
  effSetSpeakerArrangement = 42,
  effSetBypass = 44,
  effGetEffectName = 45,
  effGetVendorString = 47,
  effGetProductString = 48,
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,
  effGetTailSize = 52,
  effIdle = 53,
  effGetParameterProperties = 56,
  effGetVstVersion = 58,
  effEditKeyDown = 59,
  effEditKeyUp = 60,
  effSetEditKnobMode = 61,
  effGetMidiProgramName = 62,
  effGetCurrentMidiProgram = 63,
  effGetMidiProgramCategory = 64,
  effHasMidiProgramsChanged = 65,
  effGetMidiKeyName = 66,
  effBeginSetProgram = 67,
  effEndSetProgram = 68,
  effGetSpeakerArrangement = 69,
  effShellGetNextPlugin = 70,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetTotalSampleToProcess = 73,
  effSetPanLaw = 74,
  effBeginLoadBank = 75,
  effBeginLoadProgram = 76,
  effSetProcessPrecision = 77,
  effGetNumMidiInputChannels = 78,
  effGetNumMidiOutputChannels = 79,
};

// Virtual keys of effEditKeyDown / effEditKeyUp (in value; index holds the character, opt the modifiers).
enum VstVirtualKey {
  VKEY_BACK = 1,
  VKEY_TAB = 2,
  VKEY_CLEAR = 3,
  VKEY_RETURN = 4,
  VKEY_PAUSE = 5,
  VKEY_ESCAPE = 6,
  VKEY_SPACE = 7,
  VKEY_NEXT = 8,
  VKEY_END = 9,
  VKEY_HOME = 10,
  VKEY_LEFT = 11,
  VKEY_UP = 12,
  VKEY_RIGHT = 13,
  VKEY_DOWN = 14,
  VKEY_PAGEUP = 15,
  VKEY_PAGEDOWN = 16,
  VKEY_SELECT = 17,
  VKEY_PRINT = 18,
  VKEY_ENTER = 19,
  VKEY_SNAPSHOT = 20,
  VKEY_INSERT = 21,
  VKEY_DELETE = 22,
  VKEY_HELP = 23,
};

// Host-callback opcodes (plug-in to host).
enum VstHostOpcode {
  audioMasterAutomate = 0, // index parameter, opt normalised value
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterWantMidi = 6,
  audioMasterGetTime = 7,       // value: the kVst...Valid flags wanted; answer: VstTimeInfo* or 0
  audioMasterProcessEvents = 8, // ptr: VstEvents* the plug-in sends out
  audioMasterIOChanged = 13,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetInputLatency = 18,
  audioMasterGetOutputLatency = 19,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetAutomationState = 24,
  audioMasterOfflineStart = 25,
  audioMasterOfflineRead = 26,
  audioMasterOfflineWrite = 27,
  audioMasterOfflineGetCurrentPass = 28,
  audioMasterOfflineGetCurrentMetaPass = 29,
  audioMasterGetVendorString = 32,  // ptr: 64-byte buffer
  audioMasterGetProductString = 33, // ptr: 64-byte buffer
  audioMasterGetVendorVersion = 34,
  audioMasterVendorSpecific = 35,
  audioMasterCanDo = 37,
  audioMasterGetLanguage = 38,
  audioMasterGetDirectory = 41,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
  audioMasterOpenFileSelector = 45,
  audioMasterCloseFileSelector = 46,
};

// Published string capacities, terminator included where the name says "Len" + 1 in a buffer.
enum VstStringLimits {
  kVstMaxProgNameLen = 24, // program names: 24 bytes including the terminator
  kVstMaxParamStrLen = 8,
  kVstMaxVendorStrLen = 64,
  kVstMaxProductStrLen = 64,
  kVstMaxEffectNameLen = 32,
  kVstMaxNameLen = 64,
  kVstMaxLabelLen = 64,
  kVstMaxShortLabelLen = 8,
  kVstMaxFileNameLen = 100,
};

enum VstProcessLevel {
  kVstProcessLevelUnknown = 0,
  kVstProcessLevelUser = 1,
  kVstProcessLevelRealtime = 2,
  kVstProcessLevelPrefetch = 3,
  kVstProcessLevelOffline = 4,
};

enum VstPlugCategory {
  kPlugCategUnknown = 0,
  kPlugCategEffect = 1,
  kPlugCategSynth = 2,
  kPlugCategAnalysis = 3,
  kPlugCategMastering = 4,
  kPlugCategSpacializer = 5,
  kPlugCategRoomFx = 6,
  kPlugSurroundFx = 7,
  kPlugCategRestoration = 8,
  kPlugCategOfflineProcess = 9,
  kPlugCategShell = 10,
  kPlugCategGenerator = 11,
};

enum VstAutomationState {
  kVstAutomationUnsupported = 0,
  kVstAutomationOff = 1,
  kVstAutomationRead = 2,
  kVstAutomationWrite = 3,
  kVstAutomationReadWrite = 4,
};

// ---- Events --------------------------------------------------------------------------------------------------

enum VstEventType {
  kVstMidiType = 1,
  kVstSysExType = 6,
};

// Generic event header; `data` is the start of the type-specific part.
struct VstEvent
{
  VstInt32 type;
  VstInt32 byteSize;    // size of the whole event record
  VstInt32 deltaFrames; // sample offset within the current block
  VstInt32 flags;
  char data[16];
};

// A block's events. The array is declared with two entries but holds numEvents pointers.
struct VstEvents
{
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[2];
};

enum VstMidiEventFlags {
  kVstMidiEventIsRealtime = 1 << 0,
};

struct VstMidiEvent
{
  VstInt32 type;     // kVstMidiType
  VstInt32 byteSize; // sizeof(VstMidiEvent)
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 noteLength; // in samples, 0 when unknown
  VstInt32 noteOffset;
  char midiData[4]; // status, data 1, data 2, 0
  char detune;      // cents, -64..63
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

struct VstMidiSysexEvent
{
  VstInt32 type;     // kVstSysExType
  VstInt32 byteSize; // sizeof(VstMidiSysexEvent)
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 dumpBytes;
  VstIntPtr resvd1;
  char* sysexDump; // not owned by the receiver; valid during the call only
  VstIntPtr resvd2;
};

// ---- Transport -----------------------------------------------------------------------------------------------

enum VstTimeInfoFlags {
  kVstTransportChanged = 1 << 0,
  kVstTransportPlaying = 1 << 1,
  kVstTransportCycleActive = 1 << 2,
  kVstTransportRecording = 1 << 3,
  kVstAutomationWriting = 1 << 6,
  kVstAutomationReading = 1 << 7,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15,
};

struct VstTimeInfo
{
  double samplePos;     // always valid: samples since the song start
  double sampleRate;    // always valid
  double nanoSeconds;   // system time
  double ppqPos;        // quarter notes since the song start
  double tempo;         // beats per minute
  double barStartPos;   // quarter-note position of the last bar start
  double cycleStartPos; // loop start, quarter notes
  double cycleEndPos;   // loop end, quarter notes
  VstInt32 timeSigNumerator;
  VstInt32 timeSigDenominator;
  VstInt32 smpteOffset;
  VstInt32 smpteFrameRate;
  VstInt32 samplesToNextClock;
  VstInt32 flags; // VstTimeInfoFlags
};

// ---- Pins, speakers, editor, key names ----------------------------------------------------------------------

enum VstPinPropertiesFlags {
  kVstPinIsActive = 1 << 0,
  kVstPinIsStereo = 1 << 1, // this pin and the next form a stereo pair
  kVstPinUseSpeaker = 1 << 2,
};

struct VstPinProperties
{
  char label[kVstMaxLabelLen];
  VstInt32 flags;
  VstInt32 arrangementType;
  char shortLabel[kVstMaxShortLabelLen];
  char future[48];
};

enum VstSpeakerArrangementType {
  kSpeakerArrUserDefined = -2,
  kSpeakerArrEmpty = -1,
  kSpeakerArrMono = 0,
  kSpeakerArrStereo = 1,
};

struct VstSpeakerProperties
{
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[kVstMaxNameLen];
  VstInt32 type;
  char future[28];
};

// Declared with eight speakers; hosts may pass longer records for more channels.
struct VstSpeakerArrangement
{
  VstInt32 type;
  VstInt32 numChannels;
  VstSpeakerProperties speakers[8];
};

// The editor's rectangle in pixels.
struct ERect
{
  VstInt16 top;
  VstInt16 left;
  VstInt16 bottom;
  VstInt16 right;
};

struct MidiKeyName
{
  VstInt32 thisProgramIndex;
  VstInt32 thisKeyNumber;
  char keyName[kVstMaxNameLen];
  VstInt32 reserved;
  VstInt32 flags;
};

// ---- Binary layout checks (LP64) ----------------------------------------------------------------------------

static_assert(sizeof(void*) == 8, "this interface description is for 64-bit targets");
static_assert(sizeof(VstIntPtr) == 8, "value and answers are pointer-wide");

static_assert(sizeof(AEffect) == 192, "AEffect size");
static_assert(offsetof(AEffect, magic) == 0, "AEffect::magic");
static_assert(offsetof(AEffect, dispatcher) == 8, "AEffect::dispatcher");
static_assert(offsetof(AEffect, process) == 16, "AEffect::process");
static_assert(offsetof(AEffect, setParameter) == 24, "AEffect::setParameter");
static_assert(offsetof(AEffect, getParameter) == 32, "AEffect::getParameter");
static_assert(offsetof(AEffect, numPrograms) == 40, "AEffect::numPrograms");
static_assert(offsetof(AEffect, numParams) == 44, "AEffect::numParams");
static_assert(offsetof(AEffect, numInputs) == 48, "AEffect::numInputs");
static_assert(offsetof(AEffect, numOutputs) == 52, "AEffect::numOutputs");
static_assert(offsetof(AEffect, flags) == 56, "AEffect::flags");
static_assert(offsetof(AEffect, resvd1) == 64, "AEffect::resvd1");
static_assert(offsetof(AEffect, resvd2) == 72, "AEffect::resvd2");
static_assert(offsetof(AEffect, initialDelay) == 80, "AEffect::initialDelay");
static_assert(offsetof(AEffect, ioRatio) == 92, "AEffect::ioRatio");
static_assert(offsetof(AEffect, object) == 96, "AEffect::object");
static_assert(offsetof(AEffect, user) == 104, "AEffect::user");
static_assert(offsetof(AEffect, uniqueID) == 112, "AEffect::uniqueID");
static_assert(offsetof(AEffect, version) == 116, "AEffect::version");
static_assert(offsetof(AEffect, processReplacing) == 120, "AEffect::processReplacing");
static_assert(offsetof(AEffect, processDoubleReplacing) == 128, "AEffect::processDoubleReplacing");
static_assert(offsetof(AEffect, future) == 136, "AEffect::future");

static_assert(sizeof(VstEvent) == 32, "VstEvent size");
static_assert(sizeof(VstEvents) == 32, "VstEvents size");
static_assert(offsetof(VstEvents, reserved) == 8, "VstEvents::reserved");
static_assert(offsetof(VstEvents, events) == 16, "VstEvents::events");

static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent size");
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8, "VstMidiEvent::deltaFrames");
static_assert(offsetof(VstMidiEvent, noteLength) == 16, "VstMidiEvent::noteLength");
static_assert(offsetof(VstMidiEvent, noteOffset) == 20, "VstMidiEvent::noteOffset");
static_assert(offsetof(VstMidiEvent, midiData) == 24, "VstMidiEvent::midiData");
static_assert(offsetof(VstMidiEvent, detune) == 28, "VstMidiEvent::detune");
static_assert(offsetof(VstMidiEvent, noteOffVelocity) == 29, "VstMidiEvent::noteOffVelocity");

static_assert(sizeof(VstMidiSysexEvent) == 48, "VstMidiSysexEvent size");
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16, "VstMidiSysexEvent::dumpBytes");
static_assert(offsetof(VstMidiSysexEvent, resvd1) == 24, "VstMidiSysexEvent::resvd1");
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 32, "VstMidiSysexEvent::sysexDump");
static_assert(offsetof(VstMidiSysexEvent, resvd2) == 40, "VstMidiSysexEvent::resvd2");

static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo size");
static_assert(offsetof(VstTimeInfo, ppqPos) == 24, "VstTimeInfo::ppqPos");
static_assert(offsetof(VstTimeInfo, tempo) == 32, "VstTimeInfo::tempo");
static_assert(offsetof(VstTimeInfo, barStartPos) == 40, "VstTimeInfo::barStartPos");
static_assert(offsetof(VstTimeInfo, cycleStartPos) == 48, "VstTimeInfo::cycleStartPos");
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56, "VstTimeInfo::cycleEndPos");
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64, "VstTimeInfo::timeSigNumerator");
static_assert(offsetof(VstTimeInfo, timeSigDenominator) == 68, "VstTimeInfo::timeSigDenominator");
static_assert(offsetof(VstTimeInfo, samplesToNextClock) == 80, "VstTimeInfo::samplesToNextClock");
static_assert(offsetof(VstTimeInfo, flags) == 84, "VstTimeInfo::flags");

static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties size");
static_assert(offsetof(VstPinProperties, flags) == 64, "VstPinProperties::flags");
static_assert(offsetof(VstPinProperties, arrangementType) == 68, "VstPinProperties::arrangementType");
static_assert(offsetof(VstPinProperties, shortLabel) == 72, "VstPinProperties::shortLabel");

static_assert(sizeof(VstSpeakerProperties) == 112, "VstSpeakerProperties size");
static_assert(offsetof(VstSpeakerProperties, name) == 16, "VstSpeakerProperties::name");
static_assert(offsetof(VstSpeakerProperties, type) == 80, "VstSpeakerProperties::type");
static_assert(sizeof(VstSpeakerArrangement) == 8 + 8 * 112, "VstSpeakerArrangement size");
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8, "VstSpeakerArrangement::speakers");

static_assert(sizeof(ERect) == 8, "ERect size");
static_assert(offsetof(ERect, left) == 2 && offsetof(ERect, bottom) == 4 && offsetof(ERect, right) == 6, "ERect");

static_assert(sizeof(MidiKeyName) == 80, "MidiKeyName size");
static_assert(offsetof(MidiKeyName, thisKeyNumber) == 4, "MidiKeyName::thisKeyNumber");
static_assert(offsetof(MidiKeyName, keyName) == 8, "MidiKeyName::keyName");
static_assert(offsetof(MidiKeyName, reserved) == 72, "MidiKeyName::reserved");
static_assert(offsetof(MidiKeyName, flags) == 76, "MidiKeyName::flags");
