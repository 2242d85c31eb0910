#include "module_rig.h"

#include "../support/plugin_host.h"

namespace {
} // namespace

ModuleRig::ModuleRig() : plug(std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost})) {}

ModuleRig::~ModuleRig()
{
  delete module;
}

Module* ModuleRig::makeModule(ModuleConfig::ModuleID id, double r, int s)
{
  delete module;
  slot = s;
  rate = r;
  period = rate >= 1000.0 ? (int)rate / 1000 : 1;
  tickCountdown = 0;
  ModuleConfig& config = plug->slotConfig[slot];
  config.master = 1;
  config.set(plug.get(), slot, id);
  module = config.createModule(nullptr);
  module->setSampleRate(rate);
  module->setFrequencySource(&pitch);
  for (int i = 0; i < Module::kNumParams; ++i) module->setParameter(i, paramValue(i));
  return module;
}

void ModuleRig::param(int index, double value)
{
  IParam* p = plug->GetParam(slot * Module::kNumParams + index);
  p->Set(value);
  module->setParameter(index, p->Value());
}

double ModuleRig::paramValue(int index) const
{
  return plug->GetParam(slot * Module::kNumParams + index)->Value();
}

std::vector<double> ModuleRig::run(int n, int out)
{
  std::vector<double> result;
  if (out >= 0) result.reserve(n);
  for (int i = 0; i < n; ++i) {
    if (tickCountdown == 0) {
      module->update(true);
      tickCountdown = period;
    }
    --tickCountdown;
    module->process();
    if (out >= 0) result.push_back(module->audioOut[out]);
  }
  return result;
}
