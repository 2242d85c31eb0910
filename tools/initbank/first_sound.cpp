// Program 0, "First Sound": Oscillator (saw) -> Filter (Ladder, LP 24, half key tracking) -> Amplifier whose
// VCA follows an Envelope started by each voice's note, the amplifier's two outputs summed over the voices.
// Velocity opens the filter by up to an octave and plays louder.
#include "BankBuilder.h"

void buildFirstSound(BankBuilder& b)
{
  b.begin(kRangeFirst);
  enum { kOsc = 0, kFilter = 1, kEnv = 2, kAmp = 3 };
  b.module(kOsc, ModuleConfig::MOD_OSCILLATOR);
  b.module(kFilter, ModuleConfig::MOD_LADDER);
  b.module(kEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kAmp, ModuleConfig::MOD_AMPLIFIER);

  b.setSlot(kOsc, 0, 1); // Saw

  b.setSlot(kFilter, 0, 1); // LP 24
  b.connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kFilter, 3, 1.0); // input A level
  // Cutoff: about 1 kHz at note 48 and velocity 127.
  b.velocityToCutoff(kFilter, 7, 0.62, 1536.0);
  b.setSlot(kFilter, 2, 0.25); // resonance
  b.setSlot(kFilter, 12, 0.5); // key tracking: half an octave per octave

  b.connect(kEnv, 0, SourceDef::GATE, SourceDef::kGroupTriggers, Veltrane::kTriggerVoice);
  b.setSlot(kEnv, 2, 0.0);   // attack: 5 ms
  b.setSlot(kEnv, 5, 0.45);  // decay: about 0.5 s to 90% of the way
  b.setSlot(kEnv, 8, 0.6);   // sustain
  b.setSlot(kEnv, 11, 0.35); // release: about 0.19 s

  b.connect(kAmp, 1, SourceDef::AUDIO, kFilter, 0);
  b.connect(kAmp, 11, SourceDef::MODULATION, kEnv, 0);
  b.setSlot(kAmp, 10, 1.0); // VCA 1 depth: the envelope alone sets the level
  b.setSlot(kAmp, 0, 0.66); // gain A: four notes at velocity 127 peak near -4 dBFS at the volume's default
  b.velocityToLevel(kAmp, 0.5);

  b.v->plugToCommon(kAmp); // display position of the amplifier: its L and R into the voice sums

  b.set(Veltrane::kParamVoices, 5);       // 16 voices
  b.set(Veltrane::kParamOutRelease, 0.4); // the voice outlives the module envelope's release
  b.finish("First Sound");
}
