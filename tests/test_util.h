// Helpers shared by the engine tests.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <memory>

#include "core/card_parts.h"
#include "palette/palette.h"
#include "test_mail_util.h"

namespace mirelune::testing {

// Colour of row y in the test strip: every row distinct, so a sampled row can be
// read back from the colour ("red on blue" keeps R<->B swaps visible).
inline Colour RowColour(int y) { return RGB(y % 256, y / 256 * 40 + 1, 200); }

// A palette strip of RowColour rows.
inline Surface RowStrip() {
  Surface strip = NewStrip();
  for (int y = 0; y < kStripPixelsH; ++y)
    for (int x = 0; x < kStripPixelsW; ++x) strip.Plot(x, y, RowColour(y));
  return strip;
}

// Number of pixels of an image with exactly this colour.
inline int CountColour(const Image& img, Colour c) {
  int n = 0;
  for (std::uint32_t p : img.pixels) n += p == static_cast<std::uint32_t>(c);
  return n;
}

#ifndef _WIN32
struct Ran { int status; std::string out, err; };

// Runs `command` through the shell in `dir` with MIRELUNE_ROOT=. and no input, killed after a minute
// (a hang fails instead of stalling): its status and what it wrote to .out (unless redirected) and .err.
inline Ran Shell(const std::filesystem::path& dir, const std::string& command, const std::string& redirect = ">.out") {
  const std::string cmd = "cd '" + dir.string() + "' && rm -f .out && MIRELUNE_ROOT=. timeout 60 " + command +
                          " </dev/null " + redirect + " 2>.err";
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir / ".out"), ReadText(dir / ".err")};
}

inline Ran Cli(const std::filesystem::path& dir, const std::string& args, const std::string& redirect = ">.out") {
  return Shell(dir, "'" MIRELUNE_CLI "' " + args, redirect);
}
#endif

}  // namespace mirelune::testing
