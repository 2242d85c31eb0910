// Reading AnaMark tuning files (.tun) into a CSingleScale.
#include "tun_file.h"
#include "tun_format.h"
#include "tun_numbers.h"
#include "tun_scale.h"
#include "tun_strings.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace TUN {

namespace {

namespace err {
const char* const kSectionVersion = "Section not version compliant.";
const char* const kSyntax = "Syntax error";
const char* const kString = "Value type mismatch. String expected!";
const char* const kInteger = "Value type mismatch. Integer expected!";
const char* const kFloat = "Value type mismatch. Float expected!";
const char* const kParamBlock = "Value type mismatch. Function parameter block expected!";
const char* const kFormat = "Format not supported.";
const char* const kComma = "Coma after parameter 1 missing!";
const char* const kTrailing = "No more data expected after parameter 2!";
const char* const kFormula = "Formula syntax error or parameter refers to invalid note index!";
const char* const kDate = "Date format mismatch. YYYY-MM-DD expected!";
const char* const kComposition = "Composition format mismatch. \"Musician or Band|Album|Title|Year|Misc\" expected!";
const char* const kScaleEnd = "[Scale End] missing at file end or read error.";
const char* const kNoDataset = "No scale dataset found";
const char* const kNoTuning = "No tuning data found!";
} // namespace err

typedef CSingleScale S;

// What one read has collected; the cents are counted from note 0.
struct ReadState
{
  long section = S::secNone;
  bool datasetFound = false;
  long tuningSection = S::secNone; // highest of [Tuning], [Exact Tuning], [Functional Tuning] met
  std::vector<long> cents;
  std::vector<double> exactCents;
  double exactBaseFreqHz = DefaultBaseFreqHz;
  long highestExactNote = -1;

  ReadState() : cents(MaxNumOfNotes), exactCents(MaxNumOfNotes)
  {
    for (long n = 0; n < MaxNumOfNotes; ++n) {
      cents[n] = 100 * n;
      exactCents[n] = 100.0 * n;
    }
  }
};

bool SectionAllowed(long section, long version)
{
  if (section == S::secNone) return true;
  if (section == S::secDataSet) return false;
  if (version >= 200) return section >= S::secScaleBegin && section <= S::secAssignment;
  if (version >= 100) return section == S::secTuning || section == S::secExactTuning;
  return false;
}

bool IsTuningSection(long section)
{
  return section == S::secTuning || section == S::secExactTuning || section == S::secFunctionalTuning;
}

// A frequency of baseHz raised by cents that is a finite number (0 Hz included). Huge values
// read from a file would otherwise become infinite frequencies that no writer can print back.
bool IsFiniteHz(double baseHz, double cents)
{
  return std::isfinite(baseHz * std::exp2(cents / 1200.0));
}

void SkipBlanks(const std::string& s, std::string::size_type& pos)
{
  while (pos < s.size() && strx::WhiteSpaceChars().find(s[pos]) != std::string::npos) ++pos;
}

} // namespace

long CSingleScale::Read(const char* fileName)
{
  std::string text;
  if (const char* error = ReadWholeFile(fileName, text)) {
    m_err.m_strLastError = error;
    return 0;
  }
  std::istringstream file(text);
  CStringParser parser;
  return Read(file, parser);
}

long CSingleScale::FindSection(const std::string& name)
{
  if (name.empty()) return secNone;
  for (size_t i = 1; i < m_vstrSections.size(); ++i)
    if (name == strx::GetAsLower(m_vstrSections[i])) return static_cast<long>(i);
  return secNone;
}

long CSingleScale::FindKey(const std::string& key, long& noteIndex)
{
  if (key.empty()) return keyNone;
  for (size_t i = 1; i < m_vstrKeys.size(); ++i) {
    const std::string k = strx::GetAsLower(m_vstrKeys[i]);
    const bool indexed = i == keyNote || i == keyKeyboard;
    if (key == k) return indexed ? static_cast<long>(keyNone) : static_cast<long>(i); // "Note" needs its number
    if (indexed && key.compare(0, k.size(), k) == 0) {
      noteIndex = num::AtoL(key.c_str() + k.size());
      if (noteIndex >= 0 && noteIndex < MaxNumOfNotes) return static_cast<long>(i);
    }
  }
  return keyNone;
}

bool CSingleScale::CheckType(const std::string& value, std::string& text)
{
  text = value;
  if (strx::EvalString(text))
    m_err.m_strLastError.clear();
  else
    m_err.m_strLastError = err::kString;
  return m_err.m_strLastError.empty();
}

bool CSingleScale::CheckType(const std::string& value, long& number)
{
  std::string::size_type pos = 0;
  strx::Eval(value, pos, number);
  if (pos == value.size() && !value.empty())
    m_err.m_strLastError.clear();
  else
    m_err.m_strLastError = err::kInteger;
  return m_err.m_strLastError.empty();
}

