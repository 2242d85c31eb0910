// OscWavetable: module type 26, "Wavetable Osc." (Oscillators, short ID "Osc-"). Plays one of many
// single-cycle waves of 2048 samples, loaded from a .wav file or a wavetable SysEx dump (.syx), with a
// modulatable wave position that morphs between neighbouring waves ("Interpolate") or switches between them
// with a short crossfade ("Raw"), two pitch modulations, hard sync, a sync output and a phase reset.
//
// The waves live as spectra in the slot's record (SharedData), shared by every instance of the slot and
// saved in the state chunk. Wave w is data[w * 2048 .. w * 2048 + 2047]: the forward WDL_real_fft of its
// 2048 samples times 0.5 / 2048, harmonic k (1..1023) at doubles 2 * WDL_fft_permute(1024, k) and the next
// (stored states rely on exactly this layout and on the 1024-point lookup).
//
// Each instance rebuilds its 2048-sample play table from the spectra at control rate: only the harmonics
// that stay below the output's Nyquist frequency, tapered by 1 - k^2 / H^2. It keeps the band-limited tables
// of the two waves around the position, so a moving position only blends them; a new pitch band or a new
// pair of waves costs one or two inverse transforms.
//
// Slot parameters: 0 file trigger (the editor's wavetable control), 1 position, 2 position modulation
// amount, 3 its source, 4 pitch (semitones), 5 tune (1/128 semitone), 6/7 and 8/9 pitch modulation
// amount/source, 10 sync source, 11 interpolation, 12 start phase, 13 its modulation source, 14 reset
// trigger source.
//
// Threads: processing as every module (audio thread, instance mutex). The loaders read and decode files
// on the caller's thread; loadWavetable takes the instance mutex only to swap the finished spectra in.
#pragma once

#include "Module.h"
#include "ModulePanel.h"
#include "SharedBytes.h"

#include <cstdint>

struct SharedData;

// Spectra decoded from a file or from samples, before they are committed to a slot's record.
struct WaveSpectra
{
  WaveSpectra() = default;
  WaveSpectra(const WaveSpectra&) = delete;
  WaveSpectra& operator=(const WaveSpectra&) = delete;

  SharedBytesRef block;   // count doubles, not shared yet
  double* data = nullptr; // block's bytes
  uint32_t count = 0;     // waves * 2048
};

class OscWavetable : public Module
{
public:
  static constexpr int kWaveSize = 2048;  // samples per wave, doubles per spectrum
  static constexpr int kHalfBins = 1024;  // harmonics of a wave below its own Nyquist
  static constexpr int shift = 16;        // phase >> shift is the play-table index (11 bits)
  static constexpr int mask = 134217727;  // 2^27 - 1
  static constexpr int range = 134217728; // 2^27, one cycle
  static constexpr int half = 67108864;   // 2^26, the output's Nyquist as an increment
  // Waves a file may bring: a .wav of whole waves and a .syx dump bring all of theirs up to this safety bound
  // (8 Mi samples, 32 MB as floats, 64 MB of spectra in the slot's record), far above any real table; a file
  // with more is refused. A .wav whose length is not a whole number of waves gives at most kMaxUnevenWaves.
  static constexpr int kMaxWaves = 4096;
  static constexpr int kMaxUnevenWaves = 64;
  static constexpr int kSyxMessageSize = 410; // one wave of a SysEx dump
  static constexpr int kSyxSamples = 128;     // samples per SysEx wave

  static const char* const labelInterpolate[2];

