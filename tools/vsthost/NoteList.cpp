#include "NoteList.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace vsthost {

namespace {

// Parses a non-negative decimal number that fills the whole text.
bool ParseSeconds(const std::string& text, double* value)
{
  if (text.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (*end || !std::isfinite(v) || v < 0 || !std::isdigit((unsigned char)text[0])) return false;
  *value = v;
  return true;
}

bool ParseInt(const std::string& text, int lo, int hi, int* value)
{
  if (text.empty() || text.size() > 4) return false;
  for (char c : text)
    if (!std::isdigit((unsigned char)c)) return false;
  int v = std::atoi(text.c_str());
  if (v < lo || v > hi) return false;
  *value = v;
  return true;
}

} // namespace

int ParseNoteName(const std::string& text)
{
  int number;
  if (ParseInt(text, 0, 127, &number)) return number;
  if (text.size() < 2) return -1;
  static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G from C
  char letter = (char)std::toupper((unsigned char)text[0]);
  if (letter < 'A' || letter > 'G') return -1;
  int note = kSemitone[letter - 'A'];
  size_t i = 1;
  if (text[i] == '#') {
    ++note;
    ++i;
  } else if (text[i] == 'b') {
    --note;
    ++i;
  }
  bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  int octave;
  if (!ParseInt(text.substr(i), 0, 9, &octave)) return -1;
  int result = note + 12 * ((negative ? -octave : octave) + 1);
  return result >= 0 && result <= 127 ? result : -1;
}

bool ParseNoteList(const std::string& text, int channel, std::vector<MidiEvent>* events, std::string* error)
{
  std::vector<MidiEvent> parsed;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t comma = text.find(',', begin);
    std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
    begin = comma == std::string::npos ? text.size() + 1 : comma + 1;

    double start = 0.0, length = 1.0;
    int velocity = 100;
    size_t colon = item.find(':');
    if (colon != std::string::npos) {
      if (!ParseInt(item.substr(colon + 1), 1, 127, &velocity)) {
        *error = "bad velocity in \"" + item + "\" (1-127)";
        return false;
      }
      item.resize(colon);
    }
    size_t plus = item.find('+');
    if (plus != std::string::npos) {
      if (!ParseSeconds(item.substr(plus + 1), &length)) {
        *error = "bad length in \"" + item + "\" (seconds)";
        return false;
      }
      item.resize(plus);
    }
    size_t at = item.find('@');
    if (at != std::string::npos) {
      if (!ParseSeconds(item.substr(at + 1), &start)) {
        *error = "bad start time in \"" + item + "\" (seconds)";
        return false;
      }
      item.resize(at);
    }
    int note = ParseNoteName(item);
    if (note < 0) {
      *error = "bad note \"" + item + "\" (0-127 or a name such as C4, F#3)";
      return false;
    }
    uint8_t ch = (uint8_t)(channel & 0x0F);
    parsed.push_back(MidiEvent{start, {(uint8_t)(0x90 | ch), (uint8_t)note, (uint8_t)velocity}});
    parsed.push_back(MidiEvent{start + length, {(uint8_t)(0x80 | ch), (uint8_t)note, 0}});
  }
  events->insert(events->end(), parsed.begin(), parsed.end());
  return true;
}

} // namespace vsthost
