// The plug-in file as a host loads it: exported entries and the identity of the record they return.
#include "VST24Linux.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {
VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == 1 ? 2400 : 0;
}

struct Library
{
  void* handle = dlopen(VELTRANE_SO, RTLD_NOW | RTLD_LOCAL);
  ~Library()
  {
    if (handle) dlclose(handle);
  }
};
} // namespace

TEST(PluginFile, EntriesAndIdentity)
{
  Library lib;
  ASSERT_NE(nullptr, lib.handle) << dlerror();
  auto entry = (VstPluginEntryProc)dlsym(lib.handle, "VSTPluginMain");
  auto legacy = (VstPluginEntryProc)dlsym(lib.handle, "main");
  ASSERT_NE(nullptr, entry);
  ASSERT_NE(nullptr, legacy);
  // Nothing of the engine leaks out of the file.
  EXPECT_EQ(nullptr, dlsym(lib.handle, "_ZN5Synth10convert2HzEi"));

  for (VstPluginEntryProc make : {entry, legacy}) {
    AEffect* e = make(Host);
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(kEffectMagic, e->magic);
    EXPECT_EQ(300, e->numParams);
    EXPECT_EQ(64, e->numPrograms);
    EXPECT_EQ(2, e->numInputs);
    EXPECT_EQ(2, e->numOutputs);
    EXPECT_EQ(0x1139, e->flags);
    EXPECT_EQ(('t' << 24) | ('w' << 16) | ('V' << 8) | 'L', e->uniqueID);
    EXPECT_EQ(10001, e->version);
    char name[64] = {};
    e->dispatcher(e, effGetEffectName, 0, 0, name, 0.0f);
    EXPECT_STREQ("Veltrane", name);
    char vendor[64] = {};
    e->dispatcher(e, effGetVendorString, 0, 0, vendor, 0.0f);
    EXPECT_STREQ("Tarnwell Music", vendor);
    EXPECT_EQ(2400, e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0.0f));
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }
}
