// A switch parameter ("off"/"on") declared like the other slot parameters: type set first, name kept.
#pragma once

#include "IParam.h"
#include "Synth.h"

#include <cstdio>

inline void declareSwitch(Synth* synth, int index, bool defaultVal)
{
  IParam* p = synth ? synth->GetParam(index) : nullptr;
  if (!p) return;
  char name[IParam::kTextSize];
  std::snprintf(name, sizeof(name), "%s", p->GetNameForHost());
  p->mType = IParam::kTypeBool;
  p->InitBool(name, defaultVal, "", "");
}
