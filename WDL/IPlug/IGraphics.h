// IGraphics: the editor surface of one plug-in instance, as far as the plug-in framework uses it: a fixed
// size, the attached controls (owned, in attach order), values pushed from the plug-in to the controls, and
// the platform services (window, message boxes, file prompts, plug-in path) that a platform subclass supplies.
// The platform subclass on Linux is IGraphicsLinux.
#pragma once

#include "ptrlist.h"
#include "wdlstring.h"

class IControl;
class IPlugBase;

enum EFileAction {
  kFileOpen = 0,
  kFileSave = 1,
};

class IGraphics
{
public:
  // width and height in pixels; fps 0 or below means the default timer rate of 25 frames a second.
  IGraphics(IPlugBase* plug, int width, int height, int fps = 0);
  virtual ~IGraphics(); // deletes the controls, last attached first

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  IPlugBase* GetPlug() const { return mPlug; }

  // Appends a control, which the surface then owns; returns its index.
  int AttachControl(IControl* control);
  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int GetNControls() const { return mControls.GetSize(); }

  // Plug-in to controls: value normalised unless `normalized` is false, then normalised by the parameter.
  // Every control bound to paramIdx, and every control showing it as an aux parameter, gets the value.
  // Only stores values and dirty flags: callable from the plug-in's audio thread, takes no lock.
  void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  void SetControlFromPlug(int controlIdx, double normalizedValue);

  // Prepares drawing; the plug-in calls it once when the surface is attached to it.
  void PrepDraw() { mDrawPrepared = true; }
  bool IsDrawPrepared() const { return mDrawPrepared; }

  // ---- platform services ----
  // Message box type 0 (OK), 1 (OK, Cancel), 3 (Yes, No, Cancel) or 4 (Yes, No). The answer names the button
  // by position: 1 the first (the default), 7 the second, 2 the third.
  virtual int ShowMessageBox(const char* text, const char* caption, int type) = 0;
  // Sets path to the folder that holds the plug-in, followed by "/"; leaves it unchanged when not found.
  virtual void PluginPath(WDL_String* path) = 0;
  // Empties fileName, then, with the editor window open, asks for a file to open or save in `folder`
  // (extensions blank-separated). On confirmation fileName is the chosen path and folder its folder + "/".
  virtual void PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions) = 0;
  // Opens the editor in the host's parent window (may be null); returns the new view or null.
  virtual void* OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;
  virtual void* GetWindow() = 0;
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }

protected:
  IPlugBase* mPlug; // not owned
  WDL_PtrList<IControl> mControls;
  int mWidth, mHeight, mFPS;
  bool mDrawPrepared = false;
};
