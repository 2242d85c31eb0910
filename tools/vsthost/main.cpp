// vsthost: our command-line VST 2.4 host. Loads a Linux VST 2.4 plug-in, lists its identity and parameters,
// renders MIDI (a Standard MIDI File or notes given on the command line) through it into a WAV file, or shows
// its editor in a window.
#include "EditorWindow.h"
#include "Files.h"
#include "FxFile.h"
#include "Host.h"
#include "MidiFile.h"
#include "NoteList.h"
#include "WavFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
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
                      "         lists the plug-in's identity, programs and parameters\n"
                      "       vsthost render PLUGIN.so [options]\n"
                      "         plays MIDI through the plug-in into a WAV file\n"
                      "       vsthost screenshot PLUGIN.so OUT.png [--script FILE] [options]\n"
                      "         pictures the editor, opened without a window, after the script's actions\n"
                      "       vsthost edit PLUGIN.so [options]\n"
                      "         shows the editor in a window until it is closed (or for --seconds S)\n"
                      "\n"
                      "Every command:\n"
                      "  --rate HZ             sample rate, a whole number from 8000 to 768000 (default 44100)\n"
                      "  --block N             block size in samples, 1 to 65536 (default 512)\n"
                      "  --preset FILE         load a program (.fxp) or bank (.fxb) file\n"
                      "  --chunk FILE          hand the file to the plug-in as a raw program chunk\n"
                      "  --bank-chunk FILE     hand the file to the plug-in as a raw bank chunk\n"
                      "  --program N           select program N (after the files above)\n"
                      "  --param I=V           set parameter I to the normalised value V, 0 to 1 (repeatable)\n"
                      "  --save-fxp FILE       at the end, save the current program\n"
                      "  --save-fxb FILE       at the end, save the bank\n"
                      "  --host-product TEXT   product string the host reports (default \"Veltrane vsthost\")\n"
                      "  -q, --quiet           no lines on what was loaded, rendered or written (\"loaded ...\",\n"
                      "                        \"... -> FILE\"); errors and info's list print all the same\n"
                      "  -h, --help            this text\n"
                      "render:\n"
                      "  -o, --output FILE     WAV file to write (default out.wav)\n"
                      "  --format F            sample format: f32 (default), s16 or s24\n"
                      "  --seconds S           length, 0 to 3600 (default: last event + tail); edit: time open\n"
                      "  --tail S              time rendered after the last event, 0 to 3600 (default 2)\n"
                      "  --midi FILE           play a Standard MIDI File (format 0 or 1)\n"
                      "  --notes LIST          play notes NOTE[@START][+LENGTH][:VELOCITY],... (e.g. C4+2,E4@0.5:80);\n"
                      "                        START 0 s, LENGTH 1 s and VELOCITY 100 (1 to 127) unless given\n"
                      "  --channel N           MIDI channel 1 to 16 of --notes (default 1)\n"
                      "  --tempo BPM           host tempo, 1 to 999 (default: the MIDI file's, else 120)\n"
                      "  --timesig N/D         host time signature, N 1 to 64, D 1, 2, 4, ... 64 (default 4/4)\n"
                      "  --stopped             report the transport as stopped\n"
                      "  --tone HZ             feed a sine of HZ (1 to 100000) into every input (default silence)\n"
                      "                        (render needs --notes, --midi or --tone: it refuses to play nothing)\n"
                      "  --double              process in double precision when the plug-in can\n"
                      "  --realtime            answer the realtime process level (default offline)\n"
                      "screenshot:\n"
                      "  --script FILE         user actions played on the editor first, one a line:\n"
                      "                        click X Y, rclick X Y, down/up/drag/move/dblclick X Y, wheel X Y D,\n"
                      "                        key NAME, type TEXT, button N, choose PATH, ticks N (# comments)\n";

// The longest render: an hour.
constexpr double kMaxSeconds = 3600;

