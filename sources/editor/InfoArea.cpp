#include "InfoArea.h"

#include "ControlKit.h"
#include "IGraphics.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

ITWInfoArea::ITWInfoArea(IPlugBase* plug, IRECT rect) : IControl(plug, rect)
{
  mText = productText(12, 255, 0, 0, 0);
  mText.mColor = COLOR_BLACK;
  mDblAsSingleClick = true; // the second press of a double click hides it as a click does
}

void ITWInfoArea::showInfo(int x, int y, const char* t)
{
  dragMode = false;
  std::snprintf(text, sizeof text, "%s", t ? t : "");
  int pieces = 0, longest = 0, run = 0;
  for (const char* p = text;; ++p) {
    if (*p == '\n' || *p == 0) {
      if (run > 0) {
        ++pieces;
        longest = std::max(longest, run);
      }
      run = 0;
      if (!*p) break;
    } else {
      ++run;
    }
  }
  const int w = 5 * longest;
  const int r = x + w + 16;
  const int s = r > 1280 ? 1280 - r : 0;
  const int b = y + 10 * pieces + (pieces > 1 ? 2 : 0);
  boxRect = IRECT(x + s, y, r + s, b + 22);
  innerRect = IRECT(x + s + 2, y + 2, r + s - 2, b + 20);
  textRect = IRECT(x + s + 8, y + 8, r + s - 8, b + 14);
  mRECT = mTargetRECT = boxRect;
  mText.mColor = COLOR_BLACK;
  Hide(false);
}

void ITWInfoArea::showDrag(int x, int y, const char* t)
{
  dragMode = true;
  std::snprintf(text, sizeof text, "%s", t ? t : "");
  mText.mColor = COLOR_WHITE;
  textRect = IRECT(x - 60, y - 6, x + 60, y + 10);
  boxRect = IRECT(x - 64, y - 10, x + 64, y + 12);
  mRECT = IRECT(0, 0, 1280, 650);
  mTargetRECT = textRect;
  Hide(false);
}

bool ITWInfoArea::Draw(IGraphics* graphics)
{
  if (dragMode) {
    // Square corners: the rounded fill draws its corner discs at full strength over a translucent colour.
    graphics->FillIRect(&dragColor, &boxRect, &mBlend);
  } else {
    graphics->FillRoundRect(&COLOR_BLACK, &mRECT, &mBlend, 8, false);
    graphics->FillRoundRect(&COLOR_WHITE, &innerRect, &mBlend, 8, false);
  }
  // One line of the box per piece of the text, 10 pixels apart (the box's height counts them so).
  int top = textRect.T;
  const char* p = text;
  while (*p) {
    const char* end = std::strchr(p, '\n');
    const size_t n = end ? (size_t)(end - p) : std::strlen(p);
    if (n > 0) {
      char line[kTextSize];
      std::memcpy(line, p, n);
      line[n] = 0;
      IRECT r(textRect.L, top, textRect.R, top + (dragMode ? textRect.H() : 12));
      graphics->DrawIText(&mText, line, &r, kCentredText);
      top += 10;
    }
    if (!end) break;
    p = end + 1;
  }
  return true;
}
