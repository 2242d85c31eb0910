// The framework's ready-made controls beyond the image, panel and text controls of IControl.h: switches,
// momentary contacts, knobs dragged or wheeled, the file selector, and the rest of the stock set (pop-up
// switches, frame zones, radio buttons, faders, line, rotating and masked knobs, overlays, captions, links).
//
// Every control keeps its value in IControl's normalised value (0..1); SetDirty(true) clamps it, marks the
// control and hands the value to the plug-in. Frames of an image strip count from 1.
//
// Threads: the editor's (main) thread only.
#pragma once

#include "IControl.h"

enum EDirection { kVertical = 0, kHorizontal = 1 };

// A click steps through the frames and wraps: 0, 1/(N-1), ..., 1, 0 (one frame: 0, 1, 0).
class ISwitchControl : public IBitmapControl
{
public:
  ISwitchControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                 int blendMethod = IChannelBlend::kBlendNone)
      : IBitmapControl(plug, x, y, paramIdx, bitmap, blendMethod)
  {
  }
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  // A double click is one more click.
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override { OnMouseDown(x, y, mod); }
};

// Momentary: lit while held (the inherited press), 0 again on release; both reach the parameter.
class IContactControl : public ISwitchControl
{
public:
  using ISwitchControl::ISwitchControl;
  void OnMouseUp(int x, int y, IMouseMod* mod) override;
};

// A drag over gearing times the control's extent sweeps the whole range (up or right raises the value);
// Control or Shift gear it down ten times. The wheel moves 0.01 a step (0.001 with Control or Shift).
// Drawing is left to subclasses.
class IKnobControl : public IControl
{
public:
  IKnobControl(IPlugBase* plug, IRECT r, int paramIdx, EDirection direction = kVertical, double gearing = 4.0)
      : IControl(plug, r, paramIdx), mDirection(direction), mGearing(gearing)
  {
  }
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
  void OnMouseWheel(int x, int y, IMouseMod* mod, int d) override;

protected:
  EDirection mDirection;
  double mGearing;
};

// Chooses a file through the surface's file prompt. Each use toggles the value between 0 and 1 (also a
// cancelled one, which leaves the file empty); after the dialog the control asks for one extra redraw.
class IFileSelectorControl : public IControl
{
public:
  enum EState { kFSNone = 0, kFSSelecting = 1, kFSDone = 2 };
  // dir: the start folder; extensions: blank-separated, without dots ("wav syx"). Either may be null.
  IFileSelectorControl(IPlugBase* plug, IRECT r, int paramIdx, EFileAction action, const char* dir = nullptr,
                       const char* extensions = nullptr);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  bool IsDirty() override;
  void GetLastSelectedFileForPlug(WDL_String* out) { out->Set(mFile.Get()); }
  void SetLastSelectedFileFromPlug(const char* file) { mFile.Set(file ? file : ""); }
  EState GetState() const { return mState; }

protected:
  IBitmap mBitmap; // drawn while the dialog is up; empty by default
  WDL_String mDir, mFile, mExtensions;
  EFileAction mFileAction;
  EState mState = kFSNone;
};

// ---- stock controls the editor does not create ----

// A click opens the value prompt, then sends the value.
class ISwitchPopUpControl : public ISwitchControl
{
public:
  ISwitchPopUpControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap)
      : ISwitchControl(plug, x, y, paramIdx, bitmap)
  {
  }
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
};

// The rectangle cut into N zones (one per frame); a click sets the value of the zone it hits.
class ISwitchFramesControl : public ISwitchControl
{
public:
  ISwitchFramesControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap, bool imagesAreHorizontal = false,
                       int blendMethod = IChannelBlend::kBlendNone);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  int NZones() const { return mZones.GetSize(); }
  IRECT Zone(int i) const { return mZones.Get()[i]; }

protected:
  WDL_TypedBuf<IRECT> mZones;
};

// No image: a click flips the value between 0 and 1.
class IInvisibleSwitchControl : public IControl
{
public:
  IInvisibleSwitchControl(IPlugBase* plug, IRECT r, int paramIdx)
      : IControl(plug, r, paramIdx, IChannelBlend::kBlendClobber)
  {
  }
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics*) override { return true; }
};

