// Number scanning and printing in the "C" locale, whatever locale the host process has set.
// Tuning files always use "." as decimal point; a host running under a decimal-comma locale
// must neither misread "440.5" nor write "440,5". Private to the tuning library.
#pragma once

#include <string>

namespace TUN {
namespace num {

// strtod / strtol (base 10) with the "C" locale's rules; end receives the first unread byte.
double ScanDouble(const char* text, const char** end);
long ScanLong(const char* text, const char** end, int base = 10);

// atof / atol: the leading number of text, 0 when there is none.
double AtoF(const char* text);
long AtoL(const char* text);

// printf "%.*g" in the "C" locale.
std::string FormatG(double value, int significantDigits);

// 2^exponent, the exponent limited to 1023 so that a finite factor times the result can
// overflow to infinity but never become 0 * infinity (not a number).
double Pow2Bounded(double exponent);

} // namespace num
} // namespace TUN
