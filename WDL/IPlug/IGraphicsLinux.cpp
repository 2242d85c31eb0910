#include "IGraphicsLinux.h"

#include "modulepath.h"

#include <cstdlib>
#include <cstring>

IGraphicsLinux::IGraphicsLinux(IPlugBase* plug, int width, int height, int fps) : IGraphics(plug, width, height, fps) {}

IGraphicsLinux::~IGraphicsLinux()
{
  CloseWindow();
  mFilePromptScript.Empty(true);
  mMessageBoxes.Empty(true);
  mFilePrompts.Empty(true);
}

int IGraphicsLinux::ShowMessageBox(const char* text, const char* caption, int type)
{
  MessageBoxCall* call = new MessageBoxCall;
  call->text.Set(text ? text : "");
  call->caption.Set(caption ? caption : "");
  call->type = type;
  mMessageBoxes.Add(call);

  // Buttons by position: type 0 has one, type 1 and 4 two, type 3 three.
  const int buttons = type == 3 ? 3 : (type == 1 || type == 4) ? 2 : 1;
  int position = 0;
  if (mMessageBoxScriptPos < mMessageBoxScript.GetSize()) position = mMessageBoxScript.Get()[mMessageBoxScriptPos++];
  if (position < 0 || position >= buttons) position = 0;
  static const int kAnswerOfPosition[3] = {1, 7, 2};
  return kAnswerOfPosition[position];
}

void IGraphicsLinux::PluginPath(WDL_String* path)
{
  // The module that holds this code is the plug-in (or the program the framework is linked into).
  const char* folder = WDL_ModuleFolder();
  if (*folder) path->Set(folder);
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

  const WDL_String* answer = mFilePromptScript.Get(mFilePromptScriptPos);
  if (answer) ++mFilePromptScriptPos;
  if (!answer || !answer->GetLength()) return; // cancelled
  fileName->Set(answer->Get());
  const char* slash = std::strrchr(answer->Get(), '/');
  if (slash) folder->Set(answer->Get(), (int)(slash - answer->Get()) + 1);
}

void* IGraphicsLinux::OpenWindow(void* parent)
{
  CloseWindow();
  mParent = parent;
  mWindowOpen = true;
  ++mWindowOpens;
  return GetWindow();
}

void IGraphicsLinux::CloseWindow()
{
  if (!mWindowOpen) return;
  mWindowOpen = false;
  mParent = nullptr;
}
