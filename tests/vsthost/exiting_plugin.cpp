// A VST 2.4 plug-in that ends the host's process with status 0 at its first block, as a plug-in's toolkit or a
// bug of its own might: the host must not take the status for a finished command. It says it keeps its state
// in chunks but gives none, as a plug-in does whose state has grown too large for one.
#include "VST24Linux.h"

#include <cstdlib>

namespace {

VstIntPtr Dispatch(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

void Process(AEffect*, float**, float**, VstInt32)
{
  std::exit(0);
}

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback)
{
  static AEffect effect = {};
  effect.magic = kEffectMagic;
  effect.dispatcher = &Dispatch;
  effect.numOutputs = 2;
  effect.flags = effFlagsCanReplacing | effFlagsIsSynth | effFlagsProgramChunks;
  effect.ioRatio = 1.0f;
  effect.uniqueID = VstFourCC('x', 'E', 'x', 't');
  effect.processReplacing = &Process;
  return &effect;
}
