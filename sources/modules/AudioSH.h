// AudioSH: module type 8, "Audio S/H" (Processors, short ID "ASH"). A pitch-tracked sample and hold for audio:
// two hold stages half a cycle apart each take one sample of the input per cycle (at three quarters of their
// own cycle) and are crossfaded by band-limited windows, so the held steps come out without clicks. Blend
// morphs the windows from square shapes (a staircase) toward sawtooth-train shapes. The hold rate follows
// the voice pitch plus offset, fine tune and two modulations, or a fixed pitch; the sync output is 1.0 in
// the sample in which a cycle starts.
//
// Slot parameters: 0 input source, 1 blend, 2 semitones, 3 fine tune (1/128 semitone), 4 fixed on,
// 5 fixed pitch (0..1 -> step floor(x * 17280)), 6/7 and 8/9 pitch modulation amount/source.
//
// Window tables: 21 levels of 4096 entries for each shape, level k holding floor(2048 / sqrt(2)^k)
// harmonics; the level is chosen per tick from the phase increment so that the windows stay band-limited.
// They are built once per process, while the plug-in loads, by inverse FFTs of their spectra.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class AudioSH : public Module
{
public:
  static constexpr int kLevels = 21;
  static constexpr int kTableSize = 4096;

  struct Windows
  {
    double square[kLevels][kTableSize];
    double sawtrain[kLevels][kTableSize];
  };
  // The shared window tables; complete and unchanging once returned.
  static const Windows& windows();
  // Computes every window table into w (what windows() does once per process).
  static void fillWindows(Windows* w);
  // Number of harmonics of level k, and the taper of harmonic n (1-based) in a level of N harmonics.
  static int harmonics(int level);
  static double taper(int n, int count);

  AudioSH(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void setFrequencySource(int* pitch) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  void setPitch(int semitones);
  void setTune(int tune);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  int* pitchSource;
  double* input;
  double blend;
  double* mod1Source;
  double mod1Amount;
  double* mod2Source;
  double mod2Amount;
  int semitones;
  int tune;
  int fixedPitch;
  bool fixed;
  const double* square; // current level, null until the first active tick
  const double* sawtrain;
  int offset; // semitones * 128 + tune
  int phase1;
  int phase2;
  int increment;
  double held1;
  double held2;
  bool armed1;
  bool armed2;
  const int* freq2PhInc; // phase increment of every pitch step at this instance's rate
};
