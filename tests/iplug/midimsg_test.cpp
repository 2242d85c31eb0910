// Making and decoding MIDI messages, and their diagnostic texts.
#include "IPlugStructs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

void ExpectBytes(const IMidiMsg& m, int offset, int status, int data1, int data2)
{
  EXPECT_EQ(m.mOffset, offset);
  EXPECT_EQ(m.mStatus, status);
  EXPECT_EQ(m.mData1, data1);
  EXPECT_EQ(m.mData2, data2);
}

TEST(MidiMsg, MakersFillTheWholeMessage)
{
  IMidiMsg m(99, 0xFF, 0xFF, 0xFF);
  m.MakeNoteOnMsg(60, 100, 12, 5);
  ExpectBytes(m, 12, 0x95, 60, 100);
  EXPECT_EQ(m.Channel(), 5);
  m.MakeNoteOffMsg(61, 3, 15);
  ExpectBytes(m, 3, 0x8F, 61, 0);
  EXPECT_EQ(m.Velocity(), 0);
  m.MakeControlChangeMsg(IMidiMsg::kModWheel, 1.0, 2);
  ExpectBytes(m, 0, 0xB2, 1, 127);
  m.MakeControlChangeMsg(IMidiMsg::kSustainOnOff, 0.5, 0); // 63.5 truncates
  ExpectBytes(m, 0, 0xB0, 64, 63);
  m.MakeControlChangeMsg(IMidiMsg::EControlChangeMsg(74), -0.5, 0); // -63, low 8 bits
  EXPECT_EQ(m.mData2, 256 - 63);
  m.MakeControlChangeMsg(IMidiMsg::kModWheel, 1e300, 0); // saturates instead of overflowing
  m.MakeControlChangeMsg(IMidiMsg::kModWheel, std::nan(""), 0);
  EXPECT_EQ(m.mData2, 0);
  m.Clear();
  ExpectBytes(m, 0, 0, 0, 0);
  ExpectBytes(IMidiMsg(), 0, 0, 0, 0);

  ISysEx s(7, reinterpret_cast<const uint8_t*>("x"), 1);
  s.Clear();
  EXPECT_EQ(s.mOffset + s.mSize, 0);
  EXPECT_EQ(s.mData, nullptr);
}

TEST(MidiMsg, PitchWheelIs14BitsCentredOn8192)
{
  const struct
  {
    double value;
    int channel, data1, data2;
  } cases[] = {{1.0, 0, 127, 127},          {-1.0, 0, 0, 0},   {0.0, 3, 0, 64},
               {0.5, 0, 0, 96} /* 12288 */, {-0.25, 1, 0, 48}, {0.0001, 0, 0, 64} /* 8192.8 truncates */,
               {5.0, 0, 127, 127},          {-1e300, 0, 0, 0}, {std::nan(""), 2, 0, 64}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    IMidiMsg m(55);
    m.MakePitchWheelMsg(c.value, c.channel);
    ExpectBytes(m, 0, 0xE0 | c.channel, c.data1, c.data2);
    EXPECT_DOUBLE_EQ(m.PitchWheel(), (c.data2 * 128 + c.data1 - 8192) / 8192.0);
  }
  IMidiMsg m;
  m.MakePitchWheelMsg(0.0, 0);
  EXPECT_EQ(m.PitchWheel(), 0.0);
}

TEST(MidiMsg, StatusMsgOfEveryStatusByte)
{
  for (int status = 0; status < 256; ++status) {
    const IMidiMsg m(0, uint8_t(status), 1, 2);
    EXPECT_EQ(m.StatusMsg(), (status >= 0x80 && status < 0xF0) ? status / 16 : 0) << status;
    EXPECT_EQ(m.Channel(), status % 16);
  }
}

TEST(MidiMsg, QueriesDecodeTheirKindAndAnswerAFixedValueOtherwise)
{
  // Data bytes 7 and 127; ControlChange asks for controller 7.
  const struct
  {
    int status, note, velocity, polyAT, channelAT, program;
    double pitch, control;
  } cases[] = {{0x81, 7, 127, -1, -1, -1, 0.0, -1.0},
               {0x92, 7, 127, -1, -1, -1, 0.0, -1.0},
               {0xA3, 7, -1, 127, -1, -1, 0.0, -1.0},
               {0xB4, -1, -1, -1, -1, -1, 0.0, 1.0},
               {0xC5, -1, -1, -1, -1, 7, 0.0, -1.0},
               {0xD6, -1, -1, -1, 7, -1, 0.0, -1.0},
               {0xE7, -1, -1, -1, -1, -1, (127 * 128 + 7 - 8192) / 8192.0, -1.0},
               {0xF8, -1, -1, -1, -1, -1, 0.0, -1.0},
               {0x45, -1, -1, -1, -1, -1, 0.0, -1.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
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
  const IMidiMsg sustain(0, 0xB0, 64, 63);
  EXPECT_EQ(sustain.ControlChange(IMidiMsg::kModWheel), -1.0);
  EXPECT_DOUBLE_EQ(sustain.ControlChange(IMidiMsg::kSustainOnOff), 63.0 / 127.0);
}

TEST(MidiMsg, StatusNames)
{
  const char* expected[15] = {"none",       "unknown",       "unknown",       "unknown",           "unknown",
                              "unknown",    "unknown",       "unknown",       "noteoff",           "noteon",
                              "aftertouch", "controlchange", "programchange", "channelaftertouch", "pitchwheel"};
  for (int i = 0; i < 15; ++i) EXPECT_STREQ(StatusMsgStr(IMidiMsg::EStatusMsg(i)), expected[i]) << i;
  for (int i : {-1, 15, 200}) EXPECT_STREQ(StatusMsgStr(IMidiMsg::EStatusMsg(i)), "unknown") << i;
}

TEST(MidiMsg, SysExTextIsUpperCaseHexWithinTheGivenLength)
{
  const uint8_t data[] = {0xF0, 0x7e, 0x01, 0xF7};
  const struct
  {
    int maxLength, size;
    const char* expected;
  } cases[] = {{12, 4, "F0 7E 01 F7"}, {20, 4, "F0 7E 01 F7"}, {11, 4, "F0 7E 01"}, {9, 4, "F0 7E 01"}, {3, 4, "F0"},
               {5, 4, "F0"},           {12, 2, "F0 7E"},       {12, 0, ""},         {2, 4, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "max " << c.maxLength << " size " << c.size);
    char buf[32];
    std::memset(buf, '#', sizeof(buf));
    EXPECT_EQ(SysExStr(buf, c.maxLength, data, c.size), buf);
    EXPECT_STREQ(buf, c.expected);
    for (int i = c.maxLength; i < int(sizeof(buf)); ++i) ASSERT_EQ(buf[i], '#') << "wrote past maxLength";
  }
  char buf[8] = "xxxxxxx";
  EXPECT_STREQ(SysExStr(buf, 8, nullptr, 4), "");
  EXPECT_EQ(SysExStr(nullptr, 8, data, 4), nullptr);
}

} // namespace
