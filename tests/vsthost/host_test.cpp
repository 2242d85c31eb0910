// The host against real third-party Linux VST 2.4 instruments from Debian's packages, its callback answers,
// its program and bank files, and the command-line tool.
#include "FxFile.h"
#include "Host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace vsthost;

// Third-party plug-ins are not built with the sanitizers; whatever they leave allocated at exit is theirs.
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:amsynth_vst.so\nleak:-vst.so\n";
}

namespace {

const char kAmsynth[] = "/usr/lib/vst/amsynth_vst.so";
const char kKars[] = "/usr/lib/vst/Kars-vst.so";

struct RealPlugin
{
  const char* path;
  const char* name;
  const char* entry; // the entry the host finds first
  int outputs;
};

const RealPlugin kRealPlugins[] = {
    {kAmsynth, "amsynth", "VSTPluginMain", 2}, {kKars, "Kars", "main", 1}, // exports only the old entry name
};

std::string TempPath(const char* name)
{
  return std::string(::testing::TempDir()) + "/vsthost_" + std::to_string(getpid()) + "_" + name;
}

double Rms(const RenderResult& r)
{
  double sum = 0;
  for (float v : r.interleaved) sum += (double)v * v;
  return r.interleaved.empty() ? 0.0 : std::sqrt(sum / r.interleaved.size());
}

bool AllFinite(const RenderResult& r)
{
  for (float v : r.interleaved)
    if (!std::isfinite(v)) return false;
  return true;
}

std::unique_ptr<Plugin> LoadOrFail(const char* path, const HostSettings& settings = HostSettings())
{
  std::string error;
  std::unique_ptr<Plugin> p = Plugin::Load(path, settings, &error);
  EXPECT_TRUE(p) << error << " (Debian packages amsynth and dpf-plugins-vst must be installed)";
  return p;
}

} // namespace

TEST(RealPlugins, LoadAndReportTheirIdentity)
{
  for (const RealPlugin& rp : kRealPlugins) {
    std::unique_ptr<Plugin> p = LoadOrFail(rp.path);
    if (!p) continue;
    p->Open();
    PluginInfo info = p->Info();
    EXPECT_EQ(info.effectName, rp.name);
    EXPECT_EQ(p->EntryName(), rp.entry);
    EXPECT_EQ(info.numOutputs, rp.outputs) << rp.name;
    EXPECT_EQ(info.category, kPlugCategSynth) << rp.name;
    EXPECT_TRUE(info.flags & effFlagsIsSynth) << rp.name;
    EXPECT_TRUE(p->CanDo("receiveVstMidiEvent")) << rp.name;
    EXPECT_GT(info.numParams, 0) << rp.name;
    std::vector<ParamInfo> params = p->Params();
    ASSERT_EQ((int)params.size(), info.numParams);
    EXPECT_FALSE(params[0].name.empty()) << rp.name;
  }
}

TEST(RealPlugins, RenderANoteAndSilenceWithoutOne)
{
  for (const RealPlugin& rp : kRealPlugins) {
    std::unique_ptr<Plugin> p = LoadOrFail(rp.path);
    if (!p) continue;
    RenderRequest quiet;
    quiet.seconds = 0.5;
    RenderResult r;
    std::string error;
    ASSERT_TRUE(Render(*p, quiet, &r, &error)) << error;
    EXPECT_LT(r.peak, 1e-4) << rp.name << " sounds without a note";

    RenderRequest note;
    note.seconds = 1.0;
    note.events = {{0.1, {0x90, 57, 110}}, {0.6, {0x80, 57, 0}}};
    ASSERT_TRUE(Render(*p, note, &r, &error)) << error;
    EXPECT_EQ(r.frames, 44100u);
    EXPECT_EQ(r.channels, rp.outputs);
    EXPECT_TRUE(AllFinite(r)) << rp.name;
    EXPECT_GT(r.peak, 0.01) << rp.name;
    EXPECT_GT(Rms(r), 0.001) << rp.name;
    // Nothing sounds before the note starts (0.1 s = 4410 frames).
    float early = 0;
    for (size_t i = 0; i < 4000 * (size_t)r.channels; ++i) early = std::max(early, std::fabs(r.interleaved[i]));
    EXPECT_LT(early, 1e-4) << rp.name;
  }
}

