// The Linux editor surface: windows, presenting, paths, resources, file prompts and the records of what was
// asked. The entry points and the tick are in IGraphicsLinuxInput.cpp; the modal elements in
// IGraphicsLinuxModal.cpp (the loop), IGraphicsLinuxMenu.cpp, IGraphicsLinuxMessageBox.cpp,
// IGraphicsLinuxTextEntry.cpp and IGraphicsLinuxTooltip.cpp; scripts in IGraphicsLinuxScript.cpp; the X11
// window in IGraphicsLinuxX11.cpp.
#include "IGraphicsLinuxOverlay.h"

#include "EmbeddedResources.h"
#include "IControl.h"
#include "modulepath.h"

#include <strings.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

IGraphicsLinux::IGraphicsLinux(IPlugBase* plug, int width, int height, int fps) : IGraphics(plug, width, height, fps) {}

IGraphicsLinux::~IGraphicsLinux()
{
  delete mTooltip;
  mTooltip = nullptr;
  CloseWindow();
  mFilePromptScript.Empty(true);
  mMessageBoxes.Empty(true);
  mFilePrompts.Empty(true);
}

// ---- presenting ----

bool IGraphicsLinux::DrawScreen(IRECT* r)
{
  // While controls redraw under an open menu, field or box, the frame waits until those are on top again.
  if (!mWindowOpen || mHoldPresent) return false;
  ++mPresents;
  presentX11(r); // [X11] nothing without an X11 window
  return true;
}

bool IGraphicsLinux::SaveScreenshot(const char* path)
{
  return mDrawBitmap && LICE_WritePNG(path, mDrawBitmap.get());
}

// ---- windows ----

void IGraphicsLinux::Resize(int w, int h)
{
  if (w == Width() && h == Height()) return;
  IGraphics::Resize(w, h);
  resizeX11(); // [X11]
}

void* IGraphicsLinux::OpenWindow(void* parent)
{
  CloseWindow();
  // A host's window that cannot hold ours is refused: the host learns that the editor did not open
  // instead of showing an empty frame.
  if (parent && !openX11View((unsigned long)(uintptr_t)parent)) return nullptr; // [X11]
  mParent = parent;
  mWindowOpen = true;
  ++mWindowOpens;
  SetAllControlsDirty();
  UpdateTooltips();
  return GetWindow();
}

void IGraphicsLinux::CloseWindow()
{
  if (!mWindowOpen) return;
  ForceEndUserEdit();
  closeX11View(); // [X11]
  mWindowOpen = false;
  mParent = nullptr;
}

// ---- paths and resources ----

void IGraphicsLinux::PluginPath(WDL_String* path)
{
  // The module that holds this code is the plug-in (or the program the framework is linked into).
  const char* folder = WDL_ModuleFolder();
  if (*folder) path->Set(folder);
}

void IGraphicsLinux::HostPath(WDL_String* path)
{
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n > 0) path->Set(buf, (int)n);
}

namespace {
void homeFolder(WDL_String* path, const char* below)
{
  const char* home = std::getenv("HOME");
  if (!home || !*home) return;
  path->Set(home);
  path->Append(below);
}
} // namespace

void IGraphicsLinux::DesktopPath(WDL_String* path)
{
  homeFolder(path, "/Desktop");
}

void IGraphicsLinux::AppSupportPath(WDL_String* path, bool isSystem)
{
  if (isSystem)
    path->Set("/usr/share");
  else
    homeFolder(path, "/.local/share");
}

void IGraphicsLinux::SandboxSafeAppSupportPath(WDL_String* path)
{
  homeFolder(path, "/Music");
}

void IGraphicsLinux::ResourcesPath(WDL_String* path, const char* bundleName)
{
  const char* env = std::getenv("VELTRANE_RESOURCES");
  if (env && *env) {
    path->Set(env);
    if (env[std::strlen(env) - 1] != '/') path->Append("/");
    return;
  }
  path->Set("");
  PluginPath(path);
  path->Append(bundleName ? bundleName : "");
  path->Append(".vst/Contents/Resources/");
}

LICE_IBitmap* IGraphicsLinux::OSLoadBitmap(int, const char* name)
{
  if (!name) return nullptr;
  const char* base = std::strrchr(name, '/');
  base = base ? base + 1 : name;
  const char* dot = std::strrchr(base, '.');
  if (!dot || dot == base || strcasecmp(dot + 1, "png")) return nullptr;
  // Resources are looked up by name and type: "knob.PNG" is the image resource "knob", the file knob.png.
  WDL_String path;
  ResourcesPath(&path, mBundleName.GetLength() ? mBundleName.Get() : "Veltrane");
  const std::string file = std::string(base, (size_t)(dot - base)) + ".png";
  path.Append(file.c_str());
  if (LICE_IBitmap* bm = LICE_LoadPNG(path.Get())) return bm;
  // Not in the folder, or unreadable there: the copy built into the plug-in, without a word.
  const EmbeddedResource* copy = FindEmbeddedResource(file.c_str());
  return copy ? LICE_LoadPNGFromMemory(copy->begin, (int)copy->Size()) : nullptr;
}

bool IGraphicsLinux::OpenURL(const char* url, const char*, const char*, const char*)
{
  if (!url || !*url) return false;
  mOpenedURLs.push_back(url);
  if (mX11.view) return openURLWithDesktop(url); // [X11] a user in front of a real window
  return true;
}

// ---- file prompts ----

using linux_surface::WithExtension;

std::string linux_surface::WithExtension(const std::string& name, const char* extensions)
{
  std::string first;
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  const bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string ext = hasDot ? name.substr(dot + 1) : std::string();
  for (const char* p = extensions ? extensions : ""; *p;) {
    const char* end = std::strchr(p, ' ');
    const std::string type(p, end ? (size_t)(end - p) : std::strlen(p));
    if (first.empty()) first = type;
    if (hasDot && !type.empty() && !strcasecmp(ext.c_str(), type.c_str())) return name;
    if (!end) break;
    p = end + 1;
  }
  return first.empty() || name.empty() ? name : name + "." + first;
}

void IGraphicsLinux::PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions)
{
  PromptForFile(fileName, action, folder, extensions, nullptr);
}

void IGraphicsLinux::PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions,
                                   const char* question)
{
  WDL_String proposed(fileName ? fileName->Get() : "");
  if (fileName) fileName->Set("");
  if (!WindowIsOpen() || !fileName || !folder) return;
  if (!folder->GetLength()) folder->Set("~/Desktop");
  const bool save = action == kFileSave;
  if (!question || !*question) question = save ? "Save file as:" : "Open file:";
  FilePromptCall* call = new FilePromptCall;
  call->action = action;
  call->proposedName.Set(proposed.Get());
  call->folder.Set(folder->Get());
  call->extensions.Set(extensions ? extensions : "");
  call->question.Set(question);
  mFilePrompts.Add(call);
  const std::string shown = save ? WithExtension(proposed.Get(), extensions) : std::string(proposed.Get());
  std::string answer;
  if (const WDL_String* scripted = mFilePromptScript.Get(mFilePromptScriptPos)) {
    ++mFilePromptScriptPos;
    answer = scripted->Get();
  } else { // a user in front of a real window, or headless the editor's script in the typed field
    answer = AskForFile(action, question, folder->Get(), shown.c_str(), extensions ? extensions : "");
  }
  if (answer.empty()) return; // cancelled
  if (save) answer = WithExtension(answer, extensions);
  fileName->Set(answer.c_str());
  const size_t slash = answer.rfind('/');
  if (slash != std::string::npos) folder->Set(answer.c_str(), (int)slash + 1);
}
