// Diagnostic logging and small text and timing helpers of the framework.
//
// Logging is switched off: Trace() compiles to nothing, and the helpers that only produce text for
// it answer "". ToLower is the one helper with real work (host identification uses it).
//
//   Trace(TRACELOC, "%s %d", VSTOpcodeStr(opCode), value);
#pragma once

#include "wdlstring.h"

#include <ctime>

#define TRACELOC __FUNCTION__, __LINE__
#define TRACE Trace(TRACELOC, "%s", "")

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
inline void
Trace(const char* /*funcName*/, int /*line*/, const char* /*format*/, ...)
{
}

// Texts for logging arguments; all "".
const char* VSTOpcodeStr(int opCode);
const char* AUSelectStr(int select);
const char* AUPropertyStr(int propID);
const char* AUScopeStr(int scope);

// Copies src into dest (which holds strlen(src) + 1 bytes) in lower case.
void ToLower(char* dest, const char* src);
// Tab, line feed, carriage return and space; not vertical tab or form feed.
bool IsWhitespace(char c);

// Local date and time as "20240131 13:45 +0100" (offset from UTC as sign, hours, minutes).
// Returns a static buffer: not for two threads at once.
const char* CurrentTime();
// The same for a given moment.
const char* CurrentTime(std::time_t when);

// "[<date> <time>]" of the compiler's __DATE__ and __TIME__ texts, appended to str.
void CompileTimestamp(const char* Mmm_dd_yyyy, const char* hh_mm_ss, WDL_String* str);
// text followed by a blank and that stamp, in a static buffer.
const char* AppendTimestamp(const char* Mmm_dd_yyyy, const char* hh_mm_ss, const char* text);

// A stopwatch on the processor clock.
class Timer
{
public:
  Timer() : mStart(std::clock()) {}
  // True (and restarts) once more than seconds of processor time have passed since the start.
  bool Every(double seconds);

private:
  std::clock_t mStart;
};
