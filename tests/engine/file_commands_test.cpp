// The program and tuning menu commands as the editor runs them: confirmations, file dialogs (answered from
// a script), loads and saves of programs, banks and tunings, their error messages, copy and paste,
// initialisation, program change, and a bank read from memory.
#include "engine_harness.h"
#include "veltrane_controls.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>

namespace {
constexpr int kYes = 0, kNo = 1; // button positions of a yes/no box

// The disk flushes of this program, watched: a flush made while the watched plug-in's instance mutex is held
// would keep the audio thread waiting for the disk.
std::atomic<IPlugBase*> gWatched{nullptr};
std::atomic<int> gFlushesUnderTheMutex{0};
} // namespace

extern "C" int fsync(int fd)
{
  if (IPlugBase* p = gWatched.load())
    if (p->GetMutex()->HeldByCaller()) ++gFlushesUnderTheMutex;
  return (int)syscall(SYS_fsync, fd);
}

namespace {
struct Editor
{
  std::unique_ptr<Veltrane> v = MakeVeltrane();
  IGraphicsLinux* gui = v->graphics;
  TempDir dir;
  Editor()
  {
    v->SetSampleRate(44100.0);
    v->SetBlockSize(64);
    v->Reset();
    v->EnsureDefaultPreset(); // as the plug-in's entry point does: every program holds a state
    gui->OpenWindow(nullptr); // file dialogs appear only with the window open
  }
  void run(int command) { v->runFileCommand((File::Command)command); }
  std::string lastBox() const
  {
    const int n = gui->NMessageBoxes();
    return n ? gui->GetMessageBox(n - 1)->text.Get() : "";
  }
};
} // namespace

TEST(FileCommands, CopyThenPasteIntoAnotherProgram)
{
  Editor e;
  Veltrane& v = *e.v;
  v.replaceModule(3, ModuleConfig::MOD_LFO, false, false);
  v.ModifyCurrentPreset("Bass");
  e.run(File::kCopyProgram);
  EXPECT_EQ(0, v.copiedPreset);
  EXPECT_EQ(0, e.gui->NMessageBoxes());
  v.changePreset(5);
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[3].moduleID);

  e.gui->ScriptMessageBoxButton(kNo);
  e.run(File::kPasteProgram);
  EXPECT_EQ("Do you really want to overwrite the current program?", e.lastBox());
  EXPECT_STREQ("Paste Program", e.gui->GetMessageBox(0)->caption.Get());
  EXPECT_EQ(4, e.gui->GetMessageBox(0)->type);
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[3].moduleID);

  // The copied program's name is read at paste time.
  v.changePreset(0);
  v.ModifyCurrentPreset("Bass 2");
  v.changePreset(5);
  e.gui->ScriptMessageBoxButton(kYes);
  e.run(File::kPasteProgram);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[3].moduleID);
  EXPECT_EQ(5, v.GetCurrentPresetIdx());
  EXPECT_STREQ("Bass 2", v.GetPresetName(5));
  // The program itself holds the pasted state.
  v.changePreset(1);
  v.changePreset(5);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[3].moduleID);
  // Pasting the copied program onto itself keeps its name.
  v.changePreset(0);
  e.gui->ScriptMessageBoxButton(kYes);
  e.run(File::kPasteProgram);
  EXPECT_STREQ("Bass 2", v.GetPresetName(0));
}

TEST(FileCommands, PasteWithNothingCopiedDoesNothing)
{
  Editor e;
  const auto before = WholeState(*e.v);
  e.run(File::kPasteProgram);
  EXPECT_EQ(before, WholeState(*e.v));
}

