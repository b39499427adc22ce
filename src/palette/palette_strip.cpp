// palette_strip.cpp — the narrow column of soft colour blobs the styles sample.
#include "palette/palette.h"

namespace mirelune {

void DrawPaletteStrip(State& s) {
  if (s.settings.colour_mode == 0) {
    s.tipp = Int(s.rng.Rnd() * 26 + 1);
  } else {
    s.tipp = s.settings.colour_mode;
  }
  // The mode stays within 0..26 (see the chooser and the "color" button); the
  // table is 0..30, so a value past it would read out of range.
  const int p = static_cast<int>(CInt(s.tipp));
  if (p < 0 || p > 30) return;
  Surface& strip = s.strip;
  for (s.n = 1; s.n <= 100; s.n += 1) {
    if (s.host) s.host->LetEventsIn();
    const int c = static_cast<int>(Int(s.rng.Rnd() * 10 + 1));
    s.oz = 40;
    s.re = s.palette_table[p][c][1] + s.oz;
    s.gr = s.palette_table[p][c][2] + s.oz;
    s.bl = s.palette_table[p][c][3] + s.oz;
    if (s.re < 0) s.re = 0;
    if (s.gr < 0) s.gr = 0;
    if (s.bl < 0) s.bl = 0;
    s.i = 12;
    s.j = Int(s.rng.Rnd() * 655 + 10);
    s.left.cluster_radius = Int(s.rng.Rnd() * 30 + 40);
    s.el = s.rng.Rnd() + 0.5;
    s.kn = -2;
    const double end = s.left.cluster_radius;
    for (s.nn = 0; s.nn <= end; s.nn += 1) {
      s.re += s.kn;
      s.gr += s.kn;
      s.bl += s.kn;
      if (s.re < 0) s.re = 0;
      if (s.gr < 0) s.gr = 0;
      if (s.bl < 0) s.bl = 0;
      const Colour col = RGB(s.re, s.gr, s.bl);
      strip.Circle(s.i, s.j, s.nn, col, s.el);
      strip.Circle(s.i + 1, s.j, s.nn, col, s.el);
      strip.Circle(s.i, s.j + 1, s.nn, col, s.el);
    }
  }
}

Components SplitColour(double colour) {
  Components c;
  c.red = Mod(colour, 256);
  const double rest = colour - c.red;
  c.blue = Int(rest / 65536);
  c.green = Int(Mod(rest, 65536) / 256);
  if (c.red < 0) c.red = 0;
  if (c.green < 0) c.green = 0;
  if (c.blue < 0) c.blue = 0;
  return c;
}

void SplitColour(State& s) {
  s.re1 = Mod(s.barvap, 256);
  s.barvap = s.barvap - s.re1;
  s.bl1 = Int(s.barvap / 65536);
  const double t = Mod(s.barvap, 65536);
  s.gr1 = Int(t / 256);
  if (s.re1 < 0) s.re1 = 0;
  if (s.gr1 < 0) s.gr1 = 0;
  if (s.bl1 < 0) s.bl1 = 0;
}

}  // namespace mirelune
