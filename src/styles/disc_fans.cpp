// disc_fans.cpp — style 5. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawDiscFans(State&) {}

}  // namespace mirelune
