// lissajous_spirals.cpp — style 15. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawLissajousSpirals(State&) {}

}  // namespace mirelune
