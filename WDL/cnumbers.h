// Numbers as text in the "C" locale, whatever LC_NUMERIC the host process has set: parameter
// display texts are printed with a point, and numbers typed back by the user are read with one.
// Safe on any thread: the locale is switched for the calling thread only, for the one call.
#pragma once

#include <cstddef>

// snprintf in the "C" locale; same result and truncation rules as snprintf.
int WDL_snprintf_C(char* buf, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// strtod in the "C" locale; end (may be null) receives the first byte not read.
double WDL_strtod_C(const char* text, char** end);
