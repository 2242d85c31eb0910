// vsthost: our command-line VST 2.4 host. Loads a Linux VST 2.4 plug-in, lists its identity and parameters,
// renders MIDI (a Standard MIDI File or notes given on the command line) through it into a WAV file, or shows
// its editor in a window.
#include "EditorWindow.h"
#include "FxFile.h"
#include "Host.h"
#include "MidiFile.h"
#include "NoteList.h"
#include "WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace vsthost;

// Plug-ins are third-party code built without the sanitizers; what they leave allocated at exit is theirs.
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:amsynth_vst.so\nleak:-vst.so\n";
}

namespace {

const char kUsage[] = "usage: vsthost info PLUGIN.so [options]\n"
                      "       vsthost render PLUGIN.so [options]\n"
                      "       vsthost screenshot PLUGIN.so OUT.png [--script FILE] [options]\n"
                      "       vsthost edit PLUGIN.so [--program N] [--preset FILE] [--param I=V] [--seconds S]\n"
                      "         shows the editor in a window until it is closed (or for S seconds)\n"
                      "\n"
                      "  -o, --output FILE     WAV file to write (default out.wav)\n"
                      "  --format F            sample format: f32 (default), s16 or s24\n"
                      "  --rate HZ             sample rate (default 44100)\n"
                      "  --block N             block size in samples (default 512)\n"
                      "  --seconds S           length of the render (default: last event + tail)\n"
                      "  --tail S              time rendered after the last event (default 2)\n"
                      "  --midi FILE           play a Standard MIDI File (format 0 or 1)\n"
                      "  --notes LIST          play notes NOTE[@START][+LENGTH][:VELOCITY],... (e.g. C4+2,E4@0.5:80)\n"
                      "  --channel N           MIDI channel 1-16 of --notes (default 1)\n"
                      "  --tempo BPM           host tempo (default: the MIDI file's, else 120)\n"
                      "  --timesig N/D         host time signature (default 4/4)\n"
                      "  --stopped             report the transport as stopped\n"
                      "  --preset FILE         load a program (.fxp) or bank (.fxb) file\n"
                      "  --chunk FILE          hand the file to the plug-in as a raw program chunk\n"
                      "  --bank-chunk FILE     hand the file to the plug-in as a raw bank chunk\n"
                      "  --program N           select program N before rendering (or the editor)\n"
                      "  --param I=V           set parameter I to the normalised value V (repeatable)\n"
                      "  --tone HZ             feed a sine of HZ into every input (default silence)\n"
                      "  --double              process in double precision when the plug-in can\n"
                      "  --realtime            answer the realtime process level (default offline)\n"
                      "  --host-product TEXT   product string the host reports (default \"Veltrane vsthost\")\n"
                      "  --save-fxp FILE       after rendering (or the screenshot's script), save the current program\n"
                      "  --save-fxb FILE       after rendering, save the bank\n"
                      "  --script FILE         screenshot: user actions played on the editor first, one a line:\n"
                      "                        click X Y, rclick X Y, down/up/drag/move/dblclick X Y, wheel X Y D,\n"
                      "                        key NAME, type TEXT, button N, choose PATH, ticks N (# comments)\n"
                      "  -q, --quiet           print only errors\n";

struct Options
{
  std::string command, plugin, output = "out.wav", script, midiFile, notes, preset, chunk, bankChunk, saveFxp, saveFxb;
  WavFormat format = WavFormat::Float32;
  HostSettings settings;
  bool tempoGiven = false;
  double seconds = -1.0, tail = 2.0, toneHz = 0.0;
  int channel = 1, program = -1;
  std::vector<std::pair<int, float>> params;
  bool useDouble = false, quiet = false;
};

bool ParseNumber(const char* text, double lo, double hi, double* value)
{
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end || !std::isfinite(v) || v < lo || v > hi) return false;
  *value = v;
  return true;
}

