// shaded_cones.cpp — style 22. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawShadedCones(State&) {}

}  // namespace mirelune
