#include "tun_scale.h"

#include "tun_numbers.h"
#include "tun_strings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace TUN {

namespace {

const double kCentsPerNeper = 1731.2340490667561; // 1200 / ln 2

int ClampNote(int note)
{
  return std::clamp(note, 0, static_cast<int>(MaxNumOfNotes - 1));
}

bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

} // namespace

double Hz2Cents(double hz, double baseHz)
{
  return kCentsPerNeper * std::log(hz / baseHz);
}
double Factor2Cents(double factor)
{
  return kCentsPerNeper * std::log(factor);
}
double Cents2Hz(double cents, double baseHz)
{
  return baseHz * std::pow(2.0, cents / 1200.0);
}
double Cents2Factor(double cents)
{
  return std::pow(2.0, cents / 1200.0);
}
double MIDINote_DefaultHz(int note)
{
  return DefaultBaseFreqHz * std::pow(2.0, ClampNote(note) * 100 / 1200.0);
}
double MIDINote_DefaultCents(int note)
{
  return ClampNote(note) * 100.0;
}

// The name tables come before ssTemporary___ in this file, so they are constructed first.
std::vector<std::string> CSingleScale::m_vstrSections;
std::vector<std::string> CSingleScale::m_vstrKeys;
CSingleScale ssTemporary___;

CSingleScale::CSingleScale()
{
  if (m_vstrSections.empty()) {
    m_vstrSections = {"",         "Scale Begin",  "Scale End",         "Info",    "Editor Specifics",
                      "Tuning",   "Exact Tuning", "Functional Tuning", "Mapping", "Assignment",
                      "_DataSet_"};
  }
  if (m_vstrKeys.empty()) {
    m_vstrKeys = {"",         "Format",    "FormatVersion", "FormatSpecs", "Name",        "ID",          "Filename",
                  "Author",   "Location",  "Contact",       "Date",        "Editor",      "EditorSpecs", "Description",
                  "Keyword",  "History",   "Geography",     "Instrument",  "Composition", "Comments",    "Note",
                  "BaseFreq", "InitEqual", "LoopSize",      "Keyboard",    "MIDIChannel", "AllData"};
  }
  Reset();
}

void CSingleScale::Reset()
{
  m_err.m_strLastError.clear();
  m_strFormat.clear();
  m_strFormatSpecs.clear();
  m_lFormatVersion = 0;
  m_lstMIDIChannelRanges.clear();

  for (std::string* s :
       {&m_strName, &m_strID, &m_strFilename, &m_strAuthor, &m_strLocation, &m_strContact, &m_strDate, &m_strEditor,
        &m_strEditorSpecs, &m_strDescription, &m_strHistory, &m_strGeography, &m_strInstrument, &m_strComments})
    s->clear();
  m_lststrKeywords.clear();
  m_lststrCompositions.clear();

  m_vdblNoteFrequenciesHz.resize(MaxNumOfNotes, 0.0);
  m_lBaseNote = 69;
  m_dblBaseFreqHz = 440.0;
  for (long n = 0; n < MaxNumOfNotes; ++n) m_vdblNoteFrequenciesHz[n] = std::pow(2.0, (n - 69) / 12.0) * 440.0;

  m_lstFormulas.clear();
  ResetKeyboardMapping();
}

void CSingleScale::InitEqual(long baseNote, double baseFreqHz)
{
  m_lBaseNote = baseNote;
  m_dblBaseFreqHz = baseFreqHz;
  m_vdblNoteFrequenciesHz.resize(MaxNumOfNotes, 0.0);
  for (long n = 0; n < MaxNumOfNotes; ++n) {
    // Any base note is accepted; one far outside the table must not turn 0 Hz times an
    // overflowing factor into a frequency that is not a number.
    const double semitones = static_cast<double>(n) - static_cast<double>(baseNote);
    m_vdblNoteFrequenciesHz[n] = num::Pow2Bounded(semitones / 12.0) * baseFreqHz;
  }
  m_lstFormulas.clear();
}

