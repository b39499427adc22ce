// fan_triangles.cpp — style 4. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawFanTriangles(State&) {}

}  // namespace mirelune
