// initbank: builds Veltrane's start-up bank. It makes an instance of the product class, initialises every
// program as the product's "initialise program" command does, builds program 0 as a playable patch through
// the same operations the editor uses (replace a slot's module, set parameters, plug the amplifier into the
// voice sums) and saves the bank with the plug-in's own bank writer.
//
// Program 0, "First Sound": Oscillator (saw) -> Filter (Ladder, LP 24, half key tracking) -> Amplifier whose
// VCA follows an Envelope started by each voice's note, the amplifier's two outputs summed over the voices.
//
// usage: initbank OUT.fxb   (run by the build; writes Veltrane.vst/Contents/Resources/init.fxb)
#include "Veltrane.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? 2400 : 0;
}

class BankBuilder
{
public:
  BankBuilder() : v(std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost})) {}

  // A plain value, through the parameter path of the editor (host informed, product handler called).
  void set(int param, double value)
  {
    IParam* p = v->GetParam(param);
    v->SetParameterFromGUI(param, p->GetNormalized(value));
  }
  void setSlot(int slot, int p, double value) { set(slot * 16 + p, value); }
  void connect(int slot, int p, SourceDef::SourceType t, int module, int index)
  {
    const int pos = v->voiceSources.getPosition(t, t, module, index);
    if (!pos) {
      std::fprintf(stderr, "initbank: no source for slot %d parameter %d\n", slot, p);
      std::exit(1);
    }
    setSlot(slot, p, pos);
  }

  void initAllPrograms()
  {
    for (int p = Synth::kNumPrograms - 1; p >= 0; --p) {
      v->changePreset(p);
      v->initPreset();
    }
  }

  void buildFirstSound()
  {
    v->changePreset(0);
    enum { kOsc = 0, kFilter = 1, kEnv = 2, kAmp = 3 };
    v->replaceModule(kOsc, ModuleConfig::MOD_OSCILLATOR, false, false);
    v->replaceModule(kFilter, ModuleConfig::MOD_LADDER, false, false);
    v->replaceModule(kEnv, ModuleConfig::MOD_ENVELOPE, false, false);
    v->replaceModule(kAmp, ModuleConfig::MOD_AMPLIFIER, false, false);

    setSlot(kOsc, 0, 1); // Saw

    setSlot(kFilter, 0, 1); // LP 24
    connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
    setSlot(kFilter, 3, 1.0);  // input A level
    setSlot(kFilter, 1, 0.62); // cutoff: about 1 kHz at note 48
    setSlot(kFilter, 2, 0.25); // resonance
    setSlot(kFilter, 12, 0.5); // key tracking: half an octave per octave

    connect(kEnv, 0, SourceDef::GATE, SourceDef::kGroupTriggers, Veltrane::kTriggerVoice);
    setSlot(kEnv, 2, 0.0);   // attack: 5 ms
    setSlot(kEnv, 5, 0.45);  // decay: about 0.5 s to 90% of the way
    setSlot(kEnv, 8, 0.6);   // sustain
    setSlot(kEnv, 11, 0.35); // release: about 0.19 s

    connect(kAmp, 1, SourceDef::AUDIO, kFilter, 0);
    connect(kAmp, 11, SourceDef::MODULATION, kEnv, 0);
    setSlot(kAmp, 10, 1.0); // VCA 1 depth: the envelope alone sets the level

    v->plugToCommon(kAmp); // display position of the amplifier: its L and R into the voice sums

    set(Veltrane::kParamVoices, 5);       // 16 voices
    set(Veltrane::kParamOutRelease, 0.4); // the voice outlives the module envelope's release
    v->ModifyCurrentPreset("First Sound");
  }

  bool save(const char* path)
  {
    WDL_String file(path);
    return v->SaveBankAsFXB(&file);
  }

private:
  std::unique_ptr<Veltrane> v;
};
} // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: initbank OUT.fxb\n");
    return 2;
  }
  // Start from the programs as constructed: no bank of an earlier build is read.
  setenv("VELTRANE_RESOURCES", "/nonexistent/", 1);
  BankBuilder builder;
  builder.initAllPrograms();
  builder.buildFirstSound();
  if (!builder.save(argv[1])) {
    std::fprintf(stderr, "initbank: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
