#include "IParam.h"

#include "cnumbers.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Up to kTextSize - 1 characters and the terminator; src may lie in dest (a name set to itself).
void CopyText(char* dest, const char* src)
{
  if (!src) src = "";
  const size_t n = strnlen(src, IParam::kTextSize - 1);
  std::memmove(dest, src, n);
  dest[n] = '\0';
}

int TruncToInt(double x)
{
  if (!(x == x)) return 0;
  return int(std::clamp(std::trunc(x), double(INT_MIN), double(INT_MAX)));
}

// Decimals needed to show a step: 0.25 and 0.01 need 2, 0.001 needs 3; at most 6.
int PrecisionOfStep(double step)
{
  int precision = 0;
  for (double x = step; std::floor(x) != x && precision < 6; x *= 10.0) ++precision;
  return precision;
}

} // namespace

IParam::IParam() : mDisplayTexts(4096) {}

void IParam::SetTexts(const char* name, const char* label, const char* group)
{
  CopyText(mName, name);
  CopyText(mLabel, label);
  CopyText(mParamGroup, group);
}

void IParam::InitBool(const char* name, bool defaultVal, const char* label, const char* group)
{
  if (mType == kTypeNone) mType = kTypeBool;
  SetTexts(name, label, group);
  mValue = mDefault = defaultVal ? 1.0 : 0.0;
  mMin = 0.0;
  mMax = 1.0;
  mStep = 1.0;
  mShape = 1.0;
  mDisplayPrecision = 0;
  SetDisplayText(0, "off");
  SetDisplayText(1, "on");
}

void IParam::InitEnum(const char* name, int defaultVal, int nEnums, const char* label, const char* group)
{
  if (mType == kTypeNone) mType = kTypeEnum;
  SetTexts(name, label, group);
  mValue = mDefault = defaultVal;
  mMin = 0.0;
  mMax = std::max(1.0, double(nEnums) - 1.0);
  mStep = 1.0;
  mShape = 1.0;
  mDisplayPrecision = 0;
}

void IParam::InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label, const char* group)
{
  if (mType == kTypeNone) mType = kTypeInt;
  SetTexts(name, label, group);
  mValue = mDefault = defaultVal;
  mMin = minVal;
  mMax = std::max(double(minVal) + 1.0, double(maxVal));
  mStep = 1.0;
  mShape = 1.0;
  mDisplayPrecision = 0;
}

void IParam::InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                        const char* label, const char* group, double shape)
{
  if (mType == kTypeNone) mType = kTypeDouble;
  SetTexts(name, label, group);
  mValue = mDefault = defaultVal;
  mMin = minVal;
  mMax = std::max(minVal + step, maxVal);
  mStep = step;
  mDisplayPrecision = PrecisionOfStep(step);
  SetShape(shape);
}

void IParam::SetDisplayText(int value, const char* text)
{
  DisplayText entry;
  entry.mValue = value;
  CopyText(entry.mText, text);
  mDisplayTexts.Add(entry);
}

void IParam::SetShape(double shape)
{
  if (shape != 0.0) mShape = shape;
}

void IParam::Set(double value)
{
  // Values come from chunks and files too: one that is not a number must not become a list index.
  mValue = !(value >= mMin) ? mMin : std::min(value, mMax);
}

void IParam::SetNormalized(double normalizedValue)
{
  // Hosts may send values a little outside 0..1 (or garbage); below 0 would give values below min
  // that later serve as list indexes.
  const double x = normalizedValue > 0.0 ? std::min(normalizedValue, 1.0) : 0.0;
  double value = mMin + (mMax - mMin) * std::pow(x, mShape);
  if (mType != kTypeDouble && mStep > 0.0) value = std::floor(value / mStep + 0.5) * mStep;
  mValue = std::min(value, mMax);
}

int IParam::Int() const
{
  return TruncToInt(mValue);
}

