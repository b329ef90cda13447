// Resampling a bitmap to another size, for the editor's artwork at screen
// scales between its 1x and 2x images. Done once when a scale is set, never
// while painting.
#pragma once

#include "render/Bitmap.h"

// Draws the source rectangle of src scaled onto (destX, destY, destWidth,
// destHeight) of dest, replacing those pixels. An area filter: every
// destination pixel is the coverage-weighted mean of the source area under
// it, in premultiplied alpha (no dark fringes around transparent parts);
// equal sizes copy exactly. Parts outside either bitmap are left out; a
// missing bitmap or an empty rectangle does nothing. Allocates scratch rows.
void ResampleBitmap(LICE_IBitmap* dest, int destX, int destY, int destWidth, int destHeight, LICE_IBitmap* src,
                    const SourceRect& sourceRect);
