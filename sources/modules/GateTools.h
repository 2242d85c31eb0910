// GateTools: module type 22, "Gate Tools" (Tools, short ID "GT"). Gate utilities at the control rate:
// two retriggerable pulse generators A and B that stretch a trigger into a gate of 0..5 s (modulatable),
// two clock dividers C and D that pass every first to eighth clock, and a join E that sums four gate inputs.
// Everything runs in update, once per 1 ms tick, whatever the voice's state; lengths and counts are ticks.
//
// Gate outputs A to D are 1.0 on the ticks they are set and 0.0 otherwise; E carries the sum of its inputs.
//
// Slot parameters: 0 trigger A, 1 length A (s), 2 length modulation amount A (s per unit), 3 its source;
// 4..7 the same for B; 8 clock C, 9 divider C ("1".."8"); 10 clock D, 11 divider D; 12..15 join inputs.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class GateTools : public Module
{
public:
  static constexpr int kMaxLengthTicks = 5000;
  static constexpr int kMaxDivider = 7; // divides by 8
  enum Output { kGateA, kGateB, kDivC, kDivD, kJoinE, kNumOutputs };

  // The eight divider texts "1" to "8".

  GateTools(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* triggerA;
  double* triggerB;
  double* clockC;
  double* clockD;
  double* join[4];
  double previousA;
  double previousB;
  double previousC;
  double previousD;
  double* lengthModA;
  double* lengthModB;
  double lengthModAmountA; // ms per unit of the source
  double lengthModAmountB;
  double lengthA; // ms
  double lengthB;
  int dividerC; // 0..7, dividing by the value + 1
  int dividerD;
  int remainingA; // ticks the pulse stays high after this one
  int remainingB;
  int counterC; // clocks to let pass before the next one goes through
  int counterD;

private:
  void pulse(double* trigger, double* previous, double length, const double* mod, double amount, int* remaining,
             int out);
  void divide(double* clock, double* previous, int divider, int* counter, int out);
};