// The commands, as bits so that an option can name the ones it is for.
enum CommandBit : unsigned { kInfo = 1, kRender = 2, kScreenshot = 4, kEdit = 8, kEveryCommand = 15 };
const struct
{
  const char* name;
  CommandBit bit;
} kCommands[] = {{"info", kInfo}, {"render", kRender}, {"screenshot", kScreenshot}, {"edit", kEdit}};

struct Options
{
  std::string command, plugin, output = "out.wav", script, midiFile, notes, preset, chunk, bankChunk, saveFxp, saveFxb;
  CommandBit commandBit = kInfo;
  WavFormat format = WavFormat::Float32;
  HostSettings settings;
  bool tempoGiven = false;
  double seconds = -1.0, tail = 2.0, toneHz = 0.0;
  int channel = 1, program = -1;
  std::vector<std::pair<int, float>> params;
  std::vector<MidiEvent> noteEvents; // --notes, read once the channel is known
  bool useDouble = false, quiet = false, help = false;
};

bool IsHelp(const char* arg)
{
  return !std::strcmp(arg, "-h") || !std::strcmp(arg, "--help");
}

std::string Bad(const std::string& option, const char* text, const std::string& expected)
{
  return "bad value for " + option + ": " + text + " (" + expected + ")";
}

// A whole decimal number within lo..hi, nothing after it.
bool ReadWhole(const char* text, long lo, long hi, long* out)
{
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end || errno || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ReadDecimal(const char* text, double lo, double hi, double* out)
{
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end || !std::isfinite(v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool Whole(const std::string& option, const char* text, long lo, long hi, long* out, std::string* error)
{
  if (ReadWhole(text, lo, hi, out)) return true;
  *error = Bad(option, text, "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
  return false;
}

bool Decimal(const std::string& option, const char* text, double lo, double hi, double* out, std::string* error)
{
  if (ReadDecimal(text, lo, hi, out)) return true;
  char range[64];
  std::snprintf(range, sizeof range, "a number from %g to %g", lo, hi);
  *error = Bad(option, text, range);
  return false;
}

// N/D: a numerator of 1 to 64 and a denominator that is a power of two from 1 to 64.
bool ReadTimeSignature(const char* text, int* numerator, int* denominator)
{
  const char* slash = std::strchr(text, '/');
  if (!slash) return false;
  long n = 0, d = 0;
  if (!ReadWhole(std::string(text, slash).c_str(), 1, 64, &n) || !ReadWhole(slash + 1, 1, 64, &d) || (d & (d - 1)))
    return false;
  *numerator = (int)n;
  *denominator = (int)d;
  return true;
}

// One option: its names, the commands it does something for, whether a value follows, and what it does.
struct OptionSpec
{
  const char* name;
  const char* shortName; // or null
  unsigned commands;
  bool takesValue;
  bool (*apply)(Options& o, const std::string& name, const char* value, std::string* error);
};

// The options that only name a file, or only raise a flag. An empty file name (an unset shell variable, say) is
// refused: stored, it would read as "not given", and the command would run without the file.
template <std::string Options::*file>
bool SetFile(Options& o, const std::string& name, const char* v, std::string* error)
{
  if (!*v) {
    *error = Bad(name, "\"\"", "a file name");
    return false;
  }
  o.*file = v;
  return true;
}
template <bool Options::*flag> bool SetFlag(Options& o, const std::string&, const char*, std::string*)
{
  o.*flag = true;
  return true;
}

const OptionSpec kOptions[] = {
    {"--output", "-o", kRender, true, &SetFile<&Options::output>},
    {"--format", nullptr, kRender, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       if (ParseWavFormat(v, &o.format)) return true;
       *error = Bad(n, v, "f32, s16 or s24");
       return false;
     }},
    {"--rate", nullptr, kEveryCommand, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       long hz = 0;
       if (!Whole(n, v, 8000, 768000, &hz, error)) return false; // a WAV file's rate is a whole number
       o.settings.sampleRate = (double)hz;
       return true;
     }},
    {"--block", nullptr, kEveryCommand, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       long frames = 0;
       if (!Whole(n, v, 1, 65536, &frames, error)) return false;
       o.settings.blockSize = (int)frames;
       return true;
     }},
    {"--seconds", nullptr, kRender | kEdit, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       return Decimal(n, v, 0, kMaxSeconds, &o.seconds, error);
     }},
    {"--tail", nullptr, kRender, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       return Decimal(n, v, 0, kMaxSeconds, &o.tail, error);
     }},
    {"--midi", nullptr, kRender, true, &SetFile<&Options::midiFile>},
    {"--notes", nullptr, kRender, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       if (!*v) { // an empty list would render silence as if it were asked for
         *error = Bad(n, "\"\"", "NOTE[@START][+LENGTH][:VELOCITY],...");
         return false;
       }
       o.notes += (o.notes.empty() ? "" : ",") + std::string(v);
       return true;
     }},
    {"--channel", nullptr, kRender, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       long channel = 0;
       if (!Whole(n, v, 1, 16, &channel, error)) return false;
       o.channel = (int)channel;
       return true;
     }},
    {"--tempo", nullptr, kRender, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       o.tempoGiven = true;
       return Decimal(n, v, 1, 999, &o.settings.tempo, error);
     }},
    {"--timesig", nullptr, kRender, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       if (ReadTimeSignature(v, &o.settings.timeSigNumerator, &o.settings.timeSigDenominator)) return true;
       *error = Bad(n, v, "N/D with N from 1 to 64 and D one of 1, 2, 4, 8, 16, 32, 64");
       return false;
     }},
    {"--stopped", nullptr, kRender, false,
     [](Options& o, const std::string&, const char*, std::string*) {
       o.settings.playing = false;
       return true;
     }},
    {"--preset", nullptr, kEveryCommand, true, &SetFile<&Options::preset>},
    {"--chunk", nullptr, kEveryCommand, true, &SetFile<&Options::chunk>},
    {"--bank-chunk", nullptr, kEveryCommand, true, &SetFile<&Options::bankChunk>},
    {"--program", nullptr, kEveryCommand, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       long program = 0;
       if (!Whole(n, v, 0, 1000000, &program, error)) return false;
       o.program = (int)program;
       return true;
     }},
    {"--param", nullptr, kEveryCommand, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       const char* eq = std::strchr(v, '=');
       long index = 0;
       double value = 0;
       if (!eq || !ReadWhole(std::string(v, eq).c_str(), 0, 1000000, &index) || !ReadDecimal(eq + 1, 0, 1, &value)) {
         *error = Bad(n, v, "INDEX=VALUE, VALUE from 0 to 1");
         return false;
       }
       o.params.push_back({(int)index, (float)value});
       return true;
     }},
    {"--tone", nullptr, kRender, true,
     [](Options& o, const std::string& n, const char* v, std::string* error) {
       return Decimal(n, v, 1, 100000, &o.toneHz, error);
     }},
    {"--double", nullptr, kRender, false, &SetFlag<&Options::useDouble>},
    {"--realtime", nullptr, kRender, false,
     [](Options& o, const std::string&, const char*, std::string*) {
       o.settings.processLevel = kVstProcessLevelRealtime;
       return true;
     }},
    {"--host-product", nullptr, kEveryCommand, true,
     [](Options& o, const std::string&, const char* v, std::string*) {
       o.settings.productString = v;
       return true;
     }},
    {"--save-fxp", nullptr, kEveryCommand, true, &SetFile<&Options::saveFxp>},
    {"--save-fxb", nullptr, kEveryCommand, true, &SetFile<&Options::saveFxb>},
    {"--script", nullptr, kScreenshot, true, &SetFile<&Options::script>},
    {"--quiet", "-q", kEveryCommand, false, &SetFlag<&Options::quiet>},
};

