#include "Veltrane.h"

#include "DelayMemory.h"
#include "IControl.h"
#include "IGraphicsLinux.h"
#include "Module.h"
#include "ModuleBatch.h"
#include "ProgramStage.h"
#include "cnumbers.h"

#include <cstdio>
#include <cstdlib>

const int Veltrane::nVoices[11] = {1, 2, 4, 8, 12, 16, 20, 24, 32, 48, 64};
const char* const Veltrane::labelVoices[11] = {"1", "2", "4", "8", "12", "16", "20", "24", "32", "48", "64"};
const char* const Veltrane::labelTrigger[2] = {"Single", "Multiple"};
const char* const Veltrane::labelOffOn[2] = {"Off", "On"};
const char* const Veltrane::labelPortaLegato[2] = {"On", "Legato"};

Veltrane::Veltrane(IPlugInstanceInfo instanceInfo, Veltrane* home)
    : Synth(instanceInfo, home == nullptr), valueHome(home ? home : this), stateVersion(kStateVersion),
      sumBufferLength(-1), voiceSumLeft(nullptr), voiceSumRight(nullptr), commandPending(false), activeVoices(1),
      volume(0.0), portamentoTime(0.0), pitchBendRange(0.0), portaLegatoOn(false), customTuningOn(false),
      suspended(true), muteUntilNextTick(true), panelRebuild(false), loadingStartupBank(false), readingPrograms(false),
      constructing(true), lastTransportRunning(false), transportGatesSeen(true), voiceSlotsPresent(false),
      masterModulesPresent(false), masterTargetPitch(0), masterPitch(0), glideCountdown(0), glideCurrent(0.0),
      glideStep(0.0), noteOnCounter(0), zero(0.0), on(1.0), masterNote(0.0), masterNotePos(0.0), masterVelo(0.0),
      pBend(0.0), pBendPos(0.0), mw(0.0), mwPos(0.0), chAft(0.0), single(0.0), multi(0.0), start(0.0), stop(0.0),
      voiceL(0.0), voiceR(0.0), extL(0.0), extR(0.0), masterOutputLeft(&zero), masterOutputRight(&zero),
      multiAtLastTick(0.0), tuningNameControl(nullptr), droneControl(nullptr), portaLegatoControl(nullptr),
      masterOutLeftControl(nullptr), masterOutRightControl(nullptr)
{
  controlPeriod = 0; // nothing is processed before the first Reset
  masterProcessList.reserve(kNumSlots); // rebuilt on the audio thread when a program is put in place
  for (int i = 0; i < kNumSlots; ++i) {
    displayOrder.push_back(i);
    slotConfig[i].set(this, i, ModuleConfig::MOD_EMPTY);
    masterModules[i] = home ? nullptr : new Module(&slotConfig[i], nullptr, this);
  }
  for (int i = 0; i < kNumMidiSources; ++i) {
    midiSourceValue[i] = 0.0;
    midiSourceCC[i] = -1;
  }
  for (int v = 0; v < kNumVoices; ++v) voices[v].setVeltrane(this, home ? &home->voices[v] : nullptr);
  // Plain modules and every slot empty; a staging engine's voices hold no modules until its first build.
  initParameters();
  // Room for the longest source list and for any module type's texts in every parameter that may become a
  // selector: an editor command carried out on the audio thread rebuilds them without allocating.
  const int entries = maxSources();
  for (SourceDefCol* list : {&allSources, &voiceSources, &masterSources}) list->reserve(entries);
  for (int i = 0; i <= kParamMasterOutRight; ++i)
    if (IParam* p = getAnyParam(i)) p->mDisplayTexts.Reserve(entries);
}

Veltrane::Veltrane(IPlugInstanceInfo instanceInfo) : Veltrane(instanceInfo, nullptr)
{
  stage = std::make_unique<ProgramStage>(*this);

  // The constructing thread is the editor's until the host opens the editor on another.
  editorThread = std::this_thread::get_id();
  createGraphics();
  AttachGraphics(graphics);

  loadingStartupBank = true;
  initState();
  loadingStartupBank = false;
  // Without a start-up bank, program 0 is still empty: the engine's own state is applied once, so that
  // the source lists exist and the output is not held silent until the first load or edit.
  if (!IsPresetInitialized(0)) {
    ByteChunk initial;
    if (SerializeState(&initial)) UnserializeState(&initial, 0);
  }
  RestorePreset(0);
  panelRebuild = true;
  constructing = false;
}

