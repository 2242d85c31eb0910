#include "tun_formula.h"

#include "tun_strings.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace TUN {

namespace {

const long kLastNote = 127;

bool IsNote(long n)
{
  return n >= 0 && n <= kLastNote;
}

bool ReadsNote(const SRVParam& p)
{
  return p.m_nMode == SRVParam::eAbsoluteNote || p.m_nMode == SRVParam::eRelativeNote;
}

// The note an operand that reads a note reads when note n (0..127) is computed; -1 when
// the offset lies so far outside that no note can match.
long OperandNote(const SRVParam& p, long n)
{
  if (p.m_nMode == SRVParam::eAbsoluteNote) return p.m_lNoteIndex;
  if (p.m_lNoteIndex < -kLastNote - 1 || p.m_lNoteIndex > kLastNote + 1) return -1;
  return n + p.m_lNoteIndex;
}

bool OperandIsValid(const SRVParam& p, long n)
{
  return !ReadsNote(p) || IsNote(OperandNote(p, n));
}

double Resolve(const SRVParam& p, long n, const std::vector<double>& f)
{
  return ReadsNote(p) ? f[static_cast<size_t>(OperandNote(p, n))] : p.m_dblValue;
}

// Reads the number that follows an operator; formulas must not carry "nan" or "inf".
bool ReadNumber(const std::string& s, std::string::size_type& pos, double& value)
{
  double v = 0.0;
  if (!strx::Eval(s, pos, v) || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool ReadNumber(const std::string& s, std::string::size_type& pos, long& value)
{
  return strx::Eval(s, pos, value);
}

// "#" and "+" operands: "=" note, ">" offset, or a value in hertz.
bool ReadOperand(const std::string& s, std::string::size_type& pos, SRVParam& p)
{
  if (pos >= s.size()) return false;
  if (s[pos] == '=' || s[pos] == '>') {
    const int mode = s[pos] == '=' ? SRVParam::eAbsoluteNote : SRVParam::eRelativeNote;
    ++pos;
    long index = 0;
    if (!ReadNumber(s, pos, index)) return false;
    p = SRVParam(mode, index, 0.0);
    return true;
  }
  double value = 0.0;
  if (!ReadNumber(s, pos, value)) return false;
  p = SRVParam(SRVParam::eValue, 0, value);
  return true;
}

std::string OperandText(const SRVParam& p)
{
  switch (p.m_nMode) {
  case SRVParam::eAbsoluteNote:
    return "=" + strx::ltostr(p.m_lNoteIndex);
  case SRVParam::eRelativeNote:
    return ">" + strx::ltostr(p.m_lNoteIndex);
  default:
    return strx::dtostr(p.m_dblValue);
  }
}

} // namespace

void CFormula::ResetTerms()
{
  m_dblAbsFreqHz = 0.0;
  m_srvReference = SRVParam(SRVParam::eRelativeNote, 0, 0.0);
  m_dblMultiplier = 1.0;
  m_dblDivisor = 1.0;
  m_dblCents = 0.0;
  m_srvAddend = SRVParam(SRVParam::eValue, 0, 0.0);
  m_lRange = 0;
}

bool CFormula::SetFromStr(std::string text)
{
  ResetTerms();
  strx::RemoveSpaces(text);
  std::string::size_type pos = 0;
  while (pos < text.size()) {
    const char op = text[pos++];
    switch (op) {
    case '!': {
      double hz = 0.0;
      if (!ReadNumber(text, pos, hz)) return false;
      ResetTerms();
      m_dblAbsFreqHz = hz;
      return true; // whatever follows the pin is ignored
    }
    case '#':
      if (!ReadOperand(text, pos, m_srvReference)) return false;
      break;
    case '+':
      if (!ReadOperand(text, pos, m_srvAddend)) return false;
      break;
    case '*':
      if (!ReadNumber(text, pos, m_dblMultiplier)) return false;
      break;
    case '/':
      if (!ReadNumber(text, pos, m_dblDivisor)) return false;
      break;
    case '%':
      if (!ReadNumber(text, pos, m_dblCents)) return false;
      break;
    case '~': {
      if (!ReadNumber(text, pos, m_lRange)) return false;
      long end = 0;
      const bool overflow = __builtin_add_overflow(m_lNoteIndex, m_lRange, &end);
      if (overflow) end = m_lRange < 0 ? std::numeric_limits<long>::min() : std::numeric_limits<long>::max();
      // Ranges that run past either end of the table mean "to the end in that direction".
      if (end < 0)
        m_lRange = -999;
      else if (end > kLastNote)
        m_lRange = 999;
      break;
    }
    default:
      return false;
    }
  }
  return true;
}

std::string CFormula::GetAsStr() const
{
  if (m_dblAbsFreqHz > 0.0) return "!" + strx::dtostr(m_dblAbsFreqHz);
  std::string out;
  auto term = [&out](const std::string& t) {
    if (!out.empty()) out += ' ';
    out += t;
  };
  if (!(m_srvReference.m_nMode == SRVParam::eRelativeNote && m_srvReference.m_lNoteIndex == 0))
    term("#" + OperandText(m_srvReference));
  if (m_dblMultiplier != 1.0) term("*" + strx::dtostr(m_dblMultiplier));
  if (m_dblDivisor != 1.0) term("/" + strx::dtostr(m_dblDivisor));
  if (m_dblCents != 0.0) term("%" + strx::dtostr(m_dblCents));
  if (!(m_srvAddend.m_nMode == SRVParam::eValue && m_srvAddend.m_dblValue == 0.0)) term("+" + OperandText(m_srvAddend));
  if (m_lRange != 0) term("~" + strx::ltostr(m_lRange));
  return out;
}

std::vector<long> CFormula::RangeNotes() const
{
  std::vector<long> notes;
  const long step = m_lRange < 0 ? -1 : 1;
  // |range| without overflow for the most negative value; at least one note.
  const unsigned long count =
      m_lRange < 0 ? 0ul - static_cast<unsigned long>(m_lRange) : std::max(1ul, static_cast<unsigned long>(m_lRange));
  long n = m_lNoteIndex;
  for (unsigned long k = 0; k < count && IsNote(n); ++k, n += step) notes.push_back(n);
  return notes;
}

bool CFormula::ReferencesAreValid() const
{
  if (m_dblAbsFreqHz > 0.0) return true;
  for (long n : RangeNotes())
    if (!OperandIsValid(m_srvReference, n) || !OperandIsValid(m_srvAddend, n)) return false;
  return true;
}

bool CFormula::Apply(std::vector<double>& frequencies) const
{
  if (frequencies.size() < static_cast<size_t>(kLastNote + 1)) return false;
  if (!ReferencesAreValid()) return false;

  std::vector<double> f(frequencies);
  for (long n : RangeNotes()) {
    const size_t i = static_cast<size_t>(n);
    if (m_dblAbsFreqHz > 0.0) {
      const double factor = m_dblAbsFreqHz / f[i];
      for (double& x : f) {
        x *= factor;
        if (!std::isfinite(x)) return false;
      }
    } else {
      const double ref = Resolve(m_srvReference, n, f);
      const double add = Resolve(m_srvAddend, n, f);
      f[i] = ref * m_dblMultiplier / m_dblDivisor * std::exp2(m_dblCents / 1200.0) + add;
      if (!std::isfinite(f[i])) return false;
    }
  }
  frequencies.swap(f);
  return true;
}

bool CMIDIChannelRange::SetFromStr(std::string text)
{
  m_lFirst = m_lLast = 0;
  strx::RemoveSpaces(text);
  std::string::size_type pos = 0;
  long a = 0;
  if (!strx::Eval(text, pos, a)) return false;
  long b = a;
  if (pos < text.size()) {
    if (text[pos] != '-') return false;
    ++pos;
    if (!strx::Eval(text, pos, b)) return false; // bytes after the last channel are not examined
  }
  if (a < 1 || b < 1 || a > b || b > 65535) return false;
  m_lFirst = a;
  m_lLast = b;
  return true;
}

std::string CMIDIChannelRange::GetAsStr() const
{
  std::string s = strx::ltostr(m_lFirst);
  if (m_lLast != m_lFirst) s += "-" + strx::ltostr(m_lLast);
  return s;
}

} // namespace TUN
