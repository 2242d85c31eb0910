// The synth layer's host-facing input: MIDI events (with MIDI learn switched on and off in between) and
// tuning files of any content. The first byte chooses: 0..127 MIDI, then 4 bytes per event (offset, status,
// data 1, data 2); 128 and up a tuning file whose extension is .tun, .scl or .kbm by that byte, the rest
// being its content. Nothing may crash, hang or leave a pitch outside the table's range.
#include "Synth.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
VstIntPtr Host(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

class FuzzSynth : public Synth
{
public:
  FuzzSynth() : Synth(IPlugInstanceInfo{Host}) { AttachGraphics(graphics); }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1) return 0;
  FuzzSynth s;
  s.SetSampleRate(44100.0);
  s.SetBlockSize(64);
  s.Reset();
  if (data[0] < 128) {
    for (size_t i = 1; i + 4 <= size; i += 4) {
      if (data[i] == 0xFF) s.doMidiLearn(data[i + 1] & 1);
      if (data[i] == 0xFE) s.doMidiUnlearn(data[i + 1] & 1);
      if (data[i] == 0xFD) s.OnParamChange(data[i + 1] * 2 % 304); // host and private parameters
      IMidiMsg m((int)data[i] * 16, data[i + 1], data[i + 2], data[i + 3]);
      s.ProcessMidiMsg(&m);
      s.addPressedKey(data[i + 2]);
      if (data[i + 3] & 1) s.removePressedKey(data[i + 2]);
    }
    for (int i = 1; i < s.numPressedKeys; ++i)
      if (s.pressedKeys[i - 1] >= s.pressedKeys[i]) abort();
    for (int p : s.midiLearnMap)
      if (p < -1 || p >= 304) abort();
    return 0;
  }
  static const char* const kExt[] = {"tun", "scl", "kbm"};
  char path[] = "/tmp/synth_input_fuzz_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return 0;
  if (size > 1 && write(fd, data + 1, size - 1) < 0) {
    close(fd);
    unlink(path);
    return 0;
  }
  close(fd);
  char named[64];
  std::snprintf(named, sizeof(named), "%s.%s", path, kExt[data[0] % 3]);
  if (rename(path, named) != 0) {
    unlink(path);
    return 0;
  }
  s.loadTuning(named);
  unlink(named);
  for (int n = 0; n < 128; ++n)
    if (s.tuningTable[n] < 0 || s.tuningTable[n] > Synth::kMaxPitch) abort();
  return 0;
}
