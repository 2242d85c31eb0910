#include "VoiceBlock.h"

bool VoiceBlock::plan(Module* const* modules, int n)
{
  if (n < 0 || n > kMaxRecords) return false;
  int total = 0;
  ranges = 0;
  for (int q = 0; q < n; ++q) {
    offset[q] = total;
    for (const std::vector<double>* out : {&modules[q]->audioOut, &modules[q]->modOut, &modules[q]->gateOut,
                                           &modules[q]->syncOut}) {
      if (out->empty()) continue;
      if (total + (int)out->size() > kMaxRecords) return false;
      // Addresses as integers: a source may lie in any object.
      const uintptr_t first = (uintptr_t)out->data();
      range[ranges++] = {first, first + out->size() * sizeof(double), q, total};
      total += (int)out->size();
    }
  }
  offset[n] = total;
  reader = 0;
  return true;
}

bool VoiceBlock::resolve(const double* source, Module::Stream* stream) const
{
  stream->at = source;
  stream->step = 0;
  if (!source) return true;
  const uintptr_t at = (uintptr_t)source;
  for (int r = 0; r < ranges; ++r) {
    const Range& out = range[r];
    if (at >= out.first && at < out.last) {
      if (out.position >= reader) return false;
      stream->at = records + (out.record + (int)((at - out.first) / sizeof(double))) * kLength;
      stream->step = 1;
      return true;
    }
  }
  return true;
}
