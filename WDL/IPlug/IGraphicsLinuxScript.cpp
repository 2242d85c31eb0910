// Scripts of user actions for the headless surface: the parser of the script text (one action a line), the
// player that feeds the actions to the entry points with a tick after each, and the screenshot taken where
// the script ends (with a menu, field or box the script leaves open in the picture).
#include "IGraphicsLinuxOverlay.h"
#include "VST24Linux.h"

#include "utf8.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

void IGraphicsLinux::deliver(const ScriptEvent& e)
{
  switch (e.kind) {
  case ScriptEvent::kMouseDown:
    MouseDown(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kMouseUp:
    MouseUp(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kMouseDrag:
    mButtonHeld = true;
    MouseMove(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kMouseMove:
    mButtonHeld = false;
    MouseMove(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kDblClick:
    MouseDown(e.x, e.y, e.mod, true);
    MouseUp(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kWheel:
    MouseWheel(e.x, e.y, e.mod, e.d);
    break;
  case ScriptEvent::kKeyPress:
    KeyDown(e.key, e.ch);
    break;
  case ScriptEvent::kType:
    for (const char* p = e.text.c_str(); *p;) {
      unsigned ch;
      p += WDL_DecodeUTF8(p, &ch);
      KeyDown(kChar, ch);
    }
    break;
  case ScriptEvent::kButton:
  case ScriptEvent::kChoose:
    if (!mModal.empty()) mModal.back()->Answer(e);
    break;
  case ScriptEvent::kTicks:
    for (int i = 0; i < e.d; ++i) Tick();
    break;
  }
}

void IGraphicsLinux::PlayScript()
{
  while (!mScript.empty()) {
    const ScriptEvent e = mScript.front();
    mScript.pop_front();
    deliver(e);
    Tick();
  }
}

namespace {

// Reads a whole decimal int within lo..hi.
bool ReadInt(const std::string& word, int lo, int hi, int* out)
{
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(word.c_str(), &end, 10);
  if (errno || *end || v < lo || v > hi) return false;
  *out = (int)v;
  return true;
}

struct ScriptKey
{
  const char* name;
  int key;
  unsigned ch;
};
constexpr ScriptKey kScriptKeys[] = {
    {"up", IGraphicsLinux::kUp, 0},
    {"down", IGraphicsLinux::kDown, 0},
    {"left", IGraphicsLinux::kLeft, 0},
    {"right", IGraphicsLinux::kRight, 0},
    {"home", IGraphicsLinux::kHome, 0},
    {"end", IGraphicsLinux::kEnd, 0},
    {"return", IGraphicsLinux::kReturn, 0},
    {"enter", IGraphicsLinux::kReturn, 0},
    {"escape", IGraphicsLinux::kEscape, 0},
    {"esc", IGraphicsLinux::kEscape, 0},
    {"backspace", IGraphicsLinux::kBackspace, 0},
    {"delete", IGraphicsLinux::kDelete, 0},
    {"tab", IGraphicsLinux::kTab, 0},
    {"space", IGraphicsLinux::kChar, ' '},
};
// The host lists kScriptKeyNames (VST24Linux.h) when a line is refused: the same names, in the same order.
constexpr bool NamesAsTheHostLists()
{
  if (std::size(kScriptKeys) != std::size(kScriptKeyNames)) return false;
  for (size_t k = 0; k < std::size(kScriptKeys); ++k)
    if (std::string_view(kScriptKeys[k].name) != kScriptKeyNames[k]) return false;
  return true;
}
static_assert(NamesAsTheHostLists(), "every key name the host lists, and only those");

} // namespace

bool IGraphicsLinux::ScriptText(const char* text, std::string* error, int* lineNumber)
{
  if (!text) return true;
  constexpr int kFar = kScriptFar; // the ranges are the host's too (VST24Linux.h)
  std::vector<ScriptEvent> events;
  const char* p = text;
  int number = 0;
  while (*p) {
    ++number;
    const char* eol = std::strchr(p, '\n');
    std::string line(p, eol ? (size_t)(eol - p) : std::strlen(p));
    p = eol ? eol + 1 : p + line.size();
    const std::string original = line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t hash = line.find('#');
    // '#' starts a comment, except as the text typed or the key named.
    std::vector<std::string> words;
    size_t i = 0;
    auto skip = [&]() {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    };
    skip();
    const size_t cmdStart = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    const std::string cmd = line.substr(cmdStart, i - cmdStart);
    if (cmd.empty() || cmd[0] == '#') continue;
    skip();
    std::string rest = line.substr(i);
    if (cmd != "type" && cmd != "key") {
      hash = rest.find('#');
      if (hash != std::string::npos) rest.resize(hash);
    }
    {
      size_t j = 0;
      while (j < rest.size()) {
        while (j < rest.size() && (rest[j] == ' ' || rest[j] == '\t')) ++j;
        const size_t s = j;
        while (j < rest.size() && rest[j] != ' ' && rest[j] != '\t') ++j;
        if (j > s) words.push_back(rest.substr(s, j - s));
      }
    }
    auto fail = [&]() {
      if (error) *error = original;
      if (lineNumber) *lineNumber = number;
      return false;
    };
    ScriptEvent e;
    auto xy = [&](size_t n) {
      return words.size() == n && ReadInt(words[0], -kFar, kFar, &e.x) && ReadInt(words[1], -kFar, kFar, &e.y);
    };
    if (cmd == "click" || cmd == "rclick") {
      if (!xy(2)) return fail();
      e.mod = cmd == "click" ? IMouseMod(true) : IMouseMod(false, true);
      e.kind = ScriptEvent::kMouseDown;
      events.push_back(e);
      e.kind = ScriptEvent::kMouseUp;
      events.push_back(e);
    } else if (cmd == "down" || cmd == "up" || cmd == "drag" || cmd == "move" || cmd == "dblclick") {
      if (!xy(2)) return fail();
      e.mod = IMouseMod(cmd != "move");
      e.kind = cmd == "down"   ? ScriptEvent::kMouseDown
               : cmd == "up"   ? ScriptEvent::kMouseUp
               : cmd == "drag" ? ScriptEvent::kMouseDrag
               : cmd == "move" ? ScriptEvent::kMouseMove
                               : ScriptEvent::kDblClick;
      events.push_back(e);
    } else if (cmd == "wheel") {
      if (words.size() != 3 || !ReadInt(words[0], -kFar, kFar, &e.x) || !ReadInt(words[1], -kFar, kFar, &e.y) ||
          !ReadInt(words[2], -kScriptMaxWheel, kScriptMaxWheel, &e.d))
        return fail();
      e.kind = ScriptEvent::kWheel;
      events.push_back(e);
    } else if (cmd == "key") {
      // A single character (which may be '#'), or a key's name.
      while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
      e.kind = ScriptEvent::kKeyPress;
      const char* r = rest.c_str();
      bool found = false;
      for (const ScriptKey& k : kScriptKeys)
        if (rest == k.name) {
          e.key = k.key;
          e.ch = k.ch;
          found = true;
          break;
        }
      if (!found) {
        if (rest.empty()) return fail();
        unsigned c;
        r += WDL_DecodeUTF8(r, &c);
        if (*r || c < 32) return fail();
        e.key = kChar;
        e.ch = c;
      }
      events.push_back(e);
    } else if (cmd == "type") {
      if (rest.empty()) return fail();
      e.kind = ScriptEvent::kType;
      e.text = rest;
      events.push_back(e);
    } else if (cmd == "button") {
      if (words.size() != 1 || !ReadInt(words[0], -1, 2, &e.d)) return fail();
      e.kind = ScriptEvent::kButton;
      events.push_back(e);
    } else if (cmd == "choose") {
      if (words.size() > 1) return fail();
      e.kind = ScriptEvent::kChoose;
      e.text = words.empty() ? "" : words[0];
      for (char c : e.text)
        if (!(c >= '0' && c <= '9') && c != '/') return fail();
      events.push_back(e);
    } else if (cmd == "ticks") {
      if (words.size() != 1 || !ReadInt(words[0], 0, kScriptMaxTicks, &e.d)) return fail();
      e.kind = ScriptEvent::kTicks;
      events.push_back(e);
    } else {
      return fail();
    }
  }
  for (const ScriptEvent& e : events) mScript.push_back(e);
  return true;
}

int IGraphicsLinux::HeadlessScreenshot(const char* png, const char* script)
{
  if (!png || !*png || !mDrawBitmap || !mWindowOpen) return 0;
  int badLine = 0;
  if (script && !ScriptText(script, nullptr, &badLine)) return -badLine;
  // A modal element the script leaves open is in the picture: it is taken when the script runs out.
  ScreenshotWhenScriptEnds(png);
  mPreviewing = true;
  Tick();
  PlayScript();
  Tick();
  mPreviewing = false;
  const bool pending = mScreenshotAtScriptEnd.GetLength() > 0;
  mScreenshotAtScriptEnd.Set("");
  if (!pending) return mScreenshotWritten ? 1 : 0; // taken inside a modal loop
  return SaveScreenshot(png) ? 1 : 0;
}

void IGraphicsLinux::ScreenshotWhenScriptEnds(const char* png)
{
  mScreenshotAtScriptEnd.Set(png ? png : "");
  mScreenshotWritten = false;
}
