#include "VoiceBlock.h"

#include <cstdint>

namespace {
// The number of output elements of a module, in record order.
int outputCount(const Module* m)
{
  return (int)(m->audioOut.size() + m->modOut.size() + m->gateOut.size() + m->syncOut.size());
}
} // namespace

bool VoiceBlock::plan(Module* const* modules, int n)
{
  if (n < 0 || n > kMaxRecords) return false;
  int total = 0;
  for (int q = 0; q < n; ++q) {
    offset[q] = total;
    total += outputCount(modules[q]);
    if (total > kMaxRecords) return false;
  }
  offset[n] = total;
  list = modules;
  count = n;
  reader = 0;
  return true;
}

bool VoiceBlock::resolve(const double* source, Module::Stream* stream) const
{
  stream->at = source;
  stream->step = 0;
  if (!source) return true;
  for (int q = 0; q < count; ++q) {
    const Module* m = list[q];
    int element = 0;
    for (const std::vector<double>* out : {&m->audioOut, &m->modOut, &m->gateOut, &m->syncOut}) {
      // Addresses as integers: the source may lie in any object.
      const uintptr_t first = (uintptr_t)out->data();
      const uintptr_t at = (uintptr_t)source;
      if (!out->empty() && at >= first && at < first + out->size() * sizeof(double)) {
        if (q >= reader) return false;
        stream->at = records + (offset[q] + element + (int)((at - first) / sizeof(double))) * kLength;
        stream->step = 1;
        return true;
      }
      element += (int)out->size();
    }
  }
  return true;
}
