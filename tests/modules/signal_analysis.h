// Measurements on rendered signals: the frequency of the strongest partial near a guess (FFT with a
// Gaussian window, whose log-magnitude peak is a parabola, so three bins give the frequency), the spectrum
// in dB, and the amplitude and phase of a sine of known frequency by least squares.
#pragma once

#include <vector>

// Hz of the strongest partial between lo and hi Hz.
double peakFrequency(const std::vector<double>& x, double rate, double lo, double hi);

// Magnitudes (linear, window-normalised so a sine of amplitude A reads A at its peak bin) of a power-of-two
// prefix of x, bins 0..N/2; binHz receives the bin width.
std::vector<double> spectrum(const std::vector<double>& x, double rate, double* binHz);

// Amplitude of the sine of frequency hz in x (least squares over all samples).
double sineAmplitude(const std::vector<double>& x, double hz, double rate, double* phase = nullptr);

double cents(double measured, double expected);
double toDB(double ratio);
