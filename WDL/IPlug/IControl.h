// IControl: base of every editor control. It shows one plug-in parameter's normalised value (0..1) and keeps
// the flags that the editor surface's redraw cycle reads. Drawing, mouse and keys belong to the subclasses.
#pragma once

#include "heapbuf.h"

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
  IControl(IPlugBase* plug, int paramIdx = -1) : mPlug(plug), mParamIdx(paramIdx) {}
  virtual ~IControl() {}

  virtual void Draw(IGraphics* graphics) = 0;

  // A value from the plug-in side (host automation, programs, learned controllers); normalised. The first call
  // also sets the default value; later calls mark the control for redraw when the value changed.
  virtual void SetValueFromPlug(double value);
  // A value the user entered; sent on to the plug-in when it changed.
  virtual void SetValueFromUserInput(double value);
  // Clamps the value to the clamp bounds and marks the control for redraw; with pushToPlug and a parameter,
  // also sends the value to the plug-in (IPlugBase::SetParameterFromGUI).
  virtual void SetDirty(bool pushToPlug = true);
  // After drawing: the control stays dirty only when it asked for one more redraw.
  virtual void SetClean()
  {
    mDirty = mRedraw;
    mRedraw = false;
  }
  virtual bool IsDirty() { return mDirty; }
  virtual void SetAuxParamValueFromPlug(int auxParamIdx, double value);

  void AddAuxParam(int paramIdx);
  AuxParam* GetAuxParam(int idx) { return mAuxParams.Get() + idx; } // idx below NAuxParams()
  int NAuxParams() const { return mAuxParams.GetSize(); }
  int AuxParamIdx(int paramIdx) const; // position of the first aux entry bound to paramIdx, -1 none

  int ParamIdx() const { return mParamIdx; }
  double GetValue() const { return mValue; }
  double GetDefaultValue() const { return mDefaultValue; }
  void SetClamp(double lo, double hi)
  {
    mClampLo = lo;
    mClampHi = hi;
  }

protected:
  IPlugBase* mPlug; // not owned
  int mParamIdx;
  WDL_TypedBuf<AuxParam> mAuxParams;
  double mValue = 0.0;
  double mDefaultValue = -1.0; // negative until the plug-in side first sets a value
  double mClampLo = 0.0, mClampHi = 1.0;
  bool mDirty = true;
  bool mRedraw = false; // make the control dirty once more after it was drawn
};
