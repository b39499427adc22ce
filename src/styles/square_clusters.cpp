// square_clusters.cpp — style 13. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawSquareClusters(State&) {}

}  // namespace mirelune
