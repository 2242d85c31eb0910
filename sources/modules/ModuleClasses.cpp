// The module factory's table: the class that runs each module type. It lives with the module classes, so
// the engine reaches them only through this table.
#include "ModuleCatalogue.h"

#include "Amplifier.h"
#include "Blender.h"
#include "Envelope.h"
#include "GateTools.h"
#include "LAGAdder.h"
#include "Ladder.h"
#include "Mixer.h"
#include "ModDelay.h"
#include "Module.h"
#include "Oscillator.h"
#include "SampleDelay.h"
#include "SignalProc.h"
#include "VoltageProc.h"

namespace ModuleCatalogue {

// clang-format off
// Module classes join their rows as they are built: {&makeModule<Class>, &Class::initParams,
// &Class::createGraphics}. Stereo filters and stereo resonators take the parameter set-up of their mono class.
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
  /*  9 SignalProc       */ {&makeModule<SignalProc>, &SignalProc::initParams, nullptr},
  /* 10 Hilbert          */ {},
  /* 11 Blender          */ {&makeModule<Blender>, &Blender::initParams, nullptr},
  /* 12 Envelope2        */ {},
  /* 13 LFO              */ {},
  /* 14 SHNoise          */ {},
  /* 15 VoltageProc      */ {&makeModule<VoltageProc>, &VoltageProc::initParams, nullptr},
  /* 16 SampleDelay      */ {&makeModule<SampleDelay>, &SampleDelay::initParams, nullptr},
  /* 17 Sequencer        */ {},
  /* 18 SeqSwitch        */ {},
  /* 19 OscFormant       */ {},
  /* 20 AudioSwitch      */ {},
  /* 21 LAGAdder         */ {&makeModule<LAGAdder>, &LAGAdder::initParams, nullptr},
  /* 22 GateTools        */ {&makeModule<GateTools>, &GateTools::initParams, nullptr},
  /* 23 BeatSeq          */ {},
  /* 24 Envelope4        */ {},
  /* 25 Oscillator2      */ {},
  /* 26 OscWavetable     */ {},
  /* 27 Comb             */ {},
  /* 28 LinEnvelope      */ {},
  /* 29 Noise            */ {},
  /* 30 Resonators       */ {},
  /* 31 LFO2             */ {},
  /* 32 BbdDelay         */ {},
  /* 33 BitReducer       */ {},
  /* 34 DelayLine        */ {},
  /* 35 Reverb           */ {},
  /* 36 Saturator        */ {},
  /* 37 Envelope         */ {&makeModule<Envelope>, &Envelope::initParams, nullptr},
  /* 38 ModDelay         */ {&makeModule<ModDelay>, &ModDelay::initParams, nullptr},
  /* 39 EQ10             */ {},
  /* 40 StereoLadder     */ {&makeModule<StereoLadder>, &Ladder::initParams, nullptr},
  /* 41 StereoK35        */ {},
  /* 42 StereoComb       */ {},
  /* 43 StereoResonators */ {},
  /* 44 ParaEQ5          */ {},
};
// clang-format on

} // namespace ModuleCatalogue