// n buttons of one image (frame 1 unselected, 2 selected) spread over the rectangle.
class IRadioButtonsControl : public IControl
{
public:
  IRadioButtonsControl(IPlugBase* plug, IRECT r, int paramIdx, int nButtons, IBitmap* bitmap,
                       EDirection direction = kVertical, bool reverse = false);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  IRECT Button(int i) const { return mRECTs.Get()[i]; }

protected:
  WDL_TypedBuf<IRECT> mRECTs;
  IBitmap mBitmap;
};

// A handle image travelling along a track of the given length.
class IFaderControl : public IControl
{
public:
  IFaderControl(IPlugBase* plug, int x, int y, int len, int paramIdx, IBitmap* bitmap,
                EDirection direction = kVertical, bool onlyHandle = false);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
  void OnMouseWheel(int x, int y, IMouseMod* mod, int d) override;
  bool Draw(IGraphics* graphics) override;
  bool IsHit(int x, int y) override;
  // The handle's rectangle for value v; a negative v means the current value.
  IRECT GetHandleRECT(double value = -1.0) const;
  virtual void SnapToMouse(int x, int y);

protected:
  int mLen, mHandleHeadroom;
  IBitmap mHandleBitmap;
  EDirection mDirection;
  bool mOnlyHandle;
};

// A line from an inner to an outer radius along the value's angle (radians, 0 up, clockwise).
class IKnobLineControl : public IKnobControl
{
public:
  IKnobLineControl(IPlugBase* plug, IRECT r, int paramIdx, const IColor* color, double innerRadius = 0.0,
                   double outerRadius = 0.0, double minAngle = -0.75 * 3.141592653589793,
                   double maxAngle = 0.75 * 3.141592653589793, EDirection direction = kVertical,
                   double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

protected:
  IColor mColor;
  float mMinAngle, mMaxAngle, mInnerRadius, mOuterRadius;
};

// One image turned about the rectangle's centre by the value's angle (radians).
class IKnobRotaterControl : public IKnobControl
{
public:
  IKnobRotaterControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                      double minAngle = -0.75 * 3.141592653589793, double maxAngle = 0.75 * 3.141592653589793,
                      int yOffsetZeroDeg = 0, EDirection direction = kVertical, double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

protected:
  IBitmap mBitmap;
  double mMinAngle, mMaxAngle;
  int mYOffset;
};

// The frame of a knob strip chosen as IBitmapControl chooses it.
class IKnobMultiControl : public IKnobControl
{
public:
  IKnobMultiControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap, EDirection direction = kVertical,
                    double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

protected:
  IBitmap mBitmap;
};

// Base, mask and top images composed by the surface's rotated mask (angle in degrees).
class IKnobRotatingMaskControl : public IKnobControl
{
public:
  IKnobRotatingMaskControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* base, IBitmap* mask, IBitmap* top,
                           double minAngle = -151.0, double maxAngle = 151.0, EDirection direction = kVertical,
                           double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

protected:
  IBitmap mBase, mMask, mTop;
  double mMinAngle, mMaxAngle;
};

// Shown (and hit over its whole rectangle) only from 0.5 on; below, only the target area takes clicks.
class IBitmapOverlayControl : public ISwitchControl
{
public:
  IBitmapOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap, IRECT targetArea);
  bool Draw(IGraphics* graphics) override;

protected:
  IRECT mTargetArea;
};

// The parameter's display text (and label), rebuilt at every draw; any click opens the value prompt.
class ICaptionControl : public ITextControl
{
public:
  ICaptionControl(IPlugBase* plug, IRECT r, int paramIdx, IText* text, bool showParamLabel = true);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

protected:
  bool mShowParamLabel;
};

// A click opens the address (or, when that fails or is empty, the backup address).
class IURLControl : public IControl
{
public:
  IURLControl(IPlugBase* plug, IRECT r, const char* url, const char* backupURL = nullptr,
              const char* errMsgOnFailure = nullptr);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics*) override { return true; }

protected:
  char mURL[256] = {}, mBackupURL[256] = {}, mErrMsg[1024] = {};
};
