// palette.h — the palette strip every colour is sampled from, the splitting of a
// colour into components, and the palette chooser (the table itself is in core/).
//
//   s.settings.colour_mode = 0; DrawPaletteStrip(s);        // a random palette; s.tipp says which
//   Colour c = s.strip.ColourAt(10, row);     // how every style takes a colour
//   s.barvap = c; SplitColour(s);             // s.re1, s.gr1, s.bl1
#pragma once

#include "core/state.h"

namespace mirelune {

// Paints 100 gradient blobs on strip from palette `colorr`, or from a random
// one when `colorr` is 0 (then one extra draw). Sets `tipp`.
void DrawPaletteStrip(State& s);

// The red, green and blue parts of a colour (0..255 each); a negative part, as
// of the colour -1, is 0.
struct Components {
  double red = 0, green = 0, blue = 0;
};
Components SplitColour(double colour);

// `barvap` in; `re1`, `gr1`, `bl1` out; `barvap` is left without its red part.
void SplitColour(State& s);

// The palette chooser behind the workbench's "palette" button.
void ChoosePalette(State& s);

}  // namespace mirelune