std::unique_ptr<Veltrane> Veltrane::makeStage(Veltrane& home)
{
  return std::unique_ptr<Veltrane>(new Veltrane(IPlugInstanceInfo{nullptr}, &home));
}

Veltrane::~Veltrane()
{
  stage.reset(); // its modules read this engine's values
  for (QueuedCommand& c : commandQueue) delete c.batch.exchange(nullptr);
  allSources.clearStored();
  voiceSources.clearSources();
  masterSources.clearSources();
  std::free(voiceSumLeft);
  std::free(voiceSumRight);
  voiceSumLeft = voiceSumRight = nullptr;
  emptyControlTrash();
  for (Module*& m : masterModules) {
    delete m;
    m = nullptr;
  }
  masterProcessList.clear();
}

// ---- parameters ----

IParam* Veltrane::getAnyParam(int paramIdx)
{
  switch (paramIdx) {
  case kParamPortaLegato:
    return &portaLegato;
  case kParamMasterOutLeft:
    return &masterOutLeft;
  case kParamMasterOutRight:
    return &masterOutRight;
  default:
    return GetParam(paramIdx); // null outside 0..299
  }
}

void Veltrane::SetParameterFromGUI(int paramIdx, double normalizedValue)
{
  if (paramIdx >= kParamPortaLegato && paramIdx <= kParamMasterOutRight) {
    // The audio thread reads and rewrites these while it rebuilds the source lists.
    WDL_MutexLock lock(&mMutex);
    getAnyParam(paramIdx)->SetNormalized(normalizedValue);
    OnParamChange(paramIdx);
    return;
  }
  IPlugBase::SetParameterFromGUI(paramIdx, normalizedValue);
}

void Veltrane::InformHostOfParamChange(int paramIdx, double normalizedValue)
{
  if (!constructing) Synth::InformHostOfParamChange(paramIdx, normalizedValue);
}

void Veltrane::OnParamChange(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  if (loadingStartupBank || readingPrograms) return;
  Synth::OnParamChange(paramIdx);
  IParam* param = getAnyParam(paramIdx);
  const double value = param ? param->Value() : 0.0;

  if (paramIdx >= 0 && paramIdx < kParamVoices) {
    const int slot = paramIdx / Module::kNumParams, p = paramIdx % Module::kNumParams;
    if (slotConfig[slot].master) {
      if (masterModules[slot]) masterModules[slot]->setParameter(p, value);
    } else {
      for (int v = 0; v < activeVoices; ++v) voices[v].setModuleParam(slot, p, value);
    }
    return;
  }
  switch (paramIdx) {
  case kParamVoices: {
    const int k = (int)value;
    if (k < 0 || k > 10 || nVoices[k] == activeVoices) return;
    allNotesOff();
    activeVoices = nVoices[k];
    OnParamReset(); // every parameter reaches the newly active voices
    return;
  }
  case kParamVolume:
    volume = value;
    return;
  case kParamCustomTuning:
    if (customTuningOn == (value >= 0.5)) return;
    customTuningOn = value >= 0.5;
    retuneModules();
    return;
  case kParamMasterOutLeft:
    masterOutputLeft = getSourceForMaster((int)value, SourceDef::AUDIO);
    return;
  case kParamMasterOutRight:
    masterOutputRight = getSourceForMaster((int)value, SourceDef::AUDIO);
    return;
  case kParamPBRange:
    pitchBendRange = value;
    break;
  case kParamPortamento:
    portamentoTime = value;
    break;
  case kParamPortaLegato:
    portaLegatoOn = value >= 0.5;
    break;
  default:
    break;
  }
  for (int v = 0; v < activeVoices; ++v) voices[v].setVoiceParam(paramIdx, value);
}

