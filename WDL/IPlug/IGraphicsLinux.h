// IGraphicsLinux: the editor surface's Linux platform layer.
//
// Everything that needs no display lives here and works headless: paths (the plug-in's folder found with
// dladdr), images loaded by their last path component from the resources folder, the 25 Hz tick with its
// dirty-rectangle redraw into the draw bitmap (driven by Tick(): headless by the caller, in a host's window
// by the window layer), mouse, wheel and key entry points in surface pixels, and the modal user interface
// the editor draws itself rather than asking the desktop for: popup menus (submenus, ticks, separators; a
// menu too tall for the editor wraps into columns), the one-line text field of value prompts, message boxes
// and tooltips. These are drawn into the draw bitmap, over the controls, so they look the same with and
// without a window and can be tested headless.
//
// A modal call (message box, menu, text entry) runs a nested loop of input events until the user answers.
// An element answers for the program in place when it opened: once another state is put in place (a MIDI
// program change taken over, the host's program change or load: IPlugBase::StatesPutInPlace), it closes
// without acting, and an answer given as that happens is dropped. A box with only OK asks nothing, and the
// path prompt (with the question it may ask) leaves that to the command that asked for the file.
// The loop takes its events from RunModalStep(), which the window layer overrides to wait for the
// display's events; headless, events come from the script (ScriptEvent), and an empty script answers the
// way a user pressing Return would: a message box with its default button, a text field confirms what it
// holds, a menu is dismissed without a choice. Files are chosen through the window layer too; headless,
// from the file script, else in the path prompt's field answered by the script (which cancels when the
// script runs out). OpenURL hands the address to the window layer; headless it is recorded.
//
// Threads: the host's main thread, as every editor call.
#pragma once

#include "IGraphics.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

class IGraphicsX11View; // the editor's X11 child window in a host (IGraphicsLinuxX11.h)

class IGraphicsLinux : public IGraphics
{
public:
  // Keys of the binding's key entry point: characters arrive as kChar with their code point.
  enum Key { kChar = 0, kUp, kDown, kLeft, kRight, kReturn, kEscape, kBackspace, kDelete, kTab, kHome, kEnd, kOther };

  // One scripted user action. Coordinates are surface pixels.
  struct ScriptEvent
  {
    enum Kind {
      kMouseDown, // x, y, mod
      kMouseUp,   // x, y, mod
      kMouseDrag, // x, y, mod: a move with a button held
      kMouseMove, // x, y: a move without a button (mouse-over)
      kDblClick,  // x, y, mod
      kWheel,     // x, y, d steps (positive: away from the user)
      kKeyPress,  // key (Key), ch (code point for kChar)
      kType,      // text: one kChar press per character
      kButton,    // answers the open message box: d = 0 default, 1 alternate, 2 other, -1 closed
      kChoose,    // answers the open menu: text = path of entry indexes "2" or "3/1" (submenu), "" dismiss
      kTicks,     // d timer ticks pass (tooltips appear after a rest)
    };
    Kind kind;
    int x = 0, y = 0, d = 0;
    IMouseMod mod;
    int key = kChar;
    unsigned ch = 0;
    std::string text;
  };

  // What a message box was asked to show, and what it answered.
  struct MessageBoxCall
  {
    WDL_String text, caption;
    int type;
    int answer;
  };
  // What a file prompt was asked for.
  struct FilePromptCall
  {
    EFileAction action;
    WDL_String folder, extensions;
    WDL_String proposedName; // what the file name held when the prompt was asked for
    WDL_String question;     // what the prompt asks ("Save program as:")
  };

  IGraphicsLinux(IPlugBase* plug, int width, int height, int fps = 0);
  ~IGraphicsLinux() override;

