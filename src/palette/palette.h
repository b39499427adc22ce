// palette.h — the palette strip every colour is sampled from, the splitting of a
// colour into components, and the palette chooser (the palettes themselves are
// the constants of palette/palette_table.h).
//
//   const int palette = DrawPaletteStrip(s.strip, 0, s.rng, s.host);  // a random palette
//   const Colour c = s.strip.ColourAt(10, row);    // how every style takes a colour
//   const Components parts = SplitColour(c);       // its red, green and blue
#pragma once

#include <optional>
#include <string>

#include "core/state.h"

namespace mirelune {

// Paints 100 gradient blobs on `strip` from `palette` (1..30), or from a random
// one of 1..26 when `palette` is 0 (then one draw more), and returns the palette
// used. `host` lets window events in before every blob.
int DrawPaletteStrip(Surface& strip, int palette, Generator& g, Host* host);

// The strip for the current colour mode: what the commands repaint.
int DrawPaletteStrip(State& s);

// The red, green and blue parts of a colour (0..255 each); a negative part, as
// of the colour -1, is 0.
struct Components {
  double red = 0, green = 0, blue = 0;
};
Components SplitColour(double colour);

// The palette chooser behind the workbench's "palette" button: every palette as a
// row of swatches on the card, then a palette number asked for until an answer is
// one (0..26). The number becomes the colour mode; a palette (not 0) gets a strip
// at once. Returns the answer as typed for a palette, nothing for 0.
std::optional<std::string> ChoosePalette(State& s);

}  // namespace mirelune
