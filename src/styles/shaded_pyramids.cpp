// shaded_pyramids.cpp — style 20. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawShadedPyramids(State&) {}

}  // namespace mirelune
