// What the ten-band and the five-band equalisers share: inputs A and B with their levels (0..2), a mono
// mode (both inputs summed through the left bands, the result on both outputs) and a stereo mode (A through
// the left bands to the left output, B through the right bands to the right output), and N one-octave
// PeakEQ bands per channel run in series from band 0 up. With no input connected both outputs are 0 and
// the bands keep their history.
//
// Slot parameters 0..4 of both: 0/1 input A level/source, 2/3 input B level/source, 4 mode ("Mono",
// "Stereo"); each type gives the meaning of 5..14.
#pragma once

#include "FilterBlocks.h"
#include "Module.h"
#include "ModuleConventions.h"

template <int N> class Equaliser : public Module
{
public:
  static constexpr int kNumBands = N;

  Equaliser(ModuleConfig* config, Voice* voice, Veltrane* owner)
      : Module(config, voice, owner), sampleRate(48000.0), inputA(nullptr), inputALevel(0.0), inputB(nullptr),
        inputBLevel(0.0), stereo(false)
  {
  }

  void process() override
  {
    audioOut[0] = nextAudioOut[0];
    audioOut[1] = nextAudioOut[1];
    if (!inputA && !inputB) {
      nextAudioOut[0] = nextAudioOut[1] = 0.0;
      return;
    }
    if (stereo)
      processStereo();
    else
      processMono();
  }

  void processStereo()
  {
    double l = inputALevel * (inputA ? *inputA : 0.0);
    double r = inputBLevel * (inputB ? *inputB : 0.0);
    for (int i = 0; i < N; ++i) {
      l = bands[i][0].filter(l);
      r = bands[i][1].filter(r);
    }
    if (ModuleConventions::stateBroken(l + r)) {
      restart(0);
      restart(1);
      l = r = 0.0;
    }
    nextAudioOut[0] = l;
    nextAudioOut[1] = r;
  }

  void processMono()
  {
    double x = inputALevel * (inputA ? *inputA : 0.0) + inputBLevel * (inputB ? *inputB : 0.0);
    for (int i = 0; i < N; ++i) x = bands[i][0].filter(x);
    if (ModuleConventions::stateBroken(x)) {
      restart(0);
      x = 0.0;
    }
    nextAudioOut[0] = nextAudioOut[1] = x;
  }

  // The rate, and every band of both channels at its centre (Hz, lowest band first).
  void setCentres(const double* centres, double rate)
  {
    sampleRate = rate;
    for (int i = 0; i < N; ++i) {
      bands[i][0].set(centres[i], rate);
      bands[i][1].set(centres[i], rate);
    }
  }

  // Parameters 0..4; false for the others.
  bool setCommonParameter(int index, double value)
  {
    switch (index) {
    case 0:
      inputALevel = value;
      return true;
    case 1:
      inputA = getSource((int)value, SourceDef::AUDIO);
      return true;
    case 2:
      inputBLevel = value;
      return true;
    case 3:
      inputB = getSource((int)value, SourceDef::AUDIO);
      return true;
    case 4:
      stereo = value >= 0.5;
      return true;
    default:
      return false;
    }
  }

  static void declareCommonParams(int base, Synth* synth)
  {
    using namespace ModuleConventions;
    clearParams(base, synth);
    declareLevelInputs(synth, base);
    declareEnum(synth, base + 4, 0, 2, Module::labelStereo);
  }

  // One channel's bands from rest (a state that turned non-finite); coefficients stay.
  void restart(int channel)
  {
    for (int i = 0; i < N; ++i) {
      PeakEQ& b = bands[i][channel];
      b.x1 = b.x2 = b.y1 = b.y2 = 0.0;
    }
  }

  double sampleRate;
  PeakEQ bands[N][2]; // (left, right) per band, lowest band first
  double* inputA;
  double inputALevel;
  double* inputB;
  double inputBLevel;
  bool stereo;
};
