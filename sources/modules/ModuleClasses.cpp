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
  /*  2 OscLinFM         */ {&makeModule<OscLinFM>, &OscLinFM::initParams, &OscLinFM::createGraphics, &OscLinFM::panel},
  /*  3 Ladder           */ {&makeModule<Ladder>, &Ladder::initParams, &Ladder::createGraphics, &Ladder::panel},
  /*  4 K35              */ {&makeModule<K35>, &K35::initParams, &K35::createGraphics, &K35::panel},
  /*  5 Amplifier        */ {&makeModule<Amplifier>, &Amplifier::initParams, &Amplifier::createGraphics, &Amplifier::panel},
  /*  6 Mixer            */ {&makeModule<Mixer>, &Mixer::initParams, &Mixer::createGraphics, &Mixer::panel},
  /*  7 Ring             */ {&makeModule<Ring>, &Ring::initParams, &Ring::createGraphics, &Ring::panel},
  /*  8 AudioSH          */ {&makeModule<AudioSH>, &AudioSH::initParams, &AudioSH::createGraphics, &AudioSH::panel},
  /*  9 SignalProc       */ {&makeModule<SignalProc>, &SignalProc::initParams, &SignalProc::createGraphics, &SignalProc::panel},
  /* 10 Hilbert          */ {&makeModule<Hilbert>, &Hilbert::initParams, &Hilbert::createGraphics, &Hilbert::panel},
  /* 11 Blender          */ {&makeModule<Blender>, &Blender::initParams, &Blender::createGraphics, &Blender::panel},
  /* 12 Envelope2        */ {&makeModule<Envelope2>, &Envelope2::initParams, &Envelope2::createGraphics, &Envelope2::panel},
  /* 13 LFO              */ {&makeModule<LFO>, &LFO::initParams, &LFO::createGraphics, &LFO::panel},
  /* 14 SHNoise          */ {&makeModule<SHNoise>, &SHNoise::initParams, &SHNoise::createGraphics, &SHNoise::panel},
  /* 15 VoltageProc      */ {&makeModule<VoltageProc>, &VoltageProc::initParams, &VoltageProc::createGraphics, &VoltageProc::panel},
  /* 16 SampleDelay      */ {&makeModule<SampleDelay>, &SampleDelay::initParams, &SampleDelay::createGraphics, &SampleDelay::panel},
  /* 17 Sequencer        */ {&makeModule<Sequencer>, &Sequencer::initParams, &Sequencer::createGraphics, &Sequencer::panel},
  /* 18 SeqSwitch        */ {&makeModule<SeqSwitch>, &SeqSwitch::initParams, &SeqSwitch::createGraphics, &SeqSwitch::panel},
  /* 19 OscFormant       */ {&makeModule<OscFormant>, &OscFormant::initParams, &OscFormant::createGraphics, &OscFormant::panel},
  /* 20 AudioSwitch      */ {&makeModule<AudioSwitch>, &SeqSwitch::initParams, &AudioSwitch::createGraphics, &AudioSwitch::panel},
  /* 21 LAGAdder         */ {&makeModule<LAGAdder>, &LAGAdder::initParams, &LAGAdder::createGraphics, &LAGAdder::panel},
  /* 22 GateTools        */ {&makeModule<GateTools>, &GateTools::initParams, &GateTools::createGraphics, &GateTools::panel},
  /* 23 BeatSeq          */ {&makeModule<BeatSeq>, &BeatSeq::initParams, &BeatSeq::createGraphics, &BeatSeq::panel},
  /* 24 Envelope4        */ {&makeModule<Envelope4>, &Envelope4::initParams, &Envelope4::createGraphics, &Envelope4::panel},
  /* 25 Oscillator2      */ {&makeModule<Oscillator2>, &Oscillator2::initParams, &Oscillator2::createGraphics, &Oscillator2::panel},
  /* 26 OscWavetable     */ {&makeModule<OscWavetable>, &OscWavetable::initParams, &OscWavetable::createGraphics, &OscWavetable::panel},
  /* 27 Comb             */ {&makeModule<Comb>, &Comb::initParams, &Comb::createGraphics, &Comb::panel},
  /* 28 LinEnvelope      */ {&makeModule<LinEnvelope>, &LinEnvelope::initParams, &LinEnvelope::createGraphics, &LinEnvelope::panel},
  /* 29 Noise            */ {&makeModule<Noise>, &Noise::initParams, &Noise::createGraphics, &Noise::panel},
  /* 30 Resonators       */ {&makeModule<Resonators>, &Resonators::initParams, &Resonators::createGraphics, &Resonators::panel},
  /* 31 LFO2             */ {&makeModule<LFO2>, &LFO2::initParams, &LFO2::createGraphics, &LFO2::panel},
  /* 32 BbdDelay         */ {&makeModule<BbdDelay>, &BbdDelay::initParams, &BbdDelay::createGraphics, &BbdDelay::panel},
  /* 33 BitReducer       */ {&makeModule<BitReducer>, &BitReducer::initParams, &BitReducer::createGraphics, &BitReducer::panel},
  /* 34 DelayLine        */ {&makeModule<DelayLine>, &DelayLine::initParams, &DelayLine::createGraphics, &DelayLine::panel},
  /* 35 Reverb           */ {&makeModule<Reverb>, &Reverb::initParams, &Reverb::createGraphics, &Reverb::panel},
  /* 36 Saturator        */ {&makeModule<Saturator>, &Saturator::initParams, &Saturator::createGraphics, &Saturator::panel},
  /* 37 Envelope         */ {&makeModule<Envelope>, &Envelope::initParams, &Envelope::createGraphics, &Envelope::panel},
  /* 38 ModDelay         */ {&makeModule<ModDelay>, &ModDelay::initParams, &ModDelay::createGraphics, &ModDelay::panel},
  /* 39 EQ10             */ {&makeModule<EQ10>, &EQ10::initParams, &EQ10::createGraphics, &EQ10::panel},
  /* 40 StereoLadder     */ {&makeModule<StereoLadder>, &Ladder::initParams, &StereoLadder::createGraphics, &StereoLadder::panel},
  /* 41 StereoK35        */ {&makeModule<StereoK35>, &K35::initParams, &StereoK35::createGraphics, &StereoK35::panel},
  /* 42 StereoComb       */ {&makeModule<StereoComb>, &Comb::initParams, &StereoComb::createGraphics, &StereoComb::panel},
  /* 43 StereoResonators */ {&makeModule<StereoResonators>, &Resonators::initParams, &StereoResonators::createGraphics, &StereoResonators::panel},
  /* 44 ParaEQ5          */ {&makeModule<ParaEQ5>, &ParaEQ5::initParams, &ParaEQ5::createGraphics, &ParaEQ5::panel},
};
// clang-format on

} // namespace ModuleCatalogue

const PanelLayout* panelLayoutOf(int moduleID)
{
  if (moduleID <= 0 || moduleID >= ModuleConfig::kNumModuleIDs) return nullptr;
  return ModuleCatalogue::classes[moduleID].panel;
}
