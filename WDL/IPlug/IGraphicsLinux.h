// IGraphicsLinux: the editor surface's Linux platform layer. Until the editor is drawn, it is headless: it
// has the fixed size, finds the plug-in's folder, and answers message boxes and file prompts from a script
// (tests set the answers) while recording what was asked; opening and closing the window only records state.
#pragma once

#include "IGraphics.h"

class IGraphicsLinux : public IGraphics
{
public:
  // What a message box was asked to show.
  struct MessageBoxCall
  {
    WDL_String text, caption;
    int type;
  };
  // What a file prompt was asked for.
  struct FilePromptCall
  {
    EFileAction action;
    WDL_String folder, extensions;
    WDL_String proposedName; // what the file name held when the prompt was asked for
  };

  IGraphicsLinux(IPlugBase* plug, int width, int height, int fps = 0);
  ~IGraphicsLinux() override;

  int ShowMessageBox(const char* text, const char* caption, int type) override;
  void PluginPath(WDL_String* path) override;
  void PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions) override;
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetWindow() override { return mWindowOpen ? this : nullptr; }

  // The resources folder followed by "/": the folder named by the environment variable VELTRANE_RESOURCES
  // when it is set, else "<plug-in folder>/<bundleName>.vst/Contents/Resources/".
  void ResourcesPath(WDL_String* path, const char* bundleName);

  // The bundle identifier, set by the owner after construction (reverse-domain name of the plug-in).
  WDL_String mBundleID;

  // ---- script and record (tests) ----
  // The next message boxes answer with these buttons, by position 0 (default), 1 or 2, in order; a position
  // the box does not have, or an empty script, answers with the default button.
  void ScriptMessageBoxButton(int position) { mMessageBoxScript.Add(position); }
  // The next file prompts answer with these paths in order; an empty path, or an empty script, cancels.
  void ScriptFilePrompt(const char* path) { mFilePromptScript.Add(new WDL_String(path ? path : "")); }

  int NMessageBoxes() const { return mMessageBoxes.GetSize(); }
  const MessageBoxCall* GetMessageBox(int idx) const { return mMessageBoxes.Get(idx); }
  int NFilePrompts() const { return mFilePrompts.GetSize(); }
  const FilePromptCall* GetFilePrompt(int idx) const { return mFilePrompts.Get(idx); }
  void* LastParent() const { return mParent; }
  int NWindowOpens() const { return mWindowOpens; }

private:
  WDL_TypedBuf<int> mMessageBoxScript;
  int mMessageBoxScriptPos = 0;
  WDL_PtrList<WDL_String> mFilePromptScript;
  int mFilePromptScriptPos = 0;
  WDL_PtrList<MessageBoxCall> mMessageBoxes;
  WDL_PtrList<FilePromptCall> mFilePrompts;
  bool mWindowOpen = false;
  void* mParent = nullptr; // on Linux an X11 window id
  int mWindowOpens = 0;
};
