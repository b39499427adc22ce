// ornament_tree.cpp — 400 glowing baubles in a fir-tree triangle on the card.
#include <cmath>

#include "effects/effects.h"
#include "palette/palette.h"

namespace mirelune {

void DrawOrnament(State& s) {
  s.Picture1.FillStyle = 1;
  const double px = Int((s.sir1 - 20) * s.rng.Rnd() + 10);
  const double py = Int((s.vis1 - 20) * s.rng.Rnd() + 10);
  s.barvap = s.Picture1.Point(px, py);
  SplitColour(s);
  s.ret = s.re1 + 70;
  s.grt = s.gr1 + 70;
  s.blt = s.bl1 + 70;
  Surface& card = s.Picture4;
  for (s.rk = 0; s.rk <= 30; s.rk += 1) {
    s.ret -= 4;
    s.grt -= 4;
    s.blt -= 4;
    if (s.ret < 0) s.ret = 0;
    if (s.grt < 0) s.grt = 0;
    if (s.blt < 0) s.blt = 0;
    const Colour c = RGB(s.ret, s.grt, s.blt);
    card.Circle(s.i, s.j, s.rk, c);
    card.Circle(s.i + 1, s.j, s.rk, c);
    card.Circle(s.i, s.j + 1, s.rk, c);
  }
}

void DrawOrnamentTree(State& s) {
  Generator& g = s.rng;
  // The apex height is single-precision arithmetic, as the tree was designed.
  const float h = static_cast<float>(g.Rnd()) * 40.0f + 70.0f;
  const double H = h;
  const double T = s.vis1 - H;
  const double S = T / 2;
  const double M = Int(g.Rnd() * 200 + 600);
  s.i1 = M - S / 2;
  s.i2 = M + S / 2;
  s.j1 = s.vis1 - T;
  for (s.n = 1; s.n <= 400; s.n += 1) {
    do {
      if (s.host) s.host->DoEvents();
      s.i = s.i1 + g.Rnd() * S;
      s.j = s.j1 + g.Rnd() * T;
    } while (!(std::fabs(s.i - M) <= (s.j - H) / 4));
    DrawOrnament(s);
  }
}

}  // namespace mirelune
