// Functional tuning formulas and MIDI channel ranges.
//
// A formula expresses the frequency of a note (or of a run of notes) through the scale's
// own frequency table, as text in a tuning file:
//   "#>-1 %100 ~12"   notes n..n+11 each one equal-tempered semitone above the note below
//   "#=60 *3 /2"      this note is note 60 times 3/2
//   "!261.63"         transpose the whole table so that this note sounds at 261.63 Hz
// Terms: "!" pin, "#" reference ("#=" absolute note, "#>" note offset, else hertz),
// "*" multiplier, "/" divisor, "%" cents, "+" addend (same forms as "#"), "~" range.
//
// Typical use:
//   TUN::CFormula f;
//   f.m_lNoteIndex = 61;
//   if (f.SetFromStr("#>-1 %100") && scale.AddFormula(f)) ...
#pragma once

#include <string>
#include <vector>

namespace TUN {

// A formula operand: a plain value, or a note of the table being computed.
struct SRVParam
{
  enum EMode {
    eValue = 0,        // m_dblValue
    eAbsoluteNote = 1, // table[m_lNoteIndex]
    eRelativeNote = 2  // table[n + m_lNoteIndex] for the note n being computed
  };

  SRVParam() = default;
  SRVParam(int mode, long noteIndex, double value) : m_nMode(mode), m_lNoteIndex(noteIndex), m_dblValue(value) {}
  virtual ~SRVParam() = default;

  int m_nMode = eValue;
  long m_lNoteIndex = 0;
  double m_dblValue = 0.0;
};

class CFormula
{
public:
  CFormula() = default;
  virtual ~CFormula() = default;

  // Parses formula text (white space anywhere is ignored). Every field but m_lNoteIndex is
  // reset first; the owner sets m_lNoteIndex before parsing (the range clamp uses it).
  // False for an unknown operator, a missing or non-finite number, or a lone "#" / "+" at
  // the end; the fields parsed before the failure keep their values.
  bool SetFromStr(std::string text);

  // The formula as text: the terms that differ from their defaults, separated by a blank.
  std::string GetAsStr() const;

  // Applies the formula to a table of 128 frequencies in hertz, all notes of the range or
  // none: false, and the table unchanged, when a reference or addend names a note outside
  // the table for some note of the range, or when a frequency would not be a finite number.
  bool Apply(std::vector<double>& frequencies) const;

  // True when Apply would find every referenced note inside the table.
  bool ReferencesAreValid() const;

  long m_lNoteIndex = 0;                                  // first note of the range, 0..127
  double m_dblAbsFreqHz = 0.0;                            // > 0: pin the note to this frequency
  SRVParam m_srvReference{SRVParam::eRelativeNote, 0, 0}; // default: the note's own frequency
  double m_dblMultiplier = 1.0;
  double m_dblDivisor = 1.0;
  double m_dblCents = 0.0;
  SRVParam m_srvAddend{SRVParam::eValue, 0, 0}; // hertz added at the end
  long m_lRange = 0; // notes covered from m_lNoteIndex; negative downwards; 0 and 1 the note alone

private:
  void ResetTerms();
  // The notes Apply visits, in order.
  std::vector<long> RangeNotes() const;
};

// One range of MIDI channels (1 to 65535) a scale applies to; text "5" or "1-16".
class CMIDIChannelRange
{
public:
  CMIDIChannelRange() = default;
  virtual ~CMIDIChannelRange() = default;

  bool SetFromStr(std::string text); // both fields 0 after a failure
  std::string GetAsStr() const;

  long m_lFirst = 0;
  long m_lLast = 0;
};

} // namespace TUN
