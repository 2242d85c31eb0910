#include "OscWavetable.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "ModuleConventions.h"
#include "Veltrane.h"
#include "WaveReader.h"
#include "fft.h"
#include "fileread.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace ModuleConventions;

const char* const OscWavetable::labelInterpolate[2] = {"Interpolate", "Raw"};

OscWavetable::OscWavetable(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), frequencySource(nullptr),
      startPhase(0.0), syncSource(nullptr), startPhaseModSource(nullptr), resetSource(nullptr), position(0.0),
      positionModSource(nullptr), positionModAmount(0.0), pitchMod1Source(nullptr), pitchMod1Amount(0.0),
      pitchMod2Source(nullptr), pitchMod2Amount(0.0), waveCount(0), pitch(0), tune(0), severalWaves(false),
      raw(false), table{}, pitchSum(0), lastPitch(-1), lastBins(-1), previousReset(0.0), lastPosition(-1.0), phase(0),
      phaseIncrement(0), resetPhase(0), resetPending(false),
      freq2PhInc(phaseIncrementTable(0.0)), bandLow{}, bandHigh{}, bandWave(-1), bandBins(-1), bandHasNext(false)
{
  WDL_fft_init();
}

void OscWavetable::initParams(int base, Synth* synth)
{
  static const char* const kOff[1] = {"off"};
  clearParams(base, synth);
  declareEnum(synth, base + 0, 0, 1, kOff);
  declareDouble(synth, base + 1, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 2, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 3);
  declarePitchParams(synth, base + 4);
  declareSelector(synth, base + 10);
  declareEnum(synth, base + 11, 0, 2, labelInterpolate);
  declareStartPhaseParams(synth, base + 12);
}

void OscWavetable::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_OSCWAVETABLE);
}

void OscWavetable::setSampleRate(double rate)
{
  freq2PhInc = phaseIncrementTable(rate);
  phase = phaseIncrement = 0;
  // The increment is gone, so the pitch must be looked up again at the next tick even when no parameter
  // follows (a host reset sends none).
  lastPitch = -1;
}

void OscWavetable::setPitch(int semitones)
{
  pitch = semitones;
  pitchSum = semitones * 128 + tune;
}

void OscWavetable::setTune(int steps)
{
  tune = steps;
  pitchSum = pitch * 128 + steps;
}

void OscWavetable::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    setWaveTables();
    bandWave = -1; // the record may hold other waves now
    break;
  case 1:
    position = value;
    break;
  case 2:
    positionModAmount = value;
    break;
  case 3:
    positionModSource = getSource(clampToInt(value, 0, 1 << 20), SourceDef::MODULATION);
    break;
  case 4:
    setPitch(clampToInt(std::floor(value), -1000, 1000));
    break;
  case 5:
    setTune(clampToInt(std::floor(value), -100000, 100000));
    break;
  case 6:
    pitchMod1Amount = value;
    break;
  case 7:
    pitchMod1Source = getSource(clampToInt(value, 0, 1 << 20), SourceDef::MODULATION);
    break;
  case 8:
    pitchMod2Amount = value;
    break;
  case 9:
    pitchMod2Source = getSource(clampToInt(value, 0, 1 << 20), SourceDef::MODULATION);
    break;
  case 10:
    syncSource = getSource(clampToInt(value, 0, 1 << 20), SourceDef::SYNC);
    break;
  case 11:
    raw = value >= 0.5;
    break;
  case 12:
    startPhase = value;
    break;
  case 13:
    startPhaseModSource = getSource(clampToInt(value, 0, 1 << 20), SourceDef::MODULATION);
    break;
  case 14:
    resetSource = getSource(clampToInt(value, 0, 1 << 20), SourceDef::GATE);
    break;
  default:
    break;
  }
  lastPitch = -1;
  lastBins = -1;
  lastPosition = -1.0;
}

// ---- loading ----

namespace {
// The extension of a path: from its last "." after the last "/" or "\", empty when there is none.
const char* extensionOf(const char* path)
{
  const char* dot = nullptr;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') dot = nullptr;
    if (*p == '.') dot = p;
  }
  return dot ? dot : "";
}

bool sameText(const char* a, const char* b)
{
  for (; *a && *b; ++a, ++b) {
    const char ca = (*a >= 'A' && *a <= 'Z') ? (char)(*a + 32) : *a;
    if (ca != *b) return false;
  }
  return *a == *b;
}
} // namespace

