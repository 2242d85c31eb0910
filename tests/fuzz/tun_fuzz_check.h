// What every tuning fuzz target checks after a read: the scale stays usable.
#pragma once

#include "tuning.h"

#include <cmath>
#include <cstdlib>

// A frequency that is not a number would hang the engine's pitch search, an infinite one could
// not be written back to a file; a mapping outside the table would read past it.
inline void CheckScale(const TUN::CSingleScale& scale)
{
  if (scale.m_vdblNoteFrequenciesHz.size() != 128 || scale.m_vlMapping.size() != 128) std::abort();
  for (long n = 0; n < 128; ++n) {
    const long m = scale.MapMIDI2Scale(n);
    if (m < 0 || m > 127) std::abort();
    if (!std::isfinite(scale.m_vdblNoteFrequenciesHz[static_cast<size_t>(m)])) std::abort();
  }
}