TEST(FileCommands, InitialiseAsksFirst)
{
  Editor e;
  Veltrane& v = *e.v;
  v.replaceModule(2, ModuleConfig::MOD_MIXER, true, false);
  v.SetParameterFromGUI(Veltrane::kParamVolume, 0.9);
  v.SetParameterFromGUI(Veltrane::kParamMasterOutLeft, 1.0);
  v.ModifyCurrentPreset("Mine");
  e.gui->ScriptMessageBoxButton(kNo);
  e.run(File::kInitProgram);
  EXPECT_EQ("Do you really want to initialize the current program?", e.lastBox());
  EXPECT_EQ(ModuleConfig::MOD_MIXER, v.slotConfig[2].moduleID);
  EXPECT_STREQ("Mine", v.GetPresetName(0));

  e.gui->ScriptMessageBoxButton(kYes);
  e.run(File::kInitProgram);
  EXPECT_STREQ("Initialize Program", e.gui->GetMessageBox(1)->caption.Get());
  for (int s = 0; s < 18; ++s) {
    EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[s].moduleID);
    EXPECT_EQ(0, v.slotConfig[s].master);
  }
  for (int i = 0; i < 300; ++i) EXPECT_EQ(v.GetParam(i)->GetDefault(), v.GetParam(i)->Value()) << i;
  EXPECT_EQ(1.0, v.masterOutLeft.Value());
  EXPECT_EQ(&v.voiceL, v.masterOutputLeft);
  EXPECT_EQ(0.5, v.volume);
  EXPECT_STREQ("Init", v.GetPresetName(0));
  // The window is open and the command ran on the editor's thread: the panels were rebuilt at once.
  EXPECT_FALSE(v.panelRebuild);
  EXPECT_EQ((IControl*)v.infoArea, e.gui->GetControl(e.gui->GetNControls() - 1));
}

TEST(FileCommands, SaveAndLoadProgramFiles)
{
  Editor e;
  Veltrane& v = *e.v;
  v.replaceModule(7, ModuleConfig::MOD_ENVELOPE, false, false);
  v.ModifyCurrentPreset("Lead: A/B?");
  const std::string path = e.dir.path("lead.fxp");
  e.gui->ScriptFilePrompt(path.c_str());
  e.run(File::kSaveProgram);
  ASSERT_EQ(1, e.gui->NFilePrompts());
  const IGraphicsLinux::FilePromptCall* prompt = e.gui->GetFilePrompt(0);
  EXPECT_EQ(kFileSave, prompt->action);
  EXPECT_STREQ("fxp", prompt->extensions.Get());
  EXPECT_STREQ("Lead_ A_B_", prompt->proposedName.Get()); // colon, slash and question mark replaced
  EXPECT_EQ(0, e.gui->NMessageBoxes());
  EXPECT_TRUE(std::ifstream(path).good());
  // The dialog folder is now the file's.
  EXPECT_EQ(e.dir.dir() + "/", std::string(v.dialogFolder.Get()));

  v.replaceModule(7, ModuleConfig::MOD_EMPTY, false, false);
  v.ModifyCurrentPreset("Other");
  e.gui->ScriptFilePrompt(path.c_str());
  e.run(File::kLoadProgram);
  EXPECT_EQ(kFileOpen, e.gui->GetFilePrompt(1)->action);
  EXPECT_STREQ("fxp", e.gui->GetFilePrompt(1)->extensions.Get());
  EXPECT_EQ(e.dir.dir() + "/", std::string(e.gui->GetFilePrompt(1)->folder.Get()));
  EXPECT_EQ(ModuleConfig::MOD_ENVELOPE, v.slotConfig[7].moduleID);
  EXPECT_STREQ("Lead: A/B?", v.GetPresetName(0));
  EXPECT_EQ(0, e.gui->NMessageBoxes());
}

