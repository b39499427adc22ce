// generation_pass.cpp — one picture: background, shared parameters of the effect,
// the choice of styles by coin flips, the passes, then the effects.
#include "card/card.h"
#include "palette/palette.h"
#include "styles/styles.h"

namespace mirelune {

double PaintBackground(State& s) {
  s.canvas.Clear();
  const double L = Int(s.rng.Rnd() * 600 + 1);
  s.left.colour = s.strip.ColourAt(10, L);
  s.canvas.SetBackground(static_cast<Colour>(s.left.colour));
  return L;
}

void ResetForNames(State& s) {
  s.settings.brightness = 0;
  s.settings.brightness_step = 0;
  s.settings.with_names = 1;
}

void RunGenerationPass(State& s) {
  Generator& g = s.rng;
  const std::uint64_t start = g.draws();
  std::uint64_t style_draws = 0;

  const double L = PaintBackground(s);

  g.Rnd();  // `ffi`: nothing reads it, but its draw is part of the sequence
  s.pass.divisor1 = Int(g.Rnd() * 200 + 200);
  s.pass.divisor2 = Int(g.Rnd() * 200 * 200);
  s.pass.divisor3 = Int(g.Rnd() * 200 * 200);
  s.pass.divisor4 = Int(g.Rnd() * 300 + 50);
  s.pass.divisor5 = Int(g.Rnd() * 900 + 50);
  s.pass.divisor6 = Int(g.Rnd() * 2000 + 50);
  s.pass.divisor7 = Int(g.Rnd() * 10 + 5);
  s.pass.anchor1_x = Int(s.settings.canvas_width * g.Rnd() + 1);
  s.pass.anchor1_y = Int(s.settings.canvas_height * g.Rnd() + 1);
  s.pass.anchor2_x = Int(s.settings.canvas_width * g.Rnd() + 1);
  s.pass.anchor2_y = Int(s.settings.canvas_height * g.Rnd() + 1);
  s.pass.anchor3_x = Int(s.settings.canvas_width * g.Rnd() + 1);
  s.pass.anchor3_y = Int(s.settings.canvas_height * g.Rnd() + 1);

  // Coin flips until between 1 and nnn styles are chosen; a rejected attempt
  // still consumes its 23 draws.
  std::array<int, kStyleCount> flags{};
  do {
    s.pass.styles_chosen = 0;
    for (int k = 0; k < kStyleCount; ++k) {
      flags[k] = static_cast<int>(Int(g.Rnd() * 2));
      s.pass.styles_chosen += flags[k];
    }
  } while (!(s.pass.styles_chosen >= 1 && s.pass.styles_chosen <= s.settings.max_styles));
  s.pass.passes = Int(s.settings.max_styles / s.pass.styles_chosen) + 1;

  if (s.host) s.host->ClearProgress();
  s.pass.rule = Int(g.Rnd() * 13 + 1);
  s.left.offset_mode = Int(g.Rnd() * 3 + 1);
  if (s.host) s.host->MoveProgressCursor(22, 30);
  s.stats.background_row = L;
  s.stats.offset_mode = s.left.offset_mode;
  s.stats.flags = flags;

  StyleContext styles = StyleContextOf(s);
  for (double pass = 1; pass <= s.pass.passes; pass += 1) {
    for (int k = 0; k < kStyleCount; ++k) {
      if (!flags[k]) continue;
      const std::uint64_t before = g.draws();
      kStyles[k].draw(styles);
      style_draws += g.draws() - before;
    }
    if (s.host) s.host->PrintProgress("lllll");
  }
  s.stats.styles = style_draws;
  s.stats.pass = g.draws() - start - style_draws;

  s.plain_picture.CopyImageOf(s.canvas);
}

void PaintStyleAlone(State& s, int number, double seed) {
  s.rng.Rnd(-1);
  s.rng.Randomize(seed);
  DrawPaletteStrip(s);
  PaintBackground(s);
  StyleContext styles = StyleContextOf(s);
  for (int pass = 1; pass <= 2; ++pass) kStyles[number - 1].draw(styles);
}

}  // namespace mirelune
