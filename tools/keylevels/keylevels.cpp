// keylevels: how each program of a plug-in's bank fades up the keyboard. Every key from C2 to the top key
// (MIDI 36 to 127) is played alone as KeyLevel.h plays it; a line per program gives the level of each C
// and of the top key G9 in dB against C4, the range the keys from C2 to C8 (the top of a piano) keep, and
// the key from which every key up is silent. The programs named "Init" are passed over.
//
// usage: keylevels PLUGIN.so [PROGRAM ...]   (programs by number; all of them when none is given)
#include "KeyLevel.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int kLowest = 36, kPianoTop = 108, kTop = 127; // C2, C8, G9

std::string noteName(int note)
{
  static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  return names[note % 12] + std::to_string(note / 12 - 1);
}

std::string dB(double value)
{
  if (!std::isfinite(value)) return "silent";
  char text[16];
  std::snprintf(text, sizeof text, "%+.1f", value);
  return text;
}
} // namespace

int main(int argc, char** argv)
{
  if (argc < 2) {
    std::fputs("usage: keylevels PLUGIN.so [PROGRAM ...]\n", stderr);
    return 2;
  }
  const std::string plugin = argv[1];
  std::string error;
  std::unique_ptr<vsthost::Plugin> bank = vsthost::Plugin::Load(plugin, vsthost::HostSettings(), &error);
  if (!bank) {
    std::fprintf(stderr, "keylevels: %s\n", error.c_str());
    return 1;
  }
  const int count = bank->Effect()->numPrograms;
  std::vector<int> programs;
  for (int i = 2; i < argc; ++i) {
    char* end = nullptr;
    const long program = std::strtol(argv[i], &end, 10);
    if (end == argv[i] || *end || program < 0 || program >= count) {
      std::fprintf(stderr, "keylevels: no program %s (the plug-in has %d, from 0)\n", argv[i], count);
      return 2;
    }
    programs.push_back((int)program);
  }
  if (programs.empty())
    for (int i = 0; i < count; ++i) programs.push_back(i);

  int measured = 0, withinTen = 0, twentyAtTop = 0;
  for (int program : programs) {
    const std::string name = bank->ProgramName(program);
    if (name == "Init") continue;
    std::vector<KeyLevel> keys(kTop + 1);
    for (int note = kLowest; note <= kTop; ++note)
      if (!KeyLevel::Play(plugin, program, note, &keys[note], &error)) {
        std::fprintf(stderr, "keylevels: program %d, %s: %s\n", program, noteName(note).c_str(), error.c_str());
        return 1;
      }
    auto against = [&](int note) {
      return keys[note].silent() ? -INFINITY : keys[note].dBAgainst(keys[KeyLevel::kC4]);
    };
    double lowest = 0.0, highest = 0.0;
    int silentFrom = kTop + 1;
    for (int note = kLowest; note <= kTop; ++note) {
      if (note <= kPianoTop) {
        lowest = std::min(lowest, against(note));
        highest = std::max(highest, against(note));
      }
      silentFrom = keys[note].silent() ? std::min(silentFrom, note) : kTop + 1;
    }
    const double top = against(kTop);
    std::printf("%2d %-23s", program, name.c_str());
    for (int note = kLowest; note <= kTop; note += 12)
      std::printf(" %s %s", noteName(note).c_str(), dB(against(note)).c_str());
    std::printf(" G9 %s | C2-C8 %s..%s", dB(top).c_str(), dB(lowest).c_str(), dB(highest).c_str());
    if (silentFrom <= kTop) std::printf(" | silent from %s", noteName(silentFrom).c_str());
    std::printf("\n");
    std::fflush(stdout);
    ++measured;
    withinTen += lowest >= -10.0 && highest <= 10.0;
    twentyAtTop += top <= -20.0;
  }
  std::printf("%d programs: %d stay within 10 dB of C4 from C2 to C8, %d are 20 dB or more quieter at G9\n", measured,
              withinTen, twentyAtTop);
  return 0;
}