// The save prompts ask what they save, and a chosen name without the file type's extension gets it, as a
// desktop save panel adds it; a name that has it (in any case) is kept.
TEST(FileCommands, SavePromptsAskAndAddTheExtension)
{
  Editor e;
  const struct
  {
    int command;
    const char* chosen;
    const char* written;
    const char* question;
  } cases[] = {
      {File::kSaveProgram, "First Sound", "First Sound.fxp", "Save program as:"},
      {File::kSaveProgram, "v1.2", "v1.2.fxp", "Save program as:"},
      {File::kSaveProgram, "mine.FXP", "mine.FXP", "Save program as:"},
      {File::kSaveBank, "all", "all.fxb", "Save bank as:"},
      {File::kSaveBank, "all.fxp", "all.fxp.fxb", "Save bank as:"},
  };
  for (const auto& c : cases) {
    const int n = e.gui->NFilePrompts();
    e.gui->ScriptFilePrompt(e.dir.path(c.chosen).c_str());
    e.run(c.command);
    ASSERT_EQ(n + 1, e.gui->NFilePrompts()) << c.chosen;
    EXPECT_STREQ(c.question, e.gui->GetFilePrompt(n)->question.Get());
    EXPECT_TRUE(std::ifstream(e.dir.path(c.written)).good()) << c.written;
    if (std::strcmp(c.chosen, c.written)) {
      EXPECT_FALSE(std::ifstream(e.dir.path(c.chosen)).good()) << c.chosen;
    }
  }
  EXPECT_EQ(0, e.gui->NMessageBoxes());
  // Loading asks too, and takes the name as it is.
  e.gui->ScriptFilePrompt(e.dir.path("v1.2").c_str());
  e.run(File::kLoadProgram);
  EXPECT_STREQ("Load program:", e.gui->GetFilePrompt(e.gui->NFilePrompts() - 1)->question.Get());
  EXPECT_EQ("Cannot load file!\n\nThe file does not exist.", e.lastBox());
}

TEST(FileCommands, SaveAndLoadBanks)
{
  Editor e;
  Veltrane& v = *e.v;
  v.replaceModule(1, ModuleConfig::MOD_OSCILLATOR, false, false);
  v.changePreset(9);
  v.replaceModule(4, ModuleConfig::MOD_AMPLIFIER, false, false);
  const std::string path = e.dir.path("mine.fxb");
  e.gui->ScriptFilePrompt(path.c_str());
  gWatched = e.v.get();
  e.run(File::kSaveBank);
  e.gui->ScriptFilePrompt(e.dir.path("mine.fxp").c_str());
  e.run(File::kSaveProgram);
  gWatched = nullptr;
  EXPECT_EQ(0, gFlushesUnderTheMutex.load()) << "a save wrote to the disk holding the instance mutex";
  // Not "Veltrane": that name in the plug-in's folder, where the dialogs start, is the start-up bank.
  EXPECT_STREQ("Veltrane Bank", e.gui->GetFilePrompt(0)->proposedName.Get());
  EXPECT_STREQ("fxb", e.gui->GetFilePrompt(0)->extensions.Get());
  // The next bank dialog offers the same name again, in the folder last used.
  e.gui->ScriptFilePrompt("");
  e.run(File::kSaveBank);
  EXPECT_STREQ("Veltrane Bank", e.gui->GetFilePrompt(2)->proposedName.Get());
  EXPECT_EQ(e.dir.dir() + "/", std::string(e.gui->GetFilePrompt(2)->folder.Get()));

  Editor f;
  f.gui->ScriptFilePrompt(path.c_str());
  f.run(File::kLoadBank);
  EXPECT_EQ(0, f.gui->NMessageBoxes());
  f.v->changePreset(0);
  EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, f.v->slotConfig[1].moduleID);
  f.v->changePreset(9);
  EXPECT_EQ(ModuleConfig::MOD_AMPLIFIER, f.v->slotConfig[4].moduleID); // the live program went in too
}