bool CSingleScale::CheckType(const std::string& value, double& number)
{
  std::string::size_type pos = 0;
  double scanned = 0.0;
  const bool any = strx::Eval(value, pos, scanned);
  // "nan" and "inf" read as numbers but are no frequency or interval: rejected.
  if (any && std::isfinite(scanned)) number = scanned;
  if (any && std::isfinite(scanned) && pos == value.size())
    m_err.m_strLastError.clear();
  else
    m_err.m_strLastError = err::kFloat;
  return m_err.m_strLastError.empty();
}

long CSingleScale::Read(std::istream& stream, CStringParser& parser)
{
  Reset();
  ReadState st;

  auto fail = [this](const char* text) {
    m_err.m_strLastError = text;
    return -1L;
  };

  // The frequency table from the tuning section met; the data of [Tuning] and [Exact Tuning]
  // are applied only here.
  auto finish = [&]() -> long {
    std::vector<double> cents(MaxNumOfNotes);
    double baseHz = DefaultBaseFreqHz;
    switch (st.tuningSection) {
    case secTuning:
      for (long n = 0; n < MaxNumOfNotes; ++n) cents[n] = static_cast<double>(st.cents[n]);
      break;
    case secExactTuning: {
      // Notes above the highest one given repeat the pattern 0..h, each repetition the
      // interval of note h higher.
      const long h = st.highestExactNote;
      if (h >= 0 && h < MaxNumOfNotes - 1) {
        const double period = st.exactCents[h];
        for (long n = h; n < MaxNumOfNotes; ++n) st.exactCents[n] = st.exactCents[n - h] + period;
      }
      cents = st.exactCents;
      baseHz = st.exactBaseFreqHz;
      break;
    }
    case secFunctionalTuning:
      m_err.m_strLastError.clear();
      return 1;
    default:
      return fail(err::kNoTuning);
    }
    // A repeated pattern can still climb beyond every finite frequency: refused as its values are.
    for (long n = 0; n < MaxNumOfNotes; ++n)
      if (!IsFiniteHz(baseHz, cents[n])) return fail(st.tuningSection == secTuning ? err::kInteger : err::kFloat);
    ResetKeyboardMapping();
    InitEqual(0, baseHz);
    for (long n = 0; n < MaxNumOfNotes; ++n) m_vdblNoteFrequenciesHz[n] = baseHz * num::Pow2Bounded(cents[n] / 1200.0);
    // Formulas that describe the table for the writer, not applied; note 127 first so that
    // replaying them in list order leaves note 0 (their common reference) for last.
    for (long n = MaxNumOfNotes - 1; n >= 0; --n) {
      CFormula f;
      f.m_lNoteIndex = n;
      f.m_srvReference = SRVParam(SRVParam::eAbsoluteNote, 0, 0.0);
      f.m_dblCents = cents[n];
      m_lstFormulas.push_back(f);
    }
    m_err.m_strLastError.clear();
    return 1;
  };

  std::string key, value, text;
  while (parser.GetLineAndTrim(stream, m_lLineNo)) {
    const std::string& line = parser.m_strLine;
    if (line.empty() || line[0] == ';') continue;

    std::string name = line;
    if (strx::EvalSection(name)) {
      const long s = FindSection(name);
      if (s == secScaleBegin) {
        st.section = s;
        st.datasetFound = true;
        continue;
      }
      if (!st.datasetFound) { // no dataset frame: the old format
        m_strFormat = format::kName;
        m_lFormatVersion = 100;
        m_strFormatSpecs = format::kSpecsURL;
      }
      if (!SectionAllowed(s, m_lFormatVersion)) return fail(err::kSectionVersion);
      if (s == secScaleEnd) return finish(); // nothing after it is read
      if (IsTuningSection(s)) {
        // Functional beats exact beats integer tunings, whatever their order in the file.
        if (st.tuningSection > s) {
          st.section = secNone;
        } else {
          st.tuningSection = s;
          st.section = s;
        }
      } else {
        st.section = s;
      }
      st.datasetFound = true;
      continue;
    }

    if (st.section == secNone || st.section == secEditorSpecifics) continue;
    if (!strx::EvalKeyAndValue(line, key, value)) return fail(err::kSyntax);
    long index = -1;
    const long k = FindKey(key, index);

    switch (st.section) {
    case secScaleBegin:
      if (k == keyFormat) {
        if (!CheckType(value, m_strFormat)) return -1;
        if (m_strFormat != format::kName) return fail(err::kFormat);
      } else if (k == keyFormatVersion) {
        if (!CheckType(value, m_lFormatVersion)) return -1;
      } else if (k == keyFormatSpecs) {
        if (!CheckType(value, m_strFormatSpecs)) return -1;
      }
      break;

    case secInfo: {
      std::string* field = nullptr;
      switch (k) {
      case keyName:
        field = &m_strName;
        break;
      case keyID:
        field = &m_strID;
        break;
      case keyFilename:
        field = &m_strFilename;
        break;
      case keyAuthor:
        field = &m_strAuthor;
        break;
      case keyLocation:
        field = &m_strLocation;
        break;
      case keyContact:
        field = &m_strContact;
        break;
      case keyEditor:
        field = &m_strEditor;
        break;
      case keyEditorSpecs:
        field = &m_strEditorSpecs;
        break;
      case keyDescription:
        field = &m_strDescription;
        break;
      case keyHistory:
        field = &m_strHistory;
        break;
      case keyGeography:
        field = &m_strGeography;
        break;
      case keyInstrument:
        field = &m_strInstrument;
        break;
      case keyComments:
        field = &m_strComments;
        break;
      default:
        break;
      }
      if (field) {
        if (!CheckType(value, *field)) return -1;
      } else if (k == keyDate) {
        if (!CheckType(value, m_strDate)) return -1;
        if (!IsDateFormatOK(m_strDate)) return fail(err::kDate);
      } else if (k == keyKeyword) {
        if (!CheckType(value, text)) return -1;
        if (!text.empty()) m_lststrKeywords.push_back(text);
      } else if (k == keyComposition) {
        if (!CheckType(value, text)) return -1;
        if (!text.empty()) {
          if (std::count(text.begin(), text.end(), '|') != 4) return fail(err::kComposition);
          m_lststrCompositions.push_back(text);
        }
      }
      break;
    }

    case secTuning:
      if (k == keyNote) {
        if (!CheckType(value, st.cents[index])) return -1;
        if (!IsFiniteHz(DefaultBaseFreqHz, static_cast<double>(st.cents[index]))) return fail(err::kInteger);
      }
      break;

    case secExactTuning:
      if (k == keyNote) {
        if (!CheckType(value, st.exactCents[index])) return -1;
        if (!IsFiniteHz(st.exactBaseFreqHz, st.exactCents[index])) return fail(err::kFloat);
        st.highestExactNote = std::max(st.highestExactNote, index);
      } else if (k == keyBaseFreq) {
        if (!CheckType(value, st.exactBaseFreqHz)) return -1;
        if (!(st.exactBaseFreqHz > 0.0)) return fail(err::kFloat); // no note sounds at 0 Hz or below
        for (double c : st.exactCents)
          if (!IsFiniteHz(st.exactBaseFreqHz, c)) return fail(err::kFloat);
      }
      break;

    case secFunctionalTuning:
      if (k == keyNote) {
        if (!CheckType(value, text)) return -1;
        CFormula formula;
        formula.m_lNoteIndex = index;
        if (!formula.SetFromStr(text) || !AddFormula(formula)) return fail(err::kFormula);
      } else if (k == keyInitEqual) {
        std::string block = value;
        if (!strx::EvalFunctionParam(block)) return fail(err::kParamBlock);
        std::string::size_type pos = 0;
        long baseNote = 0;
        strx::Eval(block, pos, baseNote); // nothing readable: 0
        m_lBaseNote = baseNote;
        SkipBlanks(block, pos);
        if (pos >= block.size() || block[pos] != ',') return fail(err::kComma);
        ++pos;
        double baseHz = 0.0;
        strx::Eval(block, pos, baseHz); // nothing readable: 0.0
        if (!std::isfinite(baseHz) || !(baseHz > 0.0)) return fail(err::kFloat);
        SkipBlanks(block, pos);
        if (pos != block.size()) return fail(err::kTrailing);
        // A base note so far off the table, or a frequency so high, that some note's frequency
        // is no finite number: refused, the table stays as it was.
        for (long n = 0; n < MaxNumOfNotes; ++n) {
          const double semitones = static_cast<double>(n) - static_cast<double>(baseNote);
          if (!std::isfinite(std::exp2(semitones / 12.0))) return fail(err::kInteger);
          if (!IsFiniteHz(baseHz, semitones * 100.0)) return fail(err::kFloat);
        }
        m_dblBaseFreqHz = baseHz;
        InitEqual(m_lBaseNote, m_dblBaseFreqHz);
      }
      break;

    case secMapping:
      if (k == keyKeyboard) {
        if (!CheckType(value, m_vlMapping[index])) return -1;
      } else if (k == keyLoopSize) {
        const bool ok = CheckType(value, m_lMappingLoopSize);
        // A loop longer than the table would index past the mapping's 128 entries.
        m_lMappingLoopSize = std::min(m_lMappingLoopSize, MaxNumOfNotes);
        if (!ok) return -1;
      }
      break;

    case secAssignment:
      if (k == keyMIDIChannel) {
        if (!CheckType(value, text)) return -1;
        if (!SetMIDIChannelsAssignment(text)) return -1;
      }
      break;

    default:
      break;
    }
  }

  if (!st.datasetFound) {
    m_err.m_strLastError = err::kNoDataset;
    return 0;
  }
  if (m_lFormatVersion >= 200) return fail(err::kScaleEnd);
  return finish();
}

} // namespace TUN
