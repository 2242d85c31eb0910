#include "Host.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

namespace vsthost {

namespace {

// Plug-in records to their host objects, for callbacks from any loaded plug-in.
std::mutex gTableLock;
std::map<AEffect*, Plugin*> gTable;
// The host object whose entry point is running on this thread: callbacks made before the record is returned
// arrive with a null or not yet known record.
thread_local Plugin* tLoading = nullptr;

Plugin* FindPlugin(AEffect* effect)
{
  if (effect) {
    std::lock_guard<std::mutex> lock(gTableLock);
    auto it = gTable.find(effect);
    if (it != gTable.end()) return it->second;
  }
  return tLoading;
}

VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (Plugin* p = FindPlugin(effect)) return p->OnCallback(opcode, index, value, ptr, opt);
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Copies a host string into a plug-in's buffer of `capacity` bytes, terminator included.
void CopyBounded(void* ptr, const std::string& text, size_t capacity)
{
  if (!ptr || capacity == 0) return;
  size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(ptr, text.data(), n);
  static_cast<char*>(ptr)[n] = 0;
}

// Asks a plug-in for a string into a generous buffer, since plug-ins often write beyond published limits.
std::string AskString(Plugin* p, int opcode, int index = 0)
{
  char buf[512] = {};
  p->Dispatch(opcode, index, 0, buf, 0.0f);
  buf[sizeof buf - 1] = 0;
  return buf;
}

} // namespace

std::unique_ptr<Plugin> Plugin::Load(const std::string& path, const HostSettings& settings, std::string* error)
{
  error->clear();
  std::unique_ptr<Plugin> p(new Plugin());
  p->path_ = path;
  p->settings_ = settings;
  std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
  p->library_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!p->library_) {
    const char* why = dlerror();
    *error = "cannot load " + path + ": " + (why ? why : "unknown error");
    return nullptr;
  }
  VstPluginEntryProc entry = nullptr;
  for (const char* name : {"VSTPluginMain", "main"}) {
    entry = reinterpret_cast<VstPluginEntryProc>(dlsym(p->library_, name));
    if (entry) {
      p->entryName_ = name;
      break;
    }
  }
  if (!entry) {
    *error = path + " exports neither VSTPluginMain nor main: not a VST 2.4 plug-in";
    return nullptr;
  }
  tLoading = p.get();
  AEffect* effect = entry(&HostCallback);
  tLoading = nullptr;
  if (!effect) {
    *error = path + ": the plug-in's entry point returned no instance";
    return nullptr;
  }
  if (effect->magic != kEffectMagic || !effect->dispatcher) {
    *error = path + ": the entry point's record is not a VST 2.4 plug-in record";
    return nullptr; // the record is unusable, so it cannot be closed either
  }
  p->effect_ = effect;
  {
    std::lock_guard<std::mutex> lock(gTableLock);
    gTable[effect] = p.get();
  }
  return p;
}

Plugin::~Plugin()
{
  if (effect_) {
    if (resumed_) Suspend();
    effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
    std::lock_guard<std::mutex> lock(gTableLock);
    gTable.erase(effect_);
    effect_ = nullptr;
  }
  // The library stays loaded for the life of the process: plug-ins leave exit handlers, thread-local
  // destructors and leak-checker records that point into their code, and unloading it would break those.
  library_ = nullptr;
}

