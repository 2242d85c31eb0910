// IGraphics: the editor surface of one plug-in instance. It owns the controls (in attach order: later ones
// lie on top), owns the bitmap everything is drawn into, decides on every timer tick what must be redrawn,
// draws the dirty controls, routes mouse and key events to the right control, and carries parameter values
// between controls and the plug-in in both directions. The platform operations (presenting the bitmap,
// windows, menus, text entry, dialogs, paths, image loading) belong to the platform subclass, IGraphicsLinux.
//
// Threads: the timer, drawing and input run on the host's main (editor) thread and take no lock. Values the
// plug-in pushes from another thread (a learned MIDI controller on the audio thread) go through
// QueueParameterFromPlug, which only stores them in per-parameter slots that the next tick drains.
#pragma once

#include "IGraphicsStructs.h"
#include "IPopupMenu.h"
#include "mutex.h"
#include "ptrlist.h"
#include "wdlstring.h"

#include <atomic>
#include <memory>

class IControl;
class IParam;
class IPlugBase;

class IGraphics
{
public:
  // width and height in pixels; fps 0 or below means the default timer rate of 25 frames a second.
  IGraphics(IPlugBase* plug, int width, int height, int fps = 0);
  virtual ~IGraphics();
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  IPlugBase* GetPlug() const { return mPlug; }

  // ---- construction and attachment ----
  // Makes the draw bitmap (width x height) and the scratch bitmap.
  void PrepDraw();
  // Appends a control, which the surface then owns; returns its index.
  int AttachControl(IControl* control);
  // Loads the image as a one-frame strip and puts an image control of its size at index 0 (the others move up).
  void AttachBackground(int id, const char* name);
  // A panel of the colour over the whole surface at index 0.
  void AttachPanelBackground(const IColor* color);
  // The control that gets keys no other control takes; owned, not in the list.
  void AttachKeyCatcher(IControl* control);
  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int GetNControls() const { return mControls.GetSize(); }
  // Detaches the control at idx without deleting it (the caller takes it over); the capture and mouse-over
  // are released when they name it or a control after it.
  IControl* DetachControl(int idx);

  // ---- parameter exchange ----
  // Plug-in to controls (editor thread): the value normalised unless `normalized` is false, then normalised
  // by the parameter. Every control bound to paramIdx, and every control showing it as an aux parameter,
  // gets the value.
  void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  // SetParameterFromPlug for every host parameter at once, in one pass over the controls (a program load
  // refreshes all of them; one search of every control per parameter made that the load's largest cost).
  void SetParametersFromPlug();
  // The same from any thread: the normalised value waits in the parameter's slot until the next tick.
  void QueueParameterFromPlug(int paramIdx, double normalizedValue);
  // Hands the waiting values to the controls (called by every tick, and by the platform's input entry points
  // before they act). Cheap when nothing waits: one flag.
  void DrainQueuedParameters();
  void SetControlFromPlug(int controlIdx, double normalizedValue);
  void SetParameterFromGUI(int paramIdx, double normalizedValue);
  void SetAllControlsDirty();
  void ClampControl(int paramIdx, double lo, double hi, bool normalized);
  void HideControl(int paramIdx, bool hide);
  void GrayOutControl(int paramIdx, bool gray);

  // ---- input, in surface pixels ----
  void OnMouseDown(int x, int y, IMouseMod* mod);
  void OnMouseUp(int x, int y, IMouseMod* mod);
  void OnMouseDrag(int x, int y, IMouseMod* mod);
  bool OnMouseDblClick(int x, int y, IMouseMod* mod);
  void OnMouseWheel(int x, int y, IMouseMod* mod, int d);
  bool OnMouseOver(int x, int y, IMouseMod* mod);
  void OnMouseOut();
  bool OnKeyDown(int x, int y, int key);
  int GetMouseControlIdx(int x, int y, bool mouseOver = false);
  void ReleaseMouseCapture();
  int GetMouseCapture() const { return mMouseCapture; }
  int GetMouseOver() const { return mMouseOver; }
  int GetParamIdxForPTAutomation(int x, int y);
  int GetLastClickedParamForPTAutomation();

