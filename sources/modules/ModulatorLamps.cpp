#include "ModulatorLamps.h"

#include "ModulePanel.h"

namespace ModulatorLamps {

void refreshGateLamps(const ModuleConfig* config, GateLamp* gates, int count)
{
  IControl* const* lamps = panelSpecials(config, count);
  if (!lamps) return;
  for (int i = 0; i < count; ++i) showLamp(lamps[i], gates[i].refresh());
}

} // namespace ModulatorLamps
