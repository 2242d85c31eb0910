#include "BitmapStore.h"

#include "EditorImages.h"
#include "IGraphics.h"

#include <atomic>
#include <cstdio>

std::vector<IBitmap> BitmapStore::mBitmaps;
IBitmap BitmapStore::mEmpty;

void BitmapStore::init(IGraphics* graphics)
{
  if (!mBitmaps.empty() || !graphics) return;
  mBitmaps.reserve(kNumEditorImages + 1);
  mBitmaps.push_back(IBitmap());
  const EditorImage* images = editorImages();
  for (int i = 0; i < kNumEditorImages; ++i)
    mBitmaps.push_back(graphics->LoadIBitmap(images[i].id, images[i].name, images[i].frames, false));
}

IBitmap* BitmapStore::getBitmap(int id)
{
  if (id >= 0 && id < (int)mBitmaps.size()) return &mBitmaps[id];
  static std::atomic<bool> reported{false};
  if (!reported.exchange(true))
    std::fprintf(stderr, "Veltrane: no editor image with id %d; an empty image stands in\n", id);
  if (mBitmaps.empty()) return &mEmpty;
  return &mBitmaps[0];
}
