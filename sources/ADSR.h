// ADSR: the output amplitude envelope of one voice. Each segment is a one-pole approach to a target,
// computed per sample. A setting t from 0 to 1 gives a rate of one decade (a factor of ten in the
// remaining distance to the target) per 10^(4.5 t - 2.3) seconds: about 5 ms at 0, 158 s at 1. Attack
// and release aim one ninth beyond the level they head for, so they end after exactly one decade.
// Release 1.0 means hold: after the attack the level stays at 1.0 until the envelope is cut.
//
// Runs on the audio thread; settings are changed from the parameter handler under the instance mutex.
#pragma once

class ADSR
{
public:
  enum State { kIdle = 0, kAttack = 1, kDecay = 2, kRelease = 3 };

  // The level law, shared with the envelope modules. Attack and release targets lie one ninth beyond 1.0
  // and 0.0, so that one decade covers the segment; a segment set to t covers rateCoefficient(t, base) of the
  // remaining distance per sample, base being ln(10) / sample rate.
  static constexpr double kLn10 = 2.302585092994046;
  static constexpr double kAttackTarget = 10.0 / 9.0;
  static constexpr double kReleaseTarget = -1.0 / 9.0;
  static double rateCoefficient(double setting, double base);

  ADSR();

  void setSampleRate(float sampleRate); // idle, level 0
  void start();                         // attack from the current level
  void stop(bool cut);                  // release; with cut, silent and idle at once
  void update();                        // one sample

  void setAttack(double a);  // clamped to 0..1
  void setDecay(double d);   // 0..1, stored as 0.8 d + 0.2
  void setSustain(double s); // the sustain level
  void setRelease(double r); // 0..1; exactly 1.0 holds

  bool isIdle() const { return state <= kIdle; }

  double level;           // current output, 0 to 1
  double attack;          // setting 0..1
  double decay;           // 0.8 * setting + 0.2
  double sustain;         // sustain level
  double release;         // setting 0..1, 1.0 = hold
  int state;              // State
  double target;          // level the current segment heads for
  double previousLevel;   // level before the last step
  double coefficient;     // fraction of the remaining distance covered per sample
  double coefficientBase; // ln(10) / sample rate
};

// Per sample in every sounding voice: inline in the voice loop.
inline void ADSR::update()
{
  if (state <= kIdle) return;
  previousLevel = level;
  level = level + (target - level) * coefficient;
  if (state == kDecay || state == kRelease) {
    if (release == 1.0)
      level = 1.0;
    else if (level <= 0.0) {
      level = 0.0;
      state = kIdle;
    }
  }
  if (state == kAttack && level >= 1.0) {
    level = 1.0;
    state = kDecay;
    coefficient = rateCoefficient(decay, coefficientBase);
    target = sustain;
  }
}
