// Resonators: module type 30, "Resonators", and StereoResonators: type 43, "St.Resonators" (Filters). The
// input runs through three band-pass resonators A, B and C in parallel (q 2, gain 2 at the centre), each
// tuned by its own frequency and all moved together by two modulation inputs at each 1 ms control tick;
// their sum is mixed with the dry input. The mono module also puts out each resonator alone; the stereo one
// runs input A through a left set and input B through a right set.
//
// Slot parameters: 0 mix (0 dry .. 1 resonators), 1/2/3 frequency A/B/C (0..1 -> pitch step
// floor(x * 17280)), 4/5 input A level/source, 6/7 input B level/source, 8/9 and 10/11 modulation amount
// (1/128 semitone per unit)/source. 12..15 are unused.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

// A second-order band-pass of q 2 with its zeros at 0 and Nyquist and its input gain doubled: gain 2 at
// the centre. Retuned only when its integer pitch changes.
class Resonator
{
public:
  Resonator() { reset(); }

  // Stored samples to 0; the tuning stays.
  void reset()
  {
    guard = 1e-13;
    x1 = x2 = y1 = y2 = 0.0;
  }
  // A new rate: the radians table of that rate, tuning and coefficients cleared.
  void setSampleRate(double rate);
  // Tunes to the base pitch plus floor(offset) pitch steps (1/128 semitone).
  void update(double offset);

  double process(double x)
  {
    const double d = guard;
    guard = -d;
    const double y = g * (x - x2) + c1 * (y1 + d) + c2 * (y2 + d);
    x2 = x1 + d;
    x1 = x + d;
    y2 = y1 + d;
    y1 = y;
    return y;
  }

  int basePitch = 0; // pitch steps, written by the owning module
  double g = 0.0;    // 2 alpha / (1 + alpha)
  double c1 = 0.0;   // 2 cos w / (1 + alpha)
  double c2 = 0.0;   // (alpha - 1) / (1 + alpha)
  int cachedPitch = -1;
  bool coeffsStale = true; // set by setSampleRate: the next update tunes whatever the pitch
  double x1, x2, y1, y2;
  double guard;
  const double* freq2rad = nullptr; // radians per sample of each pitch step at the current rate
};

class Resonators : public Module
{
public:
  Resonators(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  // Every control of the mono and stereo panels except the background.
  static void createCommonGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

protected:
  // Sum of both frequency modulations (pitch steps), 0 for a disconnected source.
  double modulation() const;
  // The weighted inputs.
  double inputLeft() const;
  double inputRight() const;

public:
  bool active;
  double mix;
  double* inputA;
  double inputALevel;
  double* inputB;
  double inputBLevel;
  double* mod1Source;
  double mod1Amount;
  double* mod2Source;
  double mod2Amount;
  Resonator resonator[3]; // A, B, C
};

class StereoResonators : public Resonators
{
public:
  StereoResonators(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel; // the resonators' controls on the stereo background

  Resonator left[3];  // A, B, C of the left channel
  Resonator right[3]; // A, B, C of the right channel
};