// "render", "render and edit", "info, render and edit".
std::string CommandNames(unsigned bits)
{
  std::vector<std::string> names;
  for (const auto& c : kCommands)
    if (bits & c.bit) names.push_back(c.name);
  std::string text;
  for (size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return text;
}

bool ParseArgs(int argc, char** argv, Options* o, std::string* error)
{
  if (argc < 2) {
    *error = "missing command";
    return false;
  }
  o->command = argv[1];
  bool known = false;
  for (const auto& c : kCommands)
    if (o->command == c.name) {
      o->commandBit = c.bit;
      known = true;
    }
  if (!known) {
    *error = "unknown command \"" + o->command + "\"";
    return false;
  }
  // The plug-in comes first: "render -o x.wav P.so" would otherwise try to load a plug-in named "-o".
  if (argc < 3 || argv[2][0] == '-' || !argv[2][0]) {
    *error = o->command + " needs the plug-in file first: vsthost " + o->command + " PLUGIN.so" +
             (o->commandBit == kScreenshot ? " OUT.png" : "") + " [options]";
    return false;
  }
  o->plugin = argv[2];
  int first = 3;
  if (o->commandBit == kScreenshot) {
    if (argc < 4 || argv[3][0] == '-' || !argv[3][0]) {
      *error = "screenshot needs the PNG file to write";
      return false;
    }
    o->output = argv[3];
    first = 4;
  }
  for (int i = first; i < argc; ++i) {
    const std::string a = argv[i];
    if (IsHelp(a.c_str())) {
      o->help = true;
      return true;
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : kOptions)
      if (a == s.name || (s.shortName && a == s.shortName)) spec = &s;
    if (!spec) {
      *error = "unknown option " + a;
      return false;
    }
    if (!(spec->commands & o->commandBit)) {
      // Never taken silently: an option the command would ignore is a mistake the user should hear of.
      *error = a + " does nothing for " + o->command + " (it is for " + CommandNames(spec->commands) + ")";
      return false;
    }
    const char* value = nullptr;
    if (spec->takesValue) {
      if (i + 1 >= argc) {
        *error = a + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (!spec->apply(*o, a, value, error)) return false;
  }
  // A render of nothing would be a file of silence taken for a result: refused. An effect fed --tone plays.
  if (o->commandBit == kRender && o->notes.empty() && o->midiFile.empty() && o->toneHz <= 0) {
    *error = "render has nothing to play: give --notes or --midi (or --tone, for an effect)";
    return false;
  }
  if (!o->notes.empty() && !ParseNoteList(o->notes, o->channel - 1, &o->noteEvents, error)) {
    *error = "--notes: " + *error;
    return false;
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
  const int current = (int)p.Dispatch(effGetProgram);
  std::printf("programs    %d", info.numPrograms);
  if (info.numPrograms > 0) std::printf(" (current %d: \"%s\")", current, p.ProgramName(current).c_str());
  std::printf("\n");
  for (int i = 0; i < info.numPrograms; ++i) std::printf("  %4d  %s\n", i, p.ProgramName(i).c_str());
  std::printf("parameters  %d\n", info.numParams);
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

// Reads the screenshot's script: a text file.
bool ReadScript(const std::string& path, std::string* script, std::string* error)
{
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes, error, 1u << 20)) return false;
  script->assign(bytes.begin(), bytes.end());
  if (script->find('\0') == std::string::npos) return true;
  *error = path + ": not a text file";
  return false;
}

// "program 70 does not exist (the plug-in has 64: 0 to 63)".
std::string NoSuch(const char* what, int index, int count)
{
  return std::string(what) + " " + std::to_string(index) + " does not exist (the plug-in has " +
         std::to_string(count) + (count > 0 ? ": 0 to " + std::to_string(count - 1) : "") + ")";
}

// What the host is doing while the plug-in's code runs. A plug-in that ends the process itself (exit() from a
// toolkit that finds no display, say) would otherwise leave whatever status it chose, 0 included, and no word.
const char* gDuring = nullptr;

void OnExit()
{
  if (!gDuring) return; // main returned
  std::fflush(stdout);
  std::fprintf(stderr, "vsthost: the plug-in ended the process while %s\n", gDuring);
  std::_Exit(1);
}

int Run(int argc, char** argv);

} // namespace

int main(int argc, char** argv)
{
  // A write to a pipe whose reader has gone, or past the file-size limit (ulimit -f), fails with EPIPE or EFBIG
  // and is reported, instead of ending the process with SIGPIPE or SIGXFSZ. The process is ours and no plug-in
  // relies on either signal; a program a plug-in starts inherits the setting (and may set its own).
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  std::atexit(OnExit);
  int status = Run(argc, argv);
  gDuring = nullptr;
  // What was printed reached its reader: a listing cut short by a closed pipe or a full disk is no success.
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "vsthost: cannot write the standard output: %s\n",
                 errno ? std::strerror(errno) : "a write failed");
    if (status == 0) status = 1;
  }
  return status;
}

