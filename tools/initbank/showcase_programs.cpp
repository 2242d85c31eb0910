// Start-up bank programs that combine several module families (programs 50..63).
//
// "Full Rack Pad" fills all 18 slots the way a patch grows on a real rack: a dual saw, a linear-FM sine an
// octave up, a formant partial and a breath of pink noise are mixed into a ladder low-pass swept by its own
// envelope, coloured by three body resonators, warmed by a saturator and thinned by a K35 high-pass before
// the voice amplifier (last, so that it also takes off the DC that saturating the uneven wave leaves and
// that the hall's feedback lines would build up); the master section equalises the voice sums, adds a stereo echo, a hall and a final
// tilt, and glues the result in a gentle saturator. It plays 64 voices, and the voice benchmark renders it
// as the heaviest program of the bank.
#include "BankBuilder.h"

namespace {
int positionOf(BankBuilder& b, int slot)
{
  for (int p = 0; p < (int)b.v->displayOrder.size(); ++p)
    if (b.v->displayOrder[p] == slot) return p;
  return slot;
}

// The slot's first two audio outputs become the voice sums (voice slot) or the master outputs (master slot).
void plug(BankBuilder& b, int slot)
{
  b.v->plugToCommon(positionOf(b, slot));
}

void fullRackPad(BankBuilder& b)
{
  b.begin(kRangeShowcase + 0);
  enum {
    kDual = 0, kFm = 1, kFormant = 2, kNoise = 3, kMix = 4, kFilterEnv = 5, kLadder = 6, kHighpass = 7,
    kBody = 8, kWarmth = 9, kAmpEnv = 10, kAmp = 11,
    kEq = 12, kEcho = 13, kEchoMix = 14, kHall = 15, kTilt = 16, kGlue = 17
  };
  b.module(kDual, ModuleConfig::MOD_OSCILLATOR2);
  b.module(kFm, ModuleConfig::MOD_OSCLINFM);
  b.module(kFormant, ModuleConfig::MOD_OSCFORMANT);
  b.module(kNoise, ModuleConfig::MOD_NOISE);
  b.module(kMix, ModuleConfig::MOD_MIXER);
  b.module(kFilterEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kLadder, ModuleConfig::MOD_LADDER);
  b.module(kHighpass, ModuleConfig::MOD_K35);
  b.module(kBody, ModuleConfig::MOD_RESONATORS);
  b.module(kWarmth, ModuleConfig::MOD_SATURATOR);
  b.module(kAmpEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kAmp, ModuleConfig::MOD_AMPLIFIER);
  b.module(kEq, ModuleConfig::MOD_PARAEQ5, true);
  b.module(kEcho, ModuleConfig::MOD_DELAYLINE, true);
  b.module(kEchoMix, ModuleConfig::MOD_MIXER, true);
  b.module(kHall, ModuleConfig::MOD_REVERB, true);
  b.module(kTilt, ModuleConfig::MOD_EQ10, true);
  b.module(kGlue, ModuleConfig::MOD_SATURATOR, true);

  // Two saws a few cents apart.
  b.setSlot(kDual, 0, 1);
  b.setSlot(kDual, 1, 1);
  b.setSlot(kDual, 6, -9); // 1/128 semitone: about -7 cents
  b.setSlot(kDual, 7, 9);

  // A sine an octave up, phase-modulated a little by saw A: a glassy top.
  b.setSlot(kFm, 0, 0); // sine
  b.setSlot(kFm, 5, 12);
  b.connect(kFm, 2, SourceDef::AUDIO, kDual, 0);
  b.setSlot(kFm, 1, 0.06);

  // The third partial, windowed per cycle: a vowel-like edge.
  b.setSlot(kFormant, 0, 1); // Partial
  b.setSlot(kFormant, 2, 3.0);
  b.setSlot(kFormant, 3, 0.4);

  b.setSlot(kNoise, 1, 0.5); // pink A only

  // The oscillators into one mono bus (pans centred, so the left output is the whole mix).
  const int mixSources[4] = {kDual, kDual, kFm, kFormant};
  const int mixOutputs[4] = {0, 1, 0, 0};
  const double mixLevels[4] = {0.45, 0.45, 0.22, 0.18};
  for (int ch = 0; ch < 4; ++ch) {
    b.connect(kMix, 3 * ch + 1, SourceDef::AUDIO, mixSources[ch], mixOutputs[ch]);
    b.setSlot(kMix, 3 * ch, mixLevels[ch]);
    b.setSlot(kMix, 3 * ch + 2, 0.5);
  }
  b.setSlot(kMix, 12, 1.0);

  // Filter envelope: a slow swell and a long fall to a low sustain.
  b.noteEnvelope(kFilterEnv, 0.3, 0.55, 0.25, 0.35);

  b.setSlot(kLadder, 0, 1); // LP 24
  b.connect(kLadder, 4, SourceDef::AUDIO, kMix, 0);
  b.setSlot(kLadder, 3, 1.0);
  b.connect(kLadder, 6, SourceDef::AUDIO, kNoise, 1);
  b.setSlot(kLadder, 5, 0.12);
  b.setSlot(kLadder, 1, 0.5);
  b.setSlot(kLadder, 2, 0.3);
  b.connect(kLadder, 8, SourceDef::MODULATION, kFilterEnv, 0);
  b.setSlot(kLadder, 7, 2800.0); // about two octaves of sweep at the envelope's peak
  b.setSlot(kLadder, 12, 0.5);

  b.setSlot(kHighpass, 0, 2); // Highpass
  b.connect(kHighpass, 4, SourceDef::AUDIO, kWarmth, 0);
  b.setSlot(kHighpass, 3, 1.0);
  b.setSlot(kHighpass, 1, 0.3); // below the played notes: only the rumble goes
  b.setSlot(kHighpass, 2, 0.0); // no resonance: the K35's uneven feedback would make DC of its own

  b.connect(kBody, 5, SourceDef::AUDIO, kLadder, 0);
  b.setSlot(kBody, 4, 1.0);
  b.setSlot(kBody, 0, 0.25);
  b.setSlot(kBody, 1, 0.48);
  b.setSlot(kBody, 2, 0.55);
  b.setSlot(kBody, 3, 0.63);

  b.connect(kWarmth, 1, SourceDef::AUDIO, kBody, 0);
  b.setSlot(kWarmth, 0, 1.0);
  b.setSlot(kWarmth, 2, 0.0);
  b.setSlot(kWarmth, 4, 1.5);
  b.setSlot(kWarmth, 10, 0.5);

  b.noteEnvelope(kAmpEnv, 0.25, 0.5, 0.7, 0.35);

  b.connect(kAmp, 1, SourceDef::AUDIO, kHighpass, 0);
  b.connect(kAmp, 11, SourceDef::MODULATION, kAmpEnv, 0);
  b.setSlot(kAmp, 10, 1.0);
  b.setSlot(kAmp, 0, 1.6);
  b.velocityToLevel(kAmp, 0.5);
  plug(b, kAmp);

  // Master: equalise the voice sums (less mud, a little presence).
  b.connectMaster(kEq, 1, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kVoiceSumLeft);
  b.connectMaster(kEq, 3, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kVoiceSumRight);
  b.setSlot(kEq, 4, 1); // stereo
  b.setSlot(kEq, 6, -2.0);
  b.setSlot(kEq, 8, -3.0);
  b.setSlot(kEq, 12, 2.0);

  // Echoes at 330 ms left and 440 ms right.
  b.connectMaster(kEcho, 0, SourceDef::AUDIO, kEq, 0);
  b.setSlot(kEcho, 2, 330.0);
  b.setSlot(kEcho, 4, 0.3);
  b.connectMaster(kEcho, 5, SourceDef::AUDIO, kEq, 1);
  b.setSlot(kEcho, 7, 440.0);
  b.setSlot(kEcho, 9, 0.3);

  // Dry left and right beside the two echoes, panned inwards.
  const int busSources[4] = {kEq, kEq, kEcho, kEcho};
  const int busOutputs[4] = {0, 1, 0, 1};
  const double busLevels[4] = {1.0, 1.0, 0.3, 0.3};
  const double busPans[4] = {0.0, 1.0, 0.25, 0.75};
  for (int ch = 0; ch < 4; ++ch) {
    b.connectMaster(kEchoMix, 3 * ch + 1, SourceDef::AUDIO, busSources[ch], busOutputs[ch]);
    b.setSlot(kEchoMix, 3 * ch, busLevels[ch]);
    b.setSlot(kEchoMix, 3 * ch + 2, busPans[ch]);
  }
  b.setSlot(kEchoMix, 12, 1.0);

  b.connectMaster(kHall, 1, SourceDef::AUDIO, kEchoMix, 0);
  b.connectMaster(kHall, 3, SourceDef::AUDIO, kEchoMix, 1);
  b.setSlot(kHall, 4, 15.0);
  b.setSlot(kHall, 5, 0.55);
  b.setSlot(kHall, 6, 0.45);
  b.setSlot(kHall, 7, 0.4);
  b.setSlot(kHall, 8, 0.8);
  b.setSlot(kHall, 9, 0.25);
  b.setSlot(kHall, 10, 1); // stereo

  // A gentle tilt: a little air on top, the lowest octave tamed.
  b.connectMaster(kTilt, 1, SourceDef::AUDIO, kHall, 0);
  b.connectMaster(kTilt, 3, SourceDef::AUDIO, kHall, 1);
  b.setSlot(kTilt, 4, 1);
  b.setSlot(kTilt, 5, 1.5);
  b.setSlot(kTilt, 6, 1.0);
  b.setSlot(kTilt, 14, -3.0);

  b.connectMaster(kGlue, 1, SourceDef::AUDIO, kTilt, 0);
  b.connectMaster(kGlue, 3, SourceDef::AUDIO, kTilt, 1);
  b.setSlot(kGlue, 0, 1.0);
  b.setSlot(kGlue, 2, 1.0);
  b.setSlot(kGlue, 4, 0.5);
  b.setSlot(kGlue, 7, 0.5);
  plug(b, kGlue);

  b.set(Veltrane::kParamVoices, 10); // 64 voices
  b.set(Veltrane::kParamOutRelease, 0.4);
  b.level(0.75);
  b.finish("Full Rack Pad");
}

// "Stereo Ladder Pad": two saws a few cents apart, one per side, through the stereo ladder's LP 24, which an
// envelope opens with each note and a slow LFO keeps breathing; the mod wheel adds resonance.
void stereoLadderPad(BankBuilder& b)
{
  b.begin(kRangeShowcase + 1);
  enum { kDual = 0, kFilterEnv = 1, kLfo = 2, kFilter = 3, kAmpEnv = 4, kAmp = 5 };
  b.module(kDual, ModuleConfig::MOD_OSCILLATOR2);
  b.module(kFilterEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kLfo, ModuleConfig::MOD_LFO);
  b.module(kFilter, ModuleConfig::MOD_STEREOLADDER);
  b.module(kAmpEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kAmp, ModuleConfig::MOD_AMPLIFIER);

  b.setSlot(kDual, 0, 1); // saws
  b.setSlot(kDual, 1, 1);
  b.setSlot(kDual, 6, -11); // 1/128 semitone: about -9 cents
  b.setSlot(kDual, 7, 11);

  b.noteEnvelope(kFilterEnv, 0.5, 0.6, 0.35, 0.5);
  b.setSlot(kLfo, 3, 0.25); // Hz
  b.setSlot(kLfo, 6, 1.0);

  b.setSlot(kFilter, 0, 1); // LP 24
  b.connect(kFilter, 4, SourceDef::AUDIO, kDual, 0);
  b.connect(kFilter, 6, SourceDef::AUDIO, kDual, 1);
  b.setSlot(kFilter, 3, 1.0);
  b.setSlot(kFilter, 5, 1.0);
  b.setSlot(kFilter, 1, 0.45);
  b.setSlot(kFilter, 2, 0.3);
  b.setSlot(kFilter, 12, 0.5);
  b.connect(kFilter, 8, SourceDef::MODULATION, kFilterEnv, 0);
  b.setSlot(kFilter, 7, 3072.0); // two octaves at the envelope's peak
  b.connect(kFilter, 10, SourceDef::MODULATION, kLfo, 0);
  b.setSlot(kFilter, 9, 384.0); // a quarter of an octave either way
  b.connect(kFilter, 14, SourceDef::MODULATION, SourceDef::kGroupCommonMod, SourceDef::MOD_MW_POS);
  b.setSlot(kFilter, 13, 0.5);

  b.noteEnvelope(kAmpEnv, 0.45, 0.5, 0.8, 0.5);
  b.connect(kAmp, 1, SourceDef::AUDIO, kFilter, 0);
  b.connect(kAmp, 3, SourceDef::AUDIO, kFilter, 1);
  b.setSlot(kAmp, 0, 1.0);
  b.setSlot(kAmp, 2, 1.0);
  b.setSlot(kAmp, 4, 0.0); // A left
  b.setSlot(kAmp, 7, 1.0); // B right
  b.connect(kAmp, 11, SourceDef::MODULATION, kAmpEnv, 0);
  b.setSlot(kAmp, 10, 1.0);
  b.velocityToLevel(kAmp, 0.4);
  plug(b, kAmp);

  b.set(Veltrane::kParamVoices, 3); // 8 voices
  b.set(Veltrane::kParamOutRelease, 0.5);
  b.level(0.16);
  b.finish("Stereo Ladder Pad");
}
} // namespace

void buildShowcasePrograms(BankBuilder& b)
{
  fullRackPad(b);
  stereoLadderPad(b);
}
