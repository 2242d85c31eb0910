// Standard MIDI File reading: timing through the tempo map, track merging, running status and damaged files.
#include "MidiFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

using vsthost::MidiFile;
using vsthost::ParseMidiFile;
using Bytes = std::vector<uint8_t>;

namespace {

void Append(Bytes* out, const Bytes& more)
{
  out->insert(out->end(), more.begin(), more.end());
}

Bytes Header(int format, int tracks, int division)
{
  return {'M',
          'T',
          'h',
          'd',
          0,
          0,
          0,
          6,
          0,
          (uint8_t)format,
          (uint8_t)(tracks >> 8),
          (uint8_t)tracks,
          (uint8_t)(division >> 8),
          (uint8_t)division};
}

Bytes Track(const Bytes& events)
{
  uint32_t n = (uint32_t)events.size();
  Bytes t(8 + events.size());
  const uint8_t head[8] = {'M', 'T', 'r', 'k', (uint8_t)(n >> 24), (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n};
  std::copy(head, head + 8, t.begin());
  std::copy(events.begin(), events.end(), t.begin() + 8);
  return t;
}

// Tempo meta event with a delta of 0.
Bytes Tempo(uint32_t usPerQuarter)
{
  return {0x00, 0xFF, 0x51, 0x03, (uint8_t)(usPerQuarter >> 16), (uint8_t)(usPerQuarter >> 8), (uint8_t)usPerQuarter};
}

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

bool Parse(const Bytes& file, MidiFile* out, std::string* error)
{
  return ParseMidiFile(file.data(), file.size(), out, error);
}

} // namespace

TEST(MidiFileTiming, FormatZeroUsesTheDefaultTempoOf120)
{
  // 96 ticks per quarter: a note on at 0, off after 96 ticks (one quarter at 120 bpm = 0.5 s).
  Bytes f = Header(0, 1, 96);
  Bytes ev = {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0};
  Append(&ev, kEndOfTrack);
  Append(&f, Track(ev));
  MidiFile m;
  std::string error;
  ASSERT_TRUE(Parse(f, &m, &error)) << error;
  ASSERT_EQ(m.events.size(), 2u);
  EXPECT_DOUBLE_EQ(m.events[0].seconds, 0.0);
  EXPECT_EQ(m.events[0].bytes, (Bytes{0x90, 60, 100}));
  EXPECT_DOUBLE_EQ(m.events[1].seconds, 0.5);
  EXPECT_EQ(m.firstTempo, 0.0);
  EXPECT_EQ(m.format, 0);
}

TEST(MidiFileTiming, TempoChangesOfTheFirstTrackApplyToTheOthers)
{
  // Track 0: 60 bpm (1 s per quarter) at 0, then 240 bpm after 2 quarters.
  // Track 1: events at quarters 1, 3 and 4: 1 s, 2 s + 0.25 s, 2 s + 0.5 s.
  const int q = 480;
  Bytes t0 = Tempo(1000000);
  Append(&t0, {0x87, 0x40, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90}); // delta 960, 250000 us
  Append(&t0, kEndOfTrack);
  Bytes t1 = {0x83, 0x60, 0x90, 64, 90};  // delta 480
  Append(&t1, {0x87, 0x40, 0x80, 64, 0}); // delta 960 -> quarter 3
  Append(&t1, {0x83, 0x60, 0xB0, 1, 64}); // delta 480 -> quarter 4
  Append(&t1, kEndOfTrack);
  Bytes f = Header(1, 2, q);
  Append(&f, Track(t0));
  Append(&f, Track(t1));
  MidiFile m;
  std::string error;
  ASSERT_TRUE(Parse(f, &m, &error)) << error;
  ASSERT_EQ(m.events.size(), 3u);
  EXPECT_NEAR(m.events[0].seconds, 1.0, 1e-12);
  EXPECT_NEAR(m.events[1].seconds, 2.25, 1e-12);
  EXPECT_NEAR(m.events[2].seconds, 2.5, 1e-12);
  EXPECT_EQ(m.events[2].bytes, (Bytes{0xB0, 1, 64}));
  EXPECT_DOUBLE_EQ(m.firstTempo, 60.0);
  EXPECT_EQ(m.trackCount, 2);
}

TEST(MidiFileTiming, EqualTimesKeepTrackOrder)
{
  Bytes f = Header(1, 2, 96);
  Append(&f, Track({0x00, 0x90, 1, 1, 0x00, 0xFF, 0x2F, 0x00}));
  Append(&f, Track({0x00, 0x90, 2, 1, 0x00, 0xFF, 0x2F, 0x00}));
  MidiFile m;
  std::string error;
  ASSERT_TRUE(Parse(f, &m, &error));
  ASSERT_EQ(m.events.size(), 2u);
  EXPECT_EQ(m.events[0].bytes[1], 1);
  EXPECT_EQ(m.events[1].bytes[1], 2);
}

TEST(MidiFileTiming, SmpteDivisionCountsFramesNotBeats)
{
  // 25 frames per second, 40 ticks per frame: 1000 ticks per second.
  Bytes f = Header(0, 1, ((uint8_t)-25 << 8) | 40);
  Append(&f, Track({0x87, 0x68, 0x90, 60, 100, 0x00, 0xFF, 0x2F, 0x00})); // delta 1000
  MidiFile m;
  std::string error;
  ASSERT_TRUE(Parse(f, &m, &error)) << error;
  ASSERT_EQ(m.events.size(), 1u);
  EXPECT_NEAR(m.events[0].seconds, 1.0, 1e-12);
}

TEST(MidiFileMessages, RunningStatusAndShortMessages)
{
  // Running status for a second note on, a program change (one data byte) and channel pressure.
  Bytes f = Header(0, 1, 96);
  Append(&f, Track({0x00, 0x91, 60, 100, 0x00, 62, 101, 0x00, 0xC1, 5, 0x00, 0xD1, 70, 0x00, 0xFF, 0x2F, 0x00}));
  MidiFile m;
  std::string error;
  ASSERT_TRUE(Parse(f, &m, &error));
  ASSERT_EQ(m.events.size(), 4u);
  EXPECT_EQ(m.events[1].bytes, (Bytes{0x91, 62, 101}));
  EXPECT_EQ(m.events[2].bytes, (Bytes{0xC1, 5}));
  EXPECT_EQ(m.events[3].bytes, (Bytes{0xD1, 70}));
}

TEST(MidiFileMessages, SysExBecomesOneCompleteMessage)
{
  Bytes f = Header(0, 1, 96);
  Append(&f, Track({0x00, 0xF0, 0x04, 0x7E, 0x7F, 0x09, 0xF7, 0x00, 0xFF, 0x2F, 0x00}));
  MidiFile m;
  std::string error;
  ASSERT_TRUE(Parse(f, &m, &error));
  ASSERT_EQ(m.events.size(), 1u);
  EXPECT_EQ(m.events[0].bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0xF7}));
}

