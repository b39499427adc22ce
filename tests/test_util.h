// Helpers shared by the engine tests.
#pragma once

#include <memory>

#include "core/state.h"
#include "palette/palette.h"

namespace mirelune::testing {

// A state with a scripted host, as after start-up.
struct Fixture {
  ScriptedHost host;
  std::unique_ptr<State> s = std::make_unique<State>();
  Fixture() { s->host = &host; }
  State& operator*() { return *s; }
  State* operator->() { return s.get(); }
};

// Colour of row y in the test strip: every row distinct, so a sampled row can be
// read back from the colour ("red on blue" keeps R<->B swaps visible).
inline Colour RowColour(int y) { return RGB(y % 256, y / 256 * 40 + 1, 200); }

// Fills the palette strip with RowColour rows.
inline void PaintRowStrip(State& s) {
  for (int y = 0; y < kStripPixelsH; ++y)
    for (int x = 0; x < kStripPixelsW; ++x) s.Picture3.PSet(x, y, RowColour(y));
}

// Number of pixels of an image with exactly this colour.
inline int CountColour(const Image& img, Colour c) {
  int n = 0;
  for (std::uint32_t p : img.pixels) n += p == static_cast<std::uint32_t>(c);
  return n;
}

}  // namespace mirelune::testing
