// generation_pass.cpp — one picture: background, shared parameters of the effect,
// the choice of styles by coin flips, the passes, then the plain picture.
#include "card/card.h"
#include "palette/palette.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

// What the pass draws before its styles run, in the order the draws are made.
struct PassPlan {
  PassParameters parameters;
  double offset_mode = 0;
  std::array<int, kStyleCount> flags{};
};

PassPlan DrawPassPlan(Generator& g, const Settings& settings) {
  PassPlan plan;
  PassParameters& p = plan.parameters;
  g.Uniform();  // a draw nothing reads, but part of every card's sequence
  p.divisor1 = Floor(g.Uniform() * 200 + 200);
  p.divisor2 = Floor(g.Uniform() * 200 * 200);
  p.divisor3 = Floor(g.Uniform() * 200 * 200);
  p.divisor4 = Floor(g.Uniform() * 300 + 50);
  p.divisor5 = Floor(g.Uniform() * 900 + 50);
  p.divisor6 = Floor(g.Uniform() * 2000 + 50);
  p.divisor7 = Floor(g.Uniform() * 10 + 5);
  p.anchor1_x = Floor(settings.canvas_width * g.Uniform() + 1);
  p.anchor1_y = Floor(settings.canvas_height * g.Uniform() + 1);
  p.anchor2_x = Floor(settings.canvas_width * g.Uniform() + 1);
  p.anchor2_y = Floor(settings.canvas_height * g.Uniform() + 1);
  p.anchor3_x = Floor(settings.canvas_width * g.Uniform() + 1);
  p.anchor3_y = Floor(settings.canvas_height * g.Uniform() + 1);
  // Coin flips until between 1 and max_styles styles are chosen; a rejected
  // attempt still consumes its 23 draws.
  do {
    p.styles_chosen = 0;
    for (int k = 0; k < kStyleCount; ++k) {
      plan.flags[k] = static_cast<int>(Floor(g.Uniform() * 2));
      p.styles_chosen += plan.flags[k];
    }
  } while (!(p.styles_chosen >= 1 && p.styles_chosen <= settings.max_styles));
  p.passes = Floor(settings.max_styles / p.styles_chosen) + 1;
  p.rule = Floor(g.Uniform() * 13 + 1);
  plan.offset_mode = Floor(g.Uniform() * 3 + 1);
  return plan;
}

}  // namespace

double PaintBackground(Surface& canvas, const Surface& strip, Generator& g) {
  canvas.Clear();
  const double row = Floor(g.Uniform() * 600 + 1);
  canvas.SetBackground(strip.ColourAt(10, row));
  return row;
}

void ResetForNames(Settings& settings) {
  settings.brightness = 0;
  settings.brightness_step = 0;
  settings.with_names = 1;
}

PassStats RunGenerationPass(State& s) {
  Generator& g = s.rng;
  const std::uint64_t start = g.draws();
  std::uint64_t style_draws = 0;
  PassStats stats;

  stats.background_row = PaintBackground(s.canvas, s.strip, g);
  const PassPlan plan = DrawPassPlan(g, s.settings);
  s.pass = plan.parameters;
  s.left.offset_mode = plan.offset_mode;
  stats.offset_mode = plan.offset_mode;
  stats.flags = plan.flags;
  const std::array<int, kStyleCount>& flags = plan.flags;
  if (s.host) {
    s.host->ClearProgress();
    s.host->MoveProgressCursor(22, 30);
  }

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
  stats.style_draws = style_draws;
  stats.draws = g.draws() - start - style_draws;

  s.plain_picture.CopyImageOf(s.canvas);
  return stats;
}

void PaintStyleAlone(State& s, int number, double seed) {
  s.rng.Restart(-1);
  s.rng.FoldIn(seed);
  DrawPaletteStrip(s);
  PaintBackground(s.canvas, s.strip, s.rng);
  StyleContext styles = StyleContextOf(s);
  for (int pass = 1; pass <= 2; ++pass) kStyles[number - 1].draw(styles);
}

}  // namespace mirelune
