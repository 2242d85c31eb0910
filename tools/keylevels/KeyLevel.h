// How loud one key of a program plays: the note struck at velocity 127 in a fresh instance of the plug-in
// (so that every key meets the clock, the voices and the effects in the same state) and held for one second
// at 48 kHz. The README's figures of how programs fade up the keyboard are these levels against C4's; the
// tool keylevels prints them and the bank's tests hold the README's claims with them.
#pragma once

#include "Host.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

struct KeyLevel
{
  static constexpr double kRate = 48000.0; // Hz
  static constexpr double kSeconds = 1.0;  // the note is held and measured for this long
  static constexpr double kSilent = -90.0; // dBFS: a key whose peak stays under this is silent
  static constexpr int kC4 = 60;

  double rms = 0.0;  // both sides over the held second, 1.0 = full scale
  double peak = 0.0; // largest sample on either side

  bool silent() const { return 20.0 * std::log10(peak) < kSilent; }
  // dB against another key's level (C4's, for the README); -inf for a key that plays nothing at all.
  double dBAgainst(const KeyLevel& reference) const { return 20.0 * std::log10(rms / reference.rms); }

  // Loads the plug-in file through its VST entry, selects the program and plays the note. False with the
  // reason when the plug-in cannot be loaded or rendered.
  static bool Play(const std::string& plugin, int program, int note, KeyLevel* level, std::string* error)
  {
    vsthost::HostSettings settings;
    settings.sampleRate = kRate;
    settings.blockSize = 256;
    std::unique_ptr<vsthost::Plugin> p = vsthost::Plugin::Load(plugin, settings, error);
    if (!p) return false;
    p->Open();
    p->Dispatch(effSetProgram, 0, program);
    vsthost::RenderRequest request;
    request.seconds = kSeconds;
    request.events.push_back({0.0, {0x90, (uint8_t)note, 127}});
    vsthost::RenderResult played;
    if (!vsthost::Render(*p, request, &played, error)) return false;
    double squares = 0.0;
    for (float x : played.interleaved) squares += (double)x * x;
    level->rms = std::sqrt(squares / std::max<size_t>(1, played.interleaved.size()));
    level->peak = played.peak;
    return true;
  }
};
