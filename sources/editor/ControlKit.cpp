#include "ControlKit.h"

#include "EditorImages.h"
#include "IGraphics.h"
#include "IParam.h"
#include "Veltrane.h"

#include <cstdio>

Veltrane* veltraneOf(IPlugBase* plug)
{
  return dynamic_cast<Veltrane*>(plug);
}

IText productText(int size, int a, int r, int g, int b, int style, int quality)
{
  const IColor color(a, r, g, b);
  return IText(size, &color, "Arial", style, IText::kAlignCenter, 0, quality);
}

IBitmap productImage(IPlugBase* plug, int id)
{
  // The panel is built before the surface is attached to the plug-in: the synth layer holds it then.
  IGraphics* gui = plug ? plug->GetGUI() : nullptr;
  if (!gui)
    if (Synth* synth = dynamic_cast<Synth*>(plug)) gui = synth->graphics;
  if (!gui || id < 1 || id > kNumEditorImages) return IBitmap();
  const EditorImage& image = editorImages()[id - 1];
  return gui->LoadIBitmap(image.id, image.name, image.frames);
}

void parameterDisplayText(IParam* param, char* out, int size)
{
  out[0] = 0;
  if (!param) return;
  char text[IParam::kDisplayBufferSize] = {};
  param->GetDisplayForHost(param->Value(), false, text, true);
  std::snprintf(out, size, "%s", text);
}
