// The headless screenshot: the script parser, pictures of the open menu, message box and text field, and
// `vsthost screenshot` on GuiPlug.so with the PNG read back and its pixels checked.
#include "gui_support.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string OutputPath(const char* name)
{
  mkdir(GUI_TEST_OUTPUT, 0755);
  return std::string(GUI_TEST_OUTPUT) + "/" + name;
}

bool IsBackground(LICE_pixel p)
{
  return LICE_GETR(p) == 92 && LICE_GETG(p) == 98 && LICE_GETB(p) == 108;
}

int RunCommand(const std::string& command)
{
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(Script, ParsesEveryActionAndRefusesWhatItCannotRead)
{
  struct Case
  {
    const char* text;
    bool ok;
    int events;
  };
  const Case cases[] = {
      {"click 10 20", true, 2},
      {"rclick 10 20\n# a comment\n\n  down 1 2 # trailing\nup 1 2\n", true, 4},
      {"drag 5 6\nmove 7 8\ndblclick 9 10\nwheel 1 2 -3", true, 4},
      {"key a\nkey #\nkey return\nkey escape\nkey backspace\nkey space\nkey up\nkey home\nkey end", true, 9},
      {"type 12.5 # not a comment", true, 1},
      {"button 0\nbutton -1\nbutton 2\nchoose 3/1\nchoose\nticks 13", true, 6},
      {"click 10", false, 0},
      {"click 10 20 30", false, 0},
      {"click x 20", false, 0},
      {"wheel 1 2", false, 0},
      {"button 3", false, 0},
      {"choose 1/a", false, 0},
      {"ticks -1", false, 0},
      {"ticks 99999999999999999999", false, 0},
      {"key nothing", false, 0},
      {"key", false, 0},
      {"type", false, 0},
      {"jump 1 2", false, 0},
      {"click 1 2\nclick 1", false, 0}, // nothing of a script with a bad line is queued
  };
  for (const Case& c : cases) {
    GuiPlug plug{IPlugInstanceInfo{nullptr}};
    std::string error;
    EXPECT_EQ(plug.Editor()->ScriptText(c.text, &error), c.ok) << c.text;
    EXPECT_EQ((int)plug.Editor()->QueuedEvents(), c.events) << c.text;
    if (!c.ok) {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
}

TEST(Screenshot, PicturesOfAnOpenMenuBoxAndField)
{
  struct Case
  {
    const char* file;
    const char* script;
    int boxAnswer = -1; // what the plug-in's box returned (-1: no box)
  };
  const Case cases[] = {
      {"gui_menu.png", "click 160 312\nmove 140 368\nmove 240 395\n"}, // the menu with its submenu open
      {"gui_tall_menu.png", "click 1160 52\nmove 1200 200\n"},
      {"gui_message_box.png", "click 660 312\ndown 700 380\n", 0}, // closed as Escape closes it
      {"gui_text_field.png",
       "rclick 360 112\nkey backspace\nkey backspace\nkey backspace\nkey backspace\nkey backspace\ntype 12.5\n"},
      {"gui_name_field.png", "click 400 312\ntype  bright\nkey space\ntype pad\n"},
      {"gui_tooltip.png", "move 160 112\nticks 14\n"},
  };
  for (const Case& c : cases) {
    OpenEditor e;
    const std::string path = OutputPath(c.file);
    std::remove(path.c_str());
    ASSERT_EQ(e.g->HeadlessScreenshot(path.c_str(), c.script), 1) << c.file;
    std::unique_ptr<LICE_IBitmap> png(LICE_LoadPNG(path.c_str()));
    ASSERT_TRUE(png) << c.file;
    EXPECT_EQ(png->getWidth(), GuiPlug::kWidth);
    EXPECT_EQ(png->getHeight(), GuiPlug::kHeight);
    // After the picture the element closed, acting on nothing.
    EXPECT_FALSE(e.g->ModalOpen());
    EXPECT_EQ(c.boxAnswer, e.plug.mBoxAnswer) << c.file;
    EXPECT_EQ("Init", e.plug.mName) << c.file;
  }
}

TEST(Screenshot, TheHostsScreenshotCommandDrawsTheScriptedMenu)
{
  const std::string script = OutputPath("gui_script.txt"), png = OutputPath("gui_host_menu.png"),
                    plain = OutputPath("gui_host_plain.png");
  {
    std::ofstream f(script);
    f << "# a right click on the wave box opens its menu\nrclick 160 112\nticks 2\n";
  }
  std::remove(png.c_str());
  ASSERT_EQ(RunCommand(std::string(VSTHOST_EXE) + " screenshot " + GUIPLUG_SO + " " + png + " --script " + script), 0);
  ASSERT_EQ(RunCommand(std::string(VSTHOST_EXE) + " screenshot " + GUIPLUG_SO + " " + plain), 0);
  std::unique_ptr<LICE_IBitmap> menu(LICE_LoadPNG(png.c_str())), bare(LICE_LoadPNG(plain.c_str()));
  ASSERT_TRUE(menu && bare);
  auto at = [](LICE_IBitmap* bm, int x, int y) { return bm->getBits()[y * bm->getRowSpan() + x]; };
  // Below the wave box (100..220 x 100..124): three entries of a dark menu where the plain editor shows
  // its background; the rest of the picture is the same in both.
  int dark = 0, differ = 0, differFar = 0;
  for (int y = 130; y < 180; ++y)
    for (int x = 104; x < 180; ++x) {
      dark += IsMenuPanel(IColorOfPixel(at(menu.get(), x, y)));
      EXPECT_TRUE(IsBackground(at(bare.get(), x, y)));
    }
  for (int y = 0; y < GuiPlug::kHeight; ++y)
    for (int x = 0; x < GuiPlug::kWidth; ++x) {
      const bool d = at(menu.get(), x, y) != at(bare.get(), x, y);
      differ += d;
      differFar += d && (x > 400 || y > 250);
    }
  EXPECT_GT(dark, 76 * 50 / 2);
  EXPECT_GT(differ, 3000);
  EXPECT_EQ(differFar, 0);
  // The value boxes show their values in both.
  int ink = 0;
  for (int y = 100; y < 124; ++y)
    for (int x = 100; x < 220; ++x) ink += LICE_GETR(at(bare.get(), x, y)) < 100;
  EXPECT_GT(ink, 10);

  // A script line the plug-in cannot read writes nothing and fails.
  {
    std::ofstream f(script);
    f << "click 1\n";
  }
  const std::string bad = OutputPath("gui_host_bad.png");
  std::remove(bad.c_str());
  EXPECT_NE(RunCommand(std::string(VSTHOST_EXE) + " screenshot " + GUIPLUG_SO + " " + bad + " --script " + script), 0);
  struct stat st;
  EXPECT_NE(stat(bad.c_str(), &st), 0);
  EXPECT_NE(RunCommand(std::string(VSTHOST_EXE) + " screenshot " + GUIPLUG_SO), 0); // no output file
  // A FIFO is refused at once rather than waited on for a reader; a picture that cannot be written keeps the old one.
  const std::string fifo = OutputPath("gui_host_fifo.png");
  std::remove(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(RunCommand("timeout 20 " + std::string(VSTHOST_EXE) + " screenshot " + GUIPLUG_SO + " " + fifo), 1);
  std::remove(fifo.c_str());
  EXPECT_EQ(RunCommand("ulimit -f 1; " + std::string(VSTHOST_EXE) + " screenshot " + GUIPLUG_SO + " " + plain), 1);
  const std::unique_ptr<LICE_IBitmap> kept(LICE_LoadPNG(plain.c_str()));
  EXPECT_TRUE(kept && kept->getWidth() == bare->getWidth());
}

TEST(Screenshot, TheProductsEditorOpensHeadlessAndIsPictured)
{
  // The product's editor holds no panel yet: the picture has the editor's size, and the script's clicks
  // and ticks play without a modal element left open (the command returns).
  const std::string script = OutputPath("veltrane_script.txt"), png = OutputPath("veltrane_editor.png");
  {
    std::ofstream f(script);
    f << "click 640 320\nrclick 100 100\nwheel 640 320 2\nkey a\nticks 13\n";
  }
  std::remove(png.c_str());
  ASSERT_EQ(RunCommand(std::string(VSTHOST_EXE) + " screenshot " + VELTRANE_SO + " " + png + " --script " + script), 0);
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG(png.c_str()));
  ASSERT_TRUE(bm);
  EXPECT_EQ(bm->getWidth(), 1280);
  EXPECT_EQ(bm->getHeight(), 650);
}

// A user's session on the product's editor through the host's screenshot command, with the editor's own
// drawn menus: program 3 chosen from the program menu, then renamed in the text field. The saved program
// file shows what the session did to the plug-in.
TEST(Screenshot, AScriptedSessionOnTheProductsEditorChangesItsState)
{
  const std::string script = OutputPath("veltrane_session.txt"), png = OutputPath("veltrane_session.png"),
                    fxp = OutputPath("veltrane_session.fxp");
  {
    std::ofstream f(script);
    // The program display opens the menu of the 64 programs (in submenus of 16); the name field opens on
    // the program's name, which 24 backspaces clear, and Return renames the program.
    f << "click 50 65\nchoose 0/3\nticks 2\nclick 100 105\n";
    for (int i = 0; i < 24; ++i) f << "key backspace\n";
    f << "type Session Patch\nkey return\nticks 2\n";
  }
  std::remove(fxp.c_str());
  ASSERT_EQ(RunCommand(std::string(VSTHOST_EXE) + " screenshot " + VELTRANE_SO + " " + png + " --script " + script +
                       " --save-fxp " + fxp),
            0);
  std::ifstream in(fxp, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 60u);
  // The program file header: 'CcnK', size, 'FPCh', version, plug-in id, plug-in version, parameter count,
  // then the 28-byte program name.
  EXPECT_EQ(0, std::memcmp(bytes.data(), "CcnK", 4));
  EXPECT_EQ(0, std::memcmp(bytes.data() + 8, "FPCh", 4));
  EXPECT_STREQ("Session Patch", std::string(bytes.data() + 28, 28).c_str());
}

// The bank saved from MENU › Save Bank without a dialog program: the path typed into the editor's own field
// is taken on Return only. Over a file that is there the editor asks: No goes back to the field (where
// Escape cancels), Yes replaces. A click outside the field cancels, and so does a script that ends in it.
TEST(Screenshot, AScriptedSaveTakesTheTypedPathOnlyOnReturn)
{
  const std::string dir = OutputPath("typed_saves"), png = OutputPath("veltrane_typed_save.png");
  std::system(("rm -rf '" + dir + "' && mkdir '" + dir + "'").c_str());
  std::ofstream(dir + "/there.fxb") << "kept";
  std::ofstream(dir + "/yes.fxb") << "old";
  {
    std::ofstream f(dir + "/session.txt");
    // The MENU button, its entry 7 (Save Bank), the field's start path cleared, a path typed.
    auto save = [&](const char* name) {
      f << "click 160 65\nchoose 7\n";
      for (int i = 0; i < 300; ++i) f << "key backspace\n";
      f << "type " << dir << "/" << name << "\n";
    };
    save("mine"), f << "key return\n";
    save("there"), f << "key return\nbutton 1\nkey escape\n";
    save("there"), f << "click 5 5\n";
    save("yes"), f << "key return\nbutton 0\n";
    save("never");
  }
  ASSERT_EQ(0, RunCommand(std::string(VSTHOST_EXE) + " screenshot " + VELTRANE_SO + " " + png + " --script " + dir +
                          "/session.txt"));
  auto read = [&](const char* name) {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  for (const char* saved : {"mine.fxb", "yes.fxb"}) EXPECT_EQ(0u, read(saved).find("CcnK")) << saved;
  EXPECT_EQ("kept", read("there.fxb"));
  EXPECT_EQ("", read("never.fxb"));
  std::system(("rm -rf '" + dir + "'").c_str());
}