TEST(RealPlugins, DoublePrecisionRequestFallsBackForFloatOnlyPlugins)
{
  std::unique_ptr<Plugin> p = LoadOrFail(kKars);
  ASSERT_TRUE(p);
  p->useDouble = true; // Kars has no double path: the float one runs
  RenderRequest note;
  note.seconds = 0.5;
  note.events = {{0.0, {0x90, 60, 100}}};
  RenderResult r;
  std::string error;
  ASSERT_TRUE(Render(*p, note, &r, &error));
  EXPECT_GT(r.peak, 0.01);
}

TEST(HostCallbacks, TimeInfoFollowsTheSettingsAndTheBlocks)
{
  HostSettings s;
  s.tempo = 90;
  s.timeSigNumerator = 3;
  s.timeSigDenominator = 4;
  std::unique_ptr<Plugin> p = LoadOrFail(kKars, s);
  ASSERT_TRUE(p);
  p->SetSamplePosition(44100 * 3); // 3 s at 90 bpm = 4.5 quarter notes; bars of 3 quarters start at 3
  const VstTimeInfo* t = reinterpret_cast<const VstTimeInfo*>(p->OnCallback(audioMasterGetTime, 0, 0, nullptr, 0));
  ASSERT_NE(t, nullptr);
  EXPECT_DOUBLE_EQ(t->samplePos, 132300.0);
  EXPECT_DOUBLE_EQ(t->sampleRate, 44100.0);
  EXPECT_DOUBLE_EQ(t->tempo, 90.0);
  EXPECT_NEAR(t->ppqPos, 4.5, 1e-12);
  EXPECT_NEAR(t->barStartPos, 3.0, 1e-12);
  EXPECT_EQ(t->timeSigNumerator, 3);
  EXPECT_EQ(t->timeSigDenominator, 4);
  const int valid = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid | kVstTransportPlaying;
  EXPECT_EQ(t->flags & valid, valid);
  EXPECT_FALSE(t->flags & kVstCyclePosValid);

  // A block moves the transport on; a stopped transport stays where it is and says so.
  float out[64];
  float* outs[1] = {out};
  p->Resume();
  p->ProcessBlock({}, nullptr, outs, 64);
  EXPECT_EQ(p->SamplePosition(), 132300 + 64);
  p->Settings().playing = false;
  p->ProcessBlock({}, nullptr, outs, 64);
  EXPECT_EQ(p->SamplePosition(), 132300 + 64);
  t = reinterpret_cast<const VstTimeInfo*>(p->OnCallback(audioMasterGetTime, 0, 0, nullptr, 0));
  EXPECT_FALSE(t->flags & kVstTransportPlaying);
}

