// cross_strokes.cpp — style 14. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawCrossStrokes(State&) {}

}  // namespace mirelune
