// The plug-in file end to end, loaded by our command-line host's library and run by its program: identity
// and the 300 parameters, the state chunk round trip, program changes by MIDI, and the host's input passed
// through to the output when the master output selectors choose it.
#include "FxFile.h"
#include "Host.h"
#include "../support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>
#include <filesystem>
#include <iterator>
#include <limits>
#include <utility>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

using namespace vsthost;

namespace {
std::unique_ptr<Plugin> LoadVeltrane(HostSettings settings = HostSettings())
{
  std::string error;
  std::unique_ptr<Plugin> p = Plugin::Load(VELTRANE_SO, settings, &error);
  EXPECT_TRUE(p) << error;
  return p;
}

// Where the private master output values lie in a program chunk (framework header, version, 18 slot
// records of 5 bytes, 18 display positions, 300 parameters, Porta Legato).
constexpr size_t kMasterOutLeftAt = 8 + 4 + 18 * 5 + 18 * 4 + 300 * 8 + 8;

std::vector<uint8_t> PassThroughChunk(Plugin& p)
{
  std::vector<uint8_t> chunk = p.GetChunk(true);
  const double left = 3.0, right = 4.0; // Ext.L and Ext.R in the master list
  std::memcpy(chunk.data() + kMasterOutLeftAt, &left, 8);
  std::memcpy(chunk.data() + kMasterOutLeftAt + 8, &right, 8);
  return chunk;
}

int RunHost(const std::string& args, std::string* output = nullptr)
{
  const TempDir printed;
  const std::string out = printed.path("printed.txt");
  const std::string cmd = std::string(VSTHOST_EXE) + " " + args + " > " + out + " 2>&1";
  const int status = std::system(cmd.c_str());
  if (output) {
    std::ifstream in(out);
    output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
} // namespace

TEST(PluginEndToEnd, IdentityAndParameters)
{
  auto p = LoadVeltrane();
  ASSERT_TRUE(p);
  const PluginInfo info = p->Info();
  EXPECT_EQ("Veltrane", info.effectName);
  EXPECT_EQ("Tarnwell Music", info.vendor);
  EXPECT_EQ(10001, info.vendorVersion); // 1.0.1, in decimal
  EXPECT_EQ(0x7477564C, info.uniqueID);
  EXPECT_EQ(300, info.numParams);
  EXPECT_EQ(64, info.numPrograms);
  EXPECT_EQ(2, info.numInputs);
  EXPECT_EQ(2, info.numOutputs);
  EXPECT_EQ(0x1139, info.flags);
  const std::vector<ParamInfo> params = p->Params();
  ASSERT_EQ(300u, params.size());
  const char* globals[] = {"Voices",    "Voices Sum Left", "Voices Sum Right", "Volume",   "Out Trigger", "Out Attack",
                           "Out Decay", "Out Sustain",     "Out Release",      "PB Range", "Portamnt",    "Custom Tun"};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(globals[i], params[288 + i].name);
  // Slot parameters carry their module's names (program 0 of the start-up bank), or "M:slot P:number".
  for (int i = 0; i < 288; ++i) EXPECT_FALSE(params[i].name.empty()) << i;
  const std::string voices[] = {"1", "2", "4", "8", "12", "16", "20", "24", "32", "48", "64"};
  EXPECT_NE(std::end(voices), std::find(std::begin(voices), std::end(voices), params[288].display));
  EXPECT_TRUE(params[292].display == "Single" || params[292].display == "Multiple");
  EXPECT_TRUE(params[299].display == "Off" || params[299].display == "On");
}

TEST(PluginEndToEnd, StateChunkRoundTrip)
{
  auto p = LoadVeltrane();
  p->Resume();
  const std::vector<uint8_t> program = p->GetChunk(true);
  ASSERT_EQ(2668u, program.size()); // framework header + the default patch
  EXPECT_EQ(1, p->SetChunk(program, true));
  EXPECT_EQ(program, p->GetChunk(true));
  const std::vector<uint8_t> bank = p->GetChunk(false);
  EXPECT_EQ(1, p->SetChunk(bank, false));
  EXPECT_EQ(bank, p->GetChunk(false));
  // A damaged chunk is refused and leaves the programs as they were.
  std::vector<uint8_t> bad = program;
  bad[8 + 4 + 18 * 5] = 40; // display position 0 shows slot 40
  EXPECT_EQ(0, p->SetChunk(bad, true));
  EXPECT_EQ(bank, p->GetChunk(false));
}

TEST(PluginEndToEnd, ExternalInputPassesThroughWhenSelected)
{
  auto p = LoadVeltrane();
  p->Resume();
  const int n = 512;
  std::vector<float> inL(n), inR(n), outL(n), outR(n);
  for (int i = 0; i < n; ++i) {
    inL[i] = (float)std::sin(i * 0.05);
    inR[i] = (float)(0.5 - i / (double)n);
  }
  float* ins[2] = {inL.data(), inR.data()};
  float* outs[2] = {outL.data(), outR.data()};
  // The default patch plays the voice sums: silence whatever comes in.
  p->ProcessBlock({}, ins, outs, n);
  for (float x : outL) EXPECT_EQ(0.0f, x);
  ASSERT_EQ(1, p->SetChunk(PassThroughChunk(*p), true));
  p->ProcessBlock({}, ins, outs, n); // the load muted the engine until its next tick
  p->ProcessBlock({}, ins, outs, n);
  int differing = 0;
  for (int i = 0; i < n; ++i) {
    differing += outL[i] != 0.5f * inL[i];
    differing += outR[i] != 0.5f * inR[i];
  }
  EXPECT_LE(differing, 2 * 44); // everything from the block's first tick on
  EXPECT_FLOAT_EQ(0.5f * inL[n - 1], outL[n - 1]);
  EXPECT_FLOAT_EQ(0.5f * inR[n - 1], outR[n - 1]);

  // What the host receives is held to +-64, a sample that is not a number giving silence; the last sample
  // of the block too.
  const float inf = std::numeric_limits<float>::infinity();
  const std::pair<float, float> extremes[] = {{std::nanf(""), 0.0f}, {inf, 64.0f},   {-inf, -64.0f},
                                              {-1000.0f, -64.0f},    {100.0f, 50.0f}, {1000.0f, 64.0f}};
  const int first = n - (int)std::size(extremes);
  for (int k = 0; k < (int)std::size(extremes); ++k) inL[first + k] = inR[first + k] = extremes[k].first;
  p->ProcessBlock({}, ins, outs, n);
  for (int k = 0; k < (int)std::size(extremes); ++k) {
    EXPECT_EQ(extremes[k].second, outL[first + k]) << "left, " << extremes[k].first;
    EXPECT_EQ(extremes[k].second, outR[first + k]) << "right, " << extremes[k].first;
  }
  // Alone beyond the bound, the last sample of a block.
  std::fill(inL.begin(), inL.end(), 0.25f);
  std::fill(inR.begin(), inR.end(), 0.25f);
  inL[n - 1] = inR[n - 1] = -1000.0f;
  p->ProcessBlock({}, ins, outs, n);
  EXPECT_EQ(-64.0f, outL[n - 1]);
  EXPECT_EQ(-64.0f, outR[n - 1]);
}

TEST(PluginEndToEnd, ProgramChangeByMidi)
{
  auto p = LoadVeltrane();
  p->Resume();
  const std::vector<uint8_t> change = {0xC0, 9, 0};
  std::vector<float> in(64), out(64);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {out.data(), out.data()};
  p->ProcessBlock({BlockEvent{20, &change}}, ins, outs, 64);
  EXPECT_EQ(9, p->Dispatch(effGetProgram));
}

TEST(PluginEndToEnd, CommandLineHost)
{
  std::string text;
  ASSERT_EQ(0, RunHost(std::string("info ") + VELTRANE_SO, &text));
  EXPECT_NE(std::string::npos, text.find("Veltrane"));
  EXPECT_NE(std::string::npos, text.find("parameters  300"));
  EXPECT_NE(std::string::npos, text.find("Custom Tun"));

  // A pass-through program as a raw chunk, a tone on the input, a float WAV out.
  std::vector<uint8_t> chunk;
  {
    auto p = LoadVeltrane();
    chunk = PassThroughChunk(*p);
  }
  const TempDir dir;
  const std::string chunkPath = dir.path("pass.chunk"), wav = dir.path("pass.wav");
  std::ofstream(chunkPath, std::ios::binary).write((const char*)chunk.data(), (std::streamsize)chunk.size());
  ASSERT_EQ(0, RunHost(std::string("render ") + VELTRANE_SO + " --chunk " + chunkPath +
                       " --tone 441 --seconds 0.5 --notes C4+0.2 -o " + wav));
  std::ifstream in(wav, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 58u);
  const size_t samples = (bytes.size() - 58) / 4;
  EXPECT_EQ(2u * 22050u, samples);
  double peak = 0.0;
  for (size_t i = 0; i < samples; ++i) {
    float x;
    std::memcpy(&x, bytes.data() + 58 + 4 * i, 4);
    peak = std::max(peak, (double)std::fabs(x));
  }
  EXPECT_NEAR(0.25, peak, 0.002); // half-scale tone times the default volume 0.5
}

TEST(PluginEndToEnd, NotesStartOnTheTickGrid)
{
  // Program 0 of the start-up bank plays a note through an oscillator, a filter and an amplifier, each
  // adding its one-sample lag; the note itself starts at the first control tick at or after its sample.
  struct Case
  {
    int offset, tick; // 1 ms ticks of 44 samples from the block's start
  };
  for (const Case& c : {Case{0, 0}, Case{30, 44}, Case{44, 44}, Case{100, 132}, Case{300, 308}}) {
    auto p = LoadVeltrane();
    p->Resume();
    const std::vector<uint8_t> note = {0x90, 57, 110};
    std::vector<float> in(512), outL(512), outR(512);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {outL.data(), outR.data()};
    p->ProcessBlock({BlockEvent{c.offset, &note}}, ins, outs, 512);
    int first = -1;
    for (int i = 0; i < 512 && first < 0; ++i)
      if (outL[i] != 0.0f) first = i;
    EXPECT_GE(first, c.tick) << c.offset;
    EXPECT_LE(first, c.tick + 3) << c.offset;
  }
}

TEST(PluginEndToEnd, FindsItsOwnFolderWhenLoadedByARelativePath)
{
  // A copy of the plug-in with a user bank beside it whose first program has a name of its own.
  const TempDir temp;
  const char* dir = temp.dir().c_str();
  const std::string folder = temp.path("plug");
  ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
  {
    std::ifstream in(VELTRANE_SO, std::ios::binary);
    std::ofstream out(folder + "/Veltrane.so", std::ios::binary);
    out << in.rdbuf();
  }
  {
    auto maker = LoadVeltrane();
    ASSERT_TRUE(maker);
    char name[] = "Beside the file";
    maker->Dispatch(effSetProgramName, 0, 0, name);
    std::string error;
    ASSERT_TRUE(SaveFxb(*maker, folder + "/Veltrane.fxb", &error)) << error;
  }

  // Loaded by a path relative to the working directory, which changes before the instance exists.
  char previous[PATH_MAX];
  ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
  ASSERT_EQ(0, chdir(dir));
  void* lib = dlopen("./plug/Veltrane.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_EQ(0, chdir("/"));
  ASSERT_NE(nullptr, lib) << dlerror();
  auto entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(lib, "VSTPluginMain"));
  ASSERT_NE(nullptr, entry);
  auto host = [](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
    return opcode == audioMasterVersion ? 2400 : 0;
  };
  AEffect* e = entry(host);
  ASSERT_NE(nullptr, e);
  char program[kVstMaxProgNameLen] = {};
  e->dispatcher(e, effGetProgramNameIndexed, 0, 0, program, 0.0f);
  EXPECT_STREQ("Beside the file", program); // the start-up bank was found
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  dlclose(lib);

  ASSERT_EQ(0, chdir(previous));
}

namespace {
// A file of these bytes in the temporary folder; removed by the caller's folder.
std::string WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
  std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), (std::streamsize)bytes.size());
  return path;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
} // namespace

