// Pitch conversion and rounding, portamento steps, the tuning table and MIDI learn of the synth layer.
#include "Synth.h"

#include "IControl.h"
#include "fileread.h"
#include "tun_file.h"
#include "tun_scale.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr double kLowestHz = 8.176;            // MIDI note 0, pitch 0
constexpr double kHighestHz = 19912.127;       // note 135, pitch 17280
constexpr double kLowestAntiHz = 0.0033570162; // 135 semitones below note 0
constexpr int kLoadFailed = 8;

// Last three characters of a path, compared without regard to case.
bool hasExtension(const char* path, const char* ext)
{
  const size_t n = std::strlen(path);
  return n >= 3 && !strcasecmp(path + n - 3, ext);
}

// name into a tuning-name buffer of Synth::kTuningNameSize, cut to 255 characters.
void copyTuningName(char* out, const char* name)
{
  std::strncpy(out, name ? name : "", Synth::kTuningNameSize - 1);
  out[Synth::kTuningNameSize - 1] = '\0';
}
} // namespace

double Synth::convert2Hz(int x)
{
  if (x == 0) return kLowestHz;
  if (x > kMaxPitch - 1) return kHighestHz;
  if (x < -(kMaxPitch - 1)) return kLowestAntiHz;
  const double* table = x > 0 ? MIDI2Hz : AntiMIDI2Hz;
  const int m = std::abs(x);
  const int i = m / 128, f = m % 128;
  return table[i] + (table[i + 1] - table[i]) * f / 128;
}

int Synth::floorPitch(double pitch)
{
  constexpr double kLimit = 16777216.0;        // far beyond any pitch a tuning and a bend range can give
  if (!(pitch > -kLimit)) return (int)-kLimit; // also NaN
  if (pitch > kLimit) return (int)kLimit;
  return (int)std::floor(pitch);
}

void Synth::startGlide(int target, double seconds, double* current, double* step, int* countdown)
{
  const double ticks = seconds > 0.0 ? seconds * 1000.0 : 0.0;
  *countdown = ticks < (double)INT_MAX ? (int)ticks : INT_MAX;
  if (*countdown > 0) {
    *step = (target - *current) / ticks;
  } else {
    *step = 0.0;
    *current = target;
  }
}

int Synth::getFrequency(int note)
{
  return note >= 0 && note < kNumNotes ? tuningTable[note] : 0;
}

void Synth::setTuningName(const char* name)
{
  copyTuningName(tuningName, name);
}

bool Synth::isCustomTuning() const
{
  if (strcasecmp(tuningName, kEqualTuningName) != 0) return true;
  // A table retuned under the standard name (a file that calls itself so) is custom all the same: the state
  // chunk must keep it.
  for (int n = 0; n < kNumNotes; ++n)
    if (tuningTable[n] != n * 128) return true;
  return false;
}

void Synth::resetTuning()
{
  for (int n = 0; n < kNumNotes; ++n) tuningTable[n] = n * 128;
  sclImport.ResetMapping();
  sclImport.ResetTuning();
  setTuningName(kEqualTuningName);
}

int Synth::readTuning(const char* path, const TUN::CSCL_Import& importer, TuningRead* out) const
{
  if (!out) return kLoadFailed;
  out->result = kLoadFailed;
  out->importer = importer;
  if (!path) path = "";
  TUN::CSCL_Import& scala = out->importer;
  TUN::CSingleScale scale;
  bool ok;
  if (hasExtension(path, "scl")) {
    ok = scala.ReadSCL(path);
    scala.SetSingleScale(scale);
    copyTuningName(out->name, scala.m_strScaleName.c_str());
  } else if (hasExtension(path, "kbm")) {
    ok = scala.ReadKBM(path);
    scala.SetSingleScale(scale);
    // The importer's scale under the new mapping; both names, so that the editor shows a mapping is in use
    // even over the default scale.
    copyTuningName(out->name, (scala.m_strScaleName + " / " + scala.m_strMappingName).c_str());
  } else {
    ok = scale.Read(path) > 0;
    copyTuningName(out->name, scale.m_strDescription.c_str());
  }
  if (!ok) return kLoadFailed;

  for (int n = 0; n < kNumNotes; ++n) {
    int p = n * 128;
    const long s = scale.MapMIDI2Scale(n);
    double t = s >= 0 && s < (long)scale.m_vdblNoteFrequenciesHz.size() ? scale.m_vdblNoteFrequenciesHz[s] : NAN;
    if (std::isfinite(t)) {
      t = t < kLowestHz ? kLowestHz : (t > kHighestHz ? kHighestHz : t);
      if (convert2Hz(p) > t) {
        while (convert2Hz(p) > t) --p; // the highest pitch not above t
      } else {
        do ++p;
        while (convert2Hz(p) < t); // the lowest pitch above n * 128 not below t
      }
    } // a frequency that is no number keeps the note's equal-tempered pitch
    out->table[n] = p;
  }
  out->result = 0;
  return 0;
}

