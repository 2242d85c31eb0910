// Writing a CSingleScale as an AnaMark tuning file (.tun) in up to three format generations:
// 200 (functional tunings, keyboard mapping, channel assignment), 100 (exact cents with the
// mapping folded in) and 0 (rounded integer cents).
#include "tun_format.h"
#include "tun_scale.h"
#include "tun_strings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <locale>

namespace TUN {

namespace {

const char* const kVersionError = "Error in version settings - file not written.";

void Line(std::ostream& out, const char* text)
{
  out << text << '\n';
}

void Comment(std::ostream& out, std::initializer_list<const char*> lines)
{
  Line(out, ";");
  for (const char* l : lines) out << "; " << l << '\n';
  Line(out, ";");
}

void EndPart(std::ostream& out)
{
  out << "\n\n";
}

// Rounded integer cents of a frequency above note 0 of standard tuning; values that are no
// finite number of cents (a frequency of 0 or below) are written as the nearest long.
long QuantisedCents(double hz)
{
  const double c = std::floor(1200.0 * std::log2(hz / DefaultBaseFreqHz) + 0.5);
  if (std::isnan(c)) return 0;
  if (c >= static_cast<double>(LONG_MAX)) return LONG_MAX;
  if (c <= static_cast<double>(LONG_MIN)) return LONG_MIN;
  return static_cast<long>(c);
}

// Numbers in tuning files always use the "C" conventions ("." and no digit grouping),
// whatever locale the caller's stream carries; the caller's locale is restored afterwards.
class ClassicLocale
{
public:
  explicit ClassicLocale(std::ostream& out) : m_out(out), m_previous(out.imbue(std::locale::classic())) {}
  ~ClassicLocale() { m_out.imbue(m_previous); }
  ClassicLocale(const ClassicLocale&) = delete;
  ClassicLocale& operator=(const ClassicLocale&) = delete;

private:
  std::ostream& m_out;
  std::locale m_previous;
};

} // namespace

bool CSingleScale::Write(const char* fileName, long minVersion, long maxVersion, bool flag)
{
  // A bad version range must not truncate an existing file.
  if (std::max(minVersion, 0L) > std::min(maxVersion, 200L)) {
    m_err.m_strLastError = kVersionError;
    return false;
  }
  std::ofstream file;
  if (fileName) file.open(fileName, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file.is_open()) {
    m_err.m_strLastError = "Error opening the file.";
    return false;
  }
  if (!Write(file, minVersion, maxVersion, flag)) return false;
  file.flush();
  if (!file) {
    m_err.m_strLastError = "Error opening the file.";
    return false;
  }
  return true;
}

void CSingleScale::WriteSection(std::ostream& stream, long section)
{
  if (section < secScaleBegin || section > secDataSet) return;
  stream << strx::GetAsSection(m_vstrSections[section]) << '\n';
}

namespace {

bool KeyLead(std::ostream& stream, long key, long index)
{
  if (key < CSingleScale::keyFormat || key > CSingleScale::keyAllData) return false;
  stream << CSingleScale::m_vstrKeys[key];
  if (key == CSingleScale::keyNote || key == CSingleScale::keyKeyboard) stream << ' ' << index;
  stream << " = ";
  return true;
}

} // namespace

void CSingleScale::WriteKey(std::ostream& stream, long key, const std::string& value, long index)
{
  if (value.empty()) return;
  if (KeyLead(stream, key, index)) stream << strx::GetAsString(value) << '\n';
}

void CSingleScale::WriteKey(std::ostream& stream, long key, long value, long index)
{
  if (KeyLead(stream, key, index)) stream << value << '\n';
}

void CSingleScale::WriteKey(std::ostream& stream, long key, double value, long index)
{
  if (KeyLead(stream, key, index)) stream << (std::fabs(value) < 1e-8 ? 0.0 : value) << '\n';
}

void CSingleScale::WriteKey(std::ostream& stream, long key, const std::list<std::string>& values, long)
{
  if (key < keyFormat || key > keyAllData) return;
  for (const std::string& v : values)
    if (!v.empty()) stream << m_vstrKeys[key] << " = " << strx::GetAsString(v) << '\n';
}

bool CSingleScale::Write(std::ostream& stream, long minVersion, long maxVersion, bool)
{
  minVersion = std::max(minVersion, 0L);
  maxVersion = std::min(maxVersion, 200L);
  if (minVersion > maxVersion) {
    m_err.m_strLastError = kVersionError;
    return false;
  }
  auto inRange = [&](long v) { return minVersion <= v && v <= maxVersion; };
  const bool gen2 = inRange(200), gen1 = inRange(100), gen0 = inRange(0);
  const bool framed = gen1 || gen2;
  ClassicLocale classic(stream);

  if (framed) {
    Line(stream, ";");
    Line(stream, "; This is an AnaMark tuning map file V2.00");
    if (!gen2) Line(stream, "; written in V1.00 compatibility mode");
    Line(stream, ";");
    Line(stream, "; Written by the Veltrane tuning library, free tuning-file handling source code");
    Line(stream, ";");
    Line(stream, "; Specifications and free source code see:");
    stream << ";         " << format::kSpecsURL << '\n';
    Line(stream, ";");
    EndPart(stream);
    Comment(stream, {"Begin of tuning file and format declaration"});
    WriteSection(stream, secScaleBegin);
    WriteKey(stream, keyFormat, std::string(format::kName));
    WriteKey(stream, keyFormatVersion, 200L);
    WriteKey(stream, keyFormatSpecs, std::string(format::kSpecsURL));
    EndPart(stream);
  }

  if (gen2 && !m_lstMIDIChannelRanges.empty()) {
    Comment(stream, {"Assignment of scale dataset", "Note: This might be ignored, if this is not part of a MSF-File!",
                     "See the documentation of the software you use for details."});
    WriteSection(stream, secAssignment);
    WriteKey(stream, keyMIDIChannel, GetMIDIChannelsAssignment());
    EndPart(stream);
  }

  if (framed) {
    Comment(stream, {"Scale informations"});
    WriteSection(stream, secInfo);
    WriteKey(stream, keyName, m_strName);
    WriteKey(stream, keyID, m_strID);
    WriteKey(stream, keyFilename, m_strFilename);
    WriteKey(stream, keyAuthor, m_strAuthor);
    WriteKey(stream, keyLocation, m_strLocation);
    WriteKey(stream, keyContact, m_strContact);
    WriteKey(stream, keyDate, m_strDate);
    WriteKey(stream, keyEditor, m_strEditor);
    WriteKey(stream, keyEditorSpecs, m_strEditorSpecs);
    WriteKey(stream, keyDescription, m_strDescription);
    WriteKey(stream, keyKeyword, m_lststrKeywords);
    WriteKey(stream, keyHistory, m_strHistory);
    WriteKey(stream, keyGeography, m_strGeography);
    WriteKey(stream, keyInstrument, m_strInstrument);
    WriteKey(stream, keyComposition, m_lststrCompositions);
    WriteKey(stream, keyComments, m_strComments);
    EndPart(stream);
  }

  if (gen2) {
    Comment(stream, {"Version 2:", "Functional tunings"});
    WriteSection(stream, secFunctionalTuning);
    stream.precision(10);
    stream << m_vstrKeys[keyInitEqual] << " = (" << m_lBaseNote << ", "
           << (std::fabs(m_dblBaseFreqHz) < 1e-8 ? 0.0 : m_dblBaseFreqHz) << ")\n";
    for (const CFormula& f : m_lstFormulas) {
      // A formula at its defaults prints as an empty text, which WriteKey would skip.
      stream << m_vstrKeys[keyNote] << ' ' << f.m_lNoteIndex << " = " << strx::GetAsString(f.GetAsStr()) << '\n';
    }
    EndPart(stream);
  }

  const size_t notes = static_cast<size_t>(MaxNumOfNotes);
  const bool tableOK = m_vdblNoteFrequenciesHz.size() >= notes;
  auto frequencyOf = [&](long midiNote) {
    return tableOK ? m_vdblNoteFrequenciesHz[static_cast<size_t>(MapMIDI2Scale(midiNote))] : 0.0;
  };

  if (gen1) {
    Comment(stream, {"Version 1:", "AnaMark-specific section with exact tunings"});
    WriteSection(stream, secExactTuning);
    stream.precision(10);
    const double f0 = m_dblBaseFreqHz * std::pow(2.0, -static_cast<double>(m_lBaseNote) / 12.0);
    WriteKey(stream, keyBaseFreq, f0);
    for (long n = 0; n < MaxNumOfNotes; ++n) WriteKey(stream, keyNote, 1200.0 * std::log2(frequencyOf(n) / f0), n);
    EndPart(stream);
  }

  if (gen0) {
    Comment(stream, {"Version 0:", "VAZ-section with quantized tunings"});
    WriteSection(stream, secTuning);
    for (long n = 0; n < MaxNumOfNotes; ++n) WriteKey(stream, keyNote, QuantisedCents(frequencyOf(n)), n);
    EndPart(stream);
  }

  if (gen2) {
    const long loop = (m_lMappingLoopSize >= 1 && m_lMappingLoopSize <= 127) ? m_lMappingLoopSize : MaxNumOfNotes;
    const long entries = std::min(loop, static_cast<long>(m_vlMapping.size()));
    bool identity = true;
    for (long i = 0; i < entries; ++i)
      if (m_vlMapping[i] != i) identity = false;
    if (!identity) {
      Comment(stream, {"Keyboard mapping: Keyboard note number -> scale note number"});
      WriteSection(stream, secMapping);
      WriteKey(stream, keyLoopSize, m_lMappingLoopSize);
      for (long i = 0; i < entries; ++i)
        if (m_vlMapping[i] != i) WriteKey(stream, keyKeyboard, m_vlMapping[i], i);
      EndPart(stream);
    }
  } else if (gen1) {
    Comment(stream, {"In V1.00 compatibility mode, there is no explicit keyboard mapping",
                     "The order of frequencies above includes keyboard mapping settings."});
    EndPart(stream);
  }

  if (framed) {
    Comment(stream, {"End of tuning file"});
    WriteSection(stream, secScaleEnd);
    EndPart(stream);
  }

  m_err.m_strLastError.clear();
  return true;
}

} // namespace TUN
