// The module factory's table: the class that runs each module type. It lives with the module classes, so
// the engine reaches them only through this table.
#include "ModuleCatalogue.h"

#include "Amplifier.h"
#include "AudioSH.h"
#include "AudioSwitch.h"
#include "BbdDelay.h"
#include "BeatSeq.h"
#include "BitReducer.h"
#include "Blender.h"
#include "Comb.h"
#include "DelayLine.h"
#include "EQ10.h"
#include "Envelope.h"
#include "Envelope2.h"
#include "Envelope4.h"
#include "GateTools.h"
#include "Hilbert.h"
#include "K35.h"
#include "LAGAdder.h"
#include "LFO.h"
#include "LFO2.h"
#include "Ladder.h"
#include "LinEnvelope.h"
#include "Mixer.h"
#include "ModDelay.h"
#include "Module.h"
#include "ModulePanel.h"
#include "Noise.h"
#include "OscFormant.h"
#include "OscLinFM.h"
#include "OscWavetable.h"
#include "Oscillator.h"
#include "Oscillator2.h"
#include "ParaEQ5.h"
#include "Resonators.h"
#include "Reverb.h"
#include "Ring.h"
#include "SHNoise.h"
#include "SampleDelay.h"
#include "Saturator.h"
#include "SeqSwitch.h"
#include "Sequencer.h"
#include "SignalProc.h"
#include "VoltageProc.h"