TEST(MidiFileDamage, UnreadableFilesAreRefusedWithAReason)
{
  struct Case
  {
    const char* what;
    Bytes file;
  };
  Bytes format2 = Header(2, 1, 96);
  Append(&format2, Track(kEndOfTrack));
  Bytes zeroDivision = Header(0, 1, 0);
  Append(&zeroDivision, Track(kEndOfTrack));
  Bytes noTracks = Header(0, 1, 96);
  Bytes badHeaderLength = Header(0, 1, 96);
  badHeaderLength[7] = 200;
  Bytes otherChunkOnly = Header(0, 1, 96);
  Append(&otherChunkOnly, {'X', 'Y', 'Z', 'W', 0, 0, 0, 0});
  // Files cut short: inside a track (the chunk length overstates the data), and after the first of two tracks.
  Bytes cutTrack = Header(0, 1, 96);
  Append(&cutTrack, Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0x90, 64, 100}));
  cutTrack.resize(cutTrack.size() - 2);
  Bytes missingTrack = Header(1, 2, 96);
  Append(&missingTrack, Track({0x00, 0x90, 60, 100, 0x00, 0xFF, 0x2F, 0x00}));
  const Case cases[] = {
      {"empty", {}},
      {"not MThd", {'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}},
      {"format 2", format2},
      {"division 0", zeroDivision},
      {"no tracks", noTracks},
      {"header length past the end", badHeaderLength},
      {"only unknown chunks", otherChunkOnly},
      {"cut inside a track", cutTrack},
      {"cut before the second track", missingTrack},
  };
  for (const Case& c : cases) {
    MidiFile m;
    std::string error;
    EXPECT_FALSE(Parse(c.file, &m, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST(MidiFileDamage, MalformedEventsEndTheTrackQuietly)
{
  struct Case
  {
    const char* what;
    Bytes events;
    size_t expected;
  };
  const Case cases[] = {
      {"variable-length delta of five bytes", {0x00, 0x90, 1, 1, 0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 2, 2}, 1},
      {"data byte before any status", {0x00, 0x40, 0x40}, 0},
      {"data byte with the top bit set", {0x00, 0x90, 1, 1, 0x00, 0x90, 0x80, 1}, 1},
      {"meta event longer than the track", {0x00, 0x90, 1, 1, 0x00, 0xFF, 0x01, 0x7F, 'a'}, 1},
      {"sysex longer than the track", {0x00, 0xF0, 0x7F, 0x01}, 0},
      {"system real-time byte in the file", {0x00, 0x90, 1, 1, 0x00, 0xF8, 0x00, 0x90, 2, 2}, 1},
  };
  for (const Case& c : cases) {
    Bytes f = Header(0, 1, 96);
    Append(&f, Track(c.events));
    MidiFile m;
    std::string error;
    ASSERT_TRUE(Parse(f, &m, &error)) << c.what << ": " << error;
    EXPECT_EQ(m.events.size(), c.expected) << c.what;
  }
}
