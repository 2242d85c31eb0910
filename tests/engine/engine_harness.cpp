#include "engine_harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? 2400 : 0;
}

TestSynth::TestSynth() : Synth(IPlugInstanceInfo{QuietHost})
{
  AttachGraphics(graphics);
}

std::unique_ptr<Veltrane> MakeVeltrane()
{
  return std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost});
}

TempDir::TempDir()
{
  char tmpl[] = "/tmp/veltrane_engine_XXXXXX";
  const char* d = mkdtemp(tmpl);
  mDir = d ? d : "/tmp";
}

TempDir::~TempDir()
{
  std::error_code ec;
  if (mDir != "/tmp") std::filesystem::remove_all(mDir, ec);
}

std::string TempDir::write(const char* name, const std::string& content) const
{
  const std::string p = path(name);
  std::ofstream(p, std::ios::binary) << content;
  return p;
}
