// IParam: one host-automatable parameter.
//
// The value lives in the parameter's own units (hertz, decibels, an index, a 0..1 amount). The host
// exchanges normalised values 0..1: a normalised x maps to min + (max - min) * x^shape, so a shape
// above 1 gives finer resolution near min. Non-double types round to multiples of their step.
//
//   IParam p;
//   p.InitDouble("Cutoff", 1000.0, 20.0, 20000.0, 0.1, "Hz", "Filter", 2.0);
//   p.SetNormalized(0.5);                      // 20 + 19980 * 0.25 = 5015 Hz
//   char text[IParam::kDisplayBufferSize];
//   p.GetDisplayForHost(p.Value(), false, text); // "5015.0"
//
// No lock of its own: the owner changes and reads it under the plug-in's instance mutex.
#pragma once

#include "heapbuf.h"

class IParam
{
public:
  enum EParamType : int { kTypeNone = 0, kTypeBool = 1, kTypeInt = 2, kTypeEnum = 3, kTypeDouble = 4 };

  // Writes the whole display text of a plain value (NUL-terminated, within kDisplayBufferSize).
  typedef void (*DisplayFunc)(double value, char* text);

  // Name, label, group and every display text hold at most 31 characters; longer ones are cut.
  static constexpr int kTextSize = 32;
  // Room GetDisplayForHost needs in its output: numbers are cut to fit.
  static constexpr int kDisplayBufferSize = 40;

  // A fixed text shown for one integer value ("off", "Saw", ...).
  struct DisplayText
  {
    int mValue;
    char mText[kTextSize];
  };

  IParam();

  // Each Init sets the type only while it is still kTypeNone: a parameter keeps the type of its
  // first initialisation (a type set by hand before the first Init also stays). Later Inits of
  // another kind change range, step, texts and default but not the type.
  void InitBool(const char* name, bool defaultVal, const char* label = "", const char* group = "");
  // Values 0 .. nEnums - 1 (at least 0 .. 1).
  void InitEnum(const char* name, int defaultVal, int nEnums, const char* label = "", const char* group = "");
  // max is raised to at least min + 1.
  void InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "",
               const char* group = "");
  // max is raised to at least min + step; the display shows as many decimals as the step has
  // (up to 6). A shape of 0.0 keeps the current shape.
  void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                  const char* label = "", const char* group = "", double shape = 1.0);

  // Appends a display text, also when one for that value or with that text exists (lookups find
  // the first). Nothing removes entries: an owner empties mDisplayTexts by resizing it to 0.
  void SetDisplayText(int value, const char* text);
  void SetShape(double shape);

  // Plain value, clamped into [min, max]; a value that is not a number counts as below the range.
  void Set(double value);
  // From a host value 0..1 (outside values are clamped to 0..1). Stepped types round to the
  // nearest multiple of the step counted from zero, which may lie below min; the result never
  // exceeds max.
  void SetNormalized(double normalizedValue);

  double Value() const { return mValue; }
  int Int() const; // truncated toward zero, saturating at the int range
  bool Bool() const { return mValue >= 0.5; }
  // The value read as decibels, as a linear gain.
  double DBToAmp() const;

  double GetNormalized() const { return GetNormalized(mValue); }
  // Any plain value, clamped into [min, max], as 0..1.
  double GetNormalized(double nonNormalizedValue) const;
  // min + (max - min) * x^shape, neither rounded nor clamped.
  double GetNonNormalized(double normalizedValue) const;

  // The text for a value: the formatter's when one is set; else, with withDisplayText, the display
  // text of the value truncated to an int when it is not empty; else the number with the display
  // precision (an integer, truncated toward zero, for precision 0). text holds kDisplayBufferSize.
  void GetDisplayForHost(double value, bool normalized, char* text, bool withDisplayText = true) const;
  void GetDisplayForHost(char* text, bool withDisplayText = true) const
  {
    GetDisplayForHost(mValue, false, text, withDisplayText);
  }

  const char* GetNameForHost() const { return mName; }
  // "" when the current value shows a (non-empty) display text, else the unit label.
  const char* GetLabelForHost() const;
  const char* GetParamGroupForHost() const { return mParamGroup; }

  int GetNDisplayTexts() const { return mDisplayTexts.GetSize(); }
  // Text of the first entry for value, "" when there is none.
  const char* GetDisplayText(int value) const;
  // Text of entry idx (its value through value when not null); "" for an idx out of range.
  const char* GetDisplayTextAtIdx(int idx, int* value = nullptr) const;
  // Reverse lookup, exact and case-sensitive: the first entry with this text stores its value and
  // yields true; no match yields false and leaves *value alone.
  bool MapDisplayText(const char* text, int* value) const;
  // A value a host sends as text: an entry's text when the parameter has display texts, else a number
  // with a point whatever the locale. False (nothing stored) for text it cannot read.
  bool ParseHostText(const char* text, double* value) const;

  EParamType Type() const { return mType; }
  bool GetNegateDisplay() const { return mNegateDisplay; }
  void SetDisplayNegated(bool negate) { mNegateDisplay = negate; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetRange() const { return mMax - mMin; }
  double GetStep() const { return mStep; }
  double GetShape() const { return mShape; }
  double GetDefault() const { return mDefault; }
  int GetPrecision() const { return mDisplayPrecision; }
  void GetBounds(double* lo, double* hi) const;

  // Exchanges the whole definitions and values of two parameters; nothing is allocated or copied.
  void Swap(IParam& other);

  // Public by design: owners install a formatter after Init (no Init touches it), set the type
  // before the first Init to make an enumeration, and empty the display texts before re-Init.
  DisplayFunc mDisplayFunc = nullptr;
  EParamType mType = kTypeNone;
  WDL_TypedBuf<DisplayText> mDisplayTexts;
  // The editor shows the negated value (a cut of -12 dB reads as 12).
  bool mNegateDisplay = false;

private:
  void SetTexts(const char* name, const char* label, const char* group);

  double mValue = 0.0;
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mShape = 1.0;
  double mDefault = 0.0;
  int mDisplayPrecision = 0; // decimals of the display text
  char mName[kTextSize] = {};
  char mLabel[kTextSize] = {};
  char mParamGroup[kTextSize] = {};
};
