// What in-process tests, fuzz targets and benchmarks of the plug-ins need of a host.
#pragma once

#include "VST24Linux.h"

#include <cstdlib>
#include <string>
#include <vector>

// The host callback of a plug-in made without a host: it reports version 2.4 and answers
// nothing else.
inline VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? 2400 : 0;
}

// One MIDI message (status, data 1, data 2) at a sample offset within the next block.
inline VstMidiEvent MidiEvent(int offset, int status, int data1, int data2)
{
  VstMidiEvent e{};
  e.type = kVstMidiType;
  e.byteSize = sizeof(VstMidiEvent);
  e.deltaFrames = offset;
  e.midiData[0] = (char)status;
  e.midiData[1] = (char)data1;
  e.midiData[2] = (char)data2;
  return e;
}

// MIDI messages as a host hands them to effProcessEvents: the events and the list that points at them, made
// in advance (up to `capacity` of them), so that handing them over allocates nothing.
class HostEvents
{
public:
  explicit HostEvents(int capacity = 64)
      : events((size_t)capacity), storage(sizeof(VstEvents) + (size_t)capacity * sizeof(VstEvent*))
  {
  }
  // A message at a sample offset within the next block; ignored beyond the capacity.
  void add(int offset, int status, int data1, int data2)
  {
    if (count >= (int)events.size()) return;
    VstMidiEvent& e = events[(size_t)count];
    e = MidiEvent(offset, status, data1, data2);
    // The record declares two event slots; the list really holds as many as were allocated behind it (read
    // through a plain pointer, not the declared array).
    VstEvent** slots = list()->events;
    slots[count++] = reinterpret_cast<VstEvent*>(&e);
    list()->numEvents = count;
  }
  VstEvents* list() { return reinterpret_cast<VstEvents*>(storage.data()); }
  void send(AEffect* effect) { effect->dispatcher(effect, effProcessEvents, 0, 0, list(), 0.0f); }

private:
  std::vector<VstMidiEvent> events;
  std::vector<char> storage;
  int count = 0;
};

#ifdef VELTRANE_INIT_BANK
// Makes the folder of the generated start-up bank the resources folder of every Veltrane made
// afterwards in this process.
inline void UseGeneratedStartupBank()
{
  std::string folder = VELTRANE_INIT_BANK;
  folder.resize(folder.rfind('/') + 1);
  setenv("VELTRANE_RESOURCES", folder.c_str(), 1);
}
#endif
