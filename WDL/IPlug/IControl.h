// IControl: base of every editor control: a rectangle on the editor surface bound to at most one plug-in
// parameter, holding that parameter's normalised value (0..1) as last shown, with the flags that drive the
// surface's redraw cycle. Subclasses supply Draw and the mouse handlers; the defaults here open a value
// prompt on a right click and restore the default value on a double click.
//
// Also the framework's stock controls that the surface itself makes or that linked displays need:
// IBitmapControl (images and the background), IPanelControl (a colour fill), ITextControl (a text), and the
// bitmap-font text control.
#pragma once

#include "IGraphicsStructs.h"
#include "heapbuf.h"
#include "wdlstring.h"

class IGraphics;
class IPlugBase;

class IControl
{
public:
  // A further parameter a control shows beside its own.
  struct AuxParam
  {
    double mValue;
    int mParamIdx;
  };

  // paramIdx -1: the control edits no parameter.
  IControl(IPlugBase* plug, IRECT r, int paramIdx = -1, int blendMethod = IChannelBlend::kBlendNone);
  virtual ~IControl() {}
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  virtual void OnMouseDown(int x, int y, IMouseMod* mod);
  virtual void OnMouseUp(int, int, IMouseMod*) {}
  virtual void OnMouseDrag(int, int, int, int, IMouseMod*) {}
  virtual void OnMouseDblClick(int x, int y, IMouseMod* mod);
  virtual void OnMouseWheel(int, int, IMouseMod*, int) {}
  virtual bool OnKeyDown(int, int, int) { return false; }
  virtual void OnMouseOver(int, int, IMouseMod*) {}
  virtual void OnMouseOut() {}
  virtual bool Draw(IGraphics* graphics) = 0;
  // A value from the plug-in side (normalised). The first call also sets the default value; later calls
  // mark the control for redraw when the value changed.
  virtual void SetValueFromPlug(double value);
  // A value the user entered; sent on to the plug-in when it changed.
  virtual void SetValueFromUserInput(double value);
  // The text of a finished text entry opened without a parameter.
  virtual void TextFromTextEntry(const char*) {}
  virtual void Hide(bool hide);
  virtual void GrayOut(bool gray);
  virtual bool IsHit(int x, int y) { return mTargetRECT.Contains(x, y); }
  // Clamps the value to the clamp bounds and marks the control for redraw; with pushToPlug and a parameter,
  // also sends the value to the plug-in and refreshes the linked value and name displays.
  virtual void SetDirty(bool pushToPlug = true);
  // After drawing: the control stays dirty only when it asked for one more redraw.
  virtual void SetClean()
  {
    mDirty = mRedraw;
    mRedraw = false;
  }
  virtual bool IsDirty() { return mDirty; }
  virtual void OnGUIIdle() {}
  virtual void SetAuxParamValueFromPlug(int auxParamIdx, double value);

  // A value prompt for the parameter: a menu of its display texts, else a text field 40 x 16 centred on
  // the control (or at r).
  void PromptUserInput();
  void PromptUserInput(IRECT* r);

  void AddAuxParam(int paramIdx);
  AuxParam* GetAuxParam(int idx) { return mAuxParams.Get() + idx; } // idx below NAuxParams()
  int NAuxParams() const { return mAuxParams.GetSize(); }
  int AuxParamIdx(int paramIdx) const; // position of the first aux entry bound to paramIdx, -1 none
  void SetAllAuxParamsFromGUI();

