// ring_clusters.cpp — style 6. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawRingClusters(State&) {}

}  // namespace mirelune
