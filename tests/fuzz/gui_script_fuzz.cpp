// Scripts of user actions, from arbitrary text, played on the whole editor of a fresh plug-in opened as a
// host opens it (program 0 of the start-up bank, panels built): the parser takes a script whole or queues nothing;
// playing it always ends with every menu, text field and message box closed; and after the host's next idle
// call the control list has its shape (the global section and the 18 headers where they were built, the info
// area last). Clicks, double clicks and drags on the headers post structural commands; 21 ticks in a row
// with nothing to draw reach the plug-in's idle call, which carries them out and rebuilds the panels, so a
// script with "ticks 25" between its gestures meets the controls of rebuilt panels (gui_script.dict).
#include "../support/plugin_host.h"
#include "IGraphicsLinux.h"
#include "Veltrane.h"
#include "veltrane_controls.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void check(bool ok)
{
  if (!ok) std::abort();
}

AEffect* makeInstance()
{
  AEffect* e = IPlugVSTEntry(QuietHost, [](IPlugInstanceInfo info) -> IPlugVST* { return new Veltrane(info); });
  check(e != nullptr);
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  return e;
}

void closeInstance(AEffect* e)
{
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

// Program 0 of this build's start-up bank. Reading the whole bank is most of the cost of a new instance, so
// each input's instance is made from a resources folder holding the editor's images only, and is given
// this program as a host gives a stored one.
const std::vector<unsigned char>& startProgram()
{
  static const std::vector<unsigned char> program = [] {
    setenv("VELTRANE_RESOURCES", VELTRANE_RESOURCES_DIR, 1);
    AEffect* e = makeInstance();
    void* data = nullptr;
    const VstIntPtr n = e->dispatcher(e, effGetChunk, 1, 0, &data, 0.0f);
    check(n > 0 && data);
    std::vector<unsigned char> chunk((unsigned char*)data, (unsigned char*)data + n);
    closeInstance(e);
    // The images alone, linked into a folder of the build tree (made once, kept for later runs).
    const std::string folder = GUI_SCRIPT_IMAGES_DIR;
    check(mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST);
    DIR* d = opendir(VELTRANE_RESOURCES_DIR);
    check(d != nullptr);
    while (dirent* entry = readdir(d)) {
      const std::string name = entry->d_name;
      if (name.size() < 5 || name.compare(name.size() - 4, 4, ".png") != 0) continue;
      const std::string link = folder + "/" + name;
      check(symlink((std::string(VELTRANE_RESOURCES_DIR) + "/" + name).c_str(), link.c_str()) == 0 || errno == EEXIST);
    }
    closedir(d);
    setenv("VELTRANE_RESOURCES", folder.c_str(), 1);
    return chunk;
  }();
  return program;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > 1024) return 0; // keeps the ticks a script may ask for within a fuzzing run's time
  // The update check asks a port nobody serves.
  setenv("VELTRANE_UPDATE_URL", "http://127.0.0.1:9/", 1);
  const std::vector<unsigned char>& program = startProgram();
  const std::string text(reinterpret_cast<const char*>(data), size);

  AEffect* e = makeInstance();
  Veltrane* v = static_cast<Veltrane*>(static_cast<IPlugVST*>(e->object));
  check(e->dispatcher(e, effSetChunk, 1, (VstIntPtr)program.size(), (void*)program.data(), 0.0f) == 1);
  check(v->slotConfig[v->displayOrder[0]].moduleID != ModuleConfig::MOD_EMPTY); // a patch to edit
  check(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f) == 1);
  e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
  IGraphicsLinux* g = v->graphics;
  const int firstModuleControl = v->firstModuleControl;

  std::string error;
  if (!g->ScriptText(text.c_str(), &error)) {
    check(g->QueuedEvents() == 0 && !error.empty());
  } else {
    g->PlayScript();
    check(!g->ModalOpen() && g->QueuedEvents() == 0);
    e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
    check(v->firstModuleControl == firstModuleControl);
    for (int p = 0; p < Veltrane::kNumSlots; ++p)
      check(g->GetControl(firstModuleControl - Veltrane::kNumSlots + p) == v->moduleSelectors[p]);
    check(v->infoArea && g->GetControl(g->GetNControls() - 1) == v->infoArea);
  }
  e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
  closeInstance(e);
  return 0;
}