// Failures get a message box, and a save that fails leaves a file that was there as it was. Past the chunk
// limit (lowered here from 2 GB) a save says the state is too large: the program's state (2,668 bytes with
// its header) fits 2,700 but its file (60 more) does not; the bank (64 programs) does not fit 4,096.
TEST(FileCommands, FailuresAreReported)
{
  alarm(60); // a command that blocks on the pipe or reads /dev/zero for ever ends the test, not the run
  Editor e;
  const auto before = WholeState(*e.v);
  struct Case
  {
    int command;
    std::string path;
    const char* message;
    int limit; // the chunk limit during the command, 0 the usual
  };
  const std::string garbage = e.dir.write("garbage.fxb", std::string(300, 'x'));
  const std::string missing = e.dir.path("no/such/folder/file");
  // A bank cut by a byte (its current program's record goes), and a pipe no one writes to, which would
  // block a reader for ever.
  std::string saved;
  {
    Editor source;
    source.gui->ScriptFilePrompt(source.dir.path("whole.fxb").c_str());
    source.run(File::kSaveBank);
    std::ifstream in(source.dir.path("whole.fxb"), std::ios::binary);
    saved.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string cut = e.dir.write("cut.fxb", saved.substr(0, saved.size() - 1));
  const std::string fifo = e.dir.path("pipe.fxb");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // A socket, a tuning past any tuning file's size, and banks of the chunk limit's largest file and a byte more.
  const std::string socketPath = e.dir.path("socket.fxb");
  const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(0, bind(listening, (const sockaddr*)&address, sizeof address));
  const std::string hugeTun = e.dir.write("huge.tun", "");
  ASSERT_EQ(0, truncate(hugeTun.c_str(), (1 << 20) + 1));
  const std::string atLimit = e.dir.write("limit.fxb", std::string(4096, 'x'));
  const std::string pastLimit = e.dir.write("past.fxb", std::string(4097, 'x'));
  const char* damaged = "Cannot load file!\n\nThe file is damaged, cut short, or not one of this plug-in's.";
  const char* notRegular = "Cannot load file!\n\nIt is not a regular file.";
  const std::string oldFxp = e.dir.write("old.fxp", "old"), oldFxb = e.dir.write("old.fxb", "old");
  const char* tooLarge =
      "is too large for a file (2 GB at most).\nWavetables take the room: remove some, then save again.";
  const std::string program = std::string("Cannot save file!\n\nThe program ") + tooLarge;
  const std::string bank = std::string("Cannot save file!\n\nThe bank ") + tooLarge;
  const Case cases[] = {
      {File::kLoadProgram, missing + ".fxp", "Cannot load file!\n\nThe file does not exist.", 0},
      {File::kLoadBank, garbage, damaged, 0},
      {File::kLoadBank, cut, damaged, 0},
      {File::kLoadBank, fifo, notRegular, 0},
      {File::kLoadProgram, fifo, notRegular, 0},
      {File::kLoadTuning, "/dev/zero", notRegular, 0},
      {File::kLoadBank, socketPath, notRegular, 0},
      {File::kLoadTuning, hugeTun, "Cannot load file!\n\nThe file is larger than any such file.", 0},
      {File::kLoadBank, atLimit, damaged, 4096},
      {File::kLoadBank, pastLimit, "Cannot load file!\n\nThe file is larger than any such file.", 4096},
      {File::kLoadTuning, missing + ".scl", "Cannot load file!\n\nThe file does not exist.", 0},
      {File::kSaveProgram, missing + ".fxp", "Cannot save file!\n\nThe folder does not exist.", 0},
      {File::kSaveBank, missing + ".fxb", "Cannot save file!\n\nThe folder does not exist.", 0},
      {File::kSaveProgram, oldFxp, program.c_str(), 2700},
      {File::kSaveBank, oldFxb, bank.c_str(), 4096},
  };
  for (const Case& c : cases) {
    const int boxes = e.gui->NMessageBoxes();
    e.gui->ScriptFilePrompt(c.path.c_str());
    ByteChunk::SetMaxSize(c.limit);
    e.run(c.command);
    if (c.command == File::kSaveBank) { // the host gets no chunk rather than a part of one
      void* data = nullptr;
      EXPECT_EQ(c.limit ? 0 : 1, IPlugVST::VSTDispatcher(e.v->GetAEffect(), effGetChunk, 0, 0, &data, 0) > 0);
    }
    ByteChunk::SetMaxSize(0);
    ASSERT_EQ(boxes + 1, e.gui->NMessageBoxes()) << c.command;
    const IGraphicsLinux::MessageBoxCall* box = e.gui->GetMessageBox(boxes);
    EXPECT_STREQ(c.message, box->text.Get()) << c.command;
    EXPECT_STREQ("Error", box->caption.Get());
    EXPECT_EQ(0, box->type);
    if (c.path == fifo || c.path == "/dev/zero") continue; // reading them to look would never end
    std::ifstream kept(c.path);
    EXPECT_EQ(c.path == oldFxp || c.path == oldFxb,
              kept.good() && std::string(std::istreambuf_iterator<char>(kept), {}) == "old")
        << c.path;
  }
  alarm(0);
  close(listening);
  // Failed loads leave the programs and the tuning as they were.
  EXPECT_EQ(before, WholeState(*e.v));
  EXPECT_STREQ("Equal (Standard)", e.v->tuningName);
}

TEST(FileCommands, CancelledDialogsAndOtherValuesDoNothing)
{
  Editor e;
  const auto before = WholeState(*e.v);
  for (int command : {File::kLoadProgram, File::kSaveProgram, File::kLoadBank, File::kSaveBank, File::kLoadTuning}) {
    e.gui->ScriptFilePrompt("");
    e.run(command);
  }
  EXPECT_EQ(5, e.gui->NFilePrompts());
  // 9, the online update check, asks a server: tests/editor covers it against one of its own.
  for (int command : {3, 8, 10, 13, 99, -1}) e.run(command);
  EXPECT_EQ(5, e.gui->NFilePrompts());
  EXPECT_EQ(0, e.gui->NMessageBoxes());
  EXPECT_EQ(before, WholeState(*e.v));
  // With the editor closed, a dialog cannot open: nothing happens either.
  e.gui->CloseWindow();
  e.gui->ScriptFilePrompt(e.dir.path("x.fxp").c_str());
  e.run(File::kSaveProgram);
  EXPECT_FALSE(std::ifstream(e.dir.path("x.fxp")).good());
}

TEST(FileCommands, TuningsLoadAndReset)
{
  Editor e;
  Veltrane& v = *e.v;
  const std::string scl = std::string(VELTRANE_TESTDATA) + "/scala/31edo.scl";
  e.gui->ScriptFilePrompt(scl.c_str());
  e.run(File::kLoadTuning);
  EXPECT_STREQ("tun scl kbm", e.gui->GetFilePrompt(0)->extensions.Get());
  EXPECT_EQ(0, e.gui->NMessageBoxes());
  EXPECT_TRUE(v.customTuningOn);
  EXPECT_EQ(1.0, v.GetParam(Veltrane::kParamCustomTuning)->Value());
  EXPECT_TRUE(v.isCustomTuning());
  EXPECT_NE(61 * 128, v.getFrequency(61));

  e.gui->ScriptMessageBoxButton(kNo);
  e.run(File::kResetTuning);
  EXPECT_EQ("Do you really want to reset the current tuning?", e.lastBox());
  EXPECT_STREQ("Reset Tuning", e.gui->GetMessageBox(0)->caption.Get());
  EXPECT_TRUE(v.isCustomTuning());
  e.gui->ScriptMessageBoxButton(kYes);
  e.run(File::kResetTuning);
  EXPECT_FALSE(v.isCustomTuning());
  EXPECT_FALSE(v.customTuningOn);
  EXPECT_EQ(0.0, v.GetParam(Veltrane::kParamCustomTuning)->Value());
  EXPECT_EQ(61 * 128, v.getFrequency(61));
}

TEST(FileCommands, AFailedTuningLoadKeepsTheTuning)
{
  Editor e;
  const std::string scl = std::string(VELTRANE_TESTDATA) + "/scala/31edo.scl";
  e.gui->ScriptFilePrompt(scl.c_str());
  e.run(File::kLoadTuning);
  const std::string name = e.v->tuningName;
  int table[128];
  std::memcpy(table, e.v->tuningTable, sizeof(table));
  // Files that are not there, and reference frequencies at which no key can sound.
  e.dir.write("zero.kbm", "12\n0\n127\n60\n69\n0\n12\n");
  e.dir.write("negative.kbm", "12\n0\n127\n60\n69\n-440\n12\n");
  e.dir.write("zero.tun", "[Exact Tuning]\nBaseFreq = 0\n");
  e.dir.write("negative.tun", "[Functional Tuning]\nInitEqual = (69, -8)\n");
  for (const char* bad :
       {"missing.scl", "missing.kbm", "missing.tun", "zero.kbm", "negative.kbm", "zero.tun", "negative.tun"}) {
    e.gui->ScriptFilePrompt(e.dir.path(bad).c_str());
    e.run(File::kLoadTuning);
    EXPECT_EQ(std::string("Cannot load file!\n\n") +
                  (std::strncmp(bad, "missing", 7) ? "It is not a tuning that can be read." : "The file does not exist."),
              e.lastBox())
        << bad;
    EXPECT_EQ(name, e.v->tuningName) << bad;
    EXPECT_EQ(0, std::memcmp(table, e.v->tuningTable, sizeof(table))) << bad;
    EXPECT_TRUE(e.v->customTuningOn);
    // The mapping a later scale file combines with is still the one in use.
    EXPECT_EQ("MIDI (Default)", e.v->sclImport.m_strMappingName) << bad;
    EXPECT_EQ(440.0, e.v->sclImport.m_dblRefFreqHz) << bad;
  }
}

TEST(FileCommands, ChangingProgramsKeepsEdits)
{
  Editor e;
  Veltrane& v = *e.v;
  v.replaceModule(0, ModuleConfig::MOD_LFO, false, false);
  v.changePreset(3);
  EXPECT_EQ(3, v.GetCurrentPresetIdx());
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[0].moduleID);
  v.changePreset(0);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[0].moduleID);
  v.changePreset(64); // no such program: the current one stays
  EXPECT_EQ(0, v.GetCurrentPresetIdx());
  // getFrequency follows the custom-tuning switch; with it on, notes beyond the table have no pitch.
  EXPECT_EQ(130 * 128, v.getFrequency(130));
  v.SetParameterFromGUI(Veltrane::kParamCustomTuning, 1.0);
  EXPECT_EQ(0, v.getFrequency(130));
  EXPECT_EQ(0, v.getFrequency(-1));
  EXPECT_EQ(v.tuningTable[64], v.getFrequency(64));
}

