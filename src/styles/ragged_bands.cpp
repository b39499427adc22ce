// ragged_bands.cpp — style 17. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawRaggedBands(State&) {}

}  // namespace mirelune
