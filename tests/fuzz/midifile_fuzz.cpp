// The command-line host's Standard MIDI File reader on arbitrary bytes: it never reads outside the data, and
// every event it returns is a whole message at a finite, non-decreasing time.
#include "MidiFile.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  vsthost::MidiFile m;
  std::string error;
  if (!vsthost::ParseMidiFile(data, size, &m, &error)) return 0;
  double last = 0.0;
  for (const vsthost::MidiEvent& e : m.events) {
    if (e.bytes.empty() || !(e.bytes[0] & 0x80) || !std::isfinite(e.seconds) || e.seconds < last) std::abort();
    last = e.seconds;
  }
  return 0;
}
