#include "tun_scala.h"

#include "tun_file.h"
#include "tun_numbers.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace TUN {

namespace {

namespace err {
const char* const kNoData = "No data in file.";
const char* const kScaleSize = "Scale size not allowed. Must be within [1;127].";
const char* const kFurtherData = "End of file expected, but further data found.";
const char* const kOperator = "Unknown operator. '/' expected.";
const char* const kDivisionByZero = "Division by zero.";
const char* const kRatio = "Ratio not allowed. Must be greater than 0.";
const char* const kNotFinite = "Value not allowed. Must be a finite number.";
const char* const kLessEntries = "Less tuning entries found than expected.";
const char* const kPremature = "Premature end of file.";
const char* const kSettingRange = "Setting out of range.";
const char* const kAdditionalData = "End of file expected, but additional data found.";
} // namespace err

const long kLastNote = MaxNumOfNotes - 1;

long ClampNote(long n)
{
  return std::clamp(n, 0L, kLastNote);
}

double ClampRefFreq(double hz)
{
  return std::clamp(hz, 0.001, 100000.0);
}

bool IsSpace(char c)
{
  return c == ' ' || (c >= 9 && c <= 13);
}

// The next line that is neither empty nor a "!" comment.
bool NextLine(std::istream& stream, CStringParser& parser, std::string& line)
{
  long lineNo = 0;
  while (parser.GetLineAndTrim(stream, lineNo)) {
    if (parser.m_strLine.empty() || parser.m_strLine[0] == '!') continue;
    line = parser.m_strLine;
    return true;
  }
  return false;
}

// A line that begins with an integer standing alone: an optional sign and digits, then the end
// of the line or a blank (a label may follow).
bool IsWholeNumber(const std::string& line)
{
  std::string::size_type i = line[0] == '+' || line[0] == '-' ? 1 : 0;
  const std::string::size_type digits = i;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
  return i > digits && (i == line.size() || IsSpace(line[i]));
}

// The part of a path after its last "/" or "\".
std::string FileName(const char* path)
{
  const std::string p(path);
  const std::string::size_type slash = p.find_last_of("/\\");
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

} // namespace

CSCL_Import::CSCL_Import()
{
  ResetTuning();
  ResetMapping();
  std::fill(std::begin(m_adblNoteCents), std::end(m_adblNoteCents), 0.0);
}

void CSCL_Import::ResetTuning()
{
  m_strScaleName = "Equal tempered (Default)";
  m_lScaleSize = MaxNumOfNotes;
  for (long i = 0; i < MaxNumOfNotes; ++i) m_adblScaleCents[i] = 100.0 * i;
}

void CSCL_Import::ResetMapping()
{
  // Without a mapping file a scale of N degrees lies linearly on the keys: degree 0 on note 60,
  // N keys per period, note 69 at 440 Hz. A 12-note scale thus sits as on a piano.
  m_strMappingName = "MIDI (Default)";
  m_lMapSize = 0;
  m_lFirstNote = 0;
  m_lLastNote = kLastNote;
  m_lMiddleNote = 60;
  m_lRefNote = 69;
  m_dblRefFreqHz = 440.0;
  m_lFormalOctave = 0; // a linear mapping repeats at the scale's last degree
  for (long i = 0; i < MaxNumOfNotes; ++i) m_alKeyMapping[i] = i;
}

bool CSCL_Import::Fail(const char* text)
{
  m_err.m_strLastError = text;
  return false;
}

bool CSCL_Import::ReadSCL(const char* path)
{
  std::string text;
  if (const char* error = ReadWholeFile(path, text)) return Fail(error);
  std::istringstream file(text);
  ResetTuning();
  m_strScaleName = FileName(path);
  CStringParser parser;
  return ReadSCLLines(file, parser);
}

bool CSCL_Import::ReadSCL(std::istream& stream, CStringParser& parser)
{
  ResetTuning();
  return ReadSCLLines(stream, parser);
}

bool CSCL_Import::ReadSCLLines(std::istream& stream, CStringParser& parser)
{
  m_lScaleSize = -1;
  std::string line;
  if (!NextLine(stream, parser, line)) return Fail(err::kNoData);

  // The description may be missing; a first line of digits only is the count.
  if (line.find_first_not_of("0123456789") != std::string::npos) {
    m_strScaleName = line;
    if (!NextLine(stream, parser, line)) return Fail(err::kNoData);
  }

  const long count = num::AtoL(line.c_str());
  if (count < 1 || count > kLastNote) return Fail(err::kScaleSize);
  m_lScaleSize = count;
  m_adblScaleCents[0] = 0.0;

  long read = 0;
  while (NextLine(stream, parser, line)) {
    if (read == m_lScaleSize) return Fail(err::kFurtherData);
    double cents = 0.0;
    const std::string::size_type first = line.find_first_not_of("+-0123456789");
    if (first != std::string::npos && line[first] == '.') {
      cents = num::AtoF(line.c_str()); // "701.955", ".5", "-5.5 comment"
    } else {
      // A ratio "p/q", or a whole number "p" standing for p/1 ("2" is the octave).
      const char* end = nullptr;
      const double numerator = num::ScanDouble(line.c_str(), &end);
      while (IsSpace(*end)) ++end;
      double denominator = 1.0;
      if (*end == '/')
        denominator = num::ScanDouble(end + 1, nullptr);
      else if (!IsWholeNumber(line))
        return Fail(err::kOperator);
      if (denominator == 0.0) return Fail(err::kDivisionByZero);
      const double ratio = numerator / denominator;
      if (!std::isfinite(ratio)) return Fail(err::kNotFinite);
      if (ratio <= 0.0) return Fail(err::kRatio); // no interval has a logarithm there
      cents = Factor2Cents(ratio);
    }
    if (!std::isfinite(cents)) return Fail(err::kNotFinite);
    m_adblScaleCents[++read] = cents;
  }
  if (read != m_lScaleSize) return Fail(err::kLessEntries);
  return true;
}

bool CSCL_Import::ReadKBM(const char* path)
{
  std::string text;
  if (const char* error = ReadWholeFile(path, text)) return Fail(error);
  std::istringstream file(text);
  ResetMapping();
  m_strMappingName = FileName(path);
  CStringParser parser;
  return ReadKBMLines(file, parser);
}

bool CSCL_Import::ReadKBM(std::istream& stream, CStringParser& parser)
{
  ResetMapping();
  return ReadKBMLines(stream, parser);
}

bool CSCL_Import::ReadKBMLines(std::istream& stream, CStringParser& parser)
{
  std::string line;
  for (int setting = 0; setting < 7; ++setting) {
    if (!NextLine(stream, parser, line)) return Fail(err::kPremature);
    const char* text = line.c_str();
    switch (setting) {
    case 0: {
      // 0 is the linear mapping: each key the next degree.
      const long size = num::AtoL(text);
      m_lMapSize = size == 0 ? 0 : std::clamp(size, 1L, kLastNote);
      break;
    }
    case 1:
      m_lFirstNote = ClampNote(num::AtoL(text));
      break;
    case 2:
      m_lLastNote = ClampNote(num::AtoL(text));
      if (!(m_lFirstNote < m_lLastNote)) return Fail(err::kSettingRange);
      break;
    case 3:
      m_lMiddleNote = ClampNote(num::AtoL(text));
      if (m_lMiddleNote + m_lMapSize >= MaxNumOfNotes) return Fail(err::kSettingRange);
      break;
    case 4:
      m_lRefNote = ClampNote(num::AtoL(text));
      break;
    case 5: {
      // No key sounds at 0 Hz or below (nor at "nan"): such a file is refused rather than clamped, which
      // would put every key at the lowest pitch.
      const double hz = num::AtoF(text);
      if (!(hz > 0.0)) return Fail(err::kSettingRange);
      m_dblRefFreqHz = ClampRefFreq(hz);
      break;
    }
    default:
      m_lFormalOctave = ClampNote(num::AtoL(text));
      break;
    }
  }

  // Entries missing at the end of the file are unmapped keys.
  bool ended = false;
  for (long i = 0; i < m_lMapSize; ++i) {
    m_alKeyMapping[i] = -1;
    if (ended) continue;
    if (!NextLine(stream, parser, line)) {
      ended = true;
      continue;
    }
    if (line[0] == 'x' || line[0] == 'X') continue;
    m_alKeyMapping[i] = ClampNote(num::AtoL(line.c_str()));
  }
  if (!ended && NextLine(stream, parser, line)) return Fail(err::kAdditionalData);
  return true;
}

double CSCL_Import::DegreeCents(long degree) const
{
  // Degree d of a scale of N degrees is degree d mod N, d div N periods up; the period is the
  // scale's last degree (degree N). The default scale of 128 equal-tempered degrees has no
  // entry for its degree 128: its period is 128 semitones.
  const long n = std::min(m_lScaleSize, MaxNumOfNotes);
  const double period = n < MaxNumOfNotes ? m_adblScaleCents[n] : 100.0 * n;
  return static_cast<double>(degree / n) * period + m_adblScaleCents[degree % n];
}

void CSCL_Import::ApplyMapping()
{
  for (long n = 0; n < MaxNumOfNotes; ++n) m_adblNoteCents[n] = 100.0 * n;
  if (m_lScaleSize < 1) return; // no scale read: every key stays equal-tempered

  // The public fields are kept inside the tables whatever they hold.
  const bool linear = m_lMapSize < 1;
  const long keys = linear ? std::min(m_lScaleSize, MaxNumOfNotes) : std::min(m_lMapSize, kLastNote);
  const double period = linear ? DegreeCents(keys) : DegreeCents(ClampNote(m_lFormalOctave));
  const long middle = ClampNote(m_lMiddleNote);
  for (long n = std::max(m_lFirstNote, 0L); n <= std::min(m_lLastNote, kLastNote); ++n) {
    const long d = n - middle;
    long q = d / keys; // rounded towards minus infinity
    if (d % keys != 0 && d < 0) --q;
    const long r = d - q * keys;
    const long degree = linear ? r : std::min(m_alKeyMapping[r], kLastNote);
    if (degree < 0) continue; // unmapped key
    m_adblNoteCents[n] = 100.0 * middle + q * period + DegreeCents(degree);
  }
}

void CSCL_Import::SetSingleScale(CSingleScale& scale)
{
  ApplyMapping();
  const long ref = ClampNote(m_lRefNote);
  const double refHz = std::isnan(m_dblRefFreqHz) ? 440.0 : ClampRefFreq(m_dblRefFreqHz);
  scale.Reset();
  scale.InitEqual(ref, refHz);
  for (long n = 0; n < MaxNumOfNotes; ++n) {
    if (n == ref) continue;
    CFormula f;
    f.m_lNoteIndex = n;
    f.m_srvReference = SRVParam(SRVParam::eAbsoluteNote, ref, 0.0);
    f.m_dblCents = m_adblNoteCents[n] - m_adblNoteCents[ref];
    // A note whose frequency would overflow keeps its equal-tempered value.
    scale.AddFormula(f);
  }
}

} // namespace TUN
