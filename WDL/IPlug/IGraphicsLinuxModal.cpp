// The modal elements of the Linux surface: message boxes, popup menus, the text field and tooltips, with
// the script that answers them headless. (First version: answers without drawing.)
#include "IGraphicsLinux.h"

#include "IControl.h"

class IGraphicsLinux::Overlay
{
public:
  virtual ~Overlay() {}
};

IGraphicsLinux::~IGraphicsLinux()
{
  CloseWindow();
  mFilePromptScript.Empty(true);
  mMessageBoxes.Empty(true);
  mFilePrompts.Empty(true);
}

void IGraphicsLinux::ScriptMessageBoxButton(int position)
{
  ScriptEvent e;
  e.kind = ScriptEvent::kButton;
  e.d = position;
  mScript.push_back(e);
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
  if (!mScript.empty() && mScript.front().kind == ScriptEvent::kButton) {
    position = mScript.front().d;
    mScript.pop_front();
  }
  static const int kAnswerOfPosition[3] = {1, 7, 2};
  call->answer = position < 0 ? 0 : position >= buttons ? 1 : kAnswerOfPosition[position];
  return call->answer;
}

IPopupMenu* IGraphicsLinux::CreateIPopupMenu(IPopupMenu*, IRECT*)
{
  ReleaseMouseCapture();
  return nullptr;
}

void IGraphicsLinux::CreateTextEntry(IControl*, IText*, IRECT*, const char*, IParam*) {}

void IGraphicsLinux::ForceEndUserEdit() {}

void IGraphicsLinux::UpdateTooltips() {}

bool IGraphicsLinux::RunModalStep()
{
  return false;
}

bool IGraphicsLinux::ModalOpen() const
{
  return !mModal.empty();
}

IRECT IGraphicsLinux::MenuItemRect(int, int) const
{
  return IRECT();
}

IRECT IGraphicsLinux::MessageBoxButtonRect(int) const
{
  return IRECT();
}

IRECT IGraphicsLinux::TextEntryRect() const
{
  return IRECT();
}

const char* IGraphicsLinux::TooltipText() const
{
  return "";
}

bool IGraphicsLinux::ScriptText(const char*, std::string*)
{
  return false;
}

void IGraphicsLinux::PlayScript() {}

void IGraphicsLinux::deliver(const ScriptEvent&) {}

void IGraphicsLinux::runModal(Overlay*) {}

void IGraphicsLinux::drawOverlays() {}
