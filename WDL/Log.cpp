#include "Log.h"

#include <cctype>
#include <cstdio>

const char* VSTOpcodeStr(int)
{
  return "";
}

const char* AUSelectStr(int)
{
  return "";
}

const char* AUPropertyStr(int)
{
  return "";
}

const char* AUScopeStr(int)
{
  return "";
}

void ToLower(char* dest, const char* src)
{
  if (!dest || !src) return;
  while ((*dest++ = char(std::tolower(static_cast<unsigned char>(*src++))))) {
  }
}

bool IsWhitespace(char c)
{
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

const char* CurrentTime()
{
  return CurrentTime(std::time(nullptr));
}

const char* CurrentTime(std::time_t when)
{
  static char text[64];
  std::tm local{}, utc{};
  localtime_r(&when, &local);
  gmtime_r(&when, &utc);

  int offset = (local.tm_min - utc.tm_min) + 60 * (local.tm_hour - utc.tm_hour);
  const int days = local.tm_yday - utc.tm_yday;
  if (days == -1 || days == 1)
    offset += days * 1440;
  else if (days < -1) // local time already in the new year
    offset += 1440;
  else if (days > 1) // local time still in the old year
    offset -= 1440;

  const size_t n = std::strftime(text, sizeof(text), "%Y%m%d %H:%M ", &local);
  const int magnitude = offset < 0 ? -offset : offset;
  std::snprintf(text + n, sizeof(text) - n, "%c%02d%02d", offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return text;
}

void CompileTimestamp(const char* Mmm_dd_yyyy, const char* hh_mm_ss, WDL_String* str)
{
  if (!str) return;
  str->AppendFormatted(128, "[%s %s]", Mmm_dd_yyyy ? Mmm_dd_yyyy : "", hh_mm_ss ? hh_mm_ss : "");
}

const char* AppendTimestamp(const char* Mmm_dd_yyyy, const char* hh_mm_ss, const char* text)
{
  static WDL_String stamped;
  WDL_String stamp;
  CompileTimestamp(Mmm_dd_yyyy, hh_mm_ss, &stamp);
  stamped.Set(text);
  stamped.Append(" ");
  stamped.Append(stamp.Get());
  return stamped.Get();
}

bool Timer::Every(double seconds)
{
  const std::clock_t now = std::clock();
  // Processor-clock ticks of a microsecond each (CLOCKS_PER_SEC is 1000000 on POSIX).
  if (double(now - mStart) > seconds * 1000000.0) {
    mStart = now;
    return true;
  }
  return false;
}
