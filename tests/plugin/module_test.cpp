// TestPlug as a shipped plug-in file: what the .so exports, its two entry points, and our command-line host
// loading it, rendering through it and exchanging program files with it.
#include "FxFile.h"
#include "Host.h"
#include "PlugHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string TempFile(const char* name)
{
  return std::string(::testing::TempDir()) + "/plugin_module_" + std::to_string(getpid()) + "_" + name;
}

} // namespace

TEST(PluginFile, ExportsExactlyTheTwoEntryPoints)
{
  std::string cmd = std::string("nm -D --defined-only ") + TESTPLUG_SO;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_TRUE(p);
  std::set<std::string> symbols;
  char line[1024];
  while (std::fgets(line, sizeof line, p)) {
    std::string l(line);
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
    symbols.insert(l.substr(l.rfind(' ') + 1));
  }
  ASSERT_EQ(pclose(p), 0);
  EXPECT_EQ(symbols, (std::set<std::string>{"VSTPluginMain", "main"}));
}

TEST(PluginFile, BothEntriesMakeIndependentInstances)
{
  void* lib = dlopen(TESTPLUG_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(lib) << dlerror();
  auto entry = reinterpret_cast<VstPluginEntryProc>(dlsym(lib, "VSTPluginMain"));
  auto legacy = reinterpret_cast<VstPluginEntryProc>(dlsym(lib, "main"));
  ASSERT_TRUE(entry && legacy);
  AEffect* a = entry(FakeHostCallback);
  AEffect* b = legacy(FakeHostCallback);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->magic, kEffectMagic);
  EXPECT_EQ(b->uniqueID, VstFourCC('t', 'P', 'l', 'g'));
  a->setParameter(a, TestPlug::kGain, 0.1f);
  EXPECT_NE(a->getParameter(a, TestPlug::kGain), b->getParameter(b, TestPlug::kGain));
  a->dispatcher(a, effClose, 0, 0, nullptr, 0);
  b->dispatcher(b, effClose, 0, 0, nullptr, 0);
  dlclose(lib);
}

TEST(PluginFile, OurHostLoadsAndRendersThroughIt)
{
  std::string error;
  std::unique_ptr<vsthost::Plugin> p = vsthost::Plugin::Load(TESTPLUG_SO, vsthost::HostSettings(), &error);
  ASSERT_TRUE(p) << error;
  p->Open();
  vsthost::PluginInfo info = p->Info();
  EXPECT_EQ(info.effectName, "TestPlug");
  EXPECT_EQ(info.product, "Veltrane Test");
  EXPECT_EQ(info.vendorVersion, 10203);
  EXPECT_EQ(info.category, kPlugCategEffect);
  EXPECT_EQ(p->EntryName(), "VSTPluginMain");
  std::vector<vsthost::ParamInfo> params = p->Params();
  ASSERT_EQ(params.size(), 4u);
  EXPECT_EQ(params[1].display, "Warm");
  EXPECT_EQ(p->ProgramName(1), "Unity");

  for (bool useDouble : {false, true}) {
    p->useDouble = useDouble;
    vsthost::RenderRequest request;
    request.seconds = 0.25;
    request.toneHz = 441.0; // half scale; program 0 has gain 0.5
    request.events = {{0.0, {0x90, 64, 90}}};
    vsthost::RenderResult r;
    ASSERT_TRUE(vsthost::Render(*p, request, &r, &error)) << error;
    EXPECT_NEAR(r.peak, 0.25, 1e-3) << useDouble;
    // Output = 0.25 sin(2 pi 441 t) on both channels.
    for (size_t i = 0; i < 1000; i += 37)
      ASSERT_NEAR(r.interleaved[2 * i + 1], 0.25 * std::sin(2 * M_PI * 441.0 * i / 44100.0), 1e-5) << i;
  }
  ASSERT_EQ(p->MidiOut().size(), 2u); // TestPlug sends each MIDI message back
  EXPECT_EQ(p->MidiOut()[0], (std::vector<uint8_t>{0x90, 64, 90}));
  EXPECT_GT(p->TimeInfoRequests(), -1);
}

TEST(PluginFile, ProgramFilesPassBetweenFrameworkAndHost)
{
  // Written by the framework inside the plug-in, read by the host into the .so.
  Harness h;
  h.Dispatch(effSetProgram, 0, 1);
  h.effect->setParameter(h.effect, TestPlug::kGain, 0.3f);
  h.plug->ModifyCurrentPreset("from framework");
  WDL_String fxp(TempFile("fw.fxp").c_str()), fxb(TempFile("fw.fxb").c_str());
  ASSERT_TRUE(h.plug->SaveProgramAsFXP(&fxp));
  ASSERT_TRUE(h.plug->SaveBankAsFXB(&fxb));

  std::string error, what;
  std::unique_ptr<vsthost::Plugin> p = vsthost::Plugin::Load(TESTPLUG_SO, vsthost::HostSettings(), &error);
  ASSERT_TRUE(p) << error;
  p->Open();
  ASSERT_TRUE(vsthost::LoadFxFile(*p, fxp.Get(), &what, &error)) << error;
  EXPECT_NE(what.find("FPCh"), std::string::npos);
  EXPECT_FLOAT_EQ(p->GetParameter(TestPlug::kGain), 0.3f);
  ASSERT_TRUE(vsthost::LoadFxFile(*p, fxb.Get(), &what, &error)) << error;
  EXPECT_EQ(p->ProgramName(1), "from framework");

  // Written by the host from the .so, read by the framework.
  p->SetParameter(TestPlug::kSteps, 0.8f);
  std::string hostFxp = TempFile("host.fxp");
  ASSERT_TRUE(vsthost::SaveFxp(*p, hostFxp, &error)) << error;
  Harness other;
  WDL_String name(hostFxp.c_str());
  ASSERT_TRUE(other.plug->LoadProgramFromFXP(&name));
  EXPECT_DOUBLE_EQ(other.plug->GetParam(TestPlug::kSteps)->Value(), 8.0);
  std::remove(fxp.Get());
  std::remove(fxb.Get());
  std::remove(hostFxp.c_str());
}

TEST(PluginFile, CommandLineHostRendersIt)
{
  std::string out = TempFile("cli.wav");
  std::string cmd = std::string(VSTHOST_EXE) + " render " + TESTPLUG_SO +
                    " --tone 1000 --seconds 0.5 --program 1 --param 0=0.25 -q -o " + out;
  int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  FILE* f = std::fopen(out.c_str(), "rb");
  ASSERT_TRUE(f);
  std::fseek(f, 0, SEEK_END);
  EXPECT_EQ(std::ftell(f), 58 + 22050 * 2 * 4);
  std::fclose(f);
  std::remove(out.c_str());
}