VstIntPtr Plugin::Dispatch(int opcode, int index, VstIntPtr value, void* ptr, float opt)
{
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::Open()
{
  if (opened_) return;
  opened_ = true;
  Dispatch(effOpen);
  Dispatch(effSetSampleRate, 0, 0, nullptr, (float)settings_.sampleRate);
  Dispatch(effSetBlockSize, 0, settings_.blockSize);
}

void Plugin::Resume()
{
  if (resumed_) return;
  Open();
  Dispatch(effMainsChanged, 0, 1);
  Dispatch(effStartProcess);
  resumed_ = true;
}

void Plugin::Suspend()
{
  if (!resumed_) return;
  Dispatch(effStopProcess);
  Dispatch(effMainsChanged, 0, 0);
  resumed_ = false;
}

PluginInfo Plugin::Info()
{
  PluginInfo info;
  info.effectName = AskString(this, effGetEffectName);
  info.vendor = AskString(this, effGetVendorString);
  info.product = AskString(this, effGetProductString);
  info.vendorVersion = (int)Dispatch(effGetVendorVersion);
  info.uniqueID = effect_->uniqueID;
  info.version = effect_->version;
  info.flags = effect_->flags;
  info.numInputs = effect_->numInputs;
  info.numOutputs = effect_->numOutputs;
  info.numParams = effect_->numParams;
  info.numPrograms = effect_->numPrograms;
  info.category = (int)Dispatch(effGetPlugCategory);
  info.vstVersion = (int)Dispatch(effGetVstVersion);
  info.initialDelay = effect_->initialDelay;
  return info;
}

std::vector<ParamInfo> Plugin::Params()
{
  std::vector<ParamInfo> params;
  for (int i = 0; i < effect_->numParams; ++i) {
    ParamInfo p;
    p.name = AskString(this, effGetParamName, i);
    p.label = AskString(this, effGetParamLabel, i);
    p.display = AskString(this, effGetParamDisplay, i);
    p.value = GetParameter(i);
    params.push_back(p);
  }
  return params;
}

std::string Plugin::ProgramName(int index)
{
  char buf[512] = {};
  if (!Dispatch(effGetProgramNameIndexed, index, -1, buf)) {
    // Plug-ins without the indexed request only name their current program.
    if (index != (int)Dispatch(effGetProgram)) return "";
    Dispatch(effGetProgramName, 0, 0, buf);
  }
  buf[sizeof buf - 1] = 0;
  return buf;
}

bool Plugin::CanDo(const char* what)
{
  return Dispatch(effCanDo, 0, 0, const_cast<char*>(what)) > 0;
}

void Plugin::SetParameter(int index, float value)
{
  if (effect_->setParameter) effect_->setParameter(effect_, index, value);
}

float Plugin::GetParameter(int index)
{
  return effect_->getParameter ? effect_->getParameter(effect_, index) : 0.0f;
}

VstIntPtr Plugin::SetChunk(const std::vector<uint8_t>& chunk, bool isProgram)
{
  // A zero byte follows the chunk: some plug-ins keep text chunks and read them as C strings.
  std::vector<uint8_t> copy(chunk);
  copy.push_back(0);
  if (isProgram) Dispatch(effBeginSetProgram);
  VstIntPtr answer = Dispatch(effSetChunk, isProgram ? 1 : 0, (VstIntPtr)chunk.size(), copy.data());
  if (isProgram) Dispatch(effEndSetProgram);
  return answer;
}

std::vector<uint8_t> Plugin::GetChunk(bool isProgram)
{
  void* data = nullptr;
  VstIntPtr size = Dispatch(effGetChunk, isProgram ? 1 : 0, 0, &data);
  if (size <= 0 || !data) return {};
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

void Plugin::ProcessBlock(const std::vector<BlockEvent>& events, float** inputs, float** outputs, int frames)
{
  inProcess_ = true;
  if (!events.empty()) {
    // VstEvents is declared with two pointers and holds as many as there are events.
    std::vector<VstMidiEvent> midi;
    std::vector<VstMidiSysexEvent> sysex;
    midi.reserve(events.size());
    sysex.reserve(events.size());
    std::vector<VstIntPtr> storage(2 + std::max<size_t>(2, events.size()), 0);
    VstEvents* list = reinterpret_cast<VstEvents*>(storage.data());
    VstEvent** entries = list->events; // as many as there are events, beyond the two declared
    int n = 0;
    for (const BlockEvent& e : events) {
      const std::vector<uint8_t>& b = *e.bytes;
      if (b.empty()) continue;
      if (b[0] == 0xF0) {
        VstMidiSysexEvent s{};
        s.type = kVstSysExType;
        s.byteSize = sizeof(VstMidiSysexEvent);
        s.deltaFrames = e.offset;
        s.dumpBytes = (VstInt32)b.size();
        s.sysexDump = reinterpret_cast<char*>(const_cast<uint8_t*>(b.data()));
        sysex.push_back(s);
        entries[n++] = reinterpret_cast<VstEvent*>(&sysex.back());
      } else {
        VstMidiEvent m{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.deltaFrames = e.offset;
        for (size_t i = 0; i < 3 && i < b.size(); ++i) m.midiData[i] = (char)b[i];
        midi.push_back(m);
        entries[n++] = reinterpret_cast<VstEvent*>(&midi.back());
      }
    }
    list->numEvents = n;
    if (n) Dispatch(effProcessEvents, 0, 0, list);
  }

  const int nIn = effect_->numInputs, nOut = effect_->numOutputs;
  if (useDouble && (effect_->flags & effFlagsCanDoubleReplacing) && effect_->processDoubleReplacing) {
    doubleScratch_.assign((size_t)(nIn + nOut) * frames, 0.0);
    std::vector<double*> in(nIn + 1), out(nOut + 1);
    for (int c = 0; c < nIn; ++c) {
      in[c] = &doubleScratch_[(size_t)c * frames];
      for (int s = 0; s < frames; ++s) in[c][s] = inputs[c][s];
    }
    for (int c = 0; c < nOut; ++c) out[c] = &doubleScratch_[(size_t)(nIn + c) * frames];
    effect_->processDoubleReplacing(effect_, in.data(), out.data(), frames);
    for (int c = 0; c < nOut; ++c)
      for (int s = 0; s < frames; ++s) outputs[c][s] = (float)out[c][s];
  } else if ((effect_->flags & effFlagsCanReplacing) && effect_->processReplacing) {
    effect_->processReplacing(effect_, inputs, outputs, frames);
  } else {
    for (int c = 0; c < nOut; ++c) std::fill(outputs[c], outputs[c] + frames, 0.0f);
    if (effect_->process) effect_->process(effect_, inputs, outputs, frames);
  }
  inProcess_ = false;
  if (settings_.playing) samplePos_ += frames;
}

void Plugin::FillTimeInfo()
{
  const HostSettings& s = settings_;
  VstTimeInfo& t = timeInfo_;
  t = VstTimeInfo{};
  t.samplePos = (double)samplePos_;
  t.sampleRate = s.sampleRate;
  t.nanoSeconds =
      (double)std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  t.tempo = s.tempo;
  t.ppqPos = samplePos_ / s.sampleRate * s.tempo / 60.0;
  // A bar holds numerator beats of a 1/denominator note, in quarter notes.
  double barLength = s.timeSigNumerator * 4.0 / std::max(1, s.timeSigDenominator);
  t.barStartPos = barLength > 0 ? std::floor(t.ppqPos / barLength + 1e-9) * barLength : 0.0;
  t.cycleStartPos = s.cycleStart;
  t.cycleEndPos = s.cycleEnd;
  t.timeSigNumerator = s.timeSigNumerator;
  t.timeSigDenominator = s.timeSigDenominator;
  double samplesPerClock = s.sampleRate * 60.0 / s.tempo / 24.0; // MIDI clock: 24 per quarter note
  double intoClock = std::fmod((double)samplePos_, samplesPerClock);
  t.samplesToNextClock = intoClock == 0.0 ? 0 : (VstInt32)std::lround(samplesPerClock - intoClock);
  t.flags = kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid | kVstClockValid;
  if (s.playing) t.flags |= kVstTransportPlaying;
  if (s.cycleActive) t.flags |= kVstTransportCycleActive | kVstCyclePosValid;
}

VstIntPtr Plugin::OnCallback(int opcode, int index, VstIntPtr value, void* ptr, float opt)
{
  switch (opcode) {
  case audioMasterAutomate:
    notifications_.push_back({opcode, index, opt});
    return 0;
  case audioMasterBeginEdit:
  case audioMasterEndEdit:
  case audioMasterUpdateDisplay:
  case audioMasterIOChanged:
    notifications_.push_back({opcode, index, 0.0f});
    return 1;
  case audioMasterVersion:
    return 2400;
  case audioMasterCurrentId:
    return 0;
  case audioMasterIdle:
    return 0;
  case audioMasterSizeWindow:
    return onSizeWindow && index > 0 && value > 0 && value <= 1 << 15 && index <= 1 << 15 &&
                   onSizeWindow(index, (int)value)
               ? 1
               : 0;
  case audioMasterWantMidi:
    return 1;
  case audioMasterGetTime:
    ++timeInfoRequests_;
    FillTimeInfo();
    return reinterpret_cast<VstIntPtr>(&timeInfo_);
  case audioMasterProcessEvents: {
    const VstEvents* list = static_cast<const VstEvents*>(ptr);
    if (!list) return 0;
    VstEvent* const* entries = list->events;
    for (int i = 0; i < list->numEvents; ++i) {
      const VstEvent* e = entries[i];
      if (!e) continue;
      if (e->type == kVstMidiType) {
        const VstMidiEvent* m = reinterpret_cast<const VstMidiEvent*>(e);
        midiOut_.push_back({(uint8_t)m->midiData[0], (uint8_t)m->midiData[1], (uint8_t)m->midiData[2]});
      } else if (e->type == kVstSysExType) {
        const VstMidiSysexEvent* s = reinterpret_cast<const VstMidiSysexEvent*>(e);
        if (s->sysexDump && s->dumpBytes > 0)
          midiOut_.emplace_back(reinterpret_cast<const uint8_t*>(s->sysexDump),
                                reinterpret_cast<const uint8_t*>(s->sysexDump) + s->dumpBytes);
      }
    }
    return 1;
  }
  case audioMasterGetSampleRate:
    return (VstIntPtr)settings_.sampleRate;
  case audioMasterGetBlockSize:
    return settings_.blockSize;
  case audioMasterGetInputLatency:
  case audioMasterGetOutputLatency:
    return 0;
  case audioMasterGetCurrentProcessLevel:
    return inProcess_ ? settings_.processLevel : kVstProcessLevelUser;
  case audioMasterGetAutomationState:
    return kVstAutomationOff;
  case audioMasterGetVendorString:
    CopyBounded(ptr, settings_.vendorString, kVstMaxVendorStrLen);
    return ptr ? 1 : 0;
  case audioMasterGetProductString:
    CopyBounded(ptr, settings_.productString, kVstMaxProductStrLen);
    return ptr ? 1 : 0;
  case audioMasterGetVendorVersion:
    return settings_.vendorVersion;
  case audioMasterCanDo: {
    const char* what = static_cast<const char*>(ptr);
    if (!what) return 0;
    for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents",
                            "receiveVstMidiEvent", "supplyIdle"})
      if (std::strcmp(what, yes) == 0) return 1;
    if (onSizeWindow && std::strcmp(what, "sizeWindow") == 0) return 1;
    return 0;
  }
  case audioMasterGetLanguage:
    return 1; // English
  default:
    (void)value;
    return 0;
  }
}

double RenderResult::SpeedFactor(double sampleRate) const
{
  double audio = frames / sampleRate;
  return wallSeconds > 0 ? audio / wallSeconds : 0.0;
}

bool Render(Plugin& plugin, const RenderRequest& request, RenderResult* result, std::string* error)
{
  *result = RenderResult();
  error->clear();
  AEffect* e = plugin.Effect();
  const HostSettings& s = plugin.Settings();
  if (e->numOutputs < 1) {
    *error = "the plug-in has no audio outputs";
    return false;
  }
  if (e->numInputs < 0 || e->numInputs > 64 || e->numOutputs > 64 || s.blockSize < 1 || s.sampleRate < 1) {
    *error = "unsupported channel counts, block size or sample rate";
    return false;
  }
  plugin.Resume();
  const int nIn = e->numInputs, nOut = e->numOutputs, block = s.blockSize;
  const size_t total = (size_t)std::llround(std::max(0.0, request.seconds) * s.sampleRate);

  std::vector<float> inMem((size_t)std::max(1, nIn) * block), outMem((size_t)nOut * block);
  std::vector<float*> in(nIn + 1), out(nOut + 1);
  for (int c = 0; c < nIn; ++c) in[c] = &inMem[(size_t)c * block];
  for (int c = 0; c < nOut; ++c) out[c] = &outMem[(size_t)c * block];

  // Events at their sample positions; those at or after the end are not played.
  std::vector<std::pair<size_t, const std::vector<uint8_t>*>> timed;
  for (const MidiEvent& ev : request.events) {
    double at = std::max(0.0, ev.seconds) * s.sampleRate;
    size_t pos = (size_t)std::llround(at);
    if (pos < total) timed.push_back({pos, &ev.bytes});
  }
  std::stable_sort(timed.begin(), timed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

  result->channels = nOut;
  result->frames = total;
  result->interleaved.assign(total * nOut, 0.0f);
  size_t next = 0;
  std::vector<BlockEvent> blockEvents;
  const double phaseStep = request.toneHz > 0 ? 2.0 * M_PI * request.toneHz / s.sampleRate : 0.0;
  auto clock = std::chrono::steady_clock::now;
  std::chrono::steady_clock::duration spent{};
  for (size_t start = 0; start < total; start += block) {
    int n = (int)std::min<size_t>(block, total - start);
    blockEvents.clear();
    while (next < timed.size() && timed[next].first < start + n) {
      blockEvents.push_back({(int)(timed[next].first - start), timed[next].second});
      ++next;
    }
    for (int c = 0; c < nIn; ++c)
      for (int i = 0; i < n; ++i) in[c][i] = phaseStep ? (float)(0.5 * std::sin(phaseStep * (start + i))) : 0.0f;
    for (int c = 0; c < nOut; ++c) std::fill(out[c], out[c] + block, 0.0f);

    auto t0 = clock();
    plugin.ProcessBlock(blockEvents, in.data(), out.data(), n);
    spent += clock() - t0;

    for (int i = 0; i < n; ++i)
      for (int c = 0; c < nOut; ++c) {
        float v = out[c][i];
        result->interleaved[(start + i) * nOut + c] = v;
        if (std::fabs(v) > result->peak) result->peak = std::fabs(v);
      }
  }
  result->wallSeconds = std::chrono::duration<double>(spent).count();
  return true;
}

namespace {

// Why the plug-in refused a script line: what its action takes, or that there is no such action.
std::string ScriptLineFault(const std::string& line)
{
  const size_t begin = line.find_first_not_of(" \t");
  const std::string action = begin == std::string::npos ? "" : line.substr(begin, line.find_first_of(" \t", begin) - begin);
  std::string known;
  for (const ScriptActionForm& f : kScriptActionForms) {
    if (action == f.action) {
      std::string text = action + " takes " + f.takes;
      if (f.lo <= f.hi) text += " a whole number from " + std::to_string(f.lo) + " to " + std::to_string(f.hi);
      if (action == "key") {
        std::string names;
        for (const char* name : kScriptKeyNames) names += (names.empty() ? "" : ", ") + std::string(name);
        text += " (" + names + ")";
      }
      return text;
    }
    known += (known.empty() ? "" : ", ") + std::string(f.action);
  }
  return "not an action the editor knows (" + known + ")";
}

} // namespace

bool TakeScreenshot(Plugin& plugin, const std::string& png, const std::string& script, std::string* error)
{
  error->clear();
  if (!(plugin.Effect()->flags & effFlagsHasEditor)) {
    *error = "the plug-in has no editor";
    return false;
  }
  if (!plugin.Dispatch(effEditOpen, 0, 0, nullptr)) {
    *error = "the plug-in did not open its editor";
    return false;
  }
  plugin.Dispatch(effEditIdle); // as a host does at once: the editor builds what it shows
  const VstIntPtr answer =
      plugin.Dispatch(effVendorSpecific, kVendorHeadlessScreenshot,
                      script.empty() ? 0 : reinterpret_cast<VstIntPtr>(script.c_str()), const_cast<char*>(png.c_str()));
  plugin.Dispatch(effEditClose);
  if (answer == 1) return true;
  if (answer < 0 && -answer <= (VstIntPtr)script.size() + 1) {
    // Line N of the script, without its line break.
    size_t begin = 0;
    for (VstIntPtr n = 1; n < -answer && begin != std::string::npos; ++n) {
      begin = script.find('\n', begin);
      if (begin != std::string::npos) ++begin;
    }
    std::string line = begin == std::string::npos ? "" : script.substr(begin, script.find('\n', begin) - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    *error = "script line " + std::to_string(-answer) + " \"" + line + "\": " + ScriptLineFault(line);
    return false;
  }
  struct stat st;
  const bool present = stat(png.c_str(), &st) == 0;
  if (present && S_ISDIR(st.st_mode))
    *error = png + " is a folder";
  else if (present && !S_ISREG(st.st_mode))
    *error = png + " is not a regular file";
  else
    *error = "the plug-in wrote no screenshot to " + png +
             " (a file it cannot create, or no editor that draws without a window, as plug-ins on our framework have)";
  return false;
}

} // namespace vsthost