SharedData* OscWavetable::record() const
{
  return config ? &config->sharedData : nullptr;
}

void OscWavetable::setWaveTables()
{
  SharedData* record = this->record();
  if (!record) return;
  if (record->changed && record->name.GetLength() > 0) {
    // The editor chose a file: load it now, under the instance mutex (the editor's control may use
    // loadWavetable instead, which decodes outside it).
    WaveSpectra spectra;
    if (readWavetableFile(record->name.Get(), &spectra)) {
      record->set(std::move(spectra.block)); // the waves it replaced are freed off the audio thread (SharedBytes)
    } else {
      record->name.Set(""); // the waves stay as they were
    }
    record->changed = false;
  }
  const uint32_t n = record->count;
  waveCount = (n > 0 && n % kWaveSize == 0 && record->data) ? (int)(n / kWaveSize) : 0;
  severalWaves = waveCount > 1;
}

double OscWavetable::CubicInterpolate(double y0, double y1, double y2, double y3, double mu)
{
  const double mu2 = mu * mu;
  const double a0 = y3 - y2 - y0 + y1;
  const double a1 = y0 - y1 - a0;
  const double a2 = y2 - y0;
  return a0 * mu * mu2 + a1 * mu2 + a2 * mu + y1;
}

double OscWavetable::getFromTriple(const unsigned char* message, int i)
{
  const unsigned char* b = message + 8 + 3 * i;
  const int top = b[0] & 127;
  const int v = top * 16384 + (b[1] & 127) * 128 + (b[2] & 127);
  const double sample = v / 1048575.0;
  return top > 63 ? sample - 2.0 : sample;
}

void OscWavetable::resampleCycle(const double* src, int n, double* out)
{
  // One cycle: the sample before the first is the last one and the one after the last is the first.
  auto at = [src, n](int k) { return src[((k % n) + n) % n]; };
  out[0] = src[0];
  out[kWaveSize - 1] = src[n - 1];
  const double step = (double)(n - 1) / (kWaveSize - 1);
  double x = 0.0;
  for (int i = 1; i < kWaveSize - 1; ++i) {
    x += step;
    int k = (int)std::floor(x);
    if (k > n - 2) k = n - 2;
    const double mu = x - k;
    out[i] = CubicInterpolate(at(k - 1), at(k), at(k + 1), at(k + 2), mu);
  }
}

bool OscWavetable::spectraFromWaves(const double* samples, int waves, WaveSpectra* out)
{
  if (!samples || !out || waves < 1 || waves > kMaxWaves) return false;
  SharedBytesRef block = SharedBytes::Make((size_t)waves * kWaveSize * sizeof(double));
  if (!block) return false;
  double* data = reinterpret_cast<double*>(block->Bytes());
  double work[kWaveSize];
  for (int w = 0; w < waves; ++w) {
    std::memcpy(work, samples + (size_t)w * kWaveSize, sizeof(work));
    WDL_real_fft(work, kWaveSize, 0);
    double* dest = data + (size_t)w * kWaveSize;
    for (int i = 0; i < kWaveSize; ++i) dest[i] = work[i] * (0.5 / kWaveSize);
  }
  out->block = std::move(block);
  out->data = data;
  out->count = (uint32_t)waves * kWaveSize;
  return true;
}

namespace {
constexpr double kMaxSample = 16.0; // 24 dB over full scale: more is a broken file, not a wave

// A table whose loudest sample, peak, lies beyond full scale (+-1) (or is no number) scaled down as a whole,
// keeping its shape and its waves' levels among themselves: samples, or the spectra that are their
// transforms. Within it (by more than rounding) nothing is touched.
void scaleToFullScale(double* values, int64_t n, double peak)
{
  if (!(peak > 1.0 + 1e-9)) return;
  const double gain = std::isfinite(peak) ? 1.0 / peak : 0.0;
  for (int64_t i = 0; i < n; ++i) values[i] *= gain;
}

// A float file's samples may lie beyond full scale, where no integer file's can.
void holdToFullScale(double* samples, int64_t n)
{
  double peak = 0.0;
  for (int64_t i = 0; i < n; ++i) peak = std::fmax(peak, std::fabs(samples[i]));
  scaleToFullScale(samples, n, peak);
}
} // namespace