  int ParamIdx() const { return mParamIdx; }
  double GetValue() const { return mValue; }
  double GetDefaultValue() const { return mDefaultValue; }
  IRECT* GetRECT() { return &mRECT; }
  IRECT* GetTargetRECT() { return &mTargetRECT; }
  void SetTargetArea(IRECT r) { mTargetRECT = r; }
  void SetClamp(double lo, double hi)
  {
    mClampLo = lo;
    mClampHi = hi;
  }
  bool IsHidden() const { return mHide; }
  bool IsGrayed() const { return mGrayed; }
  bool GetMOWhenGrayed() const { return mMOWhenGrayed; }
  bool GetDblAsSingleClick() const { return mDblAsSingleClick; }
  IText* GetText() { return &mText; }
  IChannelBlend* GetBlend() { return &mBlend; }
  void SetTooltip(const char* tooltip) { mTooltip.Set(tooltip ? tooltip : ""); }
  const char* GetTooltip() const { return mTooltip.Get(); }
  void SetValueDisplayControl(IControl* c) { mValDisplayControl = c; }
  void SetNameDisplayControl(IControl* c) { mNameDisplayControl = c; }
  IPlugBase* GetPlug() const { return mPlug; }

  int mTextEntryLength = 7; // characters the text field of this control accepts
  IText mText;
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMOWhenGrayed = false;

protected:
  IPlugBase* mPlug; // not owned; its attached surface is the one the control prompts through
  IRECT mRECT, mTargetRECT;
  int mParamIdx;
  WDL_TypedBuf<AuxParam> mAuxParams;
  double mValue = 0.0;
  double mDefaultValue = -1.0; // negative until the plug-in side first sets a value
  double mClampLo = 0.0, mClampHi = 1.0;
  bool mDirty = true;
  bool mHide = false;
  bool mGrayed = false;
  bool mRedraw = false; // make the control dirty once more after it was drawn
  IChannelBlend mBlend;
  IControl* mValDisplayControl = nullptr;  // not owned
  IControl* mNameDisplayControl = nullptr; // not owned
  WDL_String mTooltip;
};

// The frame a value shows on an N-frame strip: 1 + trunc((N - 1) * value + 0.5), limited to 1..N (a value
// that is not a number shows frame 1).
int FrameForValue(int nFrames, double value);

// One frame of an image strip, chosen by the value.
class IBitmapControl : public IControl
{
public:
  // The rectangle is x, y and the bitmap's width and frame height.
  IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                 int blendMethod = IChannelBlend::kBlendNone);
  bool Draw(IGraphics* graphics) override;
  const IBitmap& GetBitmap() const { return mBitmap; }

protected:
  IBitmap mBitmap;
};

// A colour fill of the rectangle.
class IPanelControl : public IControl
{
public:
  IPanelControl(IPlugBase* plug, IRECT r, const IColor* color);
  bool Draw(IGraphics* graphics) override;

  IColor mColor;
};

// A text in the control's style.
class ITextControl : public IControl
{
public:
  ITextControl(IPlugBase* plug, IRECT r, IText* text, const char* str = nullptr);
  bool Draw(IGraphics* graphics) override;
  // Takes a new text (and asks for a redraw) only when it differs.
  void SetTextFromPlug(const char* str);
  const char* GetTextString() const { return mStr.Get(); }

protected:
  WDL_String mStr;
};

// Text drawn from a bitmap font: one frame per character from the blank (code 32, frame 1) to code 126.
bool DrawBitmapedText(IGraphics* graphics, IBitmap* bitmap, IRECT* r, IText* text, IChannelBlend* blend,
                      const char* str, bool vCenter, bool multiline, int charWidth, int charHeight, int charOffset);

class IBitmapTextControl : public IControl
{
public:
  IBitmapTextControl(IPlugBase* plug, IRECT r, IBitmap* bitmap, const char* str = "", IText* text = nullptr,
                     int charWidth = 6, int charHeight = 12, int charOffset = 0, bool multiline = false,
                     bool vCenter = true);
  bool Draw(IGraphics* graphics) override;
  void SetTextFromPlug(const char* str);

protected:
  WDL_String mStr;
  int mCharWidth, mCharHeight, mCharOffset;
  IBitmap mTextBitmap;
  bool mMultiLine;
  bool mVCentre;
};
