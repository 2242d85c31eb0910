#include "IPlugBase.h"

#include "IGraphics.h"
#include "utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

// ---- versions ------------------------------------------------------------------------------------------------

void GetVersionParts(int version, int* major, int* minor, int* revision)
{
  *major = (version >> 16) & 0xFFFF;
  *minor = (version >> 8) & 0xFF;
  *revision = version & 0xFF;
}

int GetDecimalVersion(int version)
{
  int major, minor, revision;
  GetVersionParts(version, &major, &minor, &revision);
  return major * 10000 + minor * 100 + revision;
}

void GetVersionStr(int version, char* str)
{
  int major, minor, revision;
  GetVersionParts(version, &major, &minor, &revision);
  std::snprintf(str, 40, "v%d.%d.%d", major, minor, revision);
}

// ---- program slots -------------------------------------------------------------------------------------------

IPreset::IPreset()
{
  std::strcpy(mName, "empty");
  mChunk.ReserveRuns(kRunsReserved);
}

void IPreset::SetName(const char* name)
{
  WDL_UTF8CopyBounded(mName, name ? name : "", kNameSize);
}

IPreset* GetNextUninitializedPreset(WDL_PtrList<IPreset>* presets)
{
  for (int i = 0; i < presets->GetSize(); ++i) {
    IPreset* p = presets->Get(i);
    if (p && !p->mInitialized) return p;
  }
  return nullptr;
}

void MakeDefaultUserPresetName(WDL_PtrList<IPreset>* presets, char* str)
{
  static const char kUserPreset[] = "user preset";
  int n = 0;
  for (int i = 0; i < presets->GetSize(); ++i) {
    IPreset* p = presets->Get(i);
    if (p && std::strstr(p->mName, kUserPreset)) ++n;
  }
  std::snprintf(str, IPreset::kNameSize, "%s %d", kUserPreset, n + 1);
}

// ---- construction --------------------------------------------------------------------------------------------

namespace {

void CopyName(char* dest, const char* src)
{
  std::strncpy(dest, src ? src : "", 127);
  dest[127] = 0;
}

} // namespace

IPlugBase::IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                     const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID,
                     int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, EAPI plugAPI)
    : mUniqueID(uniqueID), mMfrID(mfrID), mVersion(vendorVersion), mAPI(plugAPI), mStateChunks(plugDoesChunks),
      mIsInst(plugIsInst), mDoesMIDI(plugDoesMidi), mLatency(latency), mInData(4096), mOutData(4096)
{
  for (int i = 0; i < nParams; ++i) mParams.Add(new IParam);
  for (int i = 0; i < nPresets; ++i) mPresets.Add(new IPreset);

  CopyName(mEffectName, effectName);
  CopyName(mProductName, productName);
  CopyName(mMfrName, mfrName);

  // Blank-separated "in-out" pairs; a count that does not parse stays 0, a trailing blank adds a (0, 0) pair.
  int nInputs = 0, nOutputs = 0;
  for (const char* p = channelIOStr; p;) {
    int nIn = 0, nOut = 0;
    std::sscanf(p, "%d-%d", &nIn, &nOut);
    nIn = std::max(0, nIn);
    nOut = std::max(0, nOut);
    mChannelIO.Add(new ChannelIO{nIn, nOut});
    nInputs = std::max(nInputs, nIn);
    nOutputs = std::max(nOutputs, nOut);
    p = std::strchr(p, ' ');
    if (p) ++p;
  }

  if (double** in = mInData.Resize(nInputs)) std::fill(in, in + mInData.GetSize(), nullptr);
  if (double** out = mOutData.Resize(nOutputs)) std::fill(out, out + mOutData.GetSize(), nullptr);
  for (int i = 0; i < mInData.GetSize(); ++i) {
    InChannel* c = new InChannel;
    c->mSrc = mInData.Get() + i;
    mInChannels.Add(c);
  }
  for (int i = 0; i < mOutData.GetSize(); ++i) {
    OutChannel* c = new OutChannel;
    c->mDest = mOutData.Get() + i;
    mOutChannels.Add(c);
  }
}

