// palette.h — the palette strip every colour is sampled from, the splitting of a
// colour into components, and the palette chooser's swatches (the palettes
// themselves are the constants of palette/palette_table.h).
//
//   Surface strip = NewStrip();
//   const int palette = DrawPaletteStrip(strip, 0, rng);  // a random palette
//   const Colour c = strip.ColourAt(10, row);             // how every style takes a colour
//   const Components parts = SplitColour(c);              // its red, green and blue
#pragma once

#include <optional>
#include <string>

#include "core/card_parts.h"
#include "generator/generator.h"
#include "text/fonts.h"

namespace mirelune {

// Paints 100 gradient blobs on `strip` from `palette` (1..30), or from a random
// one of 1..26 when `palette` is 0 (then one draw more), and returns the palette
// used. Stops between blobs at the watch's request.
int DrawPaletteStrip(Surface& strip, int palette, Generator& g, const CardWatch& watch = {});

// The red, green and blue parts of a colour (0..255 each); a negative part, as
// of the colour -1, is 0.
struct Components {
  double red = 0, green = 0, blue = 0;
};
Components SplitColour(double colour);

// The palette chooser behind the workbench's "palette" button: every palette as a
// row of swatches on `card`, numbered.
void DrawPaletteSwatches(Surface& card, Fonts& fonts);

// The chooser's question, its title, and an answer as a palette number 0..26:
// digits, optionally with a fractional part of zeros and blanks around. Anything
// else (text, a sign, an empty answer) has none and is asked for again.
inline constexpr const char* kPalettePrompt = "vnesi \xC5\xA1tevilko palete\r0 za izhod";  // "enter the palette's number", "0 to leave"
inline constexpr const char* kPaletteTitle = "IZBOR PALETE";                                 // "palette choice"
std::optional<int> PaletteNumber(const std::string& answer);

}  // namespace mirelune
