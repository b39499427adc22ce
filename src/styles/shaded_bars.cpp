// shaded_bars.cpp — style 18. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawShadedBars(State&) {}

}  // namespace mirelune
