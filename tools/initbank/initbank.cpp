// initbank: builds Veltrane's start-up bank. It makes an instance of the product class, initialises every
// program as the product's "initialise program" command does, builds the playable programs through the
// same operations the editor uses and saves the bank with the plug-in's own bank writer.
//
// usage: initbank OUT.fxb   (run by the build; writes Veltrane.vst/Contents/Resources/init.fxb)
#include "BankBuilder.h"

#include "K35.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? 2400 : 0;
}
} // namespace

BankBuilder::BankBuilder() : v(std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost})) {}

void BankBuilder::set(int param, double value)
{
  IParam* p = v->GetParam(param);
  v->SetParameterFromGUI(param, p->GetNormalized(value));
}

namespace {
void select(BankBuilder& b, const SourceDefCol& list, int slot, int p, SourceDef::SourceType t, int module, int index)
{
  const int pos = list.getPosition(t, t, module, index);
  if (!pos) {
    std::fprintf(stderr, "initbank: no source for slot %d parameter %d\n", slot, p);
    std::exit(1);
  }
  b.setSlot(slot, p, pos);
}
} // namespace

void BankBuilder::connect(int slot, int p, SourceDef::SourceType t, int module, int index)
{
  select(*this, v->voiceSources, slot, p, t, module, index);
}

void BankBuilder::connectMaster(int slot, int p, SourceDef::SourceType t, int module, int index)
{
  select(*this, v->masterSources, slot, p, t, module, index);
}

void BankBuilder::module(int slot, ModuleConfig::ModuleID id, bool master)
{
  v->replaceModule(slot, id, master, false);
}

void BankBuilder::dcBlocker(int slot, int source, int output)
{
  module(slot, ModuleConfig::MOD_K35);
  setSlot(slot, 0, K35::kHighpassType);
  connect(slot, 4, SourceDef::AUDIO, source, output);
  setSlot(slot, 3, 1.0);
  setSlot(slot, 1, std::log2(20.0 / Synth::convert2Hz(0)) * 1536.0 / 17280.0);
  setSlot(slot, 2, 0.0);
}

void BankBuilder::begin(int program)
{
  v->changePreset(program);
  v->initPreset();
}

void BankBuilder::finish(const char* name)
{
  if (std::strlen(name) >= kVstMaxProgNameLen) {
    std::fprintf(stderr, "initbank: the program name \"%s\" is longer than a host shows\n", name);
    std::exit(1);
  }
  v->ModifyCurrentPreset(name);
}

void BankBuilder::initAllPrograms()
{
  for (int p = Synth::kNumPrograms - 1; p >= 0; --p) {
    v->changePreset(p);
    v->initPreset();
  }
}

bool BankBuilder::save(const char* path)
{
  v->changePreset(0);
  WDL_String file(path);
  return v->SaveBankAsFXB(&file);
}

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: initbank OUT.fxb\n");
    return 2;
  }
  // Start from the programs as constructed: no bank of an earlier build is read.
  setenv("VELTRANE_RESOURCES", "/nonexistent/", 1);
  // The plug-in builds its editor too, and without a resources folder it would name each of its images as
  // missing in every build's output; saving programs needs none of them.
  const int savedErr = dup(2), devNull = open("/dev/null", O_WRONLY);
  if (devNull >= 0) dup2(devNull, 2);
  BankBuilder builder;
  if (savedErr >= 0) dup2(savedErr, 2);
  if (savedErr >= 0) close(savedErr);
  if (devNull >= 0) close(devNull);
  builder.initAllPrograms();
  buildFirstSound(builder);
  buildOscillatorPrograms(builder);
  buildWavetablePrograms(builder);
  buildFilterPrograms(builder);
  buildEffectPrograms(builder);
  buildToolPrograms(builder);
  buildModulatorPrograms(builder);
  buildShowcasePrograms(builder);
  if (!builder.save(argv[1])) {
    std::fprintf(stderr, "initbank: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