bool ParseArgs(int argc, char** argv, Options* o, std::string* error)
{
  if (argc < 3) {
    *error = "missing command or plug-in";
    return false;
  }
  o->command = argv[1];
  o->plugin = argv[2];
  if (o->command != "info" && o->command != "render" && o->command != "screenshot" && o->command != "edit") {
    *error = "unknown command \"" + o->command + "\"";
    return false;
  }
  int first = 3;
  if (o->command == "screenshot") {
    if (argc < 4 || argv[3][0] == '-') {
      *error = "screenshot needs the PNG file to write";
      return false;
    }
    o->output = argv[3];
    first = 4;
  }
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        *error = a + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto number = [&](double lo, double hi, double* out) {
      const char* v;
      if (!value(&v)) return false;
      if (!ParseNumber(v, lo, hi, out)) {
        *error = "bad value for " + a + ": " + v;
        return false;
      }
      return true;
    };
    const char* v = nullptr;
    double d = 0;
    if (a == "--script") {
      if (!value(&v)) return false;
      o->script = v;
    } else if (a == "-o" || a == "--output") {
      if (!value(&v)) return false;
      o->output = v;
    } else if (a == "--format") {
      if (!value(&v)) return false;
      if (!ParseWavFormat(v, &o->format)) {
        *error = std::string("unknown format ") + v;
        return false;
      }
    } else if (a == "--rate") {
      if (!number(8000, 768000, &o->settings.sampleRate)) return false;
    } else if (a == "--block") {
      if (!number(1, 65536, &d)) return false;
      o->settings.blockSize = (int)d;
    } else if (a == "--seconds") {
      if (!number(0, 3600, &o->seconds)) return false;
    } else if (a == "--tail") {
      if (!number(0, 3600, &o->tail)) return false;
    } else if (a == "--midi") {
      if (!value(&v)) return false;
      o->midiFile = v;
    } else if (a == "--notes") {
      if (!value(&v)) return false;
      o->notes += (o->notes.empty() ? "" : ",") + std::string(v);
    } else if (a == "--channel") {
      if (!number(1, 16, &d)) return false;
      o->channel = (int)d;
    } else if (a == "--tempo") {
      if (!number(1, 999, &o->settings.tempo)) return false;
      o->tempoGiven = true;
    } else if (a == "--timesig") {
      if (!value(&v)) return false;
      int n = 0, den = 0;
      if (std::sscanf(v, "%d/%d", &n, &den) != 2 || n < 1 || n > 64 || den < 1 || den > 64) {
        *error = std::string("bad time signature ") + v;
        return false;
      }
      o->settings.timeSigNumerator = n;
      o->settings.timeSigDenominator = den;
    } else if (a == "--stopped") {
      o->settings.playing = false;
    } else if (a == "--preset") {
      if (!value(&v)) return false;
      o->preset = v;
    } else if (a == "--chunk") {
      if (!value(&v)) return false;
      o->chunk = v;
    } else if (a == "--bank-chunk") {
      if (!value(&v)) return false;
      o->bankChunk = v;
    } else if (a == "--program") {
      if (!number(0, 1e6, &d)) return false;
      o->program = (int)d;
    } else if (a == "--param") {
      if (!value(&v)) return false;
      int idx = -1;
      float val = 0;
      if (std::sscanf(v, "%d=%f", &idx, &val) != 2 || idx < 0 || !(val >= 0.0f && val <= 1.0f)) {
        *error = std::string("bad --param ") + v + " (INDEX=VALUE, VALUE 0..1)";
        return false;
      }
      o->params.push_back({idx, val});
    } else if (a == "--tone") {
      if (!number(1, 100000, &o->toneHz)) return false;
    } else if (a == "--double") {
      o->useDouble = true;
    } else if (a == "--realtime") {
      o->settings.processLevel = kVstProcessLevelRealtime;
    } else if (a == "--host-product") {
      if (!value(&v)) return false;
      o->settings.productString = v;
    } else if (a == "--save-fxp") {
      if (!value(&v)) return false;
      o->saveFxp = v;
    } else if (a == "--save-fxb") {
      if (!value(&v)) return false;
      o->saveFxb = v;
    } else if (a == "-q" || a == "--quiet") {
      o->quiet = true;
    } else {
      *error = "unknown option " + a;
      return false;
    }
  }
  return true;
}

