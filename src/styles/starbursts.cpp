// starbursts.cpp — style 12. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawStarbursts(State&) {}

}  // namespace mirelune