  OscWavetable(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void setFrequencySource(int* pitch) override { frequencySource = pitch; }
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  void setPitch(int semitones);
  void setTune(int steps);

  // Loads the record's file when the editor flagged a new one (first instance of the slot to get here),
  // then takes the record's wave count.
  void setWaveTables();

  // ---- loading (any thread but the audio thread) ----
  // Waves a .wav file of this many frames gives (1 for up to one wave), 0 when it holds none or too many.
  static int wavesOfFrames(int64_t frames);
  // Decoders: true with out holding 1..kMaxWaves waves; false with out untouched.
  static bool readWAV(const char* path, WaveSpectra* out);
  static bool readBlofeldSYX(const char* path, WaveSpectra* out);
  // By extension (".wav" or ".syx", any case); false for a file that fails and for any other extension.
  static bool readWavetableFile(const char* path, WaveSpectra* out);
  // waves * 2048 samples (waves 1..kMaxWaves) as spectra.
  static bool spectraFromWaves(const double* samples, int waves, WaveSpectra* out);
  // Holds stored spectra (from a state chunk) to waves within full scale (+-1), the range of the files they
  // come from: values that are no number become 0, and a table whose loudest wave goes beyond full scale is
  // scaled down as a whole. A table this program made is within it already and keeps its bytes. One inverse
  // transform per wave (some microseconds each), on the thread that loads.
  static void holdSpectraToFullScale(double* data, uint32_t count);

  // Engine side of the editor's wavetable control: decodes the file without the instance mutex, then under
  // it puts the spectra into the slot's record (name = path) and hands parameter 0 to the slot's modules.
  // A file that fails leaves the waves as they were and clears the name. False also when the slot holds no
  // wavetable oscillator.
  static bool loadWavetable(Veltrane* plug, int slot, const char* path);
  // Spectra the caller decoded (readWavetableFile) put in under the instance mutex, named name; nothing
  // changes for empty spectra. False also when the slot holds no wavetable oscillator, or, with shown, when
  // StatesPutInPlace() is no longer *shown (another program came in while the file was read: the slot is
  // that program's).
  static bool installWavetable(Veltrane* plug, int slot, WaveSpectra* spectra, const char* name,
                               const unsigned* shown = nullptr);
  // The same with waves made by the caller (a generator): waves * 2048 samples, named name, held within full
  // scale as a stored table is.
  static bool setWavetable(Veltrane* plug, int slot, const double* samples, int waves, const char* name);

  // Record and instance rules, exposed for tests.
  // Harmonics 0..H-1 kept at a phase increment (2^27 per cycle): every harmonic below Nyquist and none at
  // or above it, floor((2^26 - 1) / increment) + 1 up to 1025 (1025: the wave's half-rate one too); 0 when
  // even the fundamental is not below Nyquist.
  static int harmonicCount(int increment);
  static double CubicInterpolate(double y0, double y1, double y2, double y3, double mu);
  // Sample i (0..127) of a SysEx wave message.
  static double getFromTriple(const unsigned char* message, int i);
  // n >= 2 samples resampled to 2048 by cubic interpolation, the source read as one cycle.
  static void resampleCycle(const double* src, int n, double* out);

  int tableBuilds = 0; // inverse transforms run by this instance (benchmarks, tests)

  // The slot's wavetable record, read through the configuration (a module built aside moves to another).
  SharedData* record() const;

private:
  void rebuild(int waves, double position, int bins);
  void buildBand(const double* spectrum, int bins, double* out);
  static bool commit(Veltrane* plug, int slot, WaveSpectra* spectra, const char* name,
                     const unsigned* shown = nullptr);

public:
  int* frequencySource;        // voice pitch, 1/128 semitone
  double startPhase;           // parameter 12, fraction of a cycle
  double* syncSource;          // parameter 10
  double* startPhaseModSource; // parameter 13
  double* resetSource;         // parameter 14
  double position;             // parameter 1, 0..1 across the waves
  double* positionModSource;   // parameter 3
  double positionModAmount;    // parameter 2
  double* pitchMod1Source;     // parameter 7
  double pitchMod1Amount;      // parameter 6, 1/128 semitone per unit
  double* pitchMod2Source;     // parameter 9
  double pitchMod2Amount;      // parameter 8
  int waveCount;               // whole waves in the record at the last setWaveTables
  int pitch;                   // parameter 4, semitones
  int tune;                    // parameter 5, 1/128 semitone
  bool severalWaves;
  bool raw;                // parameter 11 is "Raw"
  double table[kWaveSize]; // the wave being played
  int pitchSum;            // pitch * 128 + tune
  int lastPitch;           // pitch step of the last check; -1 invalid
  int lastBins;            // harmonic count of the last rebuild; -1 invalid
  double previousReset;
  double lastPosition; // position of the last rebuild; -1 invalid
  int phase;           // 0 .. 2^27 - 1
  int phaseIncrement;
  int resetPhase;
  bool resetPending;
  const int* freq2PhInc; // 2^28-per-cycle increments of the rate; halved for this phase

  // Band-limited tables of waves bandWave and bandWave + 1 (when it exists) for bandBins harmonics.
  double bandLow[kWaveSize];
  double bandHigh[kWaveSize];
  int bandWave; // -1 invalid
  int bandBins;
  bool bandHasNext;
};