namespace {

int Run(int argc, char** argv)
{
  Options o;
  std::string error;
  // "vsthost --help", "vsthost render --help", "vsthost screenshot P.so --help" and --help where an option
  // may stand.
  for (int i = 1; i < argc && i < 4; ++i)
    if (IsHelp(argv[i])) o.help = true;
  if (!o.help && !ParseArgs(argc, argv, &o, &error)) {
    if (argc < 3)
      std::fprintf(stderr, "vsthost: %s\n\n%s", error.c_str(), kUsage);
    else
      std::fprintf(stderr, "vsthost: %s\n(vsthost --help lists the commands and their options)\n", error.c_str());
    return 2;
  }
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // Every file the command will write, checked before any work: a render or an editing session is not
  // carried out only to find at the end that its result cannot be kept.
  for (const std::string* out :
       {o.commandBit == kRender || o.commandBit == kScreenshot ? &o.output : nullptr, &o.saveFxp, &o.saveFxb})
    if (out && !out->empty() && !CanWrite(*out, &error)) return Fail(error);

  // The inputs are read before the plug-in is loaded: a bad file should not cost a plug-in start.
  RenderRequest request;
  double lastEvent = 0.0;
  if (!o.midiFile.empty()) {
    MidiFile midi;
    if (!ReadMidiFile(o.midiFile, &midi, &error)) return Fail(error);
    request.events = midi.events;
    lastEvent = midi.lengthSeconds;
    if (!o.tempoGiven && midi.firstTempo > 0) o.settings.tempo = midi.firstTempo;
  }
  if (!o.noteEvents.empty()) {
    request.events.insert(request.events.end(), o.noteEvents.begin(), o.noteEvents.end());
    std::stable_sort(request.events.begin(), request.events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.seconds < b.seconds; });
  }
  for (const MidiEvent& e : request.events) lastEvent = std::max(lastEvent, e.seconds);
  request.seconds = o.seconds >= 0 ? o.seconds : lastEvent + o.tail;
  if (o.commandBit == kRender && request.seconds > kMaxSeconds) {
    // A far note or MIDI event: the whole render is held in memory before it is written.
    char text[160];
    std::snprintf(text, sizeof text,
                  "the render would last %.0f s, longer than %.0f s: the last event is at %.0f s "
                  "(--seconds cuts it short)",
                  request.seconds, kMaxSeconds, lastEvent);
    return Fail(text);
  }
  request.toneHz = o.toneHz;
  std::string script;
  if (!o.script.empty() && !ReadScript(o.script, &script, &error)) return Fail(error);