void OscWavetable::holdSpectraToFullScale(double* data, uint32_t count)
{
  if (!data) return;
  for (uint32_t i = 0; i < count; ++i)
    if (!std::isfinite(data[i])) data[i] = 0.0;
  WDL_fft_init();
  double peak = 0.0;
  double wave[kWaveSize];
  for (uint32_t w = 0; w + kWaveSize <= count; w += kWaveSize) {
    std::memcpy(wave, data + w, sizeof(wave));
    WDL_real_fft(wave, kWaveSize, 1); // the inverse of spectraFromWaves' transform: the wave itself
    for (double x : wave) peak = std::fmax(peak, std::fabs(x));
  }
  scaleToFullScale(data, count, peak);
}

int OscWavetable::wavesOfFrames(int64_t frames)
{
  if (frames < 2) return 0; // nothing to make a cycle of
  if (frames <= kWaveSize) return 1;
  const int64_t whole = frames / kWaveSize;
  // A file of whole waves is a wavetable and brings them all; any other length is cut into whole waves,
  // the rest ignored.
  if (frames % kWaveSize == 0) return whole > kMaxWaves ? 0 : (int)whole;
  return whole > kMaxUnevenWaves ? kMaxUnevenWaves : (int)whole;
}

bool OscWavetable::readWAV(const char* path, WaveSpectra* out)
{
  WaveReader reader;
  if (!reader.Open(path)) return false;
  const int64_t frames = reader.frames;
  const int waves = wavesOfFrames(frames);
  if (waves < 1) return false;
  const int64_t used = frames > kWaveSize ? (int64_t)waves * kWaveSize : frames;
  double* mono = (double*)std::calloc((size_t)used, sizeof(double));
  if (!mono) return false;

  // Frames are the average of their channels; samples the file does not deliver stay 0.
  const int channels = reader.channels;
  const double scale = 1.0 / channels;
  double buf[4096];
  int64_t frame = 0;
  int channel = 0;
  double sum = 0.0;
  while (frame < used) {
    const int64_t left = (used - frame) * channels - channel;
    const unsigned int got = reader.ReadDoubles(buf, left < 4096 ? (unsigned int)left : 4096u);
    if (got == 0) break;
    for (unsigned int i = 0; i < got; ++i) {
      // Float files may hold anything: no NaN, infinity or absurd level reaches the spectra.
      sum += clampValue(finiteOrZero(buf[i]), -kMaxSample, kMaxSample);
      if (++channel == channels) {
        mono[frame++] = sum * scale;
        sum = 0.0;
        channel = 0;
      }
    }
  }
  reader.Close();
  holdToFullScale(mono, used);

  bool ok;
  if (used == (int64_t)waves * kWaveSize) {
    ok = spectraFromWaves(mono, waves, out);
  } else {
    double cycle[kWaveSize];
    resampleCycle(mono, (int)used, cycle);
    ok = spectraFromWaves(cycle, 1, out);
  }
  std::free(mono);
  return ok;
}

bool OscWavetable::readBlofeldSYX(const char* path, WaveSpectra* out)
{
  WDL_FileRead file(path, -1, 8192, 4, 0, 0);
  if (!file.IsOpen()) return false;
  const int64_t messages = file.GetSize() / kSyxMessageSize; // bytes after the last whole message are ignored
  if (messages < 1 || messages > kMaxWaves) return false;    // one wave per message, all of them
  const int waves = (int)messages;
  double* samples = (double*)std::calloc((size_t)waves * kWaveSize, sizeof(double));
  if (!samples) return false;
  bool ok = true;
  for (int w = 0; w < waves && ok; ++w) {
    unsigned char message[kSyxMessageSize];
    ok = file.Read(message, kSyxMessageSize) == kSyxMessageSize && message[0] == 0xF0 && message[1] == 0x3E &&
         message[2] == 0x13 && message[4] == 0x12;
    if (!ok) break;
    double s[kSyxSamples];
    for (int i = 0; i < kSyxSamples; ++i) s[i] = getFromTriple(message, i);
    resampleCycle(s, kSyxSamples, samples + (size_t)w * kWaveSize);
  }
  ok = ok && spectraFromWaves(samples, waves, out);
  std::free(samples);
  return ok;
}

bool OscWavetable::readWavetableFile(const char* path, WaveSpectra* out)
{
  if (!path || !out) return false;
  const char* ext = extensionOf(path);
  if (sameText(ext, ".wav")) return readWAV(path, out);
  if (sameText(ext, ".syx")) return readBlofeldSYX(path, out);
  return false;
}

