#include "tun_numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace TUN {
namespace num {

namespace {

// One "C" locale object for the whole process, created on first use (thread-safe static).
locale_t CLocale()
{
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

} // namespace

double ScanDouble(const char* text, const char** end)
{
  char* stop = nullptr;
  const double value = strtod_l(text, &stop, CLocale());
  if (end) *end = stop;
  return value;
}

long ScanLong(const char* text, const char** end, int base)
{
  char* stop = nullptr;
  const long value = strtol_l(text, &stop, base, CLocale());
  if (end) *end = stop;
  return value;
}

double AtoF(const char* text)
{
  return ScanDouble(text, nullptr);
}

long AtoL(const char* text)
{
  return ScanLong(text, nullptr);
}

std::string FormatG(double value, int significantDigits)
{
  // uselocale switches only the calling thread, so a host thread printing at the same time
  // keeps its own locale.
  const locale_t previous = uselocale(CLocale());
  char buffer[64]; // "%.40g" of any double needs at most 47 bytes
  const int n = std::snprintf(buffer, sizeof buffer, "%.*g", std::clamp(significantDigits, 1, 40), value);
  uselocale(previous);
  if (n < 0) return std::string();
  return std::string(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

double Pow2Bounded(double exponent)
{
  if (std::isnan(exponent)) return 1.0;
  return std::exp2(std::min(exponent, 1023.0));
}

} // namespace num
} // namespace TUN
