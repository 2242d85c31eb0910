#include "Synth.h"

#include "EmbeddedResources.h"
#include "IControl.h"
#include "IGraphicsLinux.h"

#include <algorithm>
#include <climits>
#include <cmath>

// Identity towards the host.
namespace {
constexpr const char* kChannelIO = "1-1 2-2";
constexpr const char* kVendor = "Tarnwell Music";
constexpr int kVendorVersion = 0x00010001; // 1.0.1
constexpr int kUniqueID = FourCC("twVL");
constexpr int kMfrID = FourCC("TaWe");
constexpr const char* kChannelLabel = "Veltrane ";
// Room for the start-up bank's file name.
constexpr int kMaxBankPath = 1024;
} // namespace

IGraphicsLinux* (*Synth::surfaceFactory)(IPlugBase*, int, int) = nullptr;

Synth::Synth(IPlugInstanceInfo instanceInfo, bool withEditor)
    : IPlugVST(instanceInfo, kNumParams, kChannelIO, kNumPrograms, kProductName, "", kVendor, kVendorVersion, kUniqueID,
               kMfrID, 0, true, true, true, 0),
      graphics(nullptr), midiQueue(kMidiQueueSize), presetMenu(nullptr), midiLearnSwitch(nullptr), copiedPreset(-1),
      tickCountdown(0), controlPeriod(0), midiLearnArmed(false), midiUnlearnMode(false), midiLearnCC(-1),
      midiLearnParam(-1), numPressedKeys(0)
{
  tuningName[0] = '\0';
  clearKeyBuffer();
  for (int i = 0; i < 2; ++i) {
    SetInputLabel(i, kChannelLabel);
    SetOutputLabel(i, kChannelLabel);
  }
  resetTuning();
  for (int& p : midiLearnMap) p = -1;

  if (!withEditor) return;
  graphics = surfaceFactory ? surfaceFactory(this, kEditorWidth, kEditorHeight)
                            : new IGraphicsLinux(this, kEditorWidth, kEditorHeight, 0);
  graphics->mBundleID.Set(kBundleID);
  graphics->PluginPath(&dialogFolder);
}

Synth::~Synth()
{
  // The product attaches the surface, and the framework then deletes it; one never attached is ours.
  if (graphics && GetGUI() != graphics) delete graphics;
}

void Synth::initState()
{
  startupBankPath.AppendFormatted(kMaxBankPath, "%s%s.fxb", dialogFolder.Get(), kProductName);
  ByteChunk file;
  if (ReadFile(&startupBankPath, &file) && loadStartupBank(&file)) return;
  startupBankPath.Set("");
  WDL_String resources;
  graphics->ResourcesPath(&resources, kProductName);
  resources.Append("init.fxb");
  if (ReadFile(&resources, &file) && loadStartupBank(&file)) return;
  // No readable bank in the folder (a plug-in installed as its one file): the copy built into it. Without any
  // bank the programs stay as constructed.
  const EmbeddedResource* bank = FindEmbeddedResource("init.fxb");
  file.Clear();
  if (bank && file.PutBytes(bank->begin, (int)bank->Size()) == (int)bank->Size()) loadStartupBank(&file);
}

void Synth::SetSampleRate(double sampleRate)
{
  // Not a number counts as too low, as 0 does.
  IPlugVST::SetSampleRate(sampleRate > kMaxSampleRate   ? kMaxSampleRate
                          : sampleRate >= kMinSampleRate ? sampleRate
                                                         : kMinSampleRate);
}

void Synth::Reset()
{
  WDL_MutexLock lock(&mMutex);
  // Room for far more events than any block carries (8 bytes each): the audio thread never grows the queue,
  // and only a flood beyond this room loses events.
  midiQueue.Resize(std::max(GetBlockSize(), kMidiQueueRoom));
  clearKeyBuffer();
  midiLearnArmed = false;
  learnDisarmed = true;
  // One tick per millisecond. Below 1000 Hz a tick still needs one sample, or the loop would not advance.
  const double rate = GetSampleRate();
  int period = 1;
  if (rate >= 1000.0) period = rate >= 1.0e9 ? 1000000 : (int)rate / 1000;
  controlPeriod = period;
  tickCountdown = 0;
}

void Synth::OnActivate(bool active)
{
  WDL_MutexLock lock(&mMutex);
  processing = active;
  if (active) OnParamReset();
}

void Synth::OnParamChange(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  if (midiLearnArmed) setMidiLearnParam(paramIdx);
}

bool Synth::endsSomething(const IMidiMsg& m)
{
  switch (m.StatusMsg()) {
  case IMidiMsg::kNoteOff:
    return true;
  case IMidiMsg::kNoteOn:
    return m.mData2 == 0;
  case IMidiMsg::kControlChange:
    return m.ControlChangeIdx() == IMidiMsg::kSustainOnOff && !pedalDown(m.mData2); // the pedal let go
  case IMidiMsg::kProgramChange:
    return true; // a change taken (queued as its place in the stream): never lost
  default:
    return false;
  }
}

