// bar_combs.cpp — style 7. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawBarCombs(State&) {}

}  // namespace mirelune
