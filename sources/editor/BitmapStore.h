// BitmapStore: the editor's 61 images, loaded once per process through the surface's bitmap cache and
// handed out by resource id (EditorImages.h). Entry 0 is an empty image (no pixels, 0 x 0, one frame);
// entry n is the image of id n.
//
//   BitmapStore::init(gui);                       // first editor: loads; later ones find it filled
//   IBitmap* knob = BitmapStore::getBitmap(kImageKnob);
//
// The records point into the process-wide bitmap cache, which owns the pixels, so they stay valid for the
// life of the process whichever plug-in instance filled the store. No lock: filled and read on the thread
// that builds the editor panels.
#pragma once

#include "IGraphicsStructs.h"

#include <vector>

class IGraphics;

class BitmapStore
{
public:
  // Fills the store when it is empty; does nothing otherwise.
  static void init(IGraphics* graphics);
  // The entry of the id. An id outside the store (or any id before init) gets the empty entry 0 and is
  // reported once on stderr: a wrong id must not take the host down.
  static IBitmap* getBitmap(int id);
  static int size() { return (int)mBitmaps.size(); }

private:
  static std::vector<IBitmap> mBitmaps;
  static IBitmap mEmpty; // answered before init, when the vector has no entry 0 yet
};
