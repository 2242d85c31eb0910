// Import of Scala scales (.scl: a list of intervals) and keyboard mappings (.kbm: which
// scale degree each MIDI key plays and which key sounds at which frequency).
//
// The importer keeps the last scale and the last mapping read; each read replaces only its
// own half, so the two files can be loaded in either order. SetSingleScale turns the pair
// into a 128-note scale.
//
// Typical use:
//   TUN::CSCL_Import scala;                 // lives as long as the instrument instance
//   bool ok = scala.ReadSCL("meantone.scl"); // or ReadKBM(...)
//   TUN::CSingleScale scale;
//   scala.SetSingleScale(scale);             // whatever ok is: failed reads leave defaults
//   if (!ok) report(scala.m_err.m_strLastError);
#pragma once

#include "tun_line_reader.h"
#include "tun_scale.h"

#include <istream>
#include <string>

namespace TUN {

class CSCL_Import
{
public:
  CSCL_Import();
  virtual ~CSCL_Import() = default;

  // Twelve-tone equal temperament as a 128-degree scale.
  void ResetTuning();
  // The linear mapping: degree 0 on note 60, each key the next degree, note 69 at 440 Hz.
  void ResetMapping();

  // False with m_err set on failure; the scale or mapping is then left as far as it was read. A path
  // names a regular file of at most 1 MiB, read whole before parsing: anything else is refused at
  // once and changes nothing.
  bool ReadSCL(const char* path);
  bool ReadSCL(std::istream& stream, CStringParser& parser);
  bool ReadKBM(const char* path);
  bool ReadKBM(std::istream& stream, CStringParser& parser);

  // The pitch of every MIDI note in cents into m_adblNoteCents.
  void ApplyMapping();
  // Rebuilds the scale: equal temperament on the reference note, then one formula per note.
  void SetSingleScale(CSingleScale& scale);

  CErr m_err; // last error; a successful read does not clear it

  std::string m_strScaleName;             // description line of the scale file, else its file name
  long m_lScaleSize;                      // degrees 1..127 after a read; -1 while reading
  double m_adblScaleCents[MaxNumOfNotes]; // [0] the unison, [1..m_lScaleSize] the file's intervals
  double m_adblNoteCents[MaxNumOfNotes];  // work table of ApplyMapping

  std::string m_strMappingName;
  long m_lMapSize;                    // keys per mapping pattern, 1..127; 0 the linear mapping
  long m_lFirstNote;                  // first MIDI note retuned
  long m_lLastNote;                   // last MIDI note retuned
  long m_lMiddleNote;                 // key that plays the pattern's first entry
  long m_lRefNote;                    // key whose frequency is given
  double m_dblRefFreqHz;              // 0.001..100000
  long m_lFormalOctave;               // scale degree whose interval separates adjacent patterns
  long m_alKeyMapping[MaxNumOfNotes]; // degree per pattern position, -1 unmapped; may exceed the scale

private:
  bool ReadSCLLines(std::istream& stream, CStringParser& parser);
  bool ReadKBMLines(std::istream& stream, CStringParser& parser);
  bool Fail(const char* text);
  // Cents of a degree 0..127 of the current scale, degrees beyond it in later periods.
  double DegreeCents(long degree) const;
};

} // namespace TUN
