// roses.cpp — style 11. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawRoses(State&) {}

}  // namespace mirelune
