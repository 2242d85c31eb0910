// What the product's own controls share: the plug-in behind a control, their text style (Arial, centred,
// in the size and colour of each control), their images by resource number, and the display text of a
// parameter's current value.
//
// Threads: the editor's (main) thread.
#pragma once

#include "IControl.h"

class IParam;
class Veltrane;

// Format flags of every text the product's controls draw: centred.
constexpr unsigned kCentredText = 0x100;

// The Veltrane behind a control's plug-in pointer (null for any other plug-in).
Veltrane* veltraneOf(IPlugBase* plug);

// Arial, centred, in the size and colour given (A, R, G, B 0..255).
IText productText(int size, int a, int r, int g, int b, int style = IText::kStyleNormal,
                  int quality = IText::kQualityClearType);

// An image of the editor by its resource number (1..61); empty without a surface or for another number.
IBitmap productImage(IPlugBase* plug, int id);

// The display text of a parameter's current value (a selector's: the chosen entry's label); empty for none.
void parameterDisplayText(IParam* param, char* out, int size);
