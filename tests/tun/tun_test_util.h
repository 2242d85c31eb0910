// Helpers shared by the tuning library tests.
#pragma once

#include "tuning.h"

#include <cmath>
#include <sstream>
#include <string>

namespace tuntest {

// 12-tone equal temperament with note 69 at 440 Hz, computed here, not by the library.
inline double EqualHz(double note)
{
  return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

inline double CentsToFactor(double cents)
{
  return std::pow(2.0, cents / 1200.0);
}

struct ReadResult
{
  long result;
  std::string error;
  long line;
};

// Reads .tun text into the scale through a fresh line reader.
inline ReadResult ReadTun(TUN::CSingleScale& scale, const std::string& text)
{
  std::istringstream in(text);
  TUN::CStringParser parser;
  const long r = scale.Read(in, parser);
  return {r, scale.m_err.m_strLastError, scale.m_lLineNo};
}

inline bool ReadScl(TUN::CSCL_Import& scala, const std::string& text)
{
  std::istringstream in(text);
  TUN::CStringParser parser;
  return scala.ReadSCL(in, parser);
}

inline bool ReadKbm(TUN::CSCL_Import& scala, const std::string& text)
{
  std::istringstream in(text);
  TUN::CStringParser parser;
  return scala.ReadKBM(in, parser);
}

// Frequency the scale gives MIDI note n, through its keyboard mapping.
inline double NoteHz(const TUN::CSingleScale& scale, long n)
{
  return scale.m_vdblNoteFrequenciesHz[static_cast<size_t>(scale.MapMIDI2Scale(n))];
}

} // namespace tuntest

// Relative comparison for frequencies.
#define EXPECT_HZ(expected, actual) EXPECT_NEAR((actual) / (expected), 1.0, 1e-9) << "expected " << (expected) << " Hz"