void Veltrane::Reset()
{
  WDL_MutexLock lock(&mMutex);
  Synth::Reset();
  if (stage) stage->startWorker(); // before the first block: MIDI program changes are built there
  if (controlPeriod != sumBufferLength) {
    sumBufferLength = controlPeriod;
    std::free(voiceSumLeft);
    std::free(voiceSumRight);
    voiceSumLeft = (double*)std::calloc((size_t)controlPeriod, sizeof(double));
    voiceSumRight = (double*)std::calloc((size_t)controlPeriod, sizeof(double));
    if (!voiceSumLeft || !voiceSumRight) sumBufferLength = -1; // the loop stays silent
  }
  for (Voice& voice : voices) voice.setSampleRate();
  for (Module* m : masterModules) {
    if (!m) continue; // a slot that has only ever been a voice slot since a program was put in place
    m->setSampleRate(GetSampleRate());
    m->setFrequencySource(&masterPitch);
  }
  resetDroneMode();
  noteOnCounter = 0;
  multiAtLastTick = 0.0;
  // A host may change the rate or the block size between blocks without switching processing off and on:
  // the voice count and every value the program set stay, worked out again for the new rate. (Switching
  // processing on applies them anyway; a staging engine's build applies its program's values itself.)
  if (processing && !isStage()) OnParamReset();
}

void Veltrane::changePreset(int index)
{
  // The notes stop under the hold that puts the program in place (PresetsChangedByHost): a block run
  // before it would start queued notes with the old program, and they must not outlive the switch.
  Synth::changePreset(index);
}

void Veltrane::emptyProgram()
{
  WDL_MutexLock lock(&mMutex);
  for (int s = 0; s < kNumSlots; ++s) replaceModule(s, ModuleConfig::MOD_EMPTY, false, false);
  // The private parameters are applied too, so that the master outputs follow their defaults.
  for (int i = kParamPortaLegato; i <= kParamMasterOutRight; ++i) {
    IParam* p = getAnyParam(i);
    SetParameterFromGUI(i, p->GetNormalized(p->GetDefault()));
  }
  defaultParameters();
}

void Veltrane::initPreset()
{
  // Making 64 voices of empty modules for 18 slots takes milliseconds: the stage makes them, and the audio
  // thread waits only for the take-over. The state emptied is the live one as read under the ticket (its
  // order, tuning and MIDI maps stay); with anything put in place or stored into the program since, it is read
  // again.
  const bool done =
      LoadOverProgram(
          [this](int program, ByteChunk* live) { return program == GetCurrentPresetIdx() && SerializeState(live); },
          [this](const ByteChunk& live, ByteChunk* emptied) {
            return stage ? stage->normalize(&live, 0, emptied, !OnRealtimeThread(), nullptr, 0, false, true)
                         : kNotPrepared;
          },
          "Init", true) >= 0;
  WDL_MutexLock lock(&mMutex);
  if (!done) { // in place, in one hold: no stage, or the state kept changing
    emptyProgram();
    IPlugBase::ModifyCurrentPreset("Init");
  }
  if (masterOutLeftControl) masterOutLeftControl->SetDirty(false);
  if (masterOutRightControl) masterOutRightControl->SetDirty(false);
  panelRebuild = true;
  RedrawParamControls();
  DirtyParameters();
}

void Veltrane::PresetsChangedByHost()
{
  allNotesOff();
  RedrawParamControls();
}

int Veltrane::getFrequency(int note)
{
  const bool custom = tBuildTuning ? tBuildTuning->custom : customTuningOn;
  const int* table = tBuildTuning ? tBuildTuning->table : tuningTable;
  if (custom) return note >= 0 && note < kNumNotes ? table[note] : 0;
  return note * 128;
}

void Veltrane::applyTuning(const TuningRead& read)
{
  Synth::applyTuning(read);
  if (read.result != 0) return;
  SetParameterFromGUI(kParamCustomTuning, 1.0);
  showTuningInEditor(1.0);
  retuneModules();
}

void Veltrane::retuneModules()
{
  for (int s = 0; s < kNumSlots; ++s) {
    if (masterModules[s]) masterModules[s]->retune();
    for (Voice& v : voices)
      if (v.modules[s]) v.modules[s]->retune();
  }
}

void Veltrane::showTuningInEditor(double normalized)
{
  pushParamToEditor(kParamCustomTuning, normalized);
  // The switch belongs to the editor thread; from any other (a state load by the host) the next panel
  // rebuild sets its tooltip.
  if (!tuningNameControl) return;
  if (isEditorThread()) {
    tuningNameControl->SetTooltip(tuningName);
    tuningNameControl->SetDirty(false);
  } else {
    panelRebuild = true;
  }
}

void Veltrane::resetTuning()
{
  Synth::resetTuning();
  SetParameterFromGUI(kParamCustomTuning, 0.0);
  showTuningInEditor(0.0);
  retuneModules();
}

