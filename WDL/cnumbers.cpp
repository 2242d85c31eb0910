#include "cnumbers.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

// One "C" locale object for the process, made on first use and kept until exit.
locale_t CLocale()
{
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

} // namespace

int WDL_snprintf_C(char* buf, size_t size, const char* format, ...)
{
  const locale_t c = CLocale();
  const locale_t previous = c ? uselocale(c) : static_cast<locale_t>(nullptr);
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, size, format, args);
  va_end(args);
  if (c) uselocale(previous);
  return n;
}

double WDL_strtod_C(const char* text, char** end)
{
  const locale_t c = CLocale();
  return c ? strtod_l(text, end, c) : std::strtod(text, end);
}
