// The module factory's table: the class that runs each module type. It lives with the module classes, so
// the engine reaches them only through this table.
#include "ModuleCatalogue.h"

#include "Amplifier.h"
#include "AudioSwitch.h"
#include "BeatSeq.h"
#include "Envelope.h"
#include "Envelope2.h"
#include "Envelope4.h"
#include "LFO.h"
#include "LFO2.h"
#include "Ladder.h"
#include "LinEnvelope.h"
#include "Mixer.h"
#include "Module.h"
#include "Oscillator.h"
#include "SHNoise.h"
#include "SeqSwitch.h"
#include "Sequencer.h"

namespace ModuleCatalogue {

// clang-format off
// Module classes join their rows as they are built: {&makeModule<Class>, &Class::initParams,
// &Class::createGraphics}. Stereo filters and stereo resonators take the parameter set-up of their mono class,
// the audio switch that of the sequenced switch.
const ModuleClass classes[ModuleConfig::kNumModuleIDs] = {
  /*  0 Module           */ {},
  /*  1 Oscillator       */ {&makeModule<Oscillator>, &Oscillator::initParams, nullptr},
  /*  2 OscLinFM         */ {},
  /*  3 Ladder           */ {&makeModule<Ladder>, &Ladder::initParams, nullptr},
  /*  4 K35              */ {},
  /*  5 Amplifier        */ {&makeModule<Amplifier>, &Amplifier::initParams, nullptr},
  /*  6 Mixer            */ {&makeModule<Mixer>, &Mixer::initParams, nullptr},
  /*  7 Ring             */ {},
  /*  8 AudioSH          */ {},
  /*  9 SignalProc       */ {},
  /* 10 Hilbert          */ {},
  /* 11 Blender          */ {},
  /* 12 Envelope2        */ {&makeModule<Envelope2>, &Envelope2::initParams, nullptr},
  /* 13 LFO              */ {&makeModule<LFO>, &LFO::initParams, nullptr},
  /* 14 SHNoise          */ {&makeModule<SHNoise>, &SHNoise::initParams, nullptr},
  /* 15 VoltageProc      */ {},
  /* 16 SampleDelay      */ {},
  /* 17 Sequencer        */ {&makeModule<Sequencer>, &Sequencer::initParams, nullptr},
  /* 18 SeqSwitch        */ {&makeModule<SeqSwitch>, &SeqSwitch::initParams, nullptr},
  /* 19 OscFormant       */ {},
  /* 20 AudioSwitch      */ {&makeModule<AudioSwitch>, &SeqSwitch::initParams, nullptr},
  /* 21 LAGAdder         */ {},
  /* 22 GateTools        */ {},
  /* 23 BeatSeq          */ {&makeModule<BeatSeq>, &BeatSeq::initParams, nullptr},
  /* 24 Envelope4        */ {&makeModule<Envelope4>, &Envelope4::initParams, nullptr},
  /* 25 Oscillator2      */ {},
  /* 26 OscWavetable     */ {},
  /* 27 Comb             */ {},
  /* 28 LinEnvelope      */ {&makeModule<LinEnvelope>, &LinEnvelope::initParams, nullptr},
  /* 29 Noise            */ {},
  /* 30 Resonators       */ {},
  /* 31 LFO2             */ {&makeModule<LFO2>, &LFO2::initParams, nullptr},
  /* 32 BbdDelay         */ {},
  /* 33 BitReducer       */ {},
  /* 34 DelayLine        */ {},
  /* 35 Reverb           */ {},
  /* 36 Saturator        */ {},
  /* 37 Envelope         */ {&makeModule<Envelope>, &Envelope::initParams, nullptr},
  /* 38 ModDelay         */ {},
  /* 39 EQ10             */ {},
  /* 40 StereoLadder     */ {&makeModule<StereoLadder>, &Ladder::initParams, nullptr},
  /* 41 StereoK35        */ {},
  /* 42 StereoComb       */ {},
  /* 43 StereoResonators */ {},
  /* 44 ParaEQ5          */ {},
};
// clang-format on

} // namespace ModuleCatalogue
