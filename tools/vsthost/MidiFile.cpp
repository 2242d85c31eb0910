#include "MidiFile.h"

#include "Files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vsthost {

namespace {

// The largest MIDI file read: 32 MiB. Long orchestral scores take a few hundred kilobytes, and each event of 3
// or 4 bytes in the file takes some 60 once parsed (its time, a vector and the vector's allocation): a file
// this size already parses into more than half a gigabyte.
constexpr int64_t kMaxMidiFileBytes = 32 << 20;

// An event as found in a track, before the tempo map turns ticks into seconds.
struct RawEvent
{
  uint64_t tick;
  int track;
  size_t order;   // position within the track, keeps equal ticks in file order
  uint32_t tempo; // microseconds per quarter note for a tempo event, 0 otherwise
  bool endOfTrack;
  std::vector<uint8_t> bytes;
};

uint32_t ReadBE32(const uint8_t* p)
{
  return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

// Reads a variable-length number of at most four bytes. Returns false when it runs past the end or is longer.
bool ReadVarLen(const uint8_t* data, size_t end, size_t* pos, uint32_t* value)
{
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (*pos >= end) return false;
    uint8_t b = data[(*pos)++];
    v = (v << 7) | (b & 0x7F);
    if (!(b & 0x80)) {
      *value = v;
      return true;
    }
  }
  return false;
}

int DataBytesOf(uint8_t status)
{
  switch (status & 0xF0) {
  case 0xC0:
  case 0xD0:
    return 1;
  default:
    return 2;
  }
}

// Parses the events of one track chunk (data[begin, end)). A malformed or cut event ends the track; the events
// before it are kept.
void ParseTrack(const uint8_t* data, size_t begin, size_t end, int track, std::vector<RawEvent>* out)
{
  size_t pos = begin;
  uint64_t tick = 0;
  uint8_t running = 0;
  size_t order = 0;
  while (pos < end) {
    uint32_t delta;
    if (!ReadVarLen(data, end, &pos, &delta) || pos >= end) return;
    tick += delta;
    uint8_t status = data[pos];
    if (status < 0x80) {
      if (!running) return; // data byte without a status to run on
      status = running;
    } else {
      ++pos;
    }
    RawEvent ev{tick, track, order++, 0, false, {}};
    if (status == 0xFF) {
      if (pos >= end) return;
      uint8_t type = data[pos++];
      uint32_t len;
      if (!ReadVarLen(data, end, &pos, &len) || len > end - pos) return;
      if (type == 0x51 && len == 3) {
        ev.tempo = ((uint32_t)data[pos] << 16) | ((uint32_t)data[pos + 1] << 8) | data[pos + 2];
        if (ev.tempo) out->push_back(ev);
      } else if (type == 0x2F) {
        ev.endOfTrack = true;
        out->push_back(ev);
        return;
      }
      pos += len;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t len;
      if (!ReadVarLen(data, end, &pos, &len) || len > end - pos) return;
      if (status == 0xF0) { // a complete SysEx message; F7 escape packets are not passed on
        ev.bytes.reserve(len + 1);
        ev.bytes.push_back(0xF0);
        ev.bytes.insert(ev.bytes.end(), data + pos, data + pos + len);
        if (ev.bytes.back() != 0xF7) ev.bytes.push_back(0xF7);
        out->push_back(std::move(ev));
      }
      pos += len;
    } else if (status >= 0xF0) {
      return; // system common and real-time messages do not belong in a file
    } else {
      running = status;
      int n = DataBytesOf(status);
      if ((size_t)n > end - pos) return;
      ev.bytes.push_back(status);
      for (int i = 0; i < n; ++i) {
        if (data[pos] & 0x80) return;
        ev.bytes.push_back(data[pos++]);
      }
      out->push_back(std::move(ev));
    }
  }
}

} // namespace

