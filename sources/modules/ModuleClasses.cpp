// The module factory's table: the class that runs each module type. It lives with the module classes, so
// the engine reaches them only through this table.
#include "ModuleCatalogue.h"

#include "Amplifier.h"
#include "Envelope.h"
#include "Ladder.h"
#include "Mixer.h"
#include "Module.h"
#include "Noise.h"
#include "OscFormant.h"
#include "OscLinFM.h"
#include "Oscillator.h"
#include "Oscillator2.h"

namespace ModuleCatalogue {

// clang-format off
// Module classes join their rows as they are built: {&makeModule<Class>, &Class::initParams,
// &Class::createGraphics}. Stereo filters and stereo resonators take the parameter set-up of their mono class.
const ModuleClass classes[ModuleConfig::kNumModuleIDs] = {
  /*  0 Module           */ {},
  /*  1 Oscillator       */ {&makeModule<Oscillator>, &Oscillator::initParams, nullptr},
  /*  2 OscLinFM         */ {&makeModule<OscLinFM>, &OscLinFM::initParams, nullptr},
  /*  3 Ladder           */ {&makeModule<Ladder>, &Ladder::initParams, nullptr},
  /*  4 K35              */ {},
  /*  5 Amplifier        */ {&makeModule<Amplifier>, &Amplifier::initParams, nullptr},
  /*  6 Mixer            */ {&makeModule<Mixer>, &Mixer::initParams, nullptr},
  /*  7 Ring             */ {},
  /*  8 AudioSH          */ {},
  /*  9 SignalProc       */ {},
  /* 10 Hilbert          */ {},
  /* 11 Blender          */ {},
  /* 12 Envelope2        */ {},
  /* 13 LFO              */ {},
  /* 14 SHNoise          */ {},
  /* 15 VoltageProc      */ {},
  /* 16 SampleDelay      */ {},
  /* 17 Sequencer        */ {},
  /* 18 SeqSwitch        */ {},
  /* 19 OscFormant       */ {&makeModule<OscFormant>, &OscFormant::initParams, nullptr},
  /* 20 AudioSwitch      */ {},
  /* 21 LAGAdder         */ {},
  /* 22 GateTools        */ {},
  /* 23 BeatSeq          */ {},
  /* 24 Envelope4        */ {},
  /* 25 Oscillator2      */ {&makeModule<Oscillator2>, &Oscillator2::initParams, nullptr},
  /* 26 OscWavetable     */ {},
  /* 27 Comb             */ {},
  /* 28 LinEnvelope      */ {},
  /* 29 Noise            */ {&makeModule<Noise>, &Noise::initParams, nullptr},
  /* 30 Resonators       */ {},
  /* 31 LFO2             */ {},
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
