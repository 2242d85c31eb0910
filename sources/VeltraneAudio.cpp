// The product's audio and control loop: one host block at a time, walked in sub-blocks that end at the
// 1 ms control ticks. At a tick the due MIDI events are applied and the clock, the voices and the master
// section run their control-rate update; between ticks the active voices render into the two voice sums
// sample by sample and the master section turns the sums and the host's input into the output.
//
// Threads: the audio thread, with the instance mutex held by the adapter for the whole block. At its start a
// block takes over a program built for a program change whose place in the MIDI stream it has reached
// (ProgramStage.h; also where it reaches it, when it is built by then) and carries out the structural commands
// the editor posted through a lock-free mailbox (VeltraneCommands.cpp).
#include "Veltrane.h"

#include "FlushDenormals.h"
#include "IGraphics.h"
#include "Module.h"
#include "ProgramStage.h"

#include <cmath>
#include <cstring>

namespace {
// What the host receives: at most this in magnitude (+36.1 dBFS). A 64-note chord of an ordinary program peaks
// well below it; beyond it only a patch whose feedback runs away, which must not reach the speakers or the
// plug-ins after this one on the host's track.
constexpr double kOutputLimit = 64.0;

// n output samples held to +-kOutputLimit, a NaN giving silence; unchanged (bit for bit) within the limit.
template <class T> void limitOutput(T* out, int n)
{
  constexpr T limit = (T)kOutputLimit;
  int outside = 0; // a pass that the compiler turns into vector instructions, for the usual block
  for (int i = 0; i < n; ++i) outside |= !(std::fabs(out[i]) <= limit);
  if (!outside) return;
  for (int i = 0; i < n; ++i) {
    const T x = out[i];
    if (!(std::fabs(x) <= limit)) out[i] = x > 0 ? limit : x < 0 ? -limit : (T)0;
  }
}
} // namespace

void Veltrane::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  process<double>(inputs, outputs, nFrames);
}

void Veltrane::ProcessFloatReplacing(float** inputs, float** outputs, int nFrames)
{
  process<float>(inputs, outputs, nFrames);
}

template <class T> void Veltrane::process(T** inputs, T** outputs, int nFrames)
{
  if (nFrames < 1) return;
  blocksProcessed.fetch_add(1, std::memory_order_relaxed); // the editor's idle sees that blocks run
  processBlock(inputs, outputs, nFrames);
  // Whatever happened in the block (silence, suspension, a mute), its time has passed: the events still
  // waiting are counted from the next block's first sample, where the host's next events are counted from.
  midiQueue.Flush(nFrames);
}

template <class T> void Veltrane::processBlock(T** inputs, T** outputs, int nFrames)
{
  // Decays toward zero would end in subnormal numbers, each costing many times a normal one in every held
  // voice: flush them for this call, and give the host its own mode back on return.
  const ScopedFlushDenormals flushDenormals;
  if (!outputs || !outputs[0] || !outputs[1]) return;
  // The host may hand its input buffers in as the outputs (processing in place): an output sample is written
  // only once the same input sample has been read, and what the block does not render is silenced at its end.
  const auto silenceFrom = [&](int from) {
    std::memset(outputs[0] + from, 0, sizeof(T) * (size_t)(nFrames - from));
    std::memset(outputs[1] + from, 0, sizeof(T) * (size_t)(nFrames - from));
  };
  // Nothing runs before the first Reset has sized the control tick and the sum buffers.
  const int period = controlPeriod;
  if (period < 1 || sumBufferLength != period || !voiceSumLeft || !voiceSumRight) {
    silenceFrom(0);
    return;
  }

  // The editor's commands first: they were made on the program in place. Then a program built for a program
  // change whose place in the stream was reached takes effect, as if it had been in place at once.
  if (commandPending.load(std::memory_order_acquire)) handleRequestedCommand();
  if (currentProgramStale) storeDisplayOrder();
  if (stage) {
    stage->takeReady(changesReached());
    if (stage->pending()) landReachedChangeOffline();
    replayDeferredParams(nullptr);
  }
  if (suspended) {
    muteUntilNextTick = true;
    silenceFrom(0);
    return;
  }
  handleSync2Host();
  // The host's input channels; without one the external input reads 0.
  const T* inL = inputs ? inputs[0] : nullptr;
  const T* inR = inputs ? inputs[1] : nullptr;

  int n = nFrames;
  int at = 0; // first sample of the sub-block within the host block
  while (n > 0) {
    int length;
    if (tickCountdown > 0) {
      if (tickCountdown >= n) {
        length = n;
        tickCountdown -= n;
      } else {
        length = tickCountdown;
        tickCountdown = 0;
      }
    } else {
      // Events that came after a program change wait until its program is in place (for a while).
      if (!midiHeldBack()) handleMidiEvents(at);
      if (suspended) {
        muteUntilNextTick = true;
      } else {
        update();
        transportGatesSeen = true;
        muteUntilNextTick = false;
      }
      length = period;
      if (period > n) {
        length = n;
        tickCountdown = period - n;
      }
    }
    if (muteUntilNextTick) break; // the rest of the block stays silent

    std::memset(voiceSumLeft, 0, sizeof(double) * (size_t)length);
    std::memset(voiceSumRight, 0, sizeof(double) * (size_t)length);
    if (voiceSlotsPresent)
      Voice::processVoices(voices, activeVoices < kNumVoices ? activeVoices : kNumVoices, voiceSumLeft, voiceSumRight,
                           length);
    n -= length;

    T* outL = outputs[0] + at;
    T* outR = outputs[1] + at;
    for (int j = 0; j < length; ++j) {
      voiceL = voiceSumLeft[j];
      voiceR = voiceSumRight[j];
      extL = inL ? (double)inL[at + j] : 0.0;
      extR = inR ? (double)inR[at + j] : 0.0;
      if (masterModulesPresent)
        for (Module* m : masterProcessList) m->process();
      outL[j] = (T)(volume * *masterOutputLeft);
      outR[j] = (T)(volume * *masterOutputRight);
    }
    at += length;
  }
  if (at < nFrames) silenceFrom(at); // muted until the next tick
  limitOutput(outputs[0], at);
  limitOutput(outputs[1], at);
}

