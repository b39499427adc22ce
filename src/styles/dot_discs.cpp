// dot_discs.cpp — style 9. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawDotDiscs(State&) {}

}  // namespace mirelune
