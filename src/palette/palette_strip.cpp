// palette_strip.cpp — the narrow column of soft colour blobs the styles sample.
#include "palette/palette.h"
#include "palette/palette_table.h"

namespace mirelune {

int DrawPaletteStrip(Surface& strip, int palette, Generator& g, const CardWatch& watch) {
  const int chosen = palette == 0 ? static_cast<int>(Floor(g.Uniform() * kPaletteCount + 1)) : palette;
  // The colour mode stays within 0..26 (see the chooser and the "color" button);
  // a palette past the table's rows draws nothing.
  if (chosen < 0 || chosen > kPaletteRows) return chosen;
  constexpr double kLift = 40;  // each blob starts this much lighter than its palette colour
  constexpr double kStep = -2;  // and darkens by this much per ring outwards
  constexpr double kX = 12;     // every blob's centre column
  for (int blob = 1; blob <= 100; ++blob) {
    if (watch.Stopped()) break;
    const PaletteRgb base = PaletteColour(chosen, static_cast<int>(Floor(g.Uniform() * kPaletteColours + 1)));
    double red = base.red + kLift, green = base.green + kLift, blue = base.blue + kLift;
    const double y = Floor(g.Uniform() * 655 + 10);
    const double rings = Floor(g.Uniform() * 30 + 40);
    const double aspect = g.Uniform() + 0.5;
    for (double ring = 0; ring <= rings; ring += 1) {
      red += kStep;
      green += kStep;
      blue += kStep;
      if (red < 0) red = 0;
      if (green < 0) green = 0;
      if (blue < 0) blue = 0;
      const Colour c = RGB(red, green, blue);
      strip.Circle(kX, y, ring, c, aspect);
      strip.Circle(kX + 1, y, ring, c, aspect);
      strip.Circle(kX, y + 1, ring, c, aspect);
    }
  }
  return chosen;
}

Components SplitColour(double colour) {
  Components c;
  c.red = RoundedMod(colour, 256);
  const double rest = colour - c.red;
  c.blue = Floor(rest / 65536);
  c.green = Floor(RoundedMod(rest, 65536) / 256);
  if (c.red < 0) c.red = 0;
  if (c.green < 0) c.green = 0;
  if (c.blue < 0) c.blue = 0;
  return c;
}

}  // namespace mirelune