TEST(FileCommands, BankFromMemory)
{
  Editor e;
  Veltrane& v = *e.v;
  v.replaceModule(6, ModuleConfig::MOD_MIXER, false, false);
  v.ModifyCurrentPreset("Blob");
  WDL_String path(e.dir.path("blob.fxb").c_str());
  ASSERT_TRUE(v.SaveBankAsFXB(&path));
  std::ifstream in(path.Get(), std::ios::binary);
  const std::vector<char> bank((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  Editor f;
  f.v->loadFXBfromBlob(bank.data(), (int)bank.size());
  EXPECT_EQ(ModuleConfig::MOD_MIXER, f.v->slotConfig[6].moduleID);
  EXPECT_STREQ("Blob", f.v->GetPresetName(0));

  // Short, damaged or foreign images change nothing.
  Editor g;
  const auto before = WholeState(*g.v);
  g.v->loadFXBfromBlob(bank.data(), 11);
  g.v->loadFXBfromBlob(bank.data(), 200);
  g.v->loadFXBfromBlob(bank.data(), (int)bank.size() - 3);
  g.v->loadFXBfromBlob(nullptr, 100);
  std::vector<char> foreign = bank;
  foreign[11] = 'k'; // "FBCk"
  g.v->loadFXBfromBlob(foreign.data(), (int)foreign.size());
  EXPECT_EQ(before, WholeState(*g.v));
}
