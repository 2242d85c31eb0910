// Making and decoding MIDI messages, and their diagnostic texts.
#include "IPlugStructs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>

namespace {

void ExpectBytes(const IMidiMsg& m, int offset, int status, int data1, int data2)
{
  EXPECT_EQ(m.mOffset, offset);
  EXPECT_EQ(m.mStatus, status);
  EXPECT_EQ(m.mData1, data1);
  EXPECT_EQ(m.mData2, data2);
}

TEST(MidiMsg, DefaultAndClearedMessagesAreAllZero)
{
  IMidiMsg m;
  ExpectBytes(m, 0, 0, 0, 0);
  m.MakeNoteOnMsg(60, 100, 12, 5);
  m.Clear();
  ExpectBytes(m, 0, 0, 0, 0);
  ISysEx s(7, reinterpret_cast<const uint8_t*>("x"), 1);
  s.Clear();
  EXPECT_EQ(s.mOffset, 0);
  EXPECT_EQ(s.mSize, 0);
  EXPECT_EQ(s.mData, nullptr);
}

TEST(MidiMsg, NoteMakersFillTheWholeMessage)
{
  IMidiMsg m(99, 0xFF, 0xFF, 0xFF);
  m.MakeNoteOnMsg(60, 100, 12, 5);
  ExpectBytes(m, 12, 0x95, 60, 100);
  EXPECT_EQ(m.Channel(), 5);
  m.MakeNoteOffMsg(61, 3, 15);
  ExpectBytes(m, 3, 0x8F, 61, 0);
  EXPECT_EQ(m.Velocity(), 0);
  EXPECT_EQ(m.NoteNumber(), 61);
}

struct PitchCase
{
  double value;
  int channel;
  int data1, data2;
};

std::ostream& operator<<(std::ostream& os, const PitchCase& c)
{
  return os << c.value << " channel " << c.channel;
}

class PitchWheel : public ::testing::TestWithParam<PitchCase>
{
};

TEST_P(PitchWheel, FourteenBitsCentredOn8192)
{
  const PitchCase& c = GetParam();
  IMidiMsg m(55);
  m.MakePitchWheelMsg(c.value, c.channel);
  ExpectBytes(m, 0, 0xE0 | c.channel, c.data1, c.data2);
  EXPECT_DOUBLE_EQ(m.PitchWheel(), (c.data2 * 128 + c.data1 - 8192) / 8192.0);
}

INSTANTIATE_TEST_SUITE_P(Values, PitchWheel,
                         ::testing::Values(PitchCase{1.0, 0, 127, 127}, PitchCase{-1.0, 0, 0, 0},
                                           PitchCase{0.0, 3, 0, 64}, PitchCase{0.5, 0, 0, 96}, // 12288
                                           PitchCase{-0.25, 1, 0, 48},                         // 6144
                                           PitchCase{0.0001, 0, 0, 64},                        // 8192.8192 truncates
                                           PitchCase{5.0, 0, 127, 127},                        // clamped
                                           PitchCase{-1e300, 0, 0, 0},                         // clamped, no overflow
                                           PitchCase{std::nan(""), 2, 0, 64}));

TEST(MidiMsg, PitchWheelReadsBack)
{
  IMidiMsg m;
  m.MakePitchWheelMsg(0.0, 0);
  EXPECT_EQ(m.PitchWheel(), 0.0);
  m.MakePitchWheelMsg(1.0, 0);
  EXPECT_DOUBLE_EQ(m.PitchWheel(), 8191.0 / 8192.0);
  m.MakePitchWheelMsg(-1.0, 0);
  EXPECT_EQ(m.PitchWheel(), -1.0);
}

TEST(MidiMsg, ControlChange)
{
  IMidiMsg m(40);
  m.MakeControlChangeMsg(IMidiMsg::kModWheel, 1.0, 2);
  ExpectBytes(m, 0, 0xB2, 1, 127);
  EXPECT_EQ(m.ControlChangeIdx(), 1);
  EXPECT_EQ(m.ControlChange(IMidiMsg::kModWheel), 1.0);
  EXPECT_EQ(m.ControlChange(IMidiMsg::kSustainOnOff), -1.0);

  m.MakeControlChangeMsg(IMidiMsg::kSustainOnOff, 0.5, 0); // 63.5 truncates to 63
  ExpectBytes(m, 0, 0xB0, 64, 63);
  EXPECT_DOUBLE_EQ(m.ControlChange(IMidiMsg::kSustainOnOff), 63.0 / 127.0);
  m.MakeControlChangeMsg(IMidiMsg::EControlChangeMsg(74), -0.5, 0); // -63, low 8 bits
  EXPECT_EQ(m.mData2, 256 - 63);
  m.MakeControlChangeMsg(IMidiMsg::kModWheel, 1e300, 0); // saturates instead of overflowing
  m.MakeControlChangeMsg(IMidiMsg::kModWheel, std::nan(""), 0);
  EXPECT_EQ(m.mData2, 0);
}

TEST(MidiMsg, StatusMsgOfEveryStatusByte)
{
  for (int status = 0; status < 256; ++status) {
    IMidiMsg m(0, uint8_t(status), 1, 2);
    int expected = 0;
    if (status >= 0x80 && status < 0xF0) expected = status / 16;
    EXPECT_EQ(m.StatusMsg(), expected) << status;
    EXPECT_EQ(m.Channel(), status % 16);
  }
}

// Each row: status byte, then the answers of NoteNumber, Velocity, PolyAfterTouch,
// ChannelAfterTouch, Program, PitchWheel and ControlChange(7) for data bytes 7 and 127.
struct QueryCase
{
  int status;
  int note, velocity, polyAT, channelAT, program;
  double pitch, control;
};

std::ostream& operator<<(std::ostream& os, const QueryCase& c)
{
  return os << "status " << c.status;
}

class MidiQueries : public ::testing::TestWithParam<QueryCase>
{
};

TEST_P(MidiQueries, DecodeTheirKindAndAnswerAFixedValueOtherwise)
{
  const QueryCase& c = GetParam();
  const IMidiMsg m(0, uint8_t(c.status), 7, 127);
  EXPECT_EQ(m.NoteNumber(), c.note);
  EXPECT_EQ(m.Velocity(), c.velocity);
  EXPECT_EQ(m.PolyAfterTouch(), c.polyAT);
  EXPECT_EQ(m.ChannelAfterTouch(), c.channelAT);
  EXPECT_EQ(m.Program(), c.program);
  EXPECT_DOUBLE_EQ(m.PitchWheel(), c.pitch);
  EXPECT_DOUBLE_EQ(m.ControlChange(IMidiMsg::kChannelVolume), c.control);
  EXPECT_EQ(m.ControlChangeIdx(), 7);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MidiQueries,
    ::testing::Values(QueryCase{0x81, 7, 127, -1, -1, -1, 0.0, -1.0}, QueryCase{0x92, 7, 127, -1, -1, -1, 0.0, -1.0},
                      QueryCase{0xA3, 7, -1, 127, -1, -1, 0.0, -1.0}, QueryCase{0xB4, -1, -1, -1, -1, -1, 0.0, 1.0},
                      QueryCase{0xC5, -1, -1, -1, -1, 7, 0.0, -1.0}, QueryCase{0xD6, -1, -1, -1, 7, -1, 0.0, -1.0},
                      QueryCase{0xE7, -1, -1, -1, -1, -1, (127 * 128 + 7 - 8192) / 8192.0, -1.0},
                      QueryCase{0xF8, -1, -1, -1, -1, -1, 0.0, -1.0}, QueryCase{0x45, -1, -1, -1, -1, -1, 0.0, -1.0}));

TEST(MidiMsg, StatusNames)
{
  const char* expected[15] = {"none",       "unknown",       "unknown",       "unknown",           "unknown",
                              "unknown",    "unknown",       "unknown",       "noteoff",           "noteon",
                              "aftertouch", "controlchange", "programchange", "channelaftertouch", "pitchwheel"};
  for (int i = 0; i < 15; ++i) EXPECT_STREQ(StatusMsgStr(IMidiMsg::EStatusMsg(i)), expected[i]) << i;
  for (int i : {-1, 15, 200}) EXPECT_STREQ(StatusMsgStr(IMidiMsg::EStatusMsg(i)), "unknown") << i;
}

struct SysExCase
{
  int maxLength;
  int size;
  const char* expected;
};

std::ostream& operator<<(std::ostream& os, const SysExCase& c)
{
  return os << "max " << c.maxLength << " size " << c.size;
}

class SysExText : public ::testing::TestWithParam<SysExCase>
{
};

TEST_P(SysExText, UpperCaseHexWithinTheGivenLength)
{
  const SysExCase& c = GetParam();
  const uint8_t data[] = {0xF0, 0x7e, 0x01, 0xF7};
  char buf[32];
  std::memset(buf, '#', sizeof(buf));
  EXPECT_EQ(SysExStr(buf, c.maxLength, data, c.size), buf);
  EXPECT_STREQ(buf, c.expected);
  for (int i = c.maxLength; i < int(sizeof(buf)); ++i) ASSERT_EQ(buf[i], '#') << "wrote past maxLength at " << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, SysExText,
                         ::testing::Values(SysExCase{12, 4, "F0 7E 01 F7"}, SysExCase{20, 4, "F0 7E 01 F7"},
                                           SysExCase{11, 4, "F0 7E 01"}, SysExCase{9, 4, "F0 7E 01"},
                                           SysExCase{3, 4, "F0"}, SysExCase{5, 4, "F0"}, SysExCase{12, 2, "F0 7E"},
                                           SysExCase{12, 0, ""}, SysExCase{2, 4, ""}));

TEST(MidiMsg, SysExTextWithoutData)
{
  char buf[8] = "xxxxxxx";
  EXPECT_STREQ(SysExStr(buf, 8, nullptr, 4), "");
  EXPECT_EQ(SysExStr(nullptr, 8, nullptr, 4), nullptr);
}

} // namespace
