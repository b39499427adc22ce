// generation_pass.cpp — one picture: background, shared parameters of the effect,
// the choice of styles by coin flips, the passes, then the effects.
#include "card/card.h"
#include "palette/palette.h"
#include "styles/styles.h"

namespace mirelune {

double PaintBackground(State& s) {
  s.Picture1.Clear();
  const double L = Int(s.rng.Rnd() * 600 + 1);
  s.barva = s.Picture3.ColourAt(10, L);
  s.Picture1.SetBackground(static_cast<Colour>(s.barva));
  return L;
}

void ResetForNames(State& s) {
  s.drgb = 0;
  s.ddrgb = 0;
  s.tekst = 1;
}

void RunGenerationPass(State& s) {
  Generator& g = s.rng;
  const std::uint64_t start = g.draws();
  std::uint64_t style_draws = 0;

  const double L = PaintBackground(s);

  g.Rnd();  // `ffi`: nothing reads it, but its draw is part of the sequence
  s.bb1 = Int(g.Rnd() * 200 + 200);
  s.bb2 = Int(g.Rnd() * 200 * 200);
  s.bb3 = Int(g.Rnd() * 200 * 200);
  s.bb4 = Int(g.Rnd() * 300 + 50);
  s.bb5 = Int(g.Rnd() * 900 + 50);
  s.bb6 = Int(g.Rnd() * 2000 + 50);
  s.bb7 = Int(g.Rnd() * 10 + 5);
  s.i1 = Int(s.sir * g.Rnd() + 1);
  s.j1 = Int(s.vis * g.Rnd() + 1);
  s.i2 = Int(s.sir * g.Rnd() + 1);
  s.j2 = Int(s.vis * g.Rnd() + 1);
  s.i3 = Int(s.sir * g.Rnd() + 1);
  s.j3 = Int(s.vis * g.Rnd() + 1);

  // Coin flips until between 1 and nnn styles are chosen; a rejected attempt
  // still consumes its 23 draws.
  std::array<int, kStyleCount> flags{};
  do {
    s.kksk = 0;
    for (int k = 0; k < kStyleCount; ++k) {
      flags[k] = static_cast<int>(Int(g.Rnd() * 2));
      s.kksk += flags[k];
    }
  } while (!(s.kksk >= 1 && s.kksk <= s.nnn));
  s.no = Int(s.nnn / s.kksk) + 1;

  if (s.host) s.host->ClearProgress();
  s.f = Int(g.Rnd() * 13 + 1);
  s.d = Int(g.Rnd() * 3 + 1);
  if (s.host) s.host->MoveProgressCursor(22, 30);
  s.stats.background_row = L;
  s.stats.offset_mode = s.d;
  s.stats.flags = flags;

  const double passes = s.no;
  for (s.n = 1; s.n <= passes; s.n += 1) {
    for (int k = 0; k < kStyleCount; ++k) {
      if (!flags[k]) continue;
      const std::uint64_t before = g.draws();
      kStyles[k].draw(s);
      style_draws += g.draws() - before;
    }
    if (s.host) s.host->PrintProgress("lllll");
  }
  s.stats.styles = style_draws;
  s.stats.pass = g.draws() - start - style_draws;

  s.Picture6.CopyImageOf(s.Picture1);
}

void PaintStyleAlone(State& s, int number, double seed) {
  s.rng.Rnd(-1);
  s.rng.Randomize(seed);
  DrawPaletteStrip(s);
  PaintBackground(s);
  for (s.n = 1; s.n <= 2; s.n += 1) kStyles[number - 1].draw(s);
}

}  // namespace mirelune