// Every command line the host cannot carry out as asked: its message and a non-zero exit (2 for the command
// line itself, 1 for what it names). Nothing is reported as done that was not.
TEST(CommandLineHost, EveryFailureIsNamedAndExitsNonZero)
{
  const TempDir temp;
  const std::string dir = temp.dir(), so = VELTRANE_SO;
  std::vector<uint8_t> noise(3000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = (uint8_t)(i * 2654435761u >> 13);
  const std::string rand = WriteBytes(dir + "/rand.bin", noise);
  // A program file of this plug-in whose chunk is noise: the header passes, the plug-in refuses the chunk.
  std::string error, fxp = dir + "/good.fxp";
  {
    auto p = LoadVeltrane();
    ASSERT_TRUE(SaveFxp(*p, fxp, &error)) << error;
  }
  std::vector<uint8_t> garbage = ReadBytes(fxp);
  ASSERT_GT(garbage.size(), 60u + 200u);
  std::copy(noise.begin(), noise.begin() + 200, garbage.begin() + 60);
  const std::string garbageFxp = WriteBytes(dir + "/garbage.fxp", garbage);
  std::vector<uint8_t> demo = ReadBytes(std::string(VELTRANE_SOURCE_DIR) + "/tools/demo/demo.mid");
  ASSERT_GT(demo.size(), 200u);
  demo.resize(200);
  const std::string cutMidi = WriteBytes(dir + "/cut.mid", demo);
  const std::string script = dir + "/script.txt";
  std::ofstream(script) << "# two good lines, then one without its y\nclick 10 10\nticks 2\nclick 1\n";
  const std::string png = dir + "/shot.png";

  struct Case
  {
    std::string args, message;
    int exit;
  };
  const Case cases[] = {
      {"render " + so + " --preset " + garbageFxp, "the plug-in refused its program chunk", 1},
      {"render " + so + " --chunk " + rand, "refused it as a program chunk", 1},
      {"render " + so + " --bank-chunk " + rand, "refused it as a bank chunk", 1},
      {"screenshot " + so + " " + png + " --script " + script, "script line 4 \"click 1\": click takes X Y", 1},
      {"screenshot " + so + " " + dir, "cannot write " + dir + ": it is a folder", 1},
      {"screenshot " + so + " " + dir + "/none/shot.png", "there is no folder " + dir + "/none", 1},
      {"info " + so + " --save-fxb " + dir, "cannot write " + dir + ": it is a folder", 1},
      {"render " + so + " --midi " + dir, dir + " is a folder, not a file", 1},
      {"render -o " + dir + "/x.wav " + so, "render needs the plug-in file first", 2},
      {"info", "info needs the plug-in file first", 2},
      {"render " + so + " --notes ''", "bad value for --notes: \"\"", 2},
      {"render " + so + " --notes C4+100000", "the render would last 100002 s, longer than 3600 s", 1},
      {"render " + so + " --midi ''", "bad value for --midi: \"\" (a file name)", 2},
      {"info " + so + " --preset ''", "bad value for --preset: \"\" (a file name)", 2},
      {"info " + so + " --save-fxb ''", "bad value for --save-fxb: \"\" (a file name)", 2},
      {"screenshot " + so + " " + png + " --script ''", "bad value for --script: \"\" (a file name)", 2},
      {"info ''", "info needs the plug-in file first", 2},
      {"info /lib/x86_64-linux-gnu/libm.so.6", "exports neither VSTPluginMain nor main: not a VST 2.4 plug-in", 1},
      {"render " + so + " --midi " + cutMidi, "cut short", 1},
      {"render " + so + " --rate 44100.5", "bad value for --rate: 44100.5 (a whole number from 8000 to 768000)", 2},
      {"render " + so + " --rate 1000", "bad value for --rate: 1000 (a whole number from 8000 to 768000)", 2},
      {"render " + so + " --block 12.5", "bad value for --block: 12.5 (a whole number from 1 to 65536)", 2},
      {"render " + so + " --seconds -1", "bad value for --seconds: -1 (a number from 0 to 3600)", 2},
      {"render " + so + " --timesig 4/3", "D one of 1, 2, 4, 8, 16, 32, 64", 2},
      {"render " + so + " --timesig 4/4x", "bad value for --timesig", 2},
      {"render " + so + " --param 3=1.5", "INDEX=VALUE, VALUE from 0 to 1", 2},
      {"render " + so + " --script " + script, "--script does nothing for render (it is for screenshot)", 2},
      {"info " + so + " --notes C4", "--notes does nothing for info (it is for render)", 2},
      {"render " + so + " --program 64", "program 64 does not exist (the plug-in has 64: 0 to 63)", 1},
      {"render " + so + " --param 300=0.5", "parameter 300 does not exist (the plug-in has 300: 0 to 299)", 1},
  };
  for (const Case& c : cases) {
    std::string output;
    const std::string wav = c.args.compare(0, 6, "render") ? "" : " -o " + dir + "/out.wav --notes C4";
    EXPECT_EQ(c.exit, RunHost(c.args + wav + " -q", &output)) << c.args << "\n" << output;
    EXPECT_NE(std::string::npos, output.find("vsthost: ")) << c.args << "\n" << output;
    EXPECT_NE(std::string::npos, output.find(c.message)) << c.args << "\n" << output;
  }
  struct stat st;
  EXPECT_NE(0, stat(png.c_str(), &st)); // the bad script played nothing and pictured nothing
}

// `edit` without a screen says which display it could not open, or that none is set.
TEST(CommandLineHost, EditNamesTheDisplayItCannotOpen)
{
  const std::string edit = std::string("edit ") + VELTRANE_SO + " --seconds 1";
  std::string output;
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : ""; // given back for the tests after this one
  setenv("DISPLAY", ":9999", 1); // no X server there
  EXPECT_EQ(1, RunHost(edit, &output));
  EXPECT_NE(std::string::npos, output.find("vsthost: cannot open the X display \":9999\"")) << output;
  unsetenv("DISPLAY");
  EXPECT_EQ(1, RunHost(edit, &output));
  EXPECT_NE(std::string::npos, output.find("vsthost: cannot open the X display: DISPLAY is not set")) << output;
  if (display) setenv("DISPLAY", saved.c_str(), 1);
}

// What the host saves comes back as it was: a program file's name, the program a bank was saved at, the bank a
// screenshot's session leaves; and `info` lists every program by name.
TEST(CommandLineHost, ProgramsAndBanksComeBackAsSaved)
{
  const TempDir temp;
  const std::string dir = temp.dir(), so = VELTRANE_SO, fxp = dir + "/named.fxp", fxb = dir + "/at5.fxb";
  std::vector<std::string> names;
  {
    auto p = LoadVeltrane();
    ASSERT_TRUE(p);
    for (int i = 0; i < 64; ++i) names.push_back(p->ProgramName(i));
    p->Dispatch(effSetProgram, 0, 5);
    std::string error;
    ASSERT_TRUE(SaveFxb(*p, fxb, &error)) << error;
    char name[] = "Kept Name";
    p->Dispatch(effSetProgramName, 0, 0, name);
    ASSERT_TRUE(SaveFxp(*p, fxp, &error)) << error; // a chunk program (FPCh)
  }
  std::string text;
  ASSERT_EQ(0, RunHost("info " + so + " --preset " + fxp, &text)) << text;
  EXPECT_NE(std::string::npos, text.find("current 0: \"Kept Name\"")) << text;
  ASSERT_EQ(0, RunHost("info " + so + " --preset " + fxb, &text)) << text;
  EXPECT_NE(std::string::npos, text.find("current 5: \"" + names[5] + "\"")) << text;
  for (int i = 1; i < 64; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "\n  %4d  ", i);
    EXPECT_NE(std::string::npos, text.find(line + names[i] + "\n")) << i;
  }

  // A name of 3-byte characters: the file's 27 bytes and the host's 23 are cut between characters, by the
  // plug-in when it writes the file and by the host when it hands the file's name on.
  const std::string wide = "Pad \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x91\xE3\x83\x83"
                           "\xE3\x83\x89\xE3\x81\xA7"; // "Pad " and 8 characters, 28 bytes
  const std::string wideFxp = dir + "/wide.fxp";
  {
    auto p = LoadVeltrane();
    ASSERT_TRUE(p);
    p->Dispatch(effSetProgramName, 0, 0, (void*)wide.c_str());
    std::string error, what;
    ASSERT_TRUE(SaveFxp(*p, wideFxp, &error)) << error;
    const std::vector<uint8_t> file = ReadBytes(wideFxp);
    ASSERT_GT(file.size(), 56u);
    EXPECT_EQ(wide.substr(0, 22) + std::string(6, '\0'), std::string(file.begin() + 28, file.begin() + 56));
    std::vector<uint8_t> longer = file; // the name field as a plug-in may fill it: 27 bytes
    std::memcpy(longer.data() + 28, wide.data(), 27);
    std::ofstream(wideFxp, std::ios::binary).write((const char*)longer.data(), (std::streamsize)longer.size());
    p->Dispatch(effSetProgram, 0, 0);
    ASSERT_TRUE(LoadFxFile(*p, wideFxp, &what, &error)) << error;
    const std::vector<uint8_t> bank = p->GetChunk(false); // header, then program 0's name as stored
    ASSERT_GT(bank.size(), 12u + 22u);
    int32_t length = 0;
    std::memcpy(&length, bank.data() + 8, 4);
    ASSERT_GE(length, 0);
    EXPECT_EQ(wide.substr(0, 22), std::string(bank.begin() + 12, bank.begin() + 12 + std::min(length, 40)));
  }

  const std::string saved = dir + "/after_screenshot.fxb";
  ASSERT_EQ(0, RunHost("screenshot " + so + " " + dir + "/shot.png --program 7 --save-fxb " + saved, &text)) << text;
  const std::vector<uint8_t> bank = ReadBytes(saved);
  ASSERT_GT(bank.size(), 160u);
  EXPECT_EQ(0, std::memcmp(bank.data() + 8, "FBCh", 4));
  EXPECT_EQ(7, bank[31]); // the current program, big-endian at 28
}