  // ---- the timer and the entry points of the window layer (or of a test) ----
  // One timer tick: drains queued parameter values, asks for the dirty rectangle, draws it, presents, and
  // shows or hides a tooltip. Returns true when something was drawn. The entry points below drain the queued
  // values too before they act, inside modal loops as well: input starts from the values in place.
  bool Tick();
  void MouseDown(int x, int y, IMouseMod mod, bool doubleClick = false);
  void MouseUp(int x, int y, IMouseMod mod);
  void MouseMove(int x, int y, IMouseMod mod); // a button held: drag; else mouse-over
  void MouseWheel(int x, int y, IMouseMod mod, int d);
  // A key at the last mouse position; false when nothing took it (the host should have it).
  bool KeyDown(int key, unsigned ch = 0);
  // The window lost the keyboard to another window: an open path prompt is cancelled.
  void FocusLost();
  // Text from the clipboard (UTF-8) for the open text field, which takes it as typed characters in one go:
  // it replaces the selection. Nothing else takes it.
  void PasteText(const char* text);

  // ---- platform operations ----
  bool DrawScreen(IRECT* r) override;
  // A new size rebuilds the editor (IGraphics::Resize) and resizes the X11 window; the current size changes
  // nothing.
  void Resize(int w, int h) override;
  void ForceEndUserEdit() override;
  const char* GetGUIAPI() override { return "Linux GUI"; }
  int ShowMessageBox(const char* text, const char* caption, int type) override;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* r) override;
  void CreateTextEntry(IControl* control, IText* text, IRECT* r, const char* str, IParam* param) override;
  void HostPath(WDL_String* path) override;
  void PluginPath(WDL_String* path) override;
  void DesktopPath(WDL_String* path) override;
  void AppSupportPath(WDL_String* path, bool isSystem = false) override;
  void SandboxSafeAppSupportPath(WDL_String* path) override;
  // A save prompt proposes, and answers, a name with one of the extensions (the first is added to a name
  // that has none of them), as a desktop save panel of a file type does.
  void PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions) override;
  // The same, with the question the prompt asks ("Save program as:"); null asks "Save file as:" or
  // "Open file:". The dialog programs take it as their title.
  void PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions,
                     const char* question);
  bool PromptForColor(IColor*, char* = nullptr) override { return false; }
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsg = nullptr) override;
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetWindow() override { return mWindowOpen ? this : nullptr; }
  // Tooltips follow the controls as they are at each tick: nothing is recorded here.
  void UpdateTooltips() override;
  LICE_IBitmap* OSLoadBitmap(int id, const char* name) override;

  // The resources folder followed by "/": the folder named by the environment variable VELTRANE_RESOURCES
  // when it is set, else "<plug-in folder>/<bundleName>.vst/Contents/Resources/".
  void ResourcesPath(WDL_String* path, const char* bundleName);
  // The bundle identifier, set by the owner after construction (reverse-domain name of the plug-in).
  WDL_String mBundleID;
  // The name of the plug-in file without ".so" (the resources folder is "<name>.vst"); set by the owner.
  WDL_String mBundleName;

  // Writes the draw bitmap as a PNG file; false when it cannot be written.
  bool SaveScreenshot(const char* path);

  // ---- the window layer's hooks ----
  // One step of a modal loop: delivers the next input event to the entry points (which route it to the open
  // menu, field or box). False when no event will ever come: the modal call then answers by default.
  virtual bool RunModalStep();

  // ---- the window in a Linux host (IGraphicsLinuxX11.cpp) ----
  // OpenWindow with a parent (an X11 window id from the host) makes a child window of it on a connection
  // of the editor's own; when the display or the parent cannot be reached (no X server, an id of no
  // InputOutput window) it fails and the editor stays closed. Without a parent the editor opens headless
  // (open, recorded, drawn into the bitmap only): the command-line host and the tests use that.
  //
  // A host's idle call (effEditIdle, effIdle): reads the window's pending X events into the entry points,
  // then runs Tick() when a timer period (1 / FPS) has passed since the last one. Host's main thread.
  void HostIdle();
  // One step of a modal loop in the X11 window: waits up to one timer period for the window's next input
  // event and delivers it to the entry points (expose events on the way are presented). True while the
  // window lives (also after a period without input, so the loop can run its timer); false without an X11
  // window, once it or its connection is gone, or while it is hidden after it was shown (the element, which
  // no click elsewhere can close then, is dismissed). RunModalStep() calls it when X11WindowID() is not 0.
  bool WindowModalStep();
  // The X11 child window's id, 0 when the editor has none.
  unsigned long X11WindowID() const;
  // Images copied to the X11 window since it opened (0 without one).
  int X11Presentations() const;
  // The file dialog of a user in front of the X11 window: zenity, else kdialog, else a path typed into the
  // editor's own text field (AskForPath); headless, that field. Returns the chosen absolute path, empty when
  // cancelled.
  std::string AskForFile(EFileAction action, const char* question, const char* folder, const char* proposedName,
                         const char* extensions);
  // A path typed into the editor's own field, in a box that shows the question above it and below it how to
  // answer ("Press Return to save, or Escape to cancel."). Only Return answers: a press or a wheel step
  // outside the box, the keyboard going to another window, the window closing or failing, and a script
  // that runs out cancel. A save gets the first of the extensions when the name has none of them, and over
  // a file that is there asks first (Yes saves, No goes back to the field, a box closed cancels). Returns
  // the path with "~/" expanded when it is absolute and names a file, else empty (also when cancelled).
  std::string AskForPath(EFileAction action, const char* question, const char* start, const char* extensions = "");

  // ---- script and record (headless use and tests) ----
  void Script(const ScriptEvent& event) { mScript.push_back(event); }
  // Scripted events not yet played.
  size_t QueuedEvents() const { return mScript.size(); }
  // Parses a script text, one action a line: "click X Y", "rclick X Y", "down X Y", "up X Y", "drag X Y",
  // "move X Y", "dblclick X Y", "wheel X Y D", "key NAME" (a character, or up, down, left, right, home, end,
  // return, escape, backspace, delete, tab, space), "type TEXT", "button N", "choose PATH", "ticks N"; '#' starts
  // a comment. False (and nothing queued) on a line it cannot read; error receives the line, line its number
  // (from 1).
  bool ScriptText(const char* text, std::string* error = nullptr, int* line = nullptr);
  // Plays the queued script through the entry points, with a tick after every event, until it is empty.
  void PlayScript();
  // The next message boxes answer with these buttons by position 0 (default), 1 or 2; a position the box
  // does not have answers with the default button.
  void ScriptMessageBoxButton(int position);
  // The next file prompts answer with these paths in order; an empty path, or an empty script, cancels.
  void ScriptFilePrompt(const char* path) { mFilePromptScript.Add(new WDL_String(path ? path : "")); }
  int NMessageBoxes() const { return mMessageBoxes.GetSize(); }
  const MessageBoxCall* GetMessageBox(int idx) const { return mMessageBoxes.Get(idx); }
  int NFilePrompts() const { return mFilePrompts.GetSize(); }
  const FilePromptCall* GetFilePrompt(int idx) const { return mFilePrompts.Get(idx); }
  const std::vector<std::string>& OpenedURLs() const { return mOpenedURLs; }
  void* LastParent() const { return mParent; }
  int NWindowOpens() const { return mWindowOpens; }
  int NScreenPresents() const { return mPresents; }
  // Whether a menu, text field or message box is open, and where (for tests and scripts).
  bool ModalOpen() const;
  // The rectangle of entry `index` of the open menu at depth `level` (0 the top menu); empty when none.
  IRECT MenuItemRect(int level, int index) const;
  // The rectangle of button `position` of the open message box; empty when none.
  IRECT MessageBoxButtonRect(int position) const;
  // The rectangle of the open text field; empty when none.
  IRECT TextEntryRect() const;
  // The text of the tooltip on show, empty when none.
  const char* TooltipText() const;
  // What the open text field holds, empty when none.
  const char* TextEntryText() const;
  // The question and the hint of the open path prompt, one a line; empty when none.
  std::string PathPromptText() const;

  // Plays the script (ScriptText) with ticks and writes the draw bitmap as PNG; a menu, field or box the
  // script leaves open is in the picture, then closes as Escape closes it (a preview acts on nothing the
  // script did not answer). Needs the window open (a null parent will do). Answers as
  // IGraphics::HeadlessScreenshot: 1 written, 0 not, -N script line N unreadable.
  int HeadlessScreenshot(const char* png, const char* script) override;
  // The next modal loop that runs out of script saves the draw bitmap to png (with the element open)
  // before it closes.
  void ScreenshotWhenScriptEnds(const char* png);

  class Overlay; // a modal element drawn over the controls (menu, field, box, tooltip)