void Synth::ProcessMidiMsg(IMidiMsg* msg)
{
  if (!msg) return;
  IMidiMsg m = *msg;
  switch (m.StatusMsg()) {
  case IMidiMsg::kNoteOff:
  case IMidiMsg::kNoteOn:
  case IMidiMsg::kPolyAftertouch:
  case IMidiMsg::kChannelAftertouch:
  case IMidiMsg::kPitchWheel:
    break;
  case IMidiMsg::kControlChange: {
    const int cc = m.ControlChangeIdx();
    if (cc > 122) { // channel-mode messages 123..127: every note ends now
      allNotesOff();
      // Note-ons sent before it that the loop has not started yet would start after it and hang.
      midiQueue.RemoveAll([&](const IMidiMsg& q) {
        return q.StatusMsg() == IMidiMsg::kNoteOn && q.mData2 > 0 && q.mOffset <= m.mOffset;
      });
      return;
    }
    // Controllers 120..122 have no map entry: learning ignores them and keeps waiting.
    if (midiLearnArmed && cc < kNumLearnControllers) {
      setMidiLearnCC(cc);
      return;
    }
    break;
  }
  case IMidiMsg::kProgramChange: {
    const int how = programChangeFromMidi(m.Program());
    if (how == kChangeDone) return;
    m.mData2 = (uint8_t)how;
    break;
  }
  default:
    return;
  }
  // Queued at its own sample offset, untouched: moving late events on would make when a note plays depend
  // on where the host's blocks begin. The audio loop handles it at the first tick at or after that sample.
  // Only an offset more than a second ahead, which no host means, is taken as a second: it would hold its
  // room in the queue for hours (2^31 samples).
  const int horizon = (int)GetSampleRate();
  if (m.mOffset > horizon) m.mOffset = horizon;
  // The queue keeps the room Reset gave it for the host's block: growing it here would allocate on the audio
  // thread. Events beyond that room (a flood of thousands, or events held back for a program change) are
  // dropped, but never one that ends something (a note, the sustain pedal) or a program change:
  // it takes the room of the latest note-on, else of any other event, and when the queue holds nothing
  // else it acts at once.
  if (midiQueue.Pending() >= midiQueue.GetSize()) {
    if (endsSomething(m) && !queueInPlaceOfAnother(m)) actOnUnqueued(m);
    return;
  }
  midiQueue.Add(&m);
}

bool Synth::queueInPlaceOfAnother(const IMidiMsg& m)
{
  // Where the last search left off: above these indices the queue holds no note-on, and no event that ends
  // nothing, so a flood past the queue's room costs one pass over it, not one per event.
  if (midiQueue.Generation() != overflow.generation) overflow.noteOnFrom = overflow.droppableFrom = midiQueue.BackIndex();
  const auto isNoteOn = [](const IMidiMsg& q) { return q.StatusMsg() == IMidiMsg::kNoteOn && q.mData2 > 0; };
  const auto isDroppable = [](const IMidiMsg& q) { return !endsSomething(q); };
  int i = midiQueue.LastBelow(overflow.noteOnFrom, isNoteOn);
  overflow.noteOnFrom = i >= 0 ? i : midiQueue.FrontIndex();
  if (i < 0) {
    i = midiQueue.LastBelow(overflow.droppableFrom, isDroppable);
    overflow.droppableFrom = i >= 0 ? i : midiQueue.FrontIndex();
  }
  if (i >= 0 && !midiQueue.ReplaceAt(i, m)) {
    // Its offset belongs elsewhere: the message after the one removed moves down, then m goes where it belongs.
    midiQueue.RemoveAt(i);
    const int at = midiQueue.Add(&m);
    for (int* from : {&overflow.noteOnFrom, &overflow.droppableFrom}) {
      if (*from > i) --*from;
      if (at >= 0 && at < *from) ++*from; // what was just below it moved up onto it
    }
  }
  overflow.generation = midiQueue.Generation();
  return i >= 0;
}

void Synth::initListParameter(int paramIdx, const char* name, int defaultIdx, int count, const char* const* labels)
{
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->InitEnum(name, defaultIdx, count, "", "");
  for (int i = 0; i < count; ++i) param->SetDisplayText(i, labels[i]);
}

void Synth::clearKeyBuffer()
{
  for (int& k : pressedKeys) k = kNoKey;
  numPressedKeys = 0;
}

void Synth::addPressedKey(int key)
{
  if (numPressedKeys >= kNumNotes) return;
  int pos = 0;
  while (pos < numPressedKeys && pressedKeys[pos] < key) ++pos;
  if (pos < numPressedKeys && pressedKeys[pos] == key) return;
  for (int i = numPressedKeys; i > pos; --i) pressedKeys[i] = pressedKeys[i - 1];
  pressedKeys[pos] = key;
  ++numPressedKeys;
}