  gDuring = "it was being loaded and set up";
  std::unique_ptr<Plugin> plugin = Plugin::Load(o.plugin, o.settings, &error);
  if (!plugin) return Fail(error);
  struct Closing // destroyed before the plug-in, which closes as the command returns
  {
    ~Closing() { gDuring = "it was being closed"; }
  } closing;
  plugin->useDouble = o.useDouble;
  plugin->Open();

  // The state asked for: files first, then the program, then single parameters.
  std::string what;
  if (!o.preset.empty()) {
    if (!LoadFxFile(*plugin, o.preset, &what, &error)) return Fail(error);
    if (!o.quiet) std::printf("loaded %s from %s\n", what.c_str(), o.preset.c_str());
  }
  if (!o.bankChunk.empty() && !LoadRawChunk(*plugin, o.bankChunk, false, &error)) return Fail(error);
  if (!o.chunk.empty() && !LoadRawChunk(*plugin, o.chunk, true, &error)) return Fail(error);
  if (o.program >= 0) {
    if (o.program >= plugin->Effect()->numPrograms)
      return Fail(NoSuch("program", o.program, plugin->Effect()->numPrograms));
    plugin->Dispatch(effSetProgram, 0, o.program);
  }
  for (const auto& pv : o.params) {
    if (pv.first >= plugin->Effect()->numParams)
      return Fail(NoSuch("parameter", pv.first, plugin->Effect()->numParams));
    plugin->SetParameter(pv.first, pv.second);
  }

