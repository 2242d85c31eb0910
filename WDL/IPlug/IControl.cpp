#include "IControl.h"

#include "IPlugBase.h"

void IControl::SetValueFromPlug(double value)
{
  if (mDefaultValue < 0.0) {
    mValue = mDefaultValue = value;
    return;
  }
  if (value != mValue) {
    mValue = value;
    SetDirty(false);
    mRedraw = true;
  }
}

void IControl::SetValueFromUserInput(double value)
{
  if (value != mValue) {
    mValue = value;
    SetDirty(true);
    mRedraw = true;
  }
}

void IControl::SetDirty(bool pushToPlug)
{
  mValue = mClampLo > mValue ? mClampLo : (mClampHi < mValue ? mClampHi : mValue);
  mDirty = true;
  if (pushToPlug && mPlug && mParamIdx >= 0) mPlug->SetParameterFromGUI(mParamIdx, mValue);
}

void IControl::SetAuxParamValueFromPlug(int auxParamIdx, double value)
{
  if (auxParamIdx < 0 || auxParamIdx >= NAuxParams()) return;
  AuxParam* aux = GetAuxParam(auxParamIdx);
  if (value != aux->mValue) {
    aux->mValue = value;
    SetDirty(false);
    mRedraw = true;
  }
}

void IControl::AddAuxParam(int paramIdx)
{
  mAuxParams.Add(AuxParam{0.0, paramIdx});
}

int IControl::AuxParamIdx(int paramIdx) const
{
  for (int i = 0; i < mAuxParams.GetSize(); ++i)
    if (mAuxParams.Get()[i].mParamIdx == paramIdx) return i;
  return -1;
}
