// The editor panel: the background, the global section (program, tuning, MIDI, voice and output controls),
// the 18 slot headers and the slot panels below them, rebuilt when the patch structure or the program
// changes and refreshed at idle.
//
// Threads. The control list is only ever changed on the editor thread (the thread that built the plug-in,
// or the one that opened its window), under the instance mutex. Anything that asks for a rebuild from
// another thread (a structural command on the audio thread, a program change by the host) only raises the
// rebuild flag and queues parameter values; the editor's next idle call rebuilds. Idle does nothing while
// the window is closed or a menu, text field or dialog is open, so a control inside its own handler is
// never deleted under it.
#include "Veltrane.h"

#include "BitmapStore.h"
#include "EditorImages.h"
#include "IGraphicsLinux.h"
#include "ValueControls.h"
#include "veltrane_controls.h"

#include <cstdio>

namespace {

constexpr int kSlotWidth = 128;
constexpr int kTopRowY = 0, kBottomRowY = 326, kHeaderHeight = 24;

IRECT headerRect(int p)
{
  if (p < 8) return IRECT(256 + kSlotWidth * p, kTopRowY, 256 + kSlotWidth * (p + 1), kTopRowY + kHeaderHeight);
  return IRECT(kSlotWidth * (p - 8), kBottomRowY, kSlotWidth * (p - 7), kBottomRowY + kHeaderHeight);
}

// Names of controllers 0..119 (the labels put the number in front).
const char* controllerName(int cc, char* buffer, int size)
{
  static const char* const kFirst[16] = {"Bank Select",
                                         "Modulation Wheel",
                                         "Breath Controller",
                                         "Undefined",
                                         "Foot Controller",
                                         "Portamento Time",
                                         "Data Entry MSB",
                                         "Channel Volume",
                                         "Balance",
                                         "Undefined",
                                         "Pan",
                                         "Expression Controller",
                                         "Effect Control 1",
                                         "Effect Control 2",
                                         "Undefined",
                                         "Undefined"};
  static const char* const kPedals[6] = {"Sustain Pedal On/Off", "Portamento On/Off", "Sostenuto On/Off",
                                         "Soft Pedal On/Off",    "Legato Footswitch", "Hold 2"};
  static const char* const kTail[] = {"Portamento Control", "Undefined",        "Undefined",       "Undefined",
                                      "HiRes Velo Prefix",  "Undefined",        "Undefined",       "Effects 1 Depth ",
                                      "Effects 2 Depth",    "Effects 3 Depth ", "Effects 4 Depth", "Effects 5 Depth",
                                      "Data Increment",     "Data Decrement",   "NRPN - LSB",      "NRPN - MSB",
                                      "RPN - LSB",          "RPN - MSB"};
  if (cc < 16) return kFirst[cc];
  if (cc < 20) return std::snprintf(buffer, size, "GP Controller %d", cc - 15), buffer;
  if (cc < 32) return "Undefined";
  if (cc < 64) return std::snprintf(buffer, size, "LSB for Control %d", cc - 32), buffer;
  if (cc < 70) return kPedals[cc - 64];
  if (cc < 80) return std::snprintf(buffer, size, "Sound Controller %d", cc - 69), buffer;
  if (cc < 84) return std::snprintf(buffer, size, "GP Controller %d", cc - 75), buffer;
  if (cc < 102) return kTail[cc - 84];
  return "Undefined";
}

const char* const* makeLabelCC()
{
  static char labels[Synth::kNumLearnControllers][40];
  static const char* pointers[Synth::kNumLearnControllers];
  for (int cc = 0; cc < Synth::kNumLearnControllers; ++cc) {
    char name[32];
    std::snprintf(labels[cc], sizeof labels[cc], "%03d    %s", cc, controllerName(cc, name, sizeof name));
    pointers[cc] = labels[cc];
  }
  return pointers;
}

// The controls of the private parameters and the tuning name: the framework's push never reaches them.
void pushPrivateControls(Veltrane& v)
{
  if (v.tuningNameControl) {
    v.tuningNameControl->SetTooltip(v.tuningName);
    v.tuningNameControl->SetDirty(false);
  }
  IControl* controls[3] = {v.portaLegatoControl, v.masterOutLeftControl, v.masterOutRightControl};
  for (int i = 0; i < 3; ++i)
    if (controls[i]) controls[i]->SetValueFromPlug(v.getAnyParam(Veltrane::kParamPortaLegato + i)->GetNormalized());
}

} // namespace