double IParam::DBToAmp() const
{
  return std::exp(mValue * 0.1151292546497); // ln(10) / 20
}

double IParam::GetNormalized(double nonNormalizedValue) const
{
  const double range = mMax - mMin;
  if (!(range > 0.0) || !(nonNormalizedValue == nonNormalizedValue)) return 0.0;
  const double v = std::clamp(nonNormalizedValue, mMin, mMax);
  return std::pow((v - mMin) / range, 1.0 / mShape);
}

double IParam::GetNonNormalized(double normalizedValue) const
{
  return mMin + (mMax - mMin) * std::pow(normalizedValue, mShape);
}

void IParam::GetDisplayForHost(double value, bool normalized, char* text, bool withDisplayText) const
{
  if (!text) return;
  if (normalized) value = GetNonNormalized(value);
  if (mDisplayFunc) {
    mDisplayFunc(value, text);
    return;
  }
  if (withDisplayText) {
    const char* fixed = GetDisplayText(TruncToInt(value));
    if (fixed[0]) {
      std::snprintf(text, kDisplayBufferSize, "%s", fixed);
      return;
    }
  }
  // Hosts show and send back these texts: always with a point, whatever the host's locale.
  if (mDisplayPrecision == 0)
    WDL_snprintf_C(text, kDisplayBufferSize, "%d", TruncToInt(value));
  else
    WDL_snprintf_C(text, kDisplayBufferSize, "%.*f", mDisplayPrecision, value);
}

const char* IParam::GetLabelForHost() const
{
  return GetDisplayText(Int())[0] ? "" : mLabel;
}

const char* IParam::GetDisplayText(int value) const
{
  const DisplayText* entries = mDisplayTexts.Get();
  const int n = mDisplayTexts.GetSize();
  for (int i = 0; i < n; ++i)
    if (entries[i].mValue == value) return entries[i].mText;
  return "";
}

const char* IParam::GetDisplayTextAtIdx(int idx, int* value) const
{
  if (idx < 0 || idx >= mDisplayTexts.GetSize()) return "";
  const DisplayText& entry = mDisplayTexts.Get()[idx];
  if (value) *value = entry.mValue;
  return entry.mText;
}

bool IParam::MapDisplayText(const char* text, int* value) const
{
  if (!text) return false;
  const DisplayText* entries = mDisplayTexts.Get();
  const int n = mDisplayTexts.GetSize();
  for (int i = 0; i < n; ++i) {
    if (std::strcmp(entries[i].mText, text) == 0) {
      if (value) *value = entries[i].mValue;
      return true;
    }
  }
  return false;
}

bool IParam::ParseHostText(const char* text, double* value) const
{
  if (!text) return false;
  if (GetNDisplayTexts() > 0) {
    int mapped;
    if (!MapDisplayText(text, &mapped)) return false;
    *value = mapped;
    return true;
  }
  const double v = WDL_strtod_C(text, nullptr);
  if (std::isnan(v)) return false;
  *value = v;
  return true;
}

void IParam::GetBounds(double* lo, double* hi) const
{
  if (lo) *lo = mMin;
  if (hi) *hi = mMax;
}

void IParam::Swap(IParam& other)
{
  std::swap(mDisplayFunc, other.mDisplayFunc);
  std::swap(mType, other.mType);
  mDisplayTexts.Swap(other.mDisplayTexts);
  std::swap(mNegateDisplay, other.mNegateDisplay);
  std::swap(mValue, other.mValue);
  std::swap(mMin, other.mMin);
  std::swap(mMax, other.mMax);
  std::swap(mStep, other.mStep);
  std::swap(mShape, other.mShape);
  std::swap(mDefault, other.mDefault);
  std::swap(mDisplayPrecision, other.mDisplayPrecision);
  std::swap(mName, other.mName);
  std::swap(mLabel, other.mLabel);
  std::swap(mParamGroup, other.mParamGroup);
}