void Synth::removePressedKey(int key)
{
  if (numPressedKeys < 1 || numPressedKeys > kNumNotes) return;
  int pos = 0;
  while (pos < numPressedKeys && pressedKeys[pos] != key) ++pos;
  if (pos == numPressedKeys) return;
  for (int i = pos; i < numPressedKeys - 1; ++i) pressedKeys[i] = pressedKeys[i + 1];
  pressedKeys[--numPressedKeys] = kNoKey;
}


// ---- pitch ----

const double Synth::MIDI2Hz[136] = {
    8.176,     8.662,     9.177,     9.723,     10.301,    10.913,    11.562,   12.250,   12.978,    13.750,
    14.568,    15.434,    16.352,    17.324,    18.354,    19.445,    20.602,   21.827,   23.125,    24.500,
    25.957,    27.500,    29.135,    30.868,    32.703,    34.648,    36.708,   38.891,   41.203,    43.654,
    46.249,    48.999,    51.913,    55.000,    58.270,    61.735,    65.406,   69.296,   73.416,    77.782,
    82.407,    87.307,    92.499,    97.999,    103.826,   110.000,   116.541,  123.471,  130.813,   138.591,
    146.832,   155.563,   164.814,   174.614,   184.997,   195.998,   207.652,  220.000,  233.082,   246.942,
    261.626,   277.183,   293.665,   311.127,   329.628,   349.228,   369.994,  391.995,  415.305,   440.000,
    466.164,   493.883,   523.251,   554.365,   587.330,   622.254,   659.255,  698.456,  739.989,   783.991,
    830.609,   880.000,   932.328,   987.767,   1046.502,  1108.731,  1174.659, 1244.508, 1318.510,  1396.913,
    1479.978,  1567.982,  1661.219,  1760.000,  1864.655,  1975.533,  2093.005, 2217.461, 2349.318,  2489.016,
    2637.020,  2793.826,  2959.955,  3135.963,  3322.438,  3520.000,  3729.310, 3951.066, 4186.009,  4434.922,
    4698.636,  4978.032,  5274.041,  5587.652,  5919.911,  6271.927,  6644.875, 7040.000, 7458.620,  7902.133,
    8372.018,  8869.844,  9397.273,  9956.063,  10548.08,  11175.3,   11839.82, 12543.85, 13289.750, 14080.000,
    14917.240, 15804.266, 16744.036, 17739.688, 18794.545, 19912.127,
};

const double Synth::AntiMIDI2Hz[136] = {
    8.1760000000, 7.7171163805, 7.2839879195, 6.8751690911, 6.4892955004, 6.1250793303, 5.7813050430, 5.4568253238,
    5.1505572520, 4.8614786861, 4.5886248535, 4.3310851297, 4.0880000000, 3.8585581902, 3.6419939598, 3.4375845456,
    3.2446477502, 3.0625396651, 2.8906525215, 2.7284126619, 2.5752786260, 2.4307393431, 2.2943124267, 2.1655425649,
    2.0440000000, 1.9292790951, 1.8209969799, 1.7187922728, 1.6223238751, 1.5312698326, 1.4453262607, 1.3642063310,
    1.2876393130, 1.2153696715, 1.1471562134, 1.0827712824, 1.0220000000, 0.9646395476, 0.9104984899, 0.8593961364,
    0.8111619376, 0.7656349163, 0.7226631304, 0.6821031655, 0.6438196565, 0.6076848358, 0.5735781067, 0.5413856412,
    0.5110000000, 0.4823197738, 0.4552492450, 0.4296980682, 0.4055809688, 0.3828174581, 0.3613315652, 0.3410515827,
    0.3219098282, 0.3038424179, 0.2867890533, 0.2706928206, 0.2555000000, 0.2411598869, 0.2276246225, 0.2148490341,
    0.2027904844, 0.1914087291, 0.1806657826, 0.1705257914, 0.1609549141, 0.1519212089, 0.1433945267, 0.1353464103,
    0.1277500000, 0.1205799434, 0.1138123112, 0.1074245170, 0.1013952422, 0.0957043645, 0.0903328913, 0.0852628957,
    0.0804774571, 0.0759606045, 0.0716972633, 0.0676732052, 0.0638750000, 0.0602899717, 0.0569061556, 0.0537122585,
    0.0506976211, 0.0478521823, 0.0451664456, 0.0426314478, 0.0402387285, 0.0379803022, 0.0358486317, 0.0338366026,
    0.0319375000, 0.0301449859, 0.0284530778, 0.0268561293, 0.0253488105, 0.0239260911, 0.0225832228, 0.0213157239,
    0.0201193643, 0.0189901511, 0.0179243158, 0.0169183013, 0.0159687500, 0.0150724929, 0.0142265389, 0.0134280646,
    0.0126744053, 0.0119630456, 0.0112916114, 0.0106578620, 0.0100596821, 0.0094950756, 0.0089621579, 0.0084591506,
    0.0079843750, 0.0075362465, 0.0071132695, 0.0067140323, 0.0063372026, 0.0059815228, 0.0056458057, 0.0053289310,
    0.0050298411, 0.0047475378, 0.0044810790, 0.0042295753, 0.0039921875, 0.0037681232, 0.0035566347, 0.0033570162,
};