const char* const* const Veltrane::labelCC = makeLabelCC();

void Veltrane::createGraphics()
{
  IGraphicsLinux* gui = graphics;
  panelRebuild = false;
  presetMenu = midiLearnSwitch = nullptr;
  for (ITWModuleSelector*& s : moduleSelectors) s = nullptr;
  tuningNameControl = droneControl = nullptr;
  portaLegatoControl = masterOutLeftControl = masterOutRightControl = nullptr;
  infoArea = nullptr;
  controlTrash.Empty(true);
  if (!gui) return;
  BitmapStore::init(gui);
  gui->AttachBackground(kImageBack, editorImages()[kImageBack - 1].name);
  gui->mEnableTooltips = true;
  gui->mHandleMouseOver = true;

  IBitmap* knob = BitmapStore::getBitmap(kImageKnob);
  IBitmap* red = BitmapStore::getBitmap(kImageButtonRed);
  IBitmap* output = BitmapStore::getBitmap(kImageButtonOutput);
  IBitmap* toggle = BitmapStore::getBitmap(kImageSwitch2Orange);

  ITWPresetMenu* programs = new ITWPresetMenu(this, IRECT(40, 58, 64, 74), IRECT(16, 98, 240, 114));
  presetMenu = programs;
  gui->AttachControl(programs);
  gui->AttachControl(new ITWUtilityKick(this, 16, 55, kControlPrevious, BitmapStore::getBitmap(kImagePrev), this));
  gui->AttachControl(new ITWUtilityKick(this, 66, 55, kControlNext, BitmapStore::getBitmap(kImageNext), this));

  ITWOptionMenu* programMenu = new ITWOptionMenu(this, IRECT(136, 55, 184, 75), kControlProgramMenu, this);
  IPopupMenu& m = programMenu->menu;
  m.AddItem("Copy Program", File::kCopyProgram);
  m.AddItem("Paste Program", File::kPasteProgram, copyBuffer.Size() < 1 ? IPopupMenuItem::kDisabled : 0);
  m.AddItem("Init Program", File::kInitProgram);
  m.AddSeparator(File::kSeparator1);
  m.AddItem("Load Program", File::kLoadProgram);
  m.AddItem("Save Program", File::kSaveProgram);
  m.AddItem("Load Bank", File::kLoadBank);
  m.AddItem("Save Bank", File::kSaveBank);
  m.AddSeparator(File::kSeparator2);
  programMenu->online.reset(new IPopupMenu);
  m.AddItem("Go Online...", File::kCheckVersion, programMenu->online.get());
  programMenu->online->AddItem("Check Online for Update", File::kCheckVersion);
  programMenu->online->AddItem("Visit tarnwellmusic.com", File::kWebSite);
  gui->AttachControl(programMenu);

  ITWSwitchMidiLearn* learn = new ITWSwitchMidiLearn(this, 191, 54, BitmapStore::getBitmap(kImageLearn), true);
  midiLearnSwitch = learn;
  gui->AttachControl(learn);

  const IColor versionColor(128, 255, 255, 255);
  IText versionText(9, &versionColor, "Helvetica", IText::kStyleNormal, IText::kAlignNear, 0, IText::kQualityDefault);
  gui->AttachControl(new ITextControl(this, IRECT(94, 60, 134, 72), &versionText, "v1.0.1"));

  gui->AttachControl(new ITWKnobMultiControlText(this, gui, 16, 140, kParamPBRange, knob, false));
  gui->AttachControl(new ITWKnobMultiControlText(this, gui, 68, 140, kParamPortamento, knob, false));
  ITWSwitchControl* legato = new ITWSwitchControl(this, 110, 146, kParamPortaLegato, toggle);
  portaLegatoControl = legato;
  gui->AttachControl(legato);
  ITWCustomTuningControl* tuning = new ITWCustomTuningControl(this, 143, 149, kParamCustomTuning, red);
  tuningNameControl = tuning;
  gui->AttachControl(tuning);

  ITWOptionMenu* tuningMenu = new ITWOptionMenu(this, IRECT(144, 167, 176, 181), kControlTuningMenu, this);
  tuningMenu->menu.AddItem("Load Tuning", File::kLoadTuning);
  tuningMenu->menu.AddItem("Reset Tuning", File::kResetTuning);
  gui->AttachControl(tuningMenu);

  gui->AttachControl(new ITWMidiSourcesControl(this, gui, IRECT(207, 149, 241, 181), kControlMidiSources));
  gui->AttachControl(new ITWDigitsPopUpMenu(this, gui, IRECT(19, 212, 43, 228), kParamVoices));
  gui->AttachControl(new ITWSwitchControl(this, 14, 278, kParamOutTrigger, toggle));
  gui->AttachControl(new ITWKnobMultiControlText(this, gui, 144, 208, kParamVolume, knob, false));
  gui->AttachControl(new ITWSourcesMenuControl(this, 80, 208, kParamSumLeft, SourceDef::AUDIO, false, output));
  gui->AttachControl(new ITWSourcesMenuControl(this, 80, 236, kParamSumRight, SourceDef::AUDIO, false, output));
  gui->AttachControl(new ITWKnobMultiControlText(this, gui, 40, 272, kParamOutAttack, knob, false));
  gui->AttachControl(new ITWKnobMultiControlText(this, gui, 96, 272, kParamOutDecay, knob, false));
  gui->AttachControl(new ITWKnobMultiControlText(this, gui, 152, 272, kParamOutSustain, knob, false));
  gui->AttachControl(new ITWKnobMultiControlText(this, gui, 208, 272, kParamOutRelease, knob, false));
  ITWSourcesMenuControl* outLeft =
      new ITWSourcesMenuControl(this, 208, 208, kParamMasterOutLeft, SourceDef::AUDIO, true, output);
  ITWSourcesMenuControl* outRight =
      new ITWSourcesMenuControl(this, 208, 236, kParamMasterOutRight, SourceDef::AUDIO, true, output);
  masterOutLeftControl = outLeft;
  masterOutRightControl = outRight;
  gui->AttachControl(outLeft);
  gui->AttachControl(outRight);
  ITWDroneControl* drone = new ITWDroneControl(this, 16, 234, red);
  droneControl = drone;
  gui->AttachControl(drone);

  for (int p = 0; p < kNumSlots; ++p) {
    moduleSelectors[p] = new ITWModuleSelector(this, headerRect(p), p);
    gui->AttachControl(moduleSelectors[p]);
  }
  firstModuleControl = gui->GetNControls();
}

