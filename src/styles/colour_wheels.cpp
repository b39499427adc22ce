// colour_wheels.cpp — style 10. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawColourWheels(State&) {}

}  // namespace mirelune
