// concentric_ellipses.cpp — style 3. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawConcentricEllipses(State&) {}

}  // namespace mirelune