std::string FourCC(int id)
{
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = (char)((id >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '.';
  }
  return s;
}

std::string FlagsText(int flags)
{
  static const struct
  {
    int bit;
    const char* name;
  } kNames[] = {
      {effFlagsHasEditor, "editor"},         {effFlagsCanMono, "mono"},  {effFlagsCanReplacing, "replacing"},
      {effFlagsProgramChunks, "chunks"},     {effFlagsIsSynth, "synth"}, {effFlagsNoSoundInStop, "silent-when-stopped"},
      {effFlagsCanDoubleReplacing, "double"}};
  std::string s;
  for (const auto& n : kNames)
    if (flags & n.bit) s += (s.empty() ? "" : ", ") + std::string(n.name);
  return s;
}

const char* CategoryText(int category)
{
  static const char* kNames[] = {"unknown", "effect",   "synth",       "analysis", "mastering", "spacializer",
                                 "room",    "surround", "restoration", "offline",  "shell",     "generator"};
  return category >= 0 && category < 12 ? kNames[category] : "?";
}

void PrintInfo(Plugin& p)
{
  PluginInfo info = p.Info();
  std::printf("file        %s (entry %s)\n", p.Path().c_str(), p.EntryName().c_str());
  std::printf("name        %s\n", info.effectName.c_str());
  std::printf("vendor      %s\n", info.vendor.c_str());
  std::printf("product     %s\n", info.product.c_str());
  std::printf("unique ID   '%s' (0x%08X)\n", FourCC(info.uniqueID).c_str(), (unsigned)info.uniqueID);
  std::printf("version     %d (vendor version %d), VST %d\n", info.version, info.vendorVersion, info.vstVersion);
  std::printf("category    %s (%d)\n", CategoryText(info.category), info.category);
  std::printf("flags       0x%X (%s)\n", (unsigned)info.flags, FlagsText(info.flags).c_str());
  std::printf("audio       %d in, %d out, latency %d\n", info.numInputs, info.numOutputs, info.initialDelay);
  std::printf("MIDI in     %s\n", p.CanDo("receiveVstMidiEvent") ? "yes" : "no");
  std::printf("programs    %d", info.numPrograms);
  if (info.numPrograms > 0)
    std::printf(" (current %d: \"%s\")", (int)p.Dispatch(effGetProgram),
                p.ProgramName((int)p.Dispatch(effGetProgram)).c_str());
  std::printf("\nparameters  %d\n", info.numParams);
  std::vector<ParamInfo> params = p.Params();
  for (size_t i = 0; i < params.size(); ++i) {
    const ParamInfo& q = params[i];
    std::printf("  %4zu  %-24s %s%s%s  (%.4f)\n", i, q.name.c_str(), q.display.c_str(), q.label.empty() ? "" : " ",
                q.label.c_str(), q.value);
  }
}

int Fail(const std::string& message)
{
  std::fprintf(stderr, "vsthost: %s\n", message.c_str());
  return 1;
}

// Opens the editor without a parent window, has the plug-in play the script on it and save its picture
// (a private extension of our plug-ins), and closes the editor.
int Screenshot(Plugin& plugin, const Options& o)
{
  std::string script;
  if (!o.script.empty()) {
    std::FILE* f = std::fopen(o.script.c_str(), "rb");
    if (!f) return Fail("cannot read " + o.script);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && script.size() < (1u << 20)) script.append(buf, n);
    std::fclose(f);
    if (script.find('\0') != std::string::npos) return Fail(o.script + ": not a text file");
  }
  if (!(plugin.Effect()->flags & effFlagsHasEditor)) return Fail("the plug-in has no editor");
  if (!plugin.Dispatch(effEditOpen, 0, 0, nullptr)) return Fail("the plug-in did not open its editor");
  plugin.Dispatch(effEditIdle); // as a host does at once: the editor builds what it shows
  const VstIntPtr written = plugin.Dispatch(effVendorSpecific, kVendorHeadlessScreenshot,
                                            o.script.empty() ? 0 : reinterpret_cast<VstIntPtr>(script.c_str()),
                                            const_cast<char*>(o.output.c_str()));
  plugin.Dispatch(effEditClose);
  if (written != 1) return Fail("the plug-in wrote no screenshot (a script line it cannot read, or no headless editor)");
  // What the script did to the plug-in, for a caller to read back.
  std::string error;
  if (!o.saveFxp.empty() && !SaveFxp(plugin, o.saveFxp, &error)) return Fail(error);
  if (!o.quiet) std::printf("%s -> %s\n", plugin.Info().effectName.c_str(), o.output.c_str());
  return 0;
}

} // namespace

