// Standard MIDI File reader (formats 0 and 1) for the command-line host.
//
// The whole file is read into memory and parsed defensively: chunk lengths are checked against the bytes that
// are there, variable-length numbers are limited to four bytes, running status is honoured, unknown chunks are
// skipped, and a file cut short (a chunk longer than what follows, fewer tracks than the header declares) is
// refused; a malformed event ends its track, keeping the events before it. Times are converted to seconds through
// the file's tempo map (tempo changes of every track apply to all tracks, as in format 1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsthost {

// One event of the merged timeline: a channel message (2 or 3 bytes) or a SysEx message (F0 ... F7).
struct MidiEvent
{
  double seconds = 0.0;       // from the start of the file
  std::vector<uint8_t> bytes; // status first; SysEx events hold the complete F0 .. F7 message
};

struct MidiFile
{
  int format = 0;                // 0 or 1
  int trackCount = 0;            // tracks found
  double firstTempo = 0.0;       // beats per minute of the first tempo event at tick 0, 0 when there is none
  std::vector<MidiEvent> events; // sorted by time; equal times keep track order, then file order
  double lengthSeconds = 0.0;    // time of the last event, end-of-track markers included
};

// Parses a file held in memory. Returns false with a reason in `error` when the data is not a readable and
// complete format 0 or 1 file.
bool ParseMidiFile(const uint8_t* data, size_t size, MidiFile* out, std::string* error);

// Reads and parses a file from disk; an error names the file.
bool ReadMidiFile(const std::string& path, MidiFile* out, std::string* error);

} // namespace vsthost