void CSingleScale::ResetKeyboardMapping()
{
  m_vlMapping.resize(MaxNumOfNotes, 0);
  for (long n = 0; n < MaxNumOfNotes; ++n) m_vlMapping[n] = n;
  m_lMappingLoopSize = 0;
}

long CSingleScale::SetMappingLoopSize(long loopSize)
{
  m_lMappingLoopSize = std::clamp(loopSize, 0L, MaxNumOfNotes);
  return m_lMappingLoopSize;
}

long CSingleScale::MapMIDI2Scale(long midiNote) const
{
  // Both the note and the loop are kept inside the 128-entry mapping, whatever the public
  // fields hold.
  const long note = std::clamp(midiNote, 0L, MaxNumOfNotes - 1);
  const long loop = std::min(m_lMappingLoopSize, MaxNumOfNotes);
  if (m_vlMapping.size() < static_cast<size_t>(MaxNumOfNotes)) return note;
  long result;
  if (loop < 1) {
    result = m_vlMapping[note];
  } else {
    const long r = note % loop;
    long scaleNote = 0;
    if (__builtin_add_overflow(note - r, m_vlMapping[r], &scaleNote))
      scaleNote = m_vlMapping[r] < 0 ? -1 : MaxNumOfNotes;
    result = scaleNote;
  }
  return std::clamp(result, 0L, MaxNumOfNotes - 1);
}

bool CSingleScale::SetDate(std::string text)
{
  if (IsDateFormatOK(text)) {
    m_strDate = text;
    m_err.m_strLastError.clear();
  } else {
    m_err.m_strLastError = "Date format mismatch. YYYY-MM-DD expected!";
  }
  return m_err.m_strLastError.empty();
}

bool CSingleScale::SetDate(long year, long month, long day)
{
  // Compared as unsigned, so negative values fail too.
  if (static_cast<unsigned long>(day) > 31 || static_cast<unsigned long>(year) > 9999 ||
      static_cast<unsigned long>(month) > 12)
    return false;
  char text[16];
  std::snprintf(text, sizeof text, "%04li-%02li-%02li", year, month, day);
  m_strDate = text;
  return true;
}

bool CSingleScale::IsDateFormatOK(const std::string& text)
{
  if (text.size() != 10) return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!IsDigit(text[i])) return false;
  return text[4] == '-' && text[7] == '-';
}

bool CSingleScale::IsNoteIndexOK(int index)
{
  return index >= 0 && index < MaxNumOfNotes;
}

bool CSingleScale::AddFormula(CFormula formula)
{
  if (!formula.Apply(m_vdblNoteFrequenciesHz)) return false;
  m_lstFormulas.push_back(formula);
  return true;
}

bool CSingleScale::SetMIDIChannelsAssignment(std::string text)
{
  std::list<std::string> pieces;
  strx::Split(text, ',', pieces, true, true);
  m_lstMIDIChannelRanges.clear();
  for (const std::string& piece : pieces) {
    CMIDIChannelRange range;
    if (!range.SetFromStr(piece)) {
      m_err.m_strLastError = "Error in MIDI channel range: syntax error or values exceed the range 1-65535!";
      return false;
    }
    m_lstMIDIChannelRanges.push_back(range);
  }
  return true;
}

std::string CSingleScale::GetMIDIChannelsAssignment() const
{
  std::string text;
  for (const CMIDIChannelRange& range : m_lstMIDIChannelRanges) {
    if (!text.empty()) text += ',';
    text += range.GetAsStr();
  }
  return text;
}

bool CSingleScale::AppliesToChannel(long channel) const
{
  if (m_lstMIDIChannelRanges.empty()) return true;
  for (const CMIDIChannelRange& range : m_lstMIDIChannelRanges)
    if (range.m_lFirst <= channel && channel <= range.m_lLast) return true;
  return false;
}

} // namespace TUN
