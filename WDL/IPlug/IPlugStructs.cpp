#include "IPlugStructs.h"

#include <algorithm>
#include <cmath>

namespace {

// double -> int truncated toward zero, saturating instead of overflowing; NaN gives 0.
int TruncSaturated(double x, int lo, int hi)
{
  if (!(x == x)) return 0;
  return int(std::clamp(std::trunc(x), double(lo), double(hi)));
}

} // namespace

void IMidiMsg::MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel)
{
  mOffset = offset;
  mStatus = uint8_t(0x90 | (channel & 0x0F));
  mData1 = uint8_t(noteNumber);
  mData2 = uint8_t(velocity);
}

void IMidiMsg::MakeNoteOffMsg(int noteNumber, int offset, int channel)
{
  mOffset = offset;
  mStatus = uint8_t(0x80 | (channel & 0x0F));
  mData1 = uint8_t(noteNumber);
  mData2 = 0;
}

void IMidiMsg::MakePitchWheelMsg(double value, int channel)
{
  // 14 bits centred on 8192: -1 gives 0, 0 gives 8192, +1 is clamped to 16383.
  const int v = std::clamp(TruncSaturated(value * 8192.0, -16384, 16384) + 8192, 0, 16383);
  mOffset = 0;
  mStatus = uint8_t(0xE0 | (channel & 0x0F));
  mData1 = uint8_t(v & 0x7F);
  mData2 = uint8_t(v >> 7);
}

void IMidiMsg::MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel)
{
  mOffset = 0;
  mStatus = uint8_t(0xB0 | (channel & 0x0F));
  mData1 = uint8_t(idx);
  mData2 = uint8_t(TruncSaturated(value * 127.0, -(1 << 30), 1 << 30) & 0xFF);
}

void IMidiMsg::Clear()
{
  mOffset = 0;
  mStatus = mData1 = mData2 = 0;
}

IMidiMsg::EStatusMsg IMidiMsg::StatusMsg() const
{
  // Data bytes (running status) and system messages 0xF0-0xFF are no channel message.
  if (mStatus < 0x80 || mStatus >= 0xF0) return kNone;
  return EStatusMsg(mStatus >> 4);
}

int IMidiMsg::NoteNumber() const
{
  switch (StatusMsg()) {
  case kNoteOff:
  case kNoteOn:
  case kPolyAftertouch:
    return mData1;
  default:
    return -1;
  }
}

int IMidiMsg::Velocity() const
{
  const EStatusMsg kind = StatusMsg();
  return (kind == kNoteOn || kind == kNoteOff) ? mData2 : -1;
}

int IMidiMsg::PolyAfterTouch() const
{
  return (mStatus & 0xF0) == 0xA0 ? mData2 : -1;
}

int IMidiMsg::ChannelAfterTouch() const
{
  return (mStatus & 0xF0) == 0xD0 ? mData1 : -1;
}

int IMidiMsg::Program() const
{
  return (mStatus & 0xF0) == 0xC0 ? mData1 : -1;
}

double IMidiMsg::PitchWheel() const
{
  if ((mStatus & 0xF0) != 0xE0) return 0.0;
  return double(mData2 * 128 + mData1 - 8192) / 8192.0;
}

double IMidiMsg::ControlChange(EControlChangeMsg idx) const
{
  if ((mStatus & 0xF0) == 0xB0 && mData1 == int(idx)) return mData2 / 127.0;
  return -1.0;
}

void ISysEx::Clear()
{
  mOffset = mSize = 0;
  mData = nullptr;
}

const char* StatusMsgStr(IMidiMsg::EStatusMsg msg)
{
  static const char* const kNames[15] = {
      "none",    "unknown", "unknown",    "unknown",       "unknown",       "unknown",           "unknown",   "unknown",
      "noteoff", "noteon",  "aftertouch", "controlchange", "programchange", "channelaftertouch", "pitchwheel"};
  const int i = int(msg);
  return (i >= 0 && i < 15) ? kNames[i] : "unknown";
}

char* SysExStr(char* str, int maxLength, const uint8_t* data, int size)
{
  if (!str || maxLength < 1) return str;
  str[0] = 0;
  if (!data || size <= 0) return str;
  static const char kHex[] = "0123456789ABCDEF";
  const int n = std::min(maxLength / 3, size);
  char* p = str;
  for (int i = 0; i < n; ++i) {
    *p++ = kHex[data[i] >> 4];
    *p++ = kHex[data[i] & 15];
    *p++ = ' ';
  }
  if (n > 0) p[-1] = 0; // the last blank becomes the terminator: 3n bytes in all
  return str;
}
