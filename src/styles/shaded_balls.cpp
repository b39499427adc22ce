// shaded_balls.cpp — style 19. Not painted yet: the pass chooses it and runs this empty body.
#include "styles/styles.h"

namespace mirelune {

void DrawShadedBalls(State&) {}

}  // namespace mirelune
