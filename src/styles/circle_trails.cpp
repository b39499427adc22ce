// circle_trails.cpp — style 23. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawCircleTrails(State&) {}

}  // namespace mirelune