void Veltrane::removeModuleControls()
{
  IGraphics* gui = graphics;
  for (int p = 0; p < kNumSlots; ++p) slotConfig[slotAt(p)].specialControls.clear();
  if (!gui) return;
  while (gui->GetNControls() > firstModuleControl) {
    IControl* c = gui->DetachControl(firstModuleControl);
    if (c) controlTrash.Add(c);
  }
}

void Veltrane::createModuleGraphics()
{
  IGraphicsLinux* gui = graphics;
  if (!gui) return;
  // The mutex is held slot by slot, not for the whole rebuild (milliseconds): the audio thread waits for it.
  // A structural change carried out between two slots raises the rebuild flag again.
  {
    WDL_MutexLock lock(&mMutex);
    panelRebuild = false;
    gui->ForceEndUserEdit(); // a text field of a control about to go closes first
    removeModuleControls();
  }
  IBitmap* masterBack = BitmapStore::getBitmap(kImageMasterBack);
  for (int p = 0; p < kNumSlots; ++p) {
    WDL_MutexLock lock(&mMutex);
    const IRECT h = headerRect(p);
    const int x = h.L, y = h.B;
    ModuleConfig& c = slotConfig[slotAt(p)];
    if (c.master) gui->AttachControl(new IBitmapControl(this, x, y, -1, masterBack));
    c.createModuleGraphics(x, y);
  }
  WDL_MutexLock lock(&mMutex);
  infoArea = new ITWInfoArea(this, IRECT(128, 128, 128, 128));
  infoArea->Hide(true);
  gui->AttachControl(infoArea);
  if (gui->WindowIsOpen()) showModuleStates();
  gui->SetAllControlsDirty();

  pushPrivateControls(*this);
}

