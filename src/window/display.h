// display.h — whether the window has a display to go on, asked before Qt starts:
// Qt's X11 platform aborts the program when it cannot reach its display.
//
//   if (const std::string why = NoDisplayProblem(qt_arguments); !why.empty()) { print why; return 1; }
#pragma once

#include <string>
#include <vector>

namespace mirelune {

// The platforms Qt will try, in order: those of -platform among Qt's arguments,
// else of QT_QPA_PLATFORM, else its default (X11, Wayland first in a Wayland session).
std::vector<std::string> QtPlatforms(const std::vector<std::string>& qt_arguments);

// Empty when one of those platforms can show a window (one that needs no display,
// such as offscreen, always can); else the one line that says why none can.
std::string NoDisplayProblem(const std::vector<std::string>& qt_arguments);

}  // namespace mirelune