void Synth::applyTuning(const TuningRead& read)
{
  if (read.result != 0) return;
  std::memcpy(tuningTable, read.table, sizeof(tuningTable));
  std::memcpy(tuningName, read.name, sizeof(tuningName));
  tuningName[kTuningNameSize - 1] = '\0';
  sclImport = read.importer;
}

int Synth::loadTuning(const char* path, int* err)
{
  // Only a regular file of a tuning file's size is read (a pipe or a device would never end), and without the
  // mutex: the audio goes on while the disk answers. The importer it combines with is copied under it.
  int e = 0;
  const int fd = WDL_OpenRegularFile(path, &e);
  struct stat st;
  const bool fits = fd >= 0 && fstat(fd, &st) == 0 && st.st_size <= TUN::MaxFileBytes;
  if (fd >= 0) close(fd);
  TuningRead read;
  if (fits) {
    TUN::CSCL_Import importer;
    {
      WDL_MutexLock lock(&mMutex);
      importer = sclImport;
    }
    readTuning(path, importer, &read);
  }
  if (read.result != 0) {
    if (err) *err = fd < 0 ? e : !fits ? EFBIG : EBADMSG;
    return read.result;
  }
  WDL_MutexLock lock(&mMutex);
  applyTuning(read);
  return 0;
}

// ---- MIDI learn ----

void Synth::doMidiLearn(bool on)
{
  // Editor thread: the audio thread reads the learn state while it queues controllers.
  WDL_MutexLock lock(&mMutex);
  midiLearnArmed = on;
  midiUnlearnMode = false;
  midiLearnCC = -1;
  learnDisarmed = false; // the switch shows what it was set to
}

void Synth::doMidiUnlearn(bool on)
{
  WDL_MutexLock lock(&mMutex);
  midiLearnArmed = on;
  midiUnlearnMode = true;
  midiLearnCC = -1;
  learnDisarmed = false;
}

void Synth::setMidiLearnParam(int paramIdx)
{
  midiLearnParam = paramIdx;
  applyMidiLearn();
}

void Synth::setMidiLearnCC(int cc)
{
  // Only controllers with a map entry can be learned; others leave learn waiting.
  if (cc < 0 || cc >= kNumLearnControllers) return;
  midiLearnCC = cc;
  applyMidiLearn();
}

void Synth::applyMidiLearn()
{
  const bool ccPending = midiLearnCC >= 0 && midiLearnCC < kNumLearnControllers;
  if (midiLearnArmed) {
    if (midiUnlearnMode) {
      if (ccPending)
        midiLearnMap[midiLearnCC] = -1;
      else if (midiLearnParam != -1) {
        for (int& p : midiLearnMap)
          if (p == midiLearnParam) p = -1;
      } else
        return; // keep waiting
      midiLearnArmed = false;
      midiUnlearnMode = false;
    } else {
      if (!ccPending || midiLearnParam == -1) return; // keep waiting
      for (int& p : midiLearnMap)
        if (p == midiLearnParam) p = -1;
      midiLearnMap[midiLearnCC] = midiLearnParam;
      midiLearnArmed = false;
    }
  }
  // The editor's switch shows off at its next tick: the editor thread alone writes it, whatever thread this is.
  learnDisarmed = true;
}

bool Synth::hasMidiControllerMap() const
{
  for (int p : midiLearnMap)
    if (p >= 0) return true;
  return false;
}
