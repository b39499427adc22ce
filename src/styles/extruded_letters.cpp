// extruded_letters.cpp — style 8. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawExtrudedLetters(State&) {}

}  // namespace mirelune