namespace ModuleCatalogue {

// clang-format off
// Module classes join their rows as they are built: {&makeModule<Class>, &Class::initParams,
// &Class::createGraphics, &Class::panel}. Stereo filters and stereo resonators take the parameter set-up of their mono class,
// the audio switch that of the sequenced switch.
const ModuleClass classes[ModuleConfig::kNumModuleIDs] = {
  /*  0 Module           */ {},
  /*  1 Oscillator       */ {&makeModule<Oscillator>, &Oscillator::initParams, &Oscillator::createGraphics, &Oscillator::panel},
  /*  2 OscLinFM         */ {&makeModule<OscLinFM>, &OscLinFM::initParams, nullptr, nullptr},
  /*  3 Ladder           */ {&makeModule<Ladder>, &Ladder::initParams, nullptr, nullptr},
  /*  4 K35              */ {&makeModule<K35>, &K35::initParams, nullptr, nullptr},
  /*  5 Amplifier        */ {&makeModule<Amplifier>, &Amplifier::initParams, nullptr, nullptr},
  /*  6 Mixer            */ {&makeModule<Mixer>, &Mixer::initParams, nullptr, nullptr},
  /*  7 Ring             */ {&makeModule<Ring>, &Ring::initParams, nullptr, nullptr},
  /*  8 AudioSH          */ {&makeModule<AudioSH>, &AudioSH::initParams, nullptr, nullptr},
  /*  9 SignalProc       */ {&makeModule<SignalProc>, &SignalProc::initParams, nullptr, nullptr},
  /* 10 Hilbert          */ {&makeModule<Hilbert>, &Hilbert::initParams, nullptr, nullptr},
  /* 11 Blender          */ {&makeModule<Blender>, &Blender::initParams, nullptr, nullptr},
  /* 12 Envelope2        */ {&makeModule<Envelope2>, &Envelope2::initParams, nullptr, nullptr},
  /* 13 LFO              */ {&makeModule<LFO>, &LFO::initParams, nullptr, nullptr},
  /* 14 SHNoise          */ {&makeModule<SHNoise>, &SHNoise::initParams, nullptr, nullptr},
  /* 15 VoltageProc      */ {&makeModule<VoltageProc>, &VoltageProc::initParams, nullptr, nullptr},
  /* 16 SampleDelay      */ {&makeModule<SampleDelay>, &SampleDelay::initParams, nullptr, nullptr},
  /* 17 Sequencer        */ {&makeModule<Sequencer>, &Sequencer::initParams, &Sequencer::createGraphics, &Sequencer::panel},
  /* 18 SeqSwitch        */ {&makeModule<SeqSwitch>, &SeqSwitch::initParams, &SeqSwitch::createGraphics, &SeqSwitch::panel},
  /* 19 OscFormant       */ {&makeModule<OscFormant>, &OscFormant::initParams, nullptr, nullptr},
  /* 20 AudioSwitch      */ {&makeModule<AudioSwitch>, &SeqSwitch::initParams, &AudioSwitch::createGraphics, &AudioSwitch::panel},
  /* 21 LAGAdder         */ {&makeModule<LAGAdder>, &LAGAdder::initParams, nullptr, nullptr},
  /* 22 GateTools        */ {&makeModule<GateTools>, &GateTools::initParams, nullptr, nullptr},
  /* 23 BeatSeq          */ {&makeModule<BeatSeq>, &BeatSeq::initParams, &BeatSeq::createGraphics, &BeatSeq::panel},
  /* 24 Envelope4        */ {&makeModule<Envelope4>, &Envelope4::initParams, nullptr, nullptr},
  /* 25 Oscillator2      */ {&makeModule<Oscillator2>, &Oscillator2::initParams, nullptr, nullptr},
  /* 26 OscWavetable     */ {&makeModule<OscWavetable>, &OscWavetable::initParams, nullptr, nullptr},
  /* 27 Comb             */ {&makeModule<Comb>, &Comb::initParams, nullptr, nullptr},
  /* 28 LinEnvelope      */ {&makeModule<LinEnvelope>, &LinEnvelope::initParams, nullptr, nullptr},
  /* 29 Noise            */ {&makeModule<Noise>, &Noise::initParams, nullptr, nullptr},
  /* 30 Resonators       */ {&makeModule<Resonators>, &Resonators::initParams, nullptr, nullptr},
  /* 31 LFO2             */ {&makeModule<LFO2>, &LFO2::initParams, nullptr, nullptr},
  /* 32 BbdDelay         */ {&makeModule<BbdDelay>, &BbdDelay::initParams, nullptr, nullptr},
  /* 33 BitReducer       */ {&makeModule<BitReducer>, &BitReducer::initParams, nullptr, nullptr},
  /* 34 DelayLine        */ {&makeModule<DelayLine>, &DelayLine::initParams, nullptr, nullptr},
  /* 35 Reverb           */ {&makeModule<Reverb>, &Reverb::initParams, nullptr, nullptr},
  /* 36 Saturator        */ {&makeModule<Saturator>, &Saturator::initParams, nullptr, nullptr},
  /* 37 Envelope         */ {&makeModule<Envelope>, &Envelope::initParams, nullptr, nullptr},
  /* 38 ModDelay         */ {&makeModule<ModDelay>, &ModDelay::initParams, nullptr, nullptr},
  /* 39 EQ10             */ {&makeModule<EQ10>, &EQ10::initParams, nullptr, nullptr},
  /* 40 StereoLadder     */ {&makeModule<StereoLadder>, &Ladder::initParams, nullptr, nullptr},
  /* 41 StereoK35        */ {&makeModule<StereoK35>, &K35::initParams, nullptr, nullptr},
  /* 42 StereoComb       */ {&makeModule<StereoComb>, &Comb::initParams, nullptr, nullptr},
  /* 43 StereoResonators */ {&makeModule<StereoResonators>, &Resonators::initParams, nullptr, nullptr},
  /* 44 ParaEQ5          */ {&makeModule<ParaEQ5>, &ParaEQ5::initParams, nullptr, nullptr},
};
// clang-format on

} // namespace ModuleCatalogue

const PanelLayout* panelLayoutOf(int moduleID)
{
  if (moduleID <= 0 || moduleID >= ModuleConfig::kNumModuleIDs) return nullptr;
  return ModuleCatalogue::classes[moduleID].panel;
}
