// The tuning scale model: 128 scale notes with their frequencies, a keyboard mapping from
// MIDI notes to scale notes, the descriptive texts of a tuning file, the formulas that built
// the table and the MIDI channels the scale applies to.
//
// Typical use (the engine's load of a tuning file):
//   TUN::CSingleScale scale;                     // 12-tone equal temperament, A4 = 440 Hz
//   if (scale.Read(path) <= 0) report(scale.m_err.m_strLastError, scale.m_lLineNo);
//   for (long n = 0; n < TUN::MaxNumOfNotes; ++n)
//     hz[n] = scale.m_vdblNoteFrequenciesHz[scale.MapMIDI2Scale(n)];
//
// Conventions: setters return false and leave their error text in m_err; readers return 1
// for success, 0 for no data and -1 for an error. Nothing is thrown for bad file content.
#pragma once

#include "tun_formula.h"
#include "tun_line_reader.h"

#include <istream>
#include <list>
#include <ostream>
#include <string>
#include <vector>

namespace TUN {

const long MaxNumOfNotes = 128;
// MIDI note 0 in 12-tone equal temperament with note 69 at 440 Hz: 440 * 2^(-69/12).
const double DefaultBaseFreqHz = 8.175798915643707;

// Unit conversions; cents are 1/1200 octave.
double Hz2Cents(double hz, double baseHz);
double Factor2Cents(double factor);
double Cents2Hz(double cents, double baseHz);
double Cents2Factor(double cents);
double MIDINote_DefaultHz(int note);    // equal temperament, note clamped to 0..127
double MIDINote_DefaultCents(int note); // 100 * note, note clamped to 0..127

// The last error text of an object; empty means no error.
class CErr
{
public:
  virtual ~CErr() = default;
  std::string m_strLastError;
};

class CSingleScale
{
public:
  enum eSection {
    secNone = 0,
    secScaleBegin,
    secScaleEnd,
    secInfo,
    secEditorSpecifics,
    secTuning,
    secExactTuning,
    secFunctionalTuning,
    secMapping,
    secAssignment,
    secDataSet,
    secCount
  };

  enum eKey {
    keyNone = 0,
    keyFormat,
    keyFormatVersion,
    keyFormatSpecs,
    keyName,
    keyID,
    keyFilename,
    keyAuthor,
    keyLocation,
    keyContact,
    keyDate,
    keyEditor,
    keyEditorSpecs,
    keyDescription,
    keyKeyword,
    keyHistory,
    keyGeography,
    keyInstrument,
    keyComposition,
    keyComments,
    keyNote, // indexed: "Note 69"
    keyBaseFreq,
    keyInitEqual,
    keyLoopSize,
    keyKeyboard, // indexed: "Keyboard 5"
    keyMIDIChannel,
    keyAllData,
    keyCount
  };

  CSingleScale();
  virtual ~CSingleScale() = default;

  // Back to 12-tone equal temperament with note 69 at 440 Hz, identity mapping, no texts.
  void Reset();
  // Equal temperament with baseNote at baseFreqHz; empties the formula list.
  void InitEqual(long baseNote, double baseFreqHz);
  void ResetKeyboardMapping();
  // Negative sizes store 0 (no loop); sizes above 128 store 128. Returns the stored size.
  long SetMappingLoopSize(long loopSize);
  // Scale note 0..127 that MIDI note midiNote (0..127) plays.
  long MapMIDI2Scale(long midiNote) const;

  bool SetDate(std::string text); // "YYYY-MM-DD"
  bool SetDate(long year, long month, long day);
  static bool IsDateFormatOK(const std::string& text);
  static bool IsNoteIndexOK(int index);

  // Applies the formula to the frequency table and appends it to m_lstFormulas. False, with
  // nothing changed, when the formula reads a note outside the table or would produce a
  // frequency that is not a finite number.
  bool AddFormula(CFormula formula);

  // Comma-separated channel ranges, "1-4,9"; an empty list applies to every channel.
  bool SetMIDIChannelsAssignment(std::string text);
  std::string GetMIDIChannelsAssignment() const;
  bool AppliesToChannel(long channel) const;

  // Reading a .tun file: 1 success, 0 file not openable or no dataset, -1 error
  // (m_err holds the text, m_lLineNo the line, counted from 0). Only a regular file of at most
  // 1 MiB is read, whole, before parsing; anything else is refused at once, with nothing changed.
  long Read(const char* fileName);
  long Read(std::istream& stream, CStringParser& parser);
  static long FindSection(const std::string& name);             // lower-case, trimmed
  static long FindKey(const std::string& key, long& noteIndex); // lower-case, trimmed
  bool CheckType(const std::string& value, std::string& text);
  bool CheckType(const std::string& value, long& number);
  bool CheckType(const std::string& value, double& number);

  // Writing a .tun file with the generations whose version (0, 100, 200) lies in
  // minVersion..maxVersion; the flag has no effect.
  bool Write(const char* fileName, long minVersion = 0, long maxVersion = 200, bool flag = false);
  bool Write(std::ostream& stream, long minVersion = 0, long maxVersion = 200, bool flag = false);
  void WriteSection(std::ostream& stream, long section);
  void WriteKey(std::ostream& stream, long key, const std::string& value, long index = 0);
  void WriteKey(std::ostream& stream, long key, long value, long index = 0);
  void WriteKey(std::ostream& stream, long key, double value, long index = 0);
  void WriteKey(std::ostream& stream, long key, const std::list<std::string>& values, long index = 0);

  CErr m_err;
  long m_lLineNo = -1; // line of the last read's error or end, counted from 0; -1 before any read

  std::string m_strName;
  std::string m_strID;
  std::string m_strFilename;
  std::string m_strAuthor;
  std::string m_strLocation;
  std::string m_strContact;
  std::string m_strEditor;
  std::string m_strEditorSpecs;
  std::string m_strDescription; // the engine shows it as the tuning's name
  std::list<std::string> m_lststrKeywords;
  std::string m_strHistory;
  std::string m_strGeography;
  std::string m_strInstrument;
  std::list<std::string> m_lststrCompositions; // "Musician or Band|Album|Title|Year|Misc"
  std::string m_strComments;
  std::string m_strFormat;
  long m_lFormatVersion = 0;
  std::string m_strFormatSpecs;
  std::list<CMIDIChannelRange> m_lstMIDIChannelRanges; // empty: all channels
  std::string m_strDate;                               // "YYYY-MM-DD"
  long m_lBaseNote = 69;                               // base of the last equal-temperament initialisation
  double m_dblBaseFreqHz = 440.0;                      // its frequency in hertz
  std::vector<double> m_vdblNoteFrequenciesHz;         // 128 scale notes, hertz
  std::list<CFormula> m_lstFormulas;                   // in the order they were applied
  std::vector<long> m_vlMapping;                       // 128 entries: scale note of each MIDI note
  long m_lMappingLoopSize = 0;                         // below 1: no loop

  // Section and key names, indexed by eSection and eKey; entry 0 is empty.
  static std::vector<std::string> m_vstrSections;
  static std::vector<std::string> m_vstrKeys;
};

// Built during static initialisation so that the name tables are filled before any other
// scale can be constructed.
extern CSingleScale ssTemporary___;

} // namespace TUN
