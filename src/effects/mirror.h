// mirror.h — mirroring the card in place, greeting and all.
//
//   FlipHorizontal(s);   // left to right
//   FlipVertical(s);     // top to bottom; twice gives the card back pixel for pixel
#pragma once

#include "core/state.h"

namespace mirelune {

void FlipHorizontal(State& s);
void FlipVertical(State& s);

}  // namespace mirelune
