// generation_pass.cpp — one picture: background, the effect's parameters, the
// choice of styles by coin flips, the passes.
#include "card/card.h"
#include "palette/palette.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

// What the pass draws before its styles run, in the order the draws are made.
struct PassPlan {
  EffectParameters effect;
  double offset_mode = 0;
  int styles_chosen = 0, passes = 0;
  std::array<int, kStyleCount> flags{};
};

PassPlan DrawPassPlan(Generator& g, int max_styles) {
  PassPlan plan;
  EffectParameters& p = plan.effect;
  g.Uniform();  // a draw nothing reads, but part of every card's sequence
  p.divisors = {Floor(g.Uniform() * 200 + 200), Floor(g.Uniform() * 200 * 200), Floor(g.Uniform() * 200 * 200),
                Floor(g.Uniform() * 300 + 50),  Floor(g.Uniform() * 900 + 50),  Floor(g.Uniform() * 2000 + 50),
                Floor(g.Uniform() * 10 + 5)};
  for (Point& anchor : p.anchors) {
    anchor.x = Floor(kCanvasUnitsW * g.Uniform() + 1);
    anchor.y = Floor(kCanvasUnitsH * g.Uniform() + 1);
  }
  // Coin flips until between 1 and max_styles styles are chosen; a rejected
  // attempt still consumes its 23 draws.
  do {
    plan.styles_chosen = 0;
    for (int k = 0; k < kStyleCount; ++k) {
      plan.flags[k] = static_cast<int>(Floor(g.Uniform() * 2));
      plan.styles_chosen += plan.flags[k];
    }
  } while (!(plan.styles_chosen >= 1 && plan.styles_chosen <= max_styles));
  plan.passes = static_cast<int>(Floor(static_cast<double>(max_styles) / plan.styles_chosen)) + 1;
  p.rule = static_cast<int>(Floor(g.Uniform() * 13 + 1));
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

PassOutput RunGenerationPass(Surface& canvas, const Surface& strip, int max_styles, Generator& g, Fonts& fonts,
                             const CardWatch& watch) {
  const std::uint64_t start = g.draws();
  PassOutput r;
  r.background_row = PaintBackground(canvas, strip, g);
  const PassPlan plan = DrawPassPlan(g, max_styles);
  r.effect = plan.effect;
  r.offset_mode = r.effect_offset_mode = plan.offset_mode;
  r.styles_chosen = plan.styles_chosen;
  r.passes = plan.passes;
  r.flags = plan.flags;
  watch.Mark(ProgressMark::kStart, 5, &canvas);

  StyleContext styles{canvas, strip, g, kCanvasUnitsW, kCanvasUnitsH, r.effect_offset_mode, fonts};
  for (int pass = 1; pass <= plan.passes && !r.stopped; ++pass) {
    for (int k = 0; k < kStyleCount && !r.stopped; ++k) {
      if (!plan.flags[k]) continue;
      const std::uint64_t before = g.draws();
      kStyles[k].draw(styles);
      r.style_draws += g.draws() - before;
      r.stopped = watch.Stopped();
    }
    watch.Mark(ProgressMark::kPass, 5 + 35 * pass / plan.passes, &canvas);
  }
  r.draws = g.draws() - start - r.style_draws;
  return r;
}

Surface PaintStyleAlone(int number, double seed, Fonts& fonts) {
  Generator g;
  SeedGenerator(g, seed);
  Surface strip = NewStrip(), canvas = NewCanvas();
  DrawPaletteStrip(strip, 0, g);
  PaintBackground(canvas, strip, g);
  double offset_mode = 0;
  StyleContext styles{canvas, strip, g, kCanvasUnitsW, kCanvasUnitsH, offset_mode, fonts};
  for (int pass = 1; pass <= 2; ++pass) kStyles[number - 1].draw(styles);
  return canvas;
}

}  // namespace mirelune