protected:
  std::deque<ScriptEvent> mScript;
  // Delivers one scripted event to the entry points.
  void deliver(const ScriptEvent& e);
  // Runs a modal loop until the overlay is finished.
  void runModal(Overlay* overlay);

  // Presents the area unless a redraw of the controls under open elements is in progress.
  void present(const IRECT& r);
  void hideTooltip();
  // Counts the mouse's rest over a control with a tooltip and shows it after about half a second.
  void tickTooltip();

  std::vector<Overlay*> mModal;       // open modal elements, innermost last (not owned: their callers own them)
  Overlay* mTooltip = nullptr;        // owned
  std::vector<ScriptEvent> mDeferred; // input an element handed on, delivered when it has closed
  WDL_String mScreenshotAtScriptEnd;
  bool mScreenshotWritten = false;
  bool mPreviewing = false; // HeadlessScreenshot plays its script: an element it leaves open acts on nothing
  bool mSwallowUp = false; // the release of a click that dismissed a menu goes nowhere
  bool mHoldPresent = false;
  int mRestTicks = 0;                      // ticks the mouse rested over one control
  const IControl* mRestControl = nullptr; // that control (only compared, never used)
  int mLastX = 0, mLastY = 0;
  bool mButtonHeld = false;

  WDL_PtrList<WDL_String> mFilePromptScript;
  int mFilePromptScriptPos = 0;
  WDL_PtrList<MessageBoxCall> mMessageBoxes;
  WDL_PtrList<FilePromptCall> mFilePrompts;
  std::vector<std::string> mOpenedURLs;
  bool mWindowOpen = false;
  void* mParent = nullptr; // an X11 window id in a host
  int mWindowOpens = 0;
  int mPresents = 0;

  // ---- the X11 window (IGraphicsLinuxX11.cpp) ----
  bool openX11View(unsigned long parent); // false when the window cannot be made
  void closeX11View();
  void presentX11(const IRECT* r); // the area of the draw bitmap to the window (all of it when r is null)
  void resizeX11(); // the window takes the surface's size
  void focusX11();  // the window takes the keyboard focus
  // While modal elements are open, the window holds the pointer and the keyboard (a grab refused at first is
  // asked for again at the next call); false gives them back.
  void holdX11Input(bool hold);
  bool openURLWithDesktop(const char* url); // xdg-open, started without a shell and reaped later
  // The holder deletes the window with the surface, whatever order the surface's own teardown takes.
  struct X11ViewSlot
  {
    IGraphicsX11View* view = nullptr; // owned
    // Windows closed while one of their calls was still running (the host closed the editor from inside a
    // menu's loop): already off the screen, deleted once no call of theirs runs.
    std::vector<IGraphicsX11View*> retired;
    void DeleteRetired();
    ~X11ViewSlot();
  } mX11;
  long long mNextTickMs = 0; // monotonic milliseconds when the next host-driven tick is due
};
