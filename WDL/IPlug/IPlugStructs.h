// Plain records the framework passes around: short MIDI messages and SysEx messages.
#pragma once

#include <cstdint>

// One short MIDI message with its sample offset in the current processing block.
// The queries decode one kind of message and answer a fixed "not this kind" value otherwise, so a
// handler can test and decode in one call (NoteNumber() of a controller message is -1).
struct IMidiMsg
{
  enum EStatusMsg : int {
    kNone = 0,
    kNoteOff = 8,
    kNoteOn = 9,
    kPolyAftertouch = 10,
    kControlChange = 11,
    kProgramChange = 12,
    kChannelAftertouch = 13,
    kPitchWheel = 14
  };

  // Any controller number 0-127 is valid; these are the ones with a fixed meaning here.
  enum EControlChangeMsg : int {
    kModWheel = 1,
    kBreathController = 2,
    kChannelVolume = 7,
    kPan = 10,
    kExpressionController = 11,
    kSustainOnOff = 64,
    kAllSoundOff = 120,
    kResetAllControllers = 121,
    kAllNotesOff = 123
  };

  int32_t mOffset;
  uint8_t mStatus; // kind in the high nibble, channel 0-15 in the low nibble
  uint8_t mData1;
  uint8_t mData2;

  IMidiMsg(int offset = 0, uint8_t status = 0, uint8_t data1 = 0, uint8_t data2 = 0)
      : mOffset(offset), mStatus(status), mData1(data1), mData2(data2)
  {
  }

  void MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel = 0);
  void MakeNoteOffMsg(int noteNumber, int offset, int channel = 0);
  // value -1 .. +1 (clamped to the 14-bit range); offset 0.
  void MakePitchWheelMsg(double value, int channel = 0);
  // value 0 .. 1 maps to 0 .. 127; offset 0.
  void MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel = 0);
  void Clear();

  int Channel() const { return mStatus & 0x0F; }
  EStatusMsg StatusMsg() const;
  int NoteNumber() const;        // note off, note on, poly aftertouch; else -1
  int Velocity() const;          // note off, note on; else -1
  int PolyAfterTouch() const;    // else -1
  int ChannelAfterTouch() const; // else -1
  int Program() const;           // else -1
  double PitchWheel() const;     // -1 .. +8191/8192; 0.0 for other kinds
  int ControlChangeIdx() const { return mData1; }
  double ControlChange(EControlChangeMsg idx) const; // 0 .. 1 for controller idx; else -1.0
  void LogMsg() {}
};

// A SysEx message. The bytes are not owned and live only during the call that delivers them.
struct ISysEx
{
  int32_t mOffset;
  int32_t mSize;
  const uint8_t* mData;

  ISysEx(int offset = 0, const uint8_t* data = nullptr, int size = 0) : mOffset(offset), mSize(size), mData(data) {}
  void Clear();
  void LogMsg() {}
};

// Name of a message kind for diagnostics ("noteon", ...); "unknown" outside 0-14.
const char* StatusMsgStr(IMidiMsg::EStatusMsg msg);

// Writes at most min(maxLength / 3, size) bytes as "F0 7E 00" into str (maxLength bytes including
// the terminator); "" for no data. Returns str.
char* SysExStr(char* str, int maxLength, const uint8_t* data, int size);