void Veltrane::emptyControlTrash()
{
  controlTrash.Empty(true);
}

void Veltrane::updateModuleGraphics()
{
  IGraphics* gui = GetGUI();
  if (gui && gui->WindowIsOpen()) {
    WDL_MutexLock lock(&mMutex);
    showModuleStates();
  }
  emptyControlTrash();
}

void Veltrane::showModuleStates()
{
  for (int s = 0; s < kNumSlots; ++s) {
    Module* m = slotConfig[s].master ? masterModules[s] : voices[0].modules[s];
    if (m) m->updateGraphics();
  }
}

bool Veltrane::editorBusy() const
{
  return modalDepth.load() > 0 || (graphics && graphics->ModalOpen());
}

void Veltrane::OnIdle()
{
  IGraphics* gui = GetGUI();
  if (!gui || !gui->WindowIsOpen() || editorBusy() || !isEditorThread()) return;
  if (commandPending.load()) {
    // Commands no block has taken since the last idle call: the host is not processing. Run them here.
    const unsigned blocks = blocksProcessed.load(std::memory_order_relaxed);
    if (blocks == blocksAtLastIdle) {
      WDL_MutexLock lock(&mMutex);
      handleRequestedCommand(true); // this thread may build a replacement's modules itself
    }
    blocksAtLastIdle = blocks;
  }
  storeWantedProgram();
  // What carried-out replacements replaced (from inside a call that holds the instance mutex, only if the post lock is
  // free: the next idle call sweeps).
  if (enterPostLock(false)) {
    sweepCommandBatches();
    commandPostMutex.Leave();
  }
  if (panelRebuild.load()) {
    createModuleGraphics();
    return;
  }
  updateModuleGraphics();
}

void Veltrane::OnGUIOpening()
{
  editorThread = std::this_thread::get_id();
}

void Veltrane::OnGUIOpen()
{
  editorThread = std::this_thread::get_id();
  panelRebuild = true;
}

void Veltrane::RedrawParamControls()
{
  IGraphics* gui = GetGUI();
  if (!gui) return;
  if (!isEditorThread()) {
    panelRebuild = true;
    for (int i = 0; i < NParams(); ++i) gui->QueueParameterFromPlug(i, GetParam(i)->GetNormalized());
    return;
  }
  if (gui->WindowIsOpen() && !editorBusy()) {
    createModuleGraphics();
  } else {
    panelRebuild = true;
    pushPrivateControls(*this);
  }
  IPlugBase::RedrawParamControls();
}

void Veltrane::pushParamToEditor(int paramIdx, double normalized)
{
  IGraphics* gui = GetGUI();
  if (!gui) return;
  if (isEditorThread())
    gui->SetParameterFromPlug(paramIdx, normalized, true);
  else if (paramIdx < NParams())
    gui->QueueParameterFromPlug(paramIdx, normalized);
  else
    panelRebuild = true; // a private parameter: the rebuild pushes it
}

void Veltrane::resetDroneMode()
{
  // Any thread (controller 123 arrives on the audio thread): the drone control applies it at its next tick.
  if (GetGUI()) droneResetRequested = true;
}

int Veltrane::getBlockFromPosition(int x, int y)
{
  if (y > kEditorHeight - 1 || x > kEditorWidth - 1 || x < 0 || y < 0) return -1;
  if (y < 325) return -2 + x / kSlotWidth;
  return 8 + x / kSlotWidth;
}