  // ---- redraw ----
  // Unites the rectangles of the dirty controls into r; true when any was dirty. After 20 clean ticks in a
  // row the plug-in's idle hook runs.
  bool IsDirty(IRECT* r);
  // Draws the controls for the area r and presents the bitmap.
  bool Draw(IRECT* r);
  void SetStrictDrawing(bool strict);
  void OnGUIIdle();

  // ---- prompts ----
  void PromptUserInput(IControl* control, IParam* param, IRECT* r);
  void SetFromStringAfterPrompt(IControl* control, IParam* param, const char* text);

  // ---- drawing operations (into the draw bitmap) ----
  bool DrawBitmap(IBitmap* bitmap, IRECT* r, int srcX, int srcY, const IChannelBlend* blend = nullptr);
  bool DrawBitmap(IBitmap* bitmap, IRECT* r, int bmpState, const IChannelBlend* blend = nullptr);
  bool DrawRotatedBitmap(IBitmap* bitmap, int cx, int cy, double angle, int yOffsetZeroDeg = 0,
                         const IChannelBlend* blend = nullptr);
  bool DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y, double angle,
                       const IChannelBlend* blend = nullptr);
  bool DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend = nullptr, bool aa = false);
  bool ForcePixel(const IColor* color, int x, int y);
  bool DrawLine(const IColor* color, float x1, float y1, float x2, float y2, const IChannelBlend* blend = nullptr,
                bool aa = false);
  bool DrawArc(const IColor* color, float cx, float cy, float r, float minAngle, float maxAngle,
               const IChannelBlend* blend = nullptr, bool aa = false);
  bool DrawCircle(const IColor* color, float cx, float cy, float r, const IChannelBlend* blend = nullptr,
                  bool aa = false);
  bool RoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend, int cornerRadius, bool aa);
  bool FillRoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend, int cornerRadius, bool aa);
  bool FillIRect(const IColor* color, IRECT* r, const IChannelBlend* blend = nullptr);
  bool FillCircle(const IColor* color, int cx, int cy, float r, const IChannelBlend* blend = nullptr,
                  bool aa = false);
  bool FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3, IChannelBlend* blend);
  bool FillIConvexPolygon(const IColor* color, int* x, int* y, int n, const IChannelBlend* blend = nullptr);
  IColor GetPoint(int x, int y);
  bool DrawVerticalLine(const IColor* color, int x, int yLo, int yHi);
  bool DrawHorizontalLine(const IColor* color, int y, int xLo, int xHi);
  bool DrawRect(const IColor* color, IRECT* r);
  bool DrawVerticalLine(const IColor* color, IRECT* r, float x);
  bool DrawHorizontalLine(const IColor* color, IRECT* r, float y);
  bool DrawRadialLine(const IColor* color, float cx, float cy, float angle, float rMin, float rMax,
                      const IChannelBlend* blend = nullptr, bool aa = false);
  LICE_pixel* GetBits();
  LICE_SysBitmap* GetDrawBitmap() const { return mDrawBitmap.get(); }
  // The area being drawn; image blits are clipped to it, and text while the controls are drawn.
  IRECT mDrawRECT;
  bool mDrawingControls = false;

  // ---- images and text ----
  // Loads (once per process) the image of the id and name as a strip of nStates frames. A name that cannot
  // be loaded gives one shared placeholder image per name, reported once.
  IBitmap LoadIBitmap(int id, const char* name, int nStates = 1, bool framesAreHoriz = false);
  void RetainBitmap(IBitmap* bitmap);
  void ReleaseBitmap(IBitmap* bitmap);
  IBitmap ScaleBitmap(IBitmap* bitmap, int w, int h);
  IBitmap CropBitmap(IBitmap* bitmap, IRECT* r);
  LICE_IFont* CacheFont(IText* text);
  bool DrawIText(IText* text, const char* str, IRECT* r, unsigned int fmt = 0x100, bool measure = false);
  virtual bool MeasureIText(IText* text, const char* str, IRECT* r);

  // ---- platform operations ----
  virtual bool DrawScreen(IRECT* r) = 0;
  virtual void ForceEndUserEdit() = 0;
  virtual void Resize(int w, int h);
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  virtual const char* GetGUIAPI() { return ""; }
  // Message box type 0 (OK), 1 (OK, Cancel), 3 (Yes, No, Cancel) or 4 (Yes, No). The answer names the
  // button: 1 the default (OK or Yes), 7 the alternate (Cancel in type 1, No), 2 the other (Cancel in type
  // 3), 0 a box closed without a button. Callers act only on 1.
  virtual int ShowMessageBox(const char* text, const char* caption, int type) = 0;
  // Shows the menu at the rectangle; returns the (sub)menu whose chosen index was set, or null.
  virtual IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* r) = 0;
  virtual void CreateTextEntry(IControl* control, IText* text, IRECT* r, const char* str, IParam* param) = 0;
  virtual void HostPath(WDL_String* path) = 0;
  // The folder that holds the plug-in, followed by "/"; unchanged when not found.
  virtual void PluginPath(WDL_String* path) = 0;
  virtual void DesktopPath(WDL_String* path) = 0;
  virtual void AppSupportPath(WDL_String* path, bool isSystem = false) = 0;
  virtual void SandboxSafeAppSupportPath(WDL_String* path) = 0;
  // Empties fileName, then, with the editor window open, asks for a file to open or save in `folder`
  // (extensions blank-separated). On confirmation fileName is the chosen path and folder its folder + "/".
  virtual void PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions) = 0;
  virtual bool PromptForColor(IColor* color, char* prompt = nullptr) = 0;
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                       const char* errMsg = nullptr) = 0;
  // Opens the editor in the host's parent window (may be null); returns the new view or null.
  virtual void* OpenWindow(void* parent) = 0;
  virtual void* OpenWindow(void* window, void* control, short leftOffset = 0, short topOffset = 0);
  virtual void AttachSubWindow(void*) {}
  virtual void RemoveSubWindow() {}
  virtual void CloseWindow() = 0;
  virtual void* GetWindow() = 0;
  virtual void HideMouseCursor() {}
  virtual void ShowMouseCursor() {}
  virtual void UpdateTooltips() = 0;
  // Loads an image resource; a new bitmap or null.
  virtual LICE_IBitmap* OSLoadBitmap(int id, const char* name) = 0;
  // Without a display: plays a script of user actions and saves the editor's picture as PNG (the command-line
  // host's screenshot). 1 when written; 0 when not (also where the platform cannot); -N when line N (from 1) of
  // the script cannot be read, and nothing was played.
  virtual int HeadlessScreenshot(const char*, const char*) { return 0; }

  // Set by the owner.
  bool mHandleMouseOver = false;
  bool mEnableTooltips = false;