bool ParseMidiFile(const uint8_t* data, size_t size, MidiFile* out, std::string* error)
{
  *out = MidiFile();
  error->clear();
  if (!data || size < 14 || std::memcmp(data, "MThd", 4) != 0) {
    *error = "not a Standard MIDI File (no MThd header)";
    return false;
  }
  uint32_t headerLen = ReadBE32(data + 4);
  if (headerLen < 6 || headerLen > size - 8) {
    *error = "bad MThd header length";
    return false;
  }
  int format = (data[8] << 8) | data[9];
  int declaredTracks = (data[10] << 8) | data[11];
  uint16_t division = (uint16_t)((data[12] << 8) | data[13]);
  if (format > 1) {
    *error = "MIDI file format " + std::to_string(format) + " is not supported (only 0 and 1)";
    return false;
  }
  // Seconds per tick: fixed for SMPTE time division, else tempo / ticks per quarter note.
  double smpteSecondsPerTick = 0.0;
  int ticksPerQuarter = 0;
  if (division & 0x8000) {
    int fps = -(int8_t)(division >> 8);
    int ticksPerFrame = division & 0xFF;
    if (fps <= 0 || ticksPerFrame == 0) {
      *error = "bad SMPTE time division";
      return false;
    }
    smpteSecondsPerTick = 1.0 / ((fps == 29 ? 29.97 : fps) * ticksPerFrame);
  } else {
    ticksPerQuarter = division;
    if (ticksPerQuarter == 0) {
      *error = "time division of 0 ticks per quarter note";
      return false;
    }
  }

  std::vector<RawEvent> raw;
  size_t pos = 8 + (size_t)headerLen;
  int tracks = 0;
  while (pos + 8 <= size && tracks < declaredTracks) {
    uint32_t len = ReadBE32(data + pos + 4);
    bool isTrack = std::memcmp(data + pos, "MTrk", 4) == 0;
    pos += 8;
    if (len > size - pos) { // a file cut short: what is left would play as something else
      *error = "the file is cut short: a chunk of " + std::to_string(len) + " bytes has only " +
               std::to_string(size - pos) + " left";
      return false;
    }
    if (isTrack) ParseTrack(data, pos, pos + len, tracks++, &raw);
    pos += len;
  }
  if (tracks == 0) {
    *error = "no MTrk track in the file";
    return false;
  }
  if (tracks < declaredTracks) {
    *error = "the file is cut short: it holds " + std::to_string(tracks) + " of the " +
             std::to_string(declaredTracks) + " tracks its header declares";
    return false;
  }

  std::stable_sort(raw.begin(), raw.end(), [](const RawEvent& a, const RawEvent& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    if (a.track != b.track) return a.track < b.track;
    return a.order < b.order;
  });

  double seconds = 0.0;
  uint64_t lastTick = 0;
  uint32_t usPerQuarter = 500000; // 120 beats per minute until the file says otherwise
  for (RawEvent& ev : raw) {
    double ticks = (double)(ev.tick - lastTick);
    seconds += ticksPerQuarter ? ticks * usPerQuarter / 1e6 / ticksPerQuarter : ticks * smpteSecondsPerTick;
    lastTick = ev.tick;
    out->lengthSeconds = seconds;
    if (ev.tempo) {
      usPerQuarter = ev.tempo;
      if (ev.tick == 0) out->firstTempo = 60e6 / ev.tempo;
    } else if (!ev.endOfTrack) {
      out->events.push_back(MidiEvent{seconds, std::move(ev.bytes)});
    }
  }
  out->format = format;
  out->trackCount = tracks;
  return true;
}

bool ReadMidiFile(const std::string& path, MidiFile* out, std::string* error)
{
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes, error, kMaxMidiFileBytes)) return false; // its message names the file
  if (ParseMidiFile(bytes.data(), bytes.size(), out, error)) return true;
  *error = path + ": " + *error;
  return false;
}

} // namespace vsthost