TEST(HostCallbacks, StringsAreBoundedAndNotificationsRecorded)
{
  HostSettings s;
  s.productString = std::string(100, 'p');
  s.vendorVersion = 50203;
  std::unique_ptr<Plugin> p = LoadOrFail(kKars, s);
  ASSERT_TRUE(p);
  char buf[80];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(p->OnCallback(audioMasterGetProductString, 0, 0, buf, 0), 1);
  EXPECT_EQ(std::strlen(buf), 63u); // 64 bytes with the terminator
  EXPECT_EQ(buf[64], '#');
  EXPECT_EQ(p->OnCallback(audioMasterGetProductString, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(p->OnCallback(audioMasterGetVendorVersion, 0, 0, nullptr, 0), 50203);
  EXPECT_EQ(p->OnCallback(audioMasterVersion, 0, 0, nullptr, 0), 2400);
  EXPECT_EQ(p->OnCallback(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0), kVstProcessLevelUser);
  EXPECT_EQ(p->OnCallback(audioMasterCanDo, 0, 0, const_cast<char*>("sendVstTimeInfo"), 0), 1);
  EXPECT_EQ(p->OnCallback(audioMasterCanDo, 0, 0, const_cast<char*>("openFileSelector"), 0), 0);
  EXPECT_EQ(p->OnCallback(audioMasterCanDo, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(p->OnCallback(audioMasterProcessEvents, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(p->OnCallback(9999, 0, 0, nullptr, 0), 0);

  size_t before = p->Notifications().size();
  p->OnCallback(audioMasterBeginEdit, 2, 0, nullptr, 0);
  p->OnCallback(audioMasterAutomate, 2, 0, nullptr, 0.25f);
  p->OnCallback(audioMasterEndEdit, 2, 0, nullptr, 0);
  ASSERT_EQ(p->Notifications().size(), before + 3);
  const HostNotification& a = p->Notifications()[before + 1];
  EXPECT_EQ(a.opcode, audioMasterAutomate);
  EXPECT_EQ(a.index, 2);
  EXPECT_FLOAT_EQ(a.value, 0.25f);
  EXPECT_EQ(p->Notifications()[before + 2].opcode, audioMasterEndEdit);
}

TEST(HostProgramFiles, ProgramFileRoundTripThroughARealPlugin)
{
  std::unique_ptr<Plugin> p = LoadOrFail(kAmsynth);
  ASSERT_TRUE(p);
  p->Open();
  ASSERT_TRUE(p->Effect()->flags & effFlagsProgramChunks);
  p->SetParameter(3, 0.75f);
  float saved = p->GetParameter(3);
  std::string path = TempPath("ams.fxp"), error, what;
  ASSERT_TRUE(SaveFxp(*p, path, &error)) << error;
  p->SetParameter(3, 0.1f);
  ASSERT_TRUE(LoadFxFile(*p, path, &what, &error)) << error;
  EXPECT_NE(what.find("FPCh"), std::string::npos) << what;
  EXPECT_FLOAT_EQ(p->GetParameter(3), saved);
  std::remove(path.c_str());
}

TEST(HostProgramFiles, DamagedOrForeignFilesAreRefused)
{
  std::unique_ptr<Plugin> p = LoadOrFail(kAmsynth);
  ASSERT_TRUE(p);
  p->Open();
  std::string good = TempPath("good.fxp"), error, what;
  ASSERT_TRUE(SaveFxp(*p, good, &error)) << error;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadWholeFile(good, &bytes, &error, 1 << 20));
  std::remove(good.c_str());

  struct Case
  {
    const char* what;
    std::vector<uint8_t> file;
  };
  std::vector<uint8_t> foreign = bytes, cut = bytes, oversize = bytes, magic = bytes;
  foreign[19] ^= 1;
  cut.resize(40);
  oversize[59] += 8; // the chunk size now points past the end
  magic[11] = 'x';
  const Case cases[] = {
      {"empty", {}},
      {"another plug-in", foreign},
      {"shorter than the header", cut},
      {"chunk past the end", oversize},
      {"unknown magic", magic},
  };
  for (const Case& c : cases) {
    std::string path = TempPath("bad.fxp");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    if (!c.file.empty()) std::fwrite(c.file.data(), 1, c.file.size(), f);
    std::fclose(f);
    EXPECT_FALSE(LoadFxFile(*p, path, &what, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    std::remove(path.c_str());
  }
  EXPECT_FALSE(LoadFxFile(*p, "/nonexistent/x.fxp", &what, &error));
}

namespace {

// The host's exit status, and what it printed when `output` is given. A host still running after a minute (on
// a FIFO, say) is ended: status 124. `shell` goes before the command (a limit: "ulimit -f 100;"); `stdoutTo`
// sends the standard output elsewhere (">&5"), leaving the printed text to the errors.
int RunHost(const std::string& args, std::string* output = nullptr, const std::string& shell = "",
            const std::string& stdoutTo = "")
{
  const std::string printed = TempPath("printed.txt");
  std::string cmd = shell + "timeout -k 5 60 " + VSTHOST_EXE + " " + args +
                    (stdoutTo.empty() ? " > " + printed + " 2>&1" : " 2> " + printed + " " + stdoutTo);
  int status = std::system(cmd.c_str());
  if (output) {
    std::ifstream in(printed);
    output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::remove(printed.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(CommandLine, RendersAWavFileAndRejectsBadArguments)
{
  std::string out = TempPath("cli.wav");
  ASSERT_EQ(RunHost(std::string("render ") + kKars + " --notes C4+0.5,E4@0.25+0.5:80 --seconds 1 -o " + out), 0);
  struct stat st;
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 58 + 44100 * 4); // float header, one channel, one second
  std::remove(out.c_str());

  ASSERT_EQ(RunHost(std::string("render ") + kKars + " --notes C4 --seconds 0.5 --format s16 -o " + out), 0);
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 44 + 22050 * 2);
  std::remove(out.c_str());

  EXPECT_EQ(RunHost(std::string("info ") + kKars), 0);
  EXPECT_EQ(RunHost(""), 2);
  for (const char* help : {"--help", "render --help", "render /nonexistent.so --tone 1 --help"})
    EXPECT_EQ(RunHost(help), 0) << help; // the usage, whatever else the line holds

  // Refusals: the exit status (2 for the command line itself, 1 for what it names) and the reason given. A
  // screenshot's script line is refused with what its action takes, or as no action at all. A FIFO, a file
  // too large or a write that fails is named; a file that was there stays as it was.
  const std::string kars = kKars, shot = std::string("screenshot ") + VELTRANE_SO + " " + TempPath("never.png");
  const std::string fifo = TempPath("fifo"), big = TempPath("big.mid"), kept = TempPath("kept.wav");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(big) << "MThd";
  ASSERT_EQ(truncate(big.c_str(), (32 << 20) + 1), 0); // a byte over the limit, all but 4 of them a hole
  // A pipe whose reader has gone.
  int brokenPipe[2];
  ASSERT_EQ(pipe(brokenPipe), 0);
  close(brokenPipe[0]);
  const struct
  {
    std::string args;
    const char* script; // the screenshot's, or null
    int status;
    std::string says;
    std::string kept = "";     // holds "kept" before the command, and after it
    std::string shell = "";    // before the command
    std::string stdoutTo = ""; // the standard output's redirection
  } refused[] = {
      {"render " + kars + " --notes Q9", nullptr, 2, "--notes: \"Q9\": not a note name (C, D, E, F, G, A, B, then"},
      {"render " + kars + " --notes C4:200", nullptr, 2, "--notes: \"C4:200\": velocity 200 is not 1 to 127"},
      {"render " + kars + " --notes C3:127+2", nullptr, 2, "\"+2\" after the velocity: the length comes before it"},
      {"info " + kars + " --preset " + fifo, nullptr, 1, "cannot open " + fifo + ": not a regular file"},
      {"info " + kars + " --chunk " + fifo, nullptr, 1, "cannot open " + fifo + ": not a regular file"},
      {"info " + kars + " --bank-chunk " + fifo, nullptr, 1, "cannot open " + fifo + ": not a regular file"},
      {"render " + kars + " --midi " + fifo, nullptr, 1, "cannot open " + fifo + ": not a regular file"},
      {shot + " --script " + fifo, nullptr, 1, "cannot open " + fifo + ": not a regular file"},
      {"render " + kars + " --notes C4 -o " + fifo, nullptr, 1, "cannot write " + fifo + ": not a regular file"},
      {"render " + kars + " --midi " + big, nullptr, 1, ": too large (33554433 bytes, at most 33554432)"},
      {"render " + kars + " --notes C4 --seconds 2 -o " + kept, nullptr, 1, "cannot write " + kept + ": File too large",
       kept, "ulimit -f 100;"},
      {"info " + kars, nullptr, 1, "cannot write the standard output: Broken pipe", "", "",
       ">&" + std::to_string(brokenPipe[1])},
      {"render " + kars + " --notes C4 --seconds 3600 --rate 768000 --format s16", nullptr, 1,
       "the WAV file would be 5.15 GiB, more than the 4 GiB a WAV file holds"},
      {"render " + kars + " --notes C4 --rate 0", nullptr, 2, "a whole number from 8000 to 768000"},
      {"render " + kars + " --notes C4 --bogus", nullptr, 2, "unknown option --bogus"},
      {"render /nonexistent/plugin.so --notes C4", nullptr, 1, "cannot load /nonexistent/plugin.so"},
      {"render " + kars + " --midi /nonexistent.mid", nullptr, 1, "cannot open /nonexistent.mid"},
      {"render " + kars + " --notes C4 --program 5", nullptr, 1, "program 5 does not exist"},
      {"render " + kars + " --seconds 1", nullptr, 2, "render has nothing to play"},
      {shot, "ticks 2000\n", 1, "line 1 \"ticks 2000\": ticks takes N, a whole number from 0 to 1500"},
      {shot, "click 1 2\nbutton 9\n", 1, "line 2 \"button 9\": button takes N (-1 closes"},
      {shot, "wheel 1 2 1001", 1, "STEPS a whole number from -1000 to 1000"},
      {shot, "click 1 2 3", 1, "click takes X Y, each a whole number from -100000 to 100000"},
      {shot, "jump 1 2", 1, "\"jump 1 2\": not an action the editor knows (click, rclick"},
  };
  const std::string script = TempPath("script.txt");
  for (const auto& r : refused) {
    std::string args = r.args, said;
    if (r.script) {
      std::ofstream(script) << r.script;
      args += " --script " + script;
    }
    if (!r.kept.empty()) std::ofstream(r.kept) << "kept";
    EXPECT_EQ(RunHost(args, &said, r.shell, r.stdoutTo), r.status) << args;
    EXPECT_NE(said.find(r.says), std::string::npos) << args << "\n" << said;
    if (!r.kept.empty()) {
      std::ifstream in(r.kept);
      EXPECT_EQ("kept", std::string(std::istreambuf_iterator<char>(in), {})) << args;
    }
  }
  close(brokenPipe[1]);
  for (const std::string& f : {script, fifo, big, kept}) std::remove(f.c_str());

  // A bank saved to a path of 4,093 bytes, the longest a path may be (its temporary file's name stays within it).
  std::string deep = TempPath("deep");
  ASSERT_EQ(0, mkdir(deep.c_str(), 0700));
  while (deep.size() < 4093 - 256) {
    deep += "/" + std::string(200, 'd');
    ASSERT_EQ(0, mkdir(deep.c_str(), 0700));
  }
  const std::string bank = deep + "/" + std::string(4093 - deep.size() - 5, 'b') + ".fxb";
  ASSERT_EQ(4093u, bank.size());
  EXPECT_EQ(RunHost("info " + kars + " --save-fxb " + bank), 0);
  EXPECT_TRUE(std::ifstream(bank).good());
  std::system(("rm -rf " + TempPath("deep")).c_str());
}

// The screenshot's first picture is the editor as it stays: what its timer's later ticks draw (a formant
// oscillator in Partial mode shows its ratio, not the frequency of the Fixed mode).
TEST(CommandLine, AScreenshotEqualsWhatLaterTicksDraw)
{
  const std::string script = TempPath("ticks.txt"), first = TempPath("first.png"), later = TempPath("later.png");
  std::ofstream(script) << "ticks 30\n";
  for (const char* program : {"5", "6", "50"}) {
    const std::string common = std::string("screenshot ") + VELTRANE_SO + " ";
    ASSERT_EQ(RunHost(common + first + " --program " + program), 0) << program;
    ASSERT_EQ(RunHost(common + later + " --program " + program + " --script " + script), 0) << program;
    std::vector<uint8_t> a, b;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(first, &a, &error, 1 << 24) && ReadWholeFile(later, &b, &error, 1 << 24)) << error;
    EXPECT_TRUE(a == b) << "program " << program;
  }
  for (const std::string& f : {script, first, later}) std::remove(f.c_str());
}

TEST(CommandLine, APluginThatEndsTheProcessIsNoSuccess)
{
  // The plug-in calls exit(0) from its first block: nothing is rendered, and the host says so.
  std::string output;
  const std::string out = TempPath("never.wav");
  EXPECT_EQ(RunHost(std::string("render ") + EXITING_PLUGIN + " --notes C4 -o " + out, &output), 1);
  EXPECT_NE(output.find("vsthost: the plug-in ended the process while it rendered"), std::string::npos) << output;
  struct stat st;
  EXPECT_NE(stat(out.c_str(), &st), 0);
  // It gives no chunk: a save of its program or bank fails, and a file that was there stays as it was.
  for (const char* save : {"--save-fxp", "--save-fxb"}) {
    const std::string kept = TempPath("kept.fx");
    std::ofstream(kept) << "kept";
    EXPECT_EQ(RunHost(std::string("info ") + EXITING_PLUGIN + " " + save + " " + kept, &output), 1) << save;
    EXPECT_NE(output.find(" chunk: it could not save its state, so nothing was written"), std::string::npos) << output;
    std::ifstream in(kept);
    EXPECT_EQ("kept", std::string(std::istreambuf_iterator<char>(in), {})) << save;
    std::remove(kept.c_str());
  }
}
