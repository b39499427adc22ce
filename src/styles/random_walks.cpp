// random_walks.cpp — style 16. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawRandomWalks(State&) {}

}  // namespace mirelune