protected:
  // The control under (x, y) for clicks (hidden and grayed ones skipped) or for mouse-over (grayed ones only
  // when they ask for it); -1 for none.
  int hitTest(int x, int y, bool mouseOver) const;
  void deleteControls();

  WDL_Mutex mMutex; // never locked by the surface itself
  WDL_PtrList<IControl> mControls;
  IPlugBase* mPlug; // not owned
  bool mCursorHidden = false;
  int mHiddenMousePointX = -1, mHiddenMousePointY = -1;
  std::unique_ptr<LICE_SysBitmap> mDrawBitmap;
  std::unique_ptr<LICE_MemBitmap> mTmpBitmap;
  int mWidth, mHeight, mFPS;
  int mIdleTicks = 0;
  int mMouseCapture = -1, mMouseOver = -1;
  int mMouseX = 0, mMouseY = 0;
  int mLastClickedParam = -1;
  bool mStrict = true;
  IControl* mKeyCatcher = nullptr;

private:
  // Calls f(control) for every control bound to the parameter, in order of addition.
  template <class F> void forEachControlOf(int paramIdx, F f);

  // Values queued from other threads: one slot per parameter (its normalised value's bits, and a flag).
  struct QueuedValue
  {
    std::atomic<double> value{0.0};
    std::atomic<bool> pending{false};
  };
  std::unique_ptr<QueuedValue[]> mQueued;
  int mNQueued = 0;
  std::atomic<bool> mAnyQueued{false};
};