bool Veltrane::ModifyCurrentPreset(const char* name)
{
  WDL_MutexLock lock(&mMutex);
  stateVersion = kStateVersion;
  return IPlugBase::ModifyCurrentPreset(name);
}

namespace {
// A selector starts with the single entry "off"; updateSources appends its list. Its kind is bool when it
// had none yet, so that host values round to whole entries.
void initSourceSelector(IParam* param, const char* name, int defaultIdx)
{
  if (param->mType == IParam::kTypeNone) param->mType = IParam::kTypeBool;
  param->InitInt(name, defaultIdx, 0, 0, "", "");
  param->mDisplayTexts.Resize(0);
  param->SetDisplayText(0, "off");
}
} // namespace

void Veltrane::initParameters()
{
  initListParameter(kParamVoices, "Voices", 0, 11, labelVoices);
  GetParam(kParamPBRange)->InitInt("PB Range", 2, -24, 24, "", "");
  GetParam(kParamPortamento)->InitDouble("Portamnt", 0.0, 0.0, 5.0, 0.001, "", "", 4.0);

  if (portaLegato.mType == IParam::kTypeNone) portaLegato.mType = IParam::kTypeBool;
  portaLegato.InitInt("Porta Legato", 0, 0, 1, "", "");
  portaLegato.mDisplayTexts.Resize(0);
  portaLegato.SetDisplayText(0, labelPortaLegato[0]);
  portaLegato.SetDisplayText(1, labelPortaLegato[1]);

  initListParameter(kParamCustomTuning, "Custom Tun", 0, 2, labelOffOn);
  initSourceSelector(GetParam(kParamSumLeft), "Voices Sum Left", 0);
  initSourceSelector(GetParam(kParamSumRight), "Voices Sum Right", 0);

  IParam* volumeParam = GetParam(kParamVolume);
  volumeParam->InitDouble("Volume", 0.5, 0.0, 2.0, 0.01, "", "", 1.0);
  volumeParam->mDisplayFunc = setDisplayTextForDB;

  initListParameter(kParamOutTrigger, "Out Trigger", 1, 2, labelTrigger);
  GetParam(kParamOutAttack)->InitDouble("Out Attack", 0.0, 0.0, 1.0, 0.01, "", "", 1.0);
  GetParam(kParamOutDecay)->InitDouble("Out Decay", 0.0, 0.0, 1.0, 0.01, "", "", 1.0);
  GetParam(kParamOutSustain)->InitDouble("Out Sustain", 1.0, 0.0, 1.0, 0.01, "", "", 1.0);
  IParam* release = GetParam(kParamOutRelease);
  release->InitDouble("Out Release", 0.0, 0.0, 1.0, 0.01, "", "", 1.0);
  release->mDisplayFunc = setDisplayTextForRelease;

  initSourceSelector(&masterOutLeft, "Master Out Left", 1);
  initSourceSelector(&masterOutRight, "Master Out Right", 2);
}

void setDisplayTextForRelease(double value, char* text)
{
  if (value >= 1.0)
    WDL_snprintf_C(text, IParam::kDisplayBufferSize, "HOLD");
  else
    WDL_snprintf_C(text, IParam::kDisplayBufferSize, "%.2f", value);
}

// ---- editor hooks ----

void Veltrane::plugToCommon(int position)
{
  if (position < 0 || position >= kNumSlots || position >= (int)displayOrder.size()) return;
  const int slot = displayOrder[position];
  if (slot < 0 || slot >= kNumSlots) return;
  const ModuleConfig& c = slotConfig[slot];
  if (!c.hasAudioOutputs) return;
  const bool master = c.master != 0;
  SourceDefCol& list = master ? masterSources : voiceSources;
  const int first = list.getSourceIndex(SourceDef::AUDIO, slot, 0);
  const int second = c.numAudioOutputs >= 2 ? list.getSourceIndex(SourceDef::AUDIO, slot, 1) : first;
  const int left = master ? kParamMasterOutLeft : kParamSumLeft;
  const int right = master ? kParamMasterOutRight : kParamSumRight;
  getAnyParam(left)->Set(first);
  getAnyParam(right)->Set(second);
  OnParamChange(left);
  OnParamChange(right);
  RedrawParamControls();
}
