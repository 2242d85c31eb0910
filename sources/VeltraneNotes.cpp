// The product's note layer: note on, note off and polyphonic aftertouch become voice activity; the common
// note values that master modules read (master pitch, Note, Note+, Velo, the Single and Multi gates) and the
// master portamento are kept here; all-notes-off and the editor's drone note.
//
// Threads: the note handlers run on the audio thread inside a control tick; allNotesOff also runs from
// program changes and parameter 288 on other threads; all under the instance mutex.
#include "Veltrane.h"

#include <climits>

int Veltrane::chooseVoice(int note)
{
  const int n = activeVoices < kNumVoices ? activeVoices : kNumVoices;
  // The voice that played this note last, sounding or not, so a repeated note re-triggers it.
  for (int v = 0; v < n; ++v)
    if (voices[v].noteNumber == note) return v;
  for (int v = 0; v < n; ++v)
    if (!voices[v].active) return v;
  // All busy: steal the oldest note; on equal counts the lowest index.
  int oldest = 0;
  for (int v = 1; v < n; ++v)
    if (voices[v].noteOnCounter < voices[oldest].noteOnCounter) oldest = v;
  return oldest;
}

void Veltrane::setNoteOn(int note, int velocity)
{
  addPressedKey(note);
  const int pitch = getFrequency(note);
  masterTargetPitch = pitch;
  // Master portamento; in legato mode only a note played over a sounding one glides.
  const bool glide = portamentoTime > 0.0 && (!portaLegatoOn || single > 0.0);
  startGlide(pitch, glide ? portamentoTime : 0.0, &glideCurrent, &glideStep, &glideCountdown);
  masterNotePos = pitch / 6144.0;
  masterNote = getFrequency(note - 48) / 6144.0;
  masterVelo = velocity / 127.0;
  single = 1.0;
  // Note ons within one tick share one Multi value; modules trigger when a gate rises.
  multi = multiAtLastTick + 1.0;

  Voice& voice = voices[chooseVoice(note)];
  noteOnCounter = noteOnCounter < INT_MAX ? noteOnCounter + 1 : INT_MAX;
  voice.setNoteOn(note, noteOnCounter, velocity / 127.0);
}

void Veltrane::setNoteOff(int note)
{
  removePressedKey(note);
  if (numPressedKeys == 0) single = multi = 0.0;
  const int n = activeVoices < kNumVoices ? activeVoices : kNumVoices;
  // One voice: back to the highest key still held, without a new attack.
  if (n == 1 && voices[0].noteNumber == note && voices[0].active && numPressedKeys > 0) {
    voices[0].replayNote(pressedKeys[numPressedKeys - 1]);
    return;
  }
  for (int v = 0; v < n; ++v) {
    if (voices[v].active && voices[v].noteNumber == note) {
      voices[v].setNoteOff(false);
      return;
    }
  }
  // No sounding voice plays it. The voice that took the note may be silent (it holds no modules, or its
  // envelope has ended) but still counts the key as down: release it too, or in single-trigger mode its
  // envelope would never start again.
  for (int v = 0; v < n; ++v) {
    if (voices[v].noteNumber == note) {
      voices[v].setNoteOff(false);
      return;
    }
  }
}

void Veltrane::setPolyAftertouch(int note, int value)
{
  voices[chooseVoice(note)].polyA = value / 127.0;
}

void Veltrane::allNotesOff()
{
  WDL_MutexLock lock(&mMutex);
  clearKeyBuffer();
  resetDroneMode();
  single = multi = 0.0;
  for (Voice& voice : voices) {
    voice.setSustain(false);
    voice.setNoteOff(true);
  }
}

void Veltrane::startDroneMode(int note)
{
  // Editor thread: the queue and the voices belong to the audio thread, so both go through the mutex.
  WDL_MutexLock lock(&mMutex);
  if (note < 0) {
    allNotesOff();
    return;
  }
  IMidiMsg msg;
  msg.MakeNoteOnMsg(note, 100, 0, 0);
  ProcessMidiMsg(&msg);
}
