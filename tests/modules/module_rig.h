// A plug-in instance to hang modules on: one slot configured for a module type, a module of that slot
// made as the factory makes it (master instance unless a voice is given), driven like the engine drives it:
// setSampleRate, setFrequencySource, the slot's 16 parameter values, then update per 1 ms tick and process
// per sample.
#pragma once

#include "Module.h"
#include "ModuleConfig.h"
#include "Veltrane.h"

#include <memory>
#include <vector>

class ModuleRig
{
public:
  ModuleRig();
  ~ModuleRig();

  // Configures slot for the type and makes its module at the rate; the parameters take their defaults
  // unless changed with param() afterwards.
  template <class T> T* make(ModuleConfig::ModuleID id, double rate, int slot = 0)
  {
    return static_cast<T*>(makeModule(id, rate, slot));
  }
  Module* makeModule(ModuleConfig::ModuleID id, double rate, int slot = 0);

  // Sets slot parameter index to a plain value (clamped by the parameter) and sends it to the module.
  void param(int index, double value);
  double paramValue(int index) const;

  // Runs n samples: update(true) at every tick (rate / 1000 samples), process every sample; before each
  // sample `before` may set inputs. Collects audio output `out` (published value) when out >= 0.
  std::vector<double> run(int n, int out = 0);
  int controlPeriod() const { return period; }

  std::unique_ptr<Veltrane> plug;
  Module* module = nullptr;
  int slot = 0;
  int pitch = 0; // the module's frequency source
  double rate = 0.0;

private:
  int period = 44;
  int tickCountdown = 0;
};
