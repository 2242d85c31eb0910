// Hilbert: module type 10, "Hilbert" (Processors, short ID "H-"). A frequency-shifting kit: each of two audio
// inputs becomes an analytic pair (real and imaginary parts about 90 degrees apart over the audio band,
// from two networks of all-pass sections), a quadrature sine oscillator runs at -5000 .. +5000 Hz, and two
// free ring multipliers with their sum complete the patch: ring A = A Real x Cosine and ring B = A Imag. x
// Sine give, in their sum, the input shifted by the oscillator's frequency.
//
// Slot parameters: 0/1 input A/B sources, 2 oscillator on, 3 shift (-1 .. 1 -> |v| v^3 x 5000 Hz),
// 4/5 frequency modulation depth (x 5000 Hz)/source, 6/7 ring A factors, 8/9 ring B factors.
//
// The oscillator's increment is worked out per control tick from this instance's own sample rate; its two
// phases are 28-bit (one cycle = 2^28) and read a shared 4096-entry sine table without interpolation.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class Hilbert : public Module
{
public:
  static constexpr int kSineSize = 4096;
  // sin(k 2 pi / 4096), built once per process before any instance exists, never changed.
  static const double* sineTable();

  // All-pass coefficients (c1, c2) of the two sections of each branch.
  static const double realCoeff[2][2];
  static const double imagCoeff[2][2];

  Hilbert(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  static void setDisplayTextForFreq(double value, char* text);

  // One second-order all-pass section's history.
  struct Section
  {
    double x1, x2, y1, y2;
  };

  double* inputA;
  double* inputB;
  double* modSource;
  double depth; // Hz per unit of modulation
  double shift; // Hz
  bool on;
  double* ring[4]; // ring A first, second; ring B first, second
  int phase1;
  int phase2;
  int increment;
  double sampleRate;
  double guard;       // alternating denormal guard of the all-pass recursions
  Section state[2][4]; // per input: real section 1, 2, imaginary section 1, 2
  const double* sine;
};
