// A careless host's MIDI through the plug-in's event call: data bytes with the high bit set, and events far
// beyond the block. The controls the events drive stay in their ranges and the queue holds only what a
// block can play.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <climits>

namespace {
struct Bank
{
  Bank() { UseGeneratedStartupBank(); }
} bank;
} // namespace

// MIDI data bytes are 7 bits; a host that passes 0xFF where 0x7F belongs must not drive a control beyond its
// range (a pitch bend of +3, a velocity or controller of 2).
TEST(HostileMidi, DataBytesWithTheHighBitSetStayInRange)
{
  const struct
  {
    int status, data1, data2;
  } cases[] = {
      {0x90, 60, 0xFF},   // note on, velocity
      {0x90, 0xBC, 100},  // note on, key 188 (60 with the high bit)
      {0xE0, 0xFF, 0xFF}, // pitch bend
      {0xE0, 0x80, 0x80}, // pitch bend, 0 with the high bits
      {0xB0, 1, 0xFF},    // mod wheel
      {0xD0, 0xFF, 0},    // channel aftertouch
      {0xA0, 60, 0xFF},   // poly aftertouch
  };
  for (const auto& c : cases) {
    HostedVeltrane h;
    h.midi(0, 0x90, 60, 100);
    h.midi(0, c.status, c.data1, c.data2);
    h.run(512);
    const Veltrane& v = *h.plug;
    const auto at = [&] { return ::testing::Message() << std::hex << c.status << " " << c.data1 << " " << c.data2; };
    EXPECT_TRUE(v.pBend >= -1.0 && v.pBend <= 1.0) << at() << ": bend " << v.pBend;
    EXPECT_LE(v.masterVelo, 1.0) << at();
    EXPECT_LE(v.mwPos, 1.0) << at();
    EXPECT_LE(v.chAft, 1.0) << at();
    for (const Voice& voice : v.voices) EXPECT_LE(voice.polyA, 1.0) << at();
    // Key 188 is key 60 again: one voice sounds.
    int sounding = 0;
    for (const Voice& voice : v.voices) sounding += voice.active;
    EXPECT_EQ(1, sounding) << at();
  }
}
