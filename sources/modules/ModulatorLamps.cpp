#include "ModulatorLamps.h"

#include "IControl.h"
#include "ModuleConfig.h"

namespace ModulatorLamps {

IControl* const* panelLamps(const ModuleConfig* config, int count)
{
  if (!config || (int)config->specialControls.size() != count) return nullptr;
  return config->specialControls.data();
}

void showLamp(IControl* lamp, bool lit)
{
  if (lamp && lamp->IsHidden() == lit) lamp->Hide(!lit);
}

void refreshGateLamps(const ModuleConfig* config, GateLamp* gates, int count)
{
  IControl* const* lamps = panelLamps(config, count);
  if (!lamps) return;
  for (int i = 0; i < count; ++i) showLamp(lamps[i], gates[i].refresh());
}

} // namespace ModulatorLamps
