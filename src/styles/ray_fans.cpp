// ray_fans.cpp — style 2. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawRayFans(State&) {}

}  // namespace mirelune
