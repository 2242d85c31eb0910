// Notes given on the command line: NOTE[@START][+LENGTH][:VELOCITY], several separated by commas.
// NOTE is a MIDI note number 0-127 or a name such as C4, F#3 or Bb-1 (C4 is note 60); START and LENGTH are
// seconds (defaults 0 and 1); VELOCITY is 1-127 (default 100). Example: "C4+2,E4@0.5+1.5:80,G4@1+1".
#pragma once

#include "MidiFile.h"

#include <string>
#include <vector>

namespace vsthost {

// Appends a note-on and a note-off per note on the given MIDI channel (0-15). For text that does not follow
// the form above: false, nothing appended, and `error` names the first item at fault and what is wrong with
// it (`"C4:200": velocity 200 is not 1 to 127`).
bool ParseNoteList(const std::string& text, int channel, std::vector<MidiEvent>* events, std::string* error);

// Note name or number to MIDI note number, -1 when the text is not one.
int ParseNoteName(const std::string& text);

} // namespace vsthost