bool OscWavetable::commit(Veltrane* plug, int slot, WaveSpectra* spectra, const char* name, const unsigned* shown)
{
  if (!plug || slot < 0 || slot >= Veltrane::kNumSlots) return false;
  WDL_MutexLock lock(plug->GetMutex());
  ModuleConfig& c = plug->slotConfig[slot];
  if (c.moduleID != ModuleConfig::MOD_OSCWAVETABLE) return false;
  if (shown && plug->StatesPutInPlace() != *shown) return false;
  SharedData& record = c.sharedData;
  const bool ok = spectra && spectra->data;
  // The waves replaced are only let go of here: their memory is freed once no lock is held (SharedBytes).
  if (ok) record.set(std::move(spectra->block));
  record.name.Set(ok && name ? name : "");
  record.changed = false;
  // Every instance of the slot takes the new waves through its parameter 0, as the engine hands it on
  // (not through the host parameter path, which a MIDI-learn request would catch).
  const double trigger = plug->GetParam(slot * Module::kNumParams)->Value();
  if (c.master) {
    if (plug->masterModules[slot]) plug->masterModules[slot]->setParameter(0, trigger);
  } else {
    for (int v = 0; v < plug->activeVoices; ++v) plug->voices[v].setModuleParam(slot, 0, trigger);
  }
  return ok;
}

bool OscWavetable::loadWavetable(Veltrane* plug, int slot, const char* path)
{
  WaveSpectra spectra;
  const bool read = readWavetableFile(path, &spectra);
  return commit(plug, slot, read ? &spectra : nullptr, path) && read;
}

bool OscWavetable::installWavetable(Veltrane* plug, int slot, WaveSpectra* spectra, const char* name,
                                    const unsigned* shown)
{
  if (!spectra || !spectra->data) return false;
  return commit(plug, slot, spectra, name, shown);
}

bool OscWavetable::setWavetable(Veltrane* plug, int slot, const double* samples, int waves, const char* name)
{
  WaveSpectra spectra;
  if (!spectraFromWaves(samples, waves, &spectra)) return false;
  // As a stored table is held when it is read: the program slots keep this very table, which is not read again.
  holdSpectraToFullScale(spectra.data, spectra.count);
  return commit(plug, slot, &spectra, name);
}

// ---- playing ----

int OscWavetable::harmonicCount(int increment)
{
  // The output's Nyquist frequency is an increment of half a cycle: harmonic k sounds at k * increment and
  // is kept exactly when that lies below it. A note at or above Nyquist plays nothing.
  if (increment >= half) return 0;
  if (increment < 1) return kHalfBins + 1;
  const int64_t bins = (int64_t)(half - 1) / increment + 1;
  return bins > kHalfBins + 1 ? kHalfBins + 1 : (int)bins;
}

void OscWavetable::buildBand(const double* spectrum, int bins, double* out)
{
  std::memset(out, 0, sizeof(double) * kWaveSize);
  if (bins <= 0) return;
  const int* slots = WDL_fft_permute_tab(kHalfBins);
  // The taper runs over harmonics 0..1023; bin 0 also holds the wave's half-rate component (harmonic
  // 1024), kept unweighted when it too lies below Nyquist (a count of 1025).
  const int tapered = bins > kHalfBins ? kHalfBins : bins;
  const double g = 1.0 / ((double)tapered * tapered);
  out[0] = spectrum[0];
  if (bins > kHalfBins) out[1] = spectrum[1];
  for (int k = 1; k < tapered; ++k) {
    const int j = 2 * slots[k];
    const double weight = 1.0 - (double)k * k * g;
    out[j] = spectrum[j] * weight;
    out[j + 1] = spectrum[j + 1] * weight;
  }
  WDL_real_fft(out, kWaveSize, 1);
  ++tableBuilds;
  // A record restored from a chunk may hold anything; a table that is not all numbers stays silent.
  for (int i = 0; i < kWaveSize; ++i)
    if (!std::isfinite(out[i])) {
      std::memset(out, 0, sizeof(double) * kWaveSize);
      return;
    }
}

