#include "NoteList.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace vsthost {

namespace {

// The suffixes of a note, in the order they must come, each at most once.
const struct
{
  char mark;
  const char* name;
} kSuffixes[] = {{'@', "start"}, {'+', "length"}, {':', "velocity"}};
const char kMarks[] = "@+:";
const char kForm[] = "NOTE[@START][+LENGTH][:VELOCITY]";

bool AllDigits(const std::string& text)
{
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isdigit((unsigned char)c)) return false;
  return true;
}

// Parses a non-negative decimal number that fills the whole text.
bool ParseSeconds(const std::string& text, double* value)
{
  if (text.empty() || !std::isdigit((unsigned char)text[0])) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

// A whole number of at most 4 digits within lo..hi.
bool ParseInt(const std::string& text, int lo, int hi, int* value)
{
  if (text.size() > 4 || !AllDigits(text)) return false;
  const int v = std::atoi(text.c_str());
  if (v < lo || v > hi) return false;
  *value = v;
  return true;
}

// What keeps the text from being a note number or name, empty when it is one (*note is then set).
std::string NoteFault(const std::string& text, int* note)
{
  if (AllDigits(text)) {
    if (ParseInt(text, 0, 127, note)) return "";
    return "note " + text + " is not 0 to 127";
  }
  const std::string notAName =
      "not a note name (C, D, E, F, G, A, B, then an optional # or b and an octave) nor a number 0 to 127";
  static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G from C
  const char letter = text.empty() ? 0 : (char)std::toupper((unsigned char)text[0]);
  if (letter < 'A' || letter > 'G') return notAName;
  int semitone = kSemitone[letter - 'A'];
  size_t i = 1;
  if (i < text.size() && (text[i] == '#' || text[i] == 'b')) semitone += text[i++] == '#' ? 1 : -1;
  const bool negative = i < text.size() && text[i] == '-';
  const std::string octaveText = text.substr(i + negative);
  if (!AllDigits(octaveText)) return notAName;
  int octave = 0;
  if (!ParseInt(octaveText, 0, 9, &octave) || (negative && octave != 1))
    return "octave " + text.substr(i) + " is not -1 to 9";
  const int number = semitone + 12 * ((negative ? -octave : octave) + 1);
  if (number < 0) return "below C-1, the lowest note (0)";
  if (number > 127) return "above G9, the highest note (127)";
  *note = number;
  return "";
}

// What is wrong with one item of the list, empty when nothing is (the note's numbers are then set).
std::string ItemFault(const std::string& item, int* note, double* start, double* length, int* velocity)
{
  if (item.empty()) return "an empty item (two commas in a row, or one at an end)";
  size_t at = item.find_first_of(kMarks);
  if (at == 0) return std::string("the note is missing (") + kForm + ")";
  std::string fault = NoteFault(item.substr(0, at), note);
  int last = -1; // the suffix read last, as an index of kSuffixes
  while (fault.empty() && at != std::string::npos) {
    const size_t next = item.find_first_of(kMarks, at + 1);
    const std::string suffix = item.substr(at, next - at), value = suffix.substr(1);
    int k = 0;
    while (kSuffixes[k].mark != suffix[0]) ++k;
    if (k == last) {
      fault = "\"" + suffix + "\": a second " + kSuffixes[k].name;
    } else if (k < last) {
      fault = "\"" + suffix + "\" after the " + kSuffixes[last].name + ": the " + kSuffixes[k].name +
              " comes before it (" + kForm + ")";
    } else if (k == 2) {
      if (!AllDigits(value))
        fault = "velocity \"" + value + "\" is not a whole number from 1 to 127";
      else if (!ParseInt(value, 1, 127, velocity))
        fault = "velocity " + value + " is not 1 to 127";
    } else if (!ParseSeconds(value, k == 0 ? start : length)) {
      fault = std::string(kSuffixes[k].name) + " \"" + value + "\" is not a number of seconds (0 or more)";
    }
    last = k;
    at = next;
  }
  return fault;
}

} // namespace

int ParseNoteName(const std::string& text)
{
  int note = -1;
  return NoteFault(text, &note).empty() ? note : -1;
}

bool ParseNoteList(const std::string& text, int channel, std::vector<MidiEvent>* events, std::string* error)
{
  std::vector<MidiEvent> parsed;
  size_t begin = 0;
  while (begin <= text.size()) {
    const size_t comma = text.find(',', begin);
    const std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
    begin = comma == std::string::npos ? text.size() + 1 : comma + 1;

    int note = 0, velocity = 100;
    double start = 0.0, length = 1.0;
    const std::string fault = ItemFault(item, &note, &start, &length, &velocity);
    if (!fault.empty()) {
      *error = "\"" + item + "\": " + fault;
      return false;
    }
    const uint8_t ch = (uint8_t)(channel & 0x0F);
    parsed.push_back(MidiEvent{start, {(uint8_t)(0x90 | ch), (uint8_t)note, (uint8_t)velocity}});
    parsed.push_back(MidiEvent{start + length, {(uint8_t)(0x80 | ch), (uint8_t)note, 0}});
  }
  events->insert(events->end(), parsed.begin(), parsed.end());
  return true;
}

} // namespace vsthost