int main(int argc, char** argv)
{
  Options o;
  std::string error;
  if (argc >= 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ParseArgs(argc, argv, &o, &error)) {
    std::fprintf(stderr, "vsthost: %s\n\n%s", error.c_str(), kUsage);
    return 2;
  }

  // The MIDI input is read before the plug-in is loaded: a bad file should not cost a plug-in start.
  RenderRequest request;
  double lastEvent = 0.0;
  if (!o.midiFile.empty()) {
    MidiFile midi;
    if (!ReadMidiFile(o.midiFile, &midi, &error)) return Fail(o.midiFile + ": " + error);
    request.events = midi.events;
    lastEvent = midi.lengthSeconds;
    if (!o.tempoGiven && midi.firstTempo > 0) o.settings.tempo = midi.firstTempo;
  }
  if (!o.notes.empty()) {
    if (!ParseNoteList(o.notes, o.channel - 1, &request.events, &error)) return Fail(error);
    std::stable_sort(request.events.begin(), request.events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.seconds < b.seconds; });
  }
  for (const MidiEvent& e : request.events) lastEvent = std::max(lastEvent, e.seconds);
  request.seconds = o.seconds >= 0 ? o.seconds : lastEvent + o.tail;
  request.toneHz = o.toneHz;

  std::unique_ptr<Plugin> plugin = Plugin::Load(o.plugin, o.settings, &error);
  if (!plugin) return Fail(error);
  plugin->useDouble = o.useDouble;
  plugin->Open();

  if (o.command == "info") {
    PrintInfo(*plugin);
    return 0;
  }
  std::string what;
  if (!o.preset.empty()) {
    if (!LoadFxFile(*plugin, o.preset, &what, &error)) return Fail(error);
    if (!o.quiet) std::printf("loaded %s from %s\n", what.c_str(), o.preset.c_str());
  }
  if (!o.bankChunk.empty() && !LoadRawChunk(*plugin, o.bankChunk, false, &error)) return Fail(error);
  if (!o.chunk.empty() && !LoadRawChunk(*plugin, o.chunk, true, &error)) return Fail(error);
  if (o.program >= 0) {
    if (o.program >= plugin->Effect()->numPrograms)
      return Fail("program " + std::to_string(o.program) + " does not exist");
    plugin->Dispatch(effSetProgram, 0, o.program);
  }
  for (const auto& pv : o.params) {
    if (pv.first >= plugin->Effect()->numParams)
      return Fail("parameter " + std::to_string(pv.first) + " does not exist");
    plugin->SetParameter(pv.first, pv.second);
  }

  if (o.command == "screenshot") return Screenshot(*plugin, o);
  if (o.command == "edit") {
    plugin->Resume(); // as a DAW has it while its editor is open
    EditorOptions editor;
    editor.closeAfterSeconds = o.seconds;
    if (!RunEditor(*plugin, editor, &error)) return Fail(error);
    return 0;
  }

  RenderResult result;
  if (!Render(*plugin, request, &result, &error)) return Fail(error);
  if (!WriteWav(o.output, result.interleaved.data(), result.frames, result.channels,
                (int)std::lround(o.settings.sampleRate), o.format, &error))
    return Fail(error);
  if (!o.saveFxp.empty() && !SaveFxp(*plugin, o.saveFxp, &error)) return Fail(error);
  if (!o.saveFxb.empty() && !SaveFxb(*plugin, o.saveFxb, &error)) return Fail(error);

  if (!o.quiet) {
    PluginInfo info = plugin->Info();
    double audioSeconds = result.frames / o.settings.sampleRate;
    double peakDb = result.peak > 0 ? 20.0 * std::log10(result.peak) : -INFINITY;
    std::printf("%s: %zu MIDI events, %.2f s at %.0f Hz, %d channels, block %d\n", info.effectName.c_str(),
                request.events.size(), audioSeconds, o.settings.sampleRate, result.channels, o.settings.blockSize);
    std::printf("rendered in %.3f s: %.1fx real time; peak %.1f dBFS; %zu host notifications -> %s\n",
                result.wallSeconds, result.SpeedFactor(o.settings.sampleRate), peakDb, plugin->Notifications().size(),
                o.output.c_str());
  }
  return 0;
}