IPlugBase::~IPlugBase()
{
  delete mGraphics;
  mGraphics = nullptr;
  mParams.Empty(true);
  for (int i = mPresets.GetSize() - 1; i >= 0; --i) mPresets.Delete(i, true);
  mInChannels.Empty(true);
  mOutChannels.Empty(true);
  mChannelIO.Empty(true);
  mInputBusLabels.Empty(true);
  mOutputBusLabels.Empty(true);
}

// ---- hooks with a base body ----------------------------------------------------------------------------------

void IPlugBase::Reset()
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::OnParamChange(int)
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::OnActivate(bool)
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  const int nIn = NInChannels(), nOut = NOutChannels();
  for (int i = 0; i < nOut; ++i) {
    if (!outputs[i]) continue;
    if (i < nIn && inputs[i])
      std::memmove(outputs[i], inputs[i], (size_t)nFrames * sizeof(double));
    else
      std::fill(outputs[i], outputs[i] + nFrames, 0.0);
  }
}

bool IPlugBase::MidiNoteName(int, char* name)
{
  if (name) *name = 0;
  return false;
}

bool IPlugBase::CompareState(const unsigned char* data, int startPos)
{
  for (int i = 0; i < NParams(); ++i) {
    double stored;
    std::memcpy(&stored, data + startPos + 8 * i, sizeof stored);
    float a = (float)GetParam(i)->Value(), b = (float)stored;
    if (!(std::fabs(a - b) < 0.00001f)) return false;
  }
  return true;
}

void IPlugBase::SetParameterFromGUI(int paramIdx, double normalizedValue)
{
  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetNormalized(normalizedValue);
  InformHostOfParamChange(paramIdx, normalizedValue);
  OnParamChange(paramIdx);
}

void IPlugBase::AttachGraphics(IGraphics* graphics)
{
  if (!graphics) return;
  WDL_MutexLock lock(&mMutex);
  for (int i = 0; i < NParams(); ++i) graphics->SetParameterFromPlug(i, GetParam(i)->GetNormalized(), true);
  graphics->PrepDraw();
  if (mGraphics != graphics) delete mGraphics;
  mGraphics = graphics;
}

void IPlugBase::RedrawParamControls()
{
  if (mGraphics) mGraphics->SetParametersFromPlug();
}

void IPlugBase::SetBlockSize(int blockSize)
{
  if (blockSize == mBlockSize) return;
  for (int i = 0; i < NInChannels(); ++i) {
    InChannel* c = mInChannels.Get(i);
    if (double* p = c->mScratchBuf.Resize(blockSize)) std::fill(p, p + c->mScratchBuf.GetSize(), 0.0);
    if (!c->mConnected) *c->mSrc = c->mScratchBuf.Get(); // the scratch buffer may have moved
  }
  for (int i = 0; i < NOutChannels(); ++i) {
    OutChannel* c = mOutChannels.Get(i);
    if (double* p = c->mScratchBuf.Resize(blockSize)) std::fill(p, p + c->mScratchBuf.GetSize(), 0.0);
    if (!c->mConnected) *c->mDest = c->mScratchBuf.Get();
  }
  mBlockSize = blockSize;
}

// ---- identity ------------------------------------------------------------------------------------------------

int IPlugBase::GetEffectVersion(bool decimal) const
{
  return decimal ? GetDecimalVersion(mVersion) : mVersion;
}

void IPlugBase::GetEffectVersionStr(char* str) const
{
  GetVersionStr(mVersion, str);
}

int IPlugBase::GetHostVersion(bool decimal)
{
  GetHost();
  return decimal ? GetDecimalVersion(mHostVersion) : mHostVersion;
}

void IPlugBase::GetHostVersionStr(char* str)
{
  GetHost();
  GetVersionStr(mHostVersion, str);
}

void IPlugBase::SetHost(const char* host, int version)
{
  mHost = LookUpHost(host);
  mHostVersion = version;
}