void OscWavetable::rebuild(int waves, double pos, int bins)
{
  const double x = (waves - 1) * pos;
  int f = clampToInt(std::floor(x), 0, waves - 1);
  double t = x - f;
  const bool hasNext = f + 1 < waves;
  if (raw) t = t < 0.48 ? 0.0 : t > 0.52 ? 1.0 : (t - 0.48) / 0.04;

  // The inverse transform is linear: blending the band-limited tables of the two waves gives the table of
  // the blended spectra.
  if (f != bandWave || bins != bandBins || hasNext != bandHasNext) {
    const double* data = record()->data;
    buildBand(data + (size_t)f * kWaveSize, bins, bandLow);
    if (hasNext) buildBand(data + (size_t)(f + 1) * kWaveSize, bins, bandHigh);
    bandWave = f;
    bandBins = bins;
    bandHasNext = hasNext;
  }
  if (hasNext) {
    for (int i = 0; i < kWaveSize; ++i) table[i] = bandLow[i] + (bandHigh[i] - bandLow[i]) * t;
  } else {
    std::memcpy(table, bandLow, sizeof(table));
  }
}

void OscWavetable::update(bool active)
{
  const SharedData* record = this->record();
  if (!active || !record || !record->data) return;
  const uint32_t count = record->count;
  if (count == 0 || count % kWaveSize != 0) return;
  // Waves are indexed by what the record holds now, whatever count this instance took last.
  const int waves = count / kWaveSize > (uint32_t)(1 << 20) ? (1 << 20) : (int)(count / kWaveSize);

  double p = (frequencySource ? *frequencySource : 0) + pitchSum;
  p += additive(pitchMod1Source, pitchMod1Amount);
  p += additive(pitchMod2Source, pitchMod2Amount);
  const int step = pitchStep(p);
  const double pos = clampValue(position + additive(positionModSource, positionModAmount), 0.0, 1.0);
  const bool positionChanged = waves > 1 && pos != lastPosition;

  if (positionChanged || step != lastPitch) {
    lastPitch = step;
    phaseIncrement = freq2PhInc[step] >> 1; // 2^28 per cycle there, 2^27 here
    const int bins = harmonicCount(phaseIncrement);
    if (positionChanged || bins != lastBins) {
      lastBins = bins;
      lastPosition = pos;
      rebuild(waves, pos, bins);
    }
  }

  if (resetSource) {
    if (*resetSource > previousReset) resetPending = true;
    previousReset = *resetSource;
    double cycles = std::floor(range * (startPhase + (startPhaseModSource ? *startPhaseModSource : 0.0)));
    if (!std::isfinite(cycles)) cycles = 0.0;
    cycles = std::fmod(cycles, (double)range); // into 0 .. 2^27 - 1
    if (cycles < 0.0) cycles += range;
    resetPhase = (int)cycles & mask;
  }
}

void OscWavetable::process()
{
  audioOut[0] = nextAudioOut[0];
  syncOut[0] = nextSyncOut[0];
  if (syncSource && *syncSource > 0.0) {
    phase = 0;
  } else if (resetPending) {
    phase = resetPhase;
    resetPending = false;
  }
  nextAudioOut[0] = table[phase >> shift];
  phase += phaseIncrement;
  if (phase >= range) {
    phase &= mask;
    nextSyncOut[0] = 1.0;
  } else {
    nextSyncOut[0] = 0.0;
  }
}

// ---- panel ----

namespace {
// The oscillator's panel on the oscillator's background: the wavetable loader takes the waveform pop-up's
// place (and its caption), the interpolation pop-up sits left above FM 1. Every caption is the oscillator's
// at the same place, since the two panels share one image. The loader is the slot's only special control.
// clang-format off
const PanelControl kPanelRows[] = {
  sources(84, 25, 10, SourceDef::SYNC, {"SYNC"}),
  knob(16, 64, 4, {"SEMI"}),
  knob(80, 64, 5, {"FINE"}),
  smallKnob(52, 120, 12, {"PHASE"}),
  sources(12, 129, 14, SourceDef::GATE, {"RESET"}),
  sources(84, 129, 13, SourceDef::MODULATION, {"PM"}),
  knob(16, 164, 1, {"SHAPE"}),
  knob(80, 164, 2, {"MOD"}),
  popUp(3, 212, 11),
  sources(80, 212, 3, SourceDef::MODULATION),
  knob(16, 232, 6, {"FM 1", kRight, 0, -6}),
  knob(80, 232, 8, {"FM 2", kLeft, 0, 6}),
  sources(16, 280, 7, SourceDef::MODULATION),
  sources(80, 280, 9, SourceDef::MODULATION),
  loader(14, 24, 78, 40, 0, {"WAVE", kAbove, 1, 0}), // centred one pixel left of the pop-up's: moved onto it
};
// clang-format on
} // namespace

const PanelLayout OscWavetable::panel = {kImageModuleOsc, kPanelRows};

void OscWavetable::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