template void Veltrane::process<double>(double**, double**, int);
template void Veltrane::process<float>(float**, float**, int);

void Veltrane::handleSync2Host()
{
  GetTime(&timeInfo);
  // A gate falls at the start of the block after the first one in which a control tick ran with it up:
  // modules read gates at ticks, and a block shorter than a tick may hold none.
  if (transportGatesSeen) start = stop = 0.0;
  if (timeInfo.mTransportIsRunning != lastTransportRunning) {
    lastTransportRunning = timeInfo.mTransportIsRunning;
    // A gate not yet seen by a tick stays up beside the new one, so that neither edge is lost.
    (lastTransportRunning ? start : stop) = 1.0;
    transportGatesSeen = false;
  }
  // The clock places this block's ticks on the host's position: the next one is tickCountdown samples on.
  clock.synchronize(&timeInfo, tickCountdown, controlPeriod, GetSampleRate());
}

void Veltrane::handleMidiEvents(int sample)
{
  // Offsets count from the block's first sample (earlier blocks' leftovers are negative): an event is due
  // at the first tick at or after its own sample, whatever the host's block size, and never earlier.
  while (IMidiMsg* front = midiQueue.Peek()) {
    if (front->mOffset > sample) break;
    const IMidiMsg msg = *front;
    midiQueue.Remove();

    switch (msg.mStatus >> 4) {
    case IMidiMsg::kNoteOn:
      if (msg.mData2 > 0) {
        setNoteOn(msg.mData1, msg.mData2);
        break;
      }
      [[fallthrough]];
    case IMidiMsg::kNoteOff:
      setNoteOff(msg.mData1);
      break;
    case IMidiMsg::kPolyAftertouch:
      setPolyAftertouch(msg.mData1, msg.mData2);
      break;
    case IMidiMsg::kChannelAftertouch:
      chAft = msg.mData1 / 127.0;
      break;
    case IMidiMsg::kPitchWheel:
      pBend = msg.PitchWheel();
      pBendPos = (pBend + 1.0) * 0.5;
      break;
    case IMidiMsg::kProgramChange:
      // The events before it acted on the program in place; those after it wait for its program.
      if (reachProgramChange(msg)) return;
      break;
    case IMidiMsg::kControlChange: {
      const int cc = msg.mData1;
      const double v = msg.mData2 / 127.0;
      if (cc >= kNumLearnControllers) break; // 120..122: no effect
      setMidiSourceValue(cc, v);
      if (cc == IMidiMsg::kSustainOnOff) {
        for (Voice& voice : voices) voice.setSustain(pedalDown(msg.mData2));
      } else if (cc == IMidiMsg::kModWheel) {
        mwPos = v;
        mw = 2.0 * v - 1.0;
      } else {
        const int paramIdx = midiLearnMap[cc];
        IParam* param = GetParam(paramIdx); // null for an unmapped controller
        // v is normalised: compared with the plain value, a volume at 1.0 would ignore a controller at 127.
        if (param && param->GetNormalized() != v) {
          SetParameterFromGUI(paramIdx, v);
          // The editor thread may be rebuilding its controls: the value waits for its next tick.
          if (IGraphics* gui = GetGUI()) gui->QueueParameterFromPlug(paramIdx, v);
        }
      }
      break;
    }
    default:
      break; // kinds the loop does not use are dropped
    }
  }
}

void Veltrane::setMidiSourceValue(int cc, double value)
{
  if (cc < 0 || cc >= kNumLearnControllers) return;
  for (int k = 0; k < kNumMidiSources; ++k) {
    if (midiSourceCC[k] == cc) {
      midiSourceValue[k] = value;
      return;
    }
  }
}

void Veltrane::update()
{
  clock.update();
  multiAtLastTick = multi;
  if (voiceSlotsPresent)
    for (int v = 0; v < activeVoices && v < kNumVoices; ++v) voices[v].update();
  if (masterModulesPresent) {
    stepGlide(masterTargetPitch, glideStep, &glideCurrent, &glideCountdown);
    masterPitch = floorPitch(pitchBendRange * 128.0 * pBend + glideCurrent);
    for (Module* m : masterProcessList) {
      m->restIfRunaway();
      m->update(true);
    }
  }
}
