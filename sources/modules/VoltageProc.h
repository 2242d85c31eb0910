// VoltageProc: module type 15, "Voltage Proc." (Tools, short ID "VP-"). Four processors of modulation
// signals: A and B scale and offset one input (input x scale + offset), C and D multiply two inputs and a
// level. Everything runs in update, once per tick, and only while the voice sounds: an idle voice's outputs
// hold.
//
// Slot parameters: 0/1/2 A input/scale/offset, 3/4/5 the same for B; 6/7/8 C first input/level/second
// input, 9/10/11 the same for D.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class VoltageProc : public Module
{
public:
  VoltageProc(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* inputA;
  double scaleA;
  double offsetA;
  double* inputB;
  double scaleB;
  double offsetB;
  double* firstC;
  double* secondC;
  double levelC;
  double* firstD;
  double* secondD;
  double levelD;
};
