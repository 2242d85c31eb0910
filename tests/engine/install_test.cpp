// One file to install: the plug-in carries its start-up bank and its 61 images inside itself, so a copy of
// Veltrane.so alone, loaded through its entry point, has its programs and draws its editor. A resources folder
// beside it still wins file by file, and a file missing or unreadable there comes from the built-in copy.
#include "Host.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vsthost;
namespace fs = std::filesystem;

namespace {

// A fresh folder holding a copy of the plug-in file and nothing else; removed with everything in it.
class Installation
{
public:
  Installation()
  {
    folder_ = fs::temp_directory_path() / ("veltrane_install_" + std::to_string(getpid()) + "_" + std::to_string(++count_));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::copy_file(VELTRANE_SO, Plugin());
  }
  ~Installation() { fs::remove_all(folder_); }
  std::string Plugin() const { return (folder_ / "Veltrane.so").string(); }
  std::string Path(const char* name) const { return (folder_ / name).string(); }
  // The resources folder beside the plug-in, made empty.
  fs::path Resources() const
  {
    const fs::path r = folder_ / "Veltrane.vst/Contents/Resources";
    fs::create_directories(r);
    return r;
  }

private:
  fs::path folder_;
  static inline int count_ = 0;
};

struct Loaded
{
  std::vector<std::string> programs;
  std::unique_ptr<LICE_IBitmap> editor;
};

// Loads the plug-in as a host does, reads its program names and takes a picture of its editor.
Loaded LoadAndLook(const std::string& plugin, const std::string& png)
{
  Loaded l;
  std::string error;
  std::unique_ptr<vsthost::Plugin> p = vsthost::Plugin::Load(plugin, HostSettings(), &error);
  EXPECT_TRUE(p) << error;
  if (!p) return l;
  p->Open();
  for (int i = 0; i < p->Effect()->numPrograms; ++i) l.programs.push_back(p->ProgramName(i));
  EXPECT_TRUE(TakeScreenshot(*p, png, "", &error)) << error;
  l.editor.reset(LICE_LoadPNG(png.c_str()));
  EXPECT_TRUE(l.editor) << png;
  return l;
}

LICE_pixel At(LICE_IBitmap* bm, int x, int y)
{
  return bm->getBits()[y * bm->getRowSpan() + x];
}

// Pixels that differ between two pictures of one size within [x0, x1) x [y0, y1).
int Differing(LICE_IBitmap* a, LICE_IBitmap* b, int x0, int y0, int x1, int y1)
{
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += At(a, x, y) != At(b, x, y);
  return n;
}

class OneFileToInstall : public ::testing::Test
{
protected:
  void SetUp() override { unsetenv("VELTRANE_RESOURCES"); } // the folder beside the plug-in, as a user has it
};

} // namespace

TEST_F(OneFileToInstall, TheFileAloneHasTheStartupProgramsAndTheSameEditor)
{
  Installation alone;
  // The build's plug-in, with its resources folder beside it.
  const Loaded built = LoadAndLook(VELTRANE_SO, alone.Path("with_folder.png"));
  const Loaded copy = LoadAndLook(alone.Plugin(), alone.Path("alone.png"));
  ASSERT_EQ(64u, copy.programs.size());
  EXPECT_EQ("First Sound", copy.programs[0]);
  EXPECT_EQ(built.programs, copy.programs);
  ASSERT_TRUE(built.editor && copy.editor);
  ASSERT_EQ(built.editor->getWidth(), copy.editor->getWidth());
  ASSERT_EQ(built.editor->getHeight(), copy.editor->getHeight());
  EXPECT_EQ(0, Differing(built.editor.get(), copy.editor.get(), 0, 0, 1280, 650));
}

TEST_F(OneFileToInstall, TheResourcesFolderWinsAndItsUnreadableFilesFallBack)
{
  Installation folder;
  const fs::path res = folder.Resources();
  // A new background of one colour; an oscillator panel and a start-up bank that cannot be read.
  const LICE_pixel green = LICE_RGBA(40, 200, 90, 255);
  {
    LICE_MemBitmap back(1280, 650);
    LICE_FillRect(&back, 0, 0, 1280, 650, green, 1.0f, LICE_BLIT_MODE_COPY);
    ASSERT_TRUE(LICE_WritePNG((res / "back.png").c_str(), &back));
  }
  std::ofstream(res / "module_osc.png") << "not an image";
  std::ofstream(res / "init.fxb") << "not a bank";
  // Pipes no one writes to, where the user's bank and an image would be: passed over at once, never waited on.
  ASSERT_EQ(0, mkfifo(folder.Path("Veltrane.fxb").c_str(), 0600));
  ASSERT_EQ(0, mkfifo((res / "knob.png").c_str(), 0600));
  alarm(300); // a load that waits on them ends the test, not the run

  const Loaded built = LoadAndLook(VELTRANE_SO, folder.Path("with_folder.png"));
  const Loaded replaced = LoadAndLook(folder.Plugin(), folder.Path("replaced.png"));
  ASSERT_TRUE(built.editor && replaced.editor);
  ASSERT_FALSE(replaced.programs.empty());
  EXPECT_EQ("First Sound", replaced.programs[0]);
  // The empty slots of the lower row show the background: the new one.
  int newBackground = 0, oldBackground = 0;
  for (int y = 360; y < 640; ++y)
    for (int x = 780; x < 1270; ++x) {
      newBackground += At(replaced.editor.get(), x, y) == green;
      oldBackground += At(built.editor.get(), x, y) == green;
    }
  EXPECT_GT(newBackground, 490 * 280 * 9 / 10);
  EXPECT_EQ(0, oldBackground);
  // The oscillator's panel in slot 1 (below the header strip, which the background draws) comes from the
  // built-in image.
  EXPECT_EQ(0, Differing(built.editor.get(), replaced.editor.get(), 256, 30, 384, 320));
  alarm(0);
}