const char* IPlugBase::GetAPIString()
{
  static const char* const kNames[] = {"VST2", "VST3", "AU", "RTAS", "AAX", "Standalone"};
  int api = (int)GetAPI();
  return api >= 0 && api < 6 ? kNames[api] : "";
}

double IPlugBase::GetSamplesPerBeat()
{
  double tempo = GetTempo();
  return tempo > 0.0 ? mSampleRate * 60.0 / tempo : 0.0;
}

void IPlugBase::OnParamReset()
{
  for (int i = 0; i < NParams(); ++i) OnParamChange(i);
}

void IPlugBase::DirtyParameters()
{
  WDL_MutexLock lock(&mMutex);
  for (int i = 0; i < NParams(); ++i) InformHostOfParamChange(i, GetParam(i)->GetNormalized());
}

// ---- channels and buffers ------------------------------------------------------------------------------------

bool IPlugBase::LegalIO(int nIn, int nOut) const
{
  for (int i = 0; i < mChannelIO.GetSize(); ++i) {
    const ChannelIO* io = mChannelIO.Get(i);
    if ((nIn < 0 || nIn == io->mIn) && (nOut < 0 || nOut == io->mOut)) return true;
  }
  return false;
}

void IPlugBase::LimitToStereoIO()
{
  if (NInChannels() > 2) SetInputChannelConnections(2, NInChannels() - 2, false);
  if (NOutChannels() > 2) SetOutputChannelConnections(2, NOutChannels() - 2, true);
}

bool IPlugBase::IsInChannelConnected(int idx) const
{
  const InChannel* c = mInChannels.Get(idx);
  return c && c->mConnected;
}

bool IPlugBase::IsOutChannelConnected(int idx) const
{
  const OutChannel* c = mOutChannels.Get(idx);
  return c && c->mConnected;
}

void IPlugBase::SetInputChannelConnections(int idx, int n, bool connected)
{
  const int end = std::min(idx + n, NInChannels());
  for (int i = std::max(0, idx); i < end; ++i) {
    InChannel* c = mInChannels.Get(i);
    c->mConnected = connected;
    if (!connected) *c->mSrc = c->mScratchBuf.Get();
  }
}

void IPlugBase::SetOutputChannelConnections(int idx, int n, bool connected)
{
  const int end = std::min(idx + n, NOutChannels());
  for (int i = std::max(0, idx); i < end; ++i) {
    OutChannel* c = mOutChannels.Get(i);
    c->mConnected = connected;
    if (!connected) *c->mDest = c->mScratchBuf.Get();
  }
}

void IPlugBase::SetInputLabel(int idx, const char* label)
{
  if (InChannel* c = mInChannels.Get(idx)) c->mLabel.Set(label ? label : "");
}

void IPlugBase::SetOutputLabel(int idx, const char* label)
{
  if (OutChannel* c = mOutChannels.Get(idx)) c->mLabel.Set(label ? label : "");
}

const char* IPlugBase::GetInputLabel(int idx) const
{
  const InChannel* c = mInChannels.Get(idx);
  return c ? c->mLabel.Get() : "";
}

const char* IPlugBase::GetOutputLabel(int idx) const
{
  const OutChannel* c = mOutChannels.Get(idx);
  return c ? c->mLabel.Get() : "";
}

void IPlugBase::SetInputBusLabel(int idx, const char* label)
{
  if (idx < 0 || idx > 1) return;
  mInputBusLabels.Delete(idx, true);
  mInputBusLabels.Insert(idx, new WDL_String(label ? label : ""));
}

void IPlugBase::SetOutputBusLabel(int idx, const char* label)
{
  if (idx < 0) return;
  mOutputBusLabels.Delete(idx, true);
  mOutputBusLabels.Insert(idx, new WDL_String(label ? label : ""));
}

const char* IPlugBase::GetInputBusLabel(int idx) const
{
  const WDL_String* s = mInputBusLabels.Get(idx);
  return s ? s->Get() : "";
}

const char* IPlugBase::GetOutputBusLabel(int idx) const
{
  const WDL_String* s = mOutputBusLabels.Get(idx);
  return s ? s->Get() : "";
}

