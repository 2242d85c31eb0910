// The Linux editor surface: paths, resources, the tick, the entry points and the records of what was asked.
// The modal elements (menus, text field, message boxes, tooltips) are in IGraphicsLinuxModal.cpp.
#include "IGraphicsLinux.h"

#include "EmbeddedResources.h"
#include "IControl.h"
#include "modulepath.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

IGraphicsLinux::IGraphicsLinux(IPlugBase* plug, int width, int height, int fps) : IGraphics(plug, width, height, fps) {}

// The tick and the entry points are in IGraphicsLinuxModal.cpp: an open modal element takes the input first.

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

void* IGraphicsLinux::OpenWindow(void* parent)
{
  CloseWindow();
  mParent = parent;
  mWindowOpen = true;
  ++mWindowOpens;
  if (parent) openX11View((unsigned long)(uintptr_t)parent); // [X11] stays headless when it cannot
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
  if (!dot || strcasecmp(dot + 1, "png")) return nullptr;
  WDL_String path;
  ResourcesPath(&path, mBundleName.GetLength() ? mBundleName.Get() : "Veltrane");
  path.Append(base);
  if (LICE_IBitmap* bm = LICE_LoadPNG(path.Get())) return bm;
  // Not in the folder, or unreadable there: the copy built into the plug-in, without a word.
  const EmbeddedResource* copy = FindEmbeddedResource(base);
  return copy ? LICE_LoadPNGFromMemory(copy->begin, (int)copy->Size()) : nullptr;
}

bool IGraphicsLinux::OpenURL(const char* url, const char*, const char*, const char*)
{
  if (!url || !*url) return false;
  mOpenedURLs.push_back(url);
  if (mX11.view) return openURLWithDesktop(url); // [X11] a user in front of a real window
  return true;
}

bool IGraphicsLinux::GetTextFromClipboard(WDL_String* str)
{
  str->Set("");
  return false;
}

// ---- file prompts ----

void IGraphicsLinux::PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions)
{
  WDL_String proposed(fileName ? fileName->Get() : "");
  if (fileName) fileName->Set("");
  if (!WindowIsOpen() || !fileName || !folder) return;
  if (!folder->GetLength()) folder->Set("~/Desktop");
  FilePromptCall* call = new FilePromptCall;
  call->action = action;
  call->proposedName.Set(proposed.Get());
  call->folder.Set(folder->Get());
  call->extensions.Set(extensions ? extensions : "");
  mFilePrompts.Add(call);
  std::string answer;
  if (const WDL_String* scripted = mFilePromptScript.Get(mFilePromptScriptPos)) {
    ++mFilePromptScriptPos;
    answer = scripted->Get();
  } else if (mX11.view) { // [X11] no script: a user in front of a real window
    answer = AskForFile(action, folder->Get(), proposed.Get(), extensions ? extensions : "");
  }
  if (answer.empty()) return; // cancelled
  fileName->Set(answer.c_str());
  const size_t slash = answer.rfind('/');
  if (slash != std::string::npos) folder->Set(answer.c_str(), (int)slash + 1);
}