  gDuring = o.commandBit == kInfo         ? "its programs and parameters were listed"
            : o.commandBit == kScreenshot ? "its editor was pictured"
            : o.commandBit == kEdit       ? "its editor was shown"
                                          : "it rendered";
  switch (o.commandBit) {
  case kInfo:
    PrintInfo(*plugin);
    break;
  case kScreenshot:
    if (!TakeScreenshot(*plugin, o.output, script, &error)) return Fail(error);
    if (!o.quiet) std::printf("%s -> %s\n", plugin->Info().effectName.c_str(), o.output.c_str());
    break;
  case kEdit: {
    plugin->Resume(); // as a DAW has it while its editor is open
    EditorOptions editor;
    editor.closeAfterSeconds = o.seconds;
    if (!RunEditor(*plugin, editor, &error)) return Fail(error);
    break;
  }
  default: {
    // Refused before an hour of rendering that no WAV file could hold.
    const uint64_t frames = (uint64_t)std::llround(request.seconds * o.settings.sampleRate);
    const uint64_t wavBytes = WavFileBytes(frames, std::max(1, plugin->Effect()->numOutputs), o.format);
    if (wavBytes > kMaxWavFileBytes) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "the WAV file would be %.2f GiB, more than the 4 GiB a WAV file holds (a shorter --seconds, a "
                    "lower --rate or a smaller --format fits)",
                    wavBytes / 1073741824.0);
      return Fail(text);
    }
    RenderResult result;
    try {
      if (!Render(*plugin, request, &result, &error)) return Fail(error);
    } catch (const std::bad_alloc&) { // the whole render is held in memory
      return Fail("not enough memory for " + std::to_string((long)request.seconds) + " s at " +
                  std::to_string((long)o.settings.sampleRate) + " Hz (a shorter --seconds or a lower --rate fits)");
    }
    if (!WriteWav(o.output, result.interleaved.data(), result.frames, result.channels,
                  (int)std::lround(o.settings.sampleRate), o.format, &error))
      return Fail(error);
    if (!o.quiet) {
      PluginInfo info = plugin->Info();
      double audioSeconds = result.frames / o.settings.sampleRate;
      double peakDb = result.peak > 0 ? 20.0 * std::log10(result.peak) : -INFINITY;
      std::printf("%s: %zu MIDI events, %.2f s at %.0f Hz, %d channel%s, block %d\n", info.effectName.c_str(),
                  request.events.size(), audioSeconds, o.settings.sampleRate, result.channels,
                  result.channels == 1 ? "" : "s", o.settings.blockSize);
      std::printf("rendered in %.3f s: %.1fx real time; peak %.1f dBFS; %zu host notifications -> %s\n",
                  result.wallSeconds, result.SpeedFactor(o.settings.sampleRate), peakDb,
                  plugin->Notifications().size(), o.output.c_str());
    }
    break;
  }
  }

  // What the command did to the plug-in, for a caller to read back.
  gDuring = "its state was saved";
  if (!o.saveFxp.empty() && !SaveFxp(*plugin, o.saveFxp, &error)) return Fail(error);
  if (!o.saveFxb.empty() && !SaveFxb(*plugin, o.saveFxb, &error)) return Fail(error);
  return 0;
}

} // namespace
