// faceted_pyramids.cpp — style 21. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawFacetedPyramids(State&) {}

}  // namespace mirelune
