// mirror.h — mirroring the card in place, greeting and all.
//
//   FlipHorizontal(s.card);   // left to right
//   FlipVertical(s.card);     // top to bottom; twice gives the card back pixel for pixel
#pragma once

#include "raster/surface.h"

namespace mirelune {

void FlipHorizontal(Surface& card);
void FlipVertical(Surface& card);

}  // namespace mirelune
