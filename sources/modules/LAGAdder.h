// LAGAdder: module type 21, "LAG/Adder" (Tools, short ID "LA-"). Two lags A and B that smooth a modulation
// signal through a second-order low-pass (Q 1/sqrt 2) running at the 1 kHz tick rate, and two adders C and D
// that each sum two scaled modulation signals. Everything runs in update, once per tick, whatever the
// voice's state.
//
// A lag's amount v (0..1) puts its corner at w0 = (1 - v)^6 * pi / 2 radians per tick: 250 Hz at 0, lower and
// lower towards 1. Where the corner is so low that the input can no longer enter (cos w0 rounds to 1, from
// an amount of about 0.96), the lag holds its output. When the corner falls while the output moves, the
// output's slope is scaled down with it, so a slower lag never coasts on the slope of a faster one.
//
// Slot parameters: 0/1 lag A input/amount, 2/3 lag B; 4/5 adder C input 1/amount 1, 6/7 input 2/amount 2;
// 8..11 the same for adder D.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class LAGAdder : public Module
{
public:
  // One second-order low-pass at the tick rate, in direct form I.
  struct Lag
  {
    double c1, c2, b0, b1; // y = b0 (x + x2) + b1 x1 + c1 y1 + c2 y2
    double x1, x2, y1, y2; // inputs and outputs one and two ticks ago
    double w0;             // corner in radians per tick; 0 while the lag holds
    void setAmount(double amount);
    double step(double x);
  };

  LAGAdder(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* lagInputA;
  double* lagInputB;
  double* adderC1;
  double adderAmountC1;
  double* adderC2;
  double adderAmountC2;
  double* adderD1;
  double adderAmountD1;
  double* adderD2;
  double adderAmountD2;
  Lag lag[2];
};