void IPlugBase::AttachInputBuffers(int idx, int n, double** data, int)
{
  const int end = std::min(idx + n, NInChannels());
  for (int i = std::max(0, idx); i < end; ++i) {
    InChannel* c = mInChannels.Get(i);
    if (c->mConnected) *c->mSrc = *data++;
  }
}

void IPlugBase::AttachInputBuffers(int idx, int n, float** data, int nFrames)
{
  const int end = std::min(idx + n, NInChannels());
  for (int i = std::max(0, idx); i < end; ++i) {
    InChannel* c = mInChannels.Get(i);
    if (!c->mConnected) continue;
    const float* src = *data++;
    double* dest = c->mScratchBuf.Get();
    const int frames = std::min(nFrames, c->mScratchBuf.GetSize()); // never beyond the scratch buffer
    for (int s = 0; s < frames; ++s) dest[s] = src[s];
    *c->mSrc = dest;
  }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, double** data)
{
  const int end = std::min(idx + n, NOutChannels());
  for (int i = std::max(0, idx); i < end; ++i) {
    OutChannel* c = mOutChannels.Get(i);
    if (c->mConnected) *c->mDest = *data++;
  }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, float** data)
{
  const int end = std::min(idx + n, NOutChannels());
  for (int i = std::max(0, idx); i < end; ++i) {
    OutChannel* c = mOutChannels.Get(i);
    if (!c->mConnected) continue;
    *c->mDest = c->mScratchBuf.Get();
    c->mFDest = *data++;
  }
}

int IPlugBase::ScratchFrames() const
{
  int frames = mBlockSize;
  for (int i = 0; i < NInChannels(); ++i) frames = std::min(frames, mInChannels.Get(i)->mScratchBuf.GetSize());
  for (int i = 0; i < NOutChannels(); ++i) frames = std::min(frames, mOutChannels.Get(i)->mScratchBuf.GetSize());
  return std::max(0, frames);
}

void IPlugBase::ProcessBuffers(double, int nFrames)
{
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
}

void IPlugBase::ProcessBuffers(float, int nFrames)
{
  RenderToFloat(nFrames, false, false);
}

void IPlugBase::ProcessBuffersAccumulating(float, int nFrames)
{
  RenderToFloat(nFrames, false, true);
}

void IPlugBase::PassThroughBuffers(double, int nFrames)
{
  IPlugBase::ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
}

void IPlugBase::PassThroughBuffers(float, int nFrames)
{
  RenderToFloat(nFrames, true, false);
}

void IPlugBase::RenderToFloat(int nFrames, bool passThrough, bool accumulate)
{
  nFrames = std::min(nFrames, ScratchFrames()); // the outputs are the scratch buffers
  if (passThrough)
    IPlugBase::ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
  else
    ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
  for (int i = 0; i < NOutChannels(); ++i) {
    OutChannel* c = mOutChannels.Get(i);
    if (!c->mConnected || !c->mFDest) continue;
    const double* src = c->mScratchBuf.Get();
    if (accumulate)
      for (int s = 0; s < nFrames; ++s) c->mFDest[s] += (float)src[s];
    else
      for (int s = 0; s < nFrames; ++s) c->mFDest[s] = (float)src[s];
  }
}

void IPlugBase::ZeroScratchBuffers()
{
  for (int i = 0; i < NInChannels(); ++i) {
    WDL_TypedBuf<double>& b = mInChannels.Get(i)->mScratchBuf;
    if (b.Get()) std::fill(b.Get(), b.Get() + std::min(mBlockSize, b.GetSize()), 0.0);
  }
  for (int i = 0; i < NOutChannels(); ++i) {
    WDL_TypedBuf<double>& b = mOutChannels.Get(i)->mScratchBuf;
    if (b.Get()) std::fill(b.Get(), b.Get() + std::min(mBlockSize, b.GetSize()), 0.0);
  }
}

bool IPlugBase::SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* msgs)
{
  bool allSent = true;
  for (int i = 0; i < msgs->GetSize(); ++i) allSent = SendMidiMsg(msgs->Get() + i) && allSent;
  return allSent;
}
