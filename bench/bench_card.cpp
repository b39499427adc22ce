// Benchmarks of the card engine, one thread. Run: build/bench/mirelune-bench
#include <benchmark/benchmark.h>

#include <memory>

#include "card/card.h"
#include "commands/commands.h"
#include "effects/effects.h"
#include "files/files.h"
#include "palette/palette.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

// A state seeded from Mary and Bob with its palette strip drawn.
std::unique_ptr<State> Prepared(std::int16_t effect_mode = 1) {
  auto s = std::make_unique<State>();
  s->settings.effect_mode = effect_mode;
  SetNamesAndSeed(*s, "Mary", "Bob");
  DrawPaletteStrip(*s);
  return s;
}

void BM_PaletteStrip(benchmark::State& st) {
  auto s = Prepared();
  for (auto _ : st) {
    DrawPaletteStrip(*s);
    benchmark::DoNotOptimize(s->strip.pixels());
  }
}
BENCHMARK(BM_PaletteStrip)->Unit(benchmark::kMillisecond);

// One call of style N on a fresh background, as a pass would make it.
void BM_Style(benchmark::State& st) {
  const int k = static_cast<int>(st.range(0));
  auto s = Prepared();
  s->canvas.SetBackground(s->strip.ColourAt(10, 300));
  StyleContext styles = StyleContextOf(*s);
  for (auto _ : st) {
    kStyles[k - 1].draw(styles);
    benchmark::DoNotOptimize(s->canvas.pixels());
  }
  st.SetLabel(kStyles[k - 1].name);
}
BENCHMARK(BM_Style)->DenseRange(1, kStyleCount)->Unit(benchmark::kMillisecond);

// The displacement effect under each rule, in "line" and "pix" mode.
void BM_DisplacementEffect(benchmark::State& st) {
  const int rule = static_cast<int>(st.range(0));
  auto s = Prepared(static_cast<std::int16_t>(st.range(1)));
  MakeCard(*s);
  s->pass.rule = rule;
  s->left.offset_mode = 1;
  for (auto _ : st) {
    ApplyDisplacementEffect(*s);
    benchmark::DoNotOptimize(s->card.pixels());
  }
  st.SetLabel(st.range(1) == 1 ? "line" : "pix");
}
BENCHMARK(BM_DisplacementEffect)
    ->ArgsProduct({benchmark::CreateDenseRange(1, 13, 1), {1}})
    ->Args({2, 2})
    ->Args({3, 2})
    ->Unit(benchmark::kMillisecond);

// The effect (rule 11, "line") on each vector level; a level the processor
// lacks is reported, not run.
void BM_EffectOnLevel(benchmark::State& st) {
  const SimdLevel level = kSimdLevels[st.range(0)];
  st.SetLabel(LevelName(level));
  if (!LevelAvailable(level)) return st.SkipWithError("the processor lacks this level");
  auto s = Prepared();
  MakeCard(*s);
  s->pass.rule = 11;
  for (auto _ : st) {
    static_cast<void>(ApplyDisplacementEffect({s->canvas, s->effect_source, s->card}, s->pass, 1, s->settings,
                                              s->carry, s->rng, s->host, s->effect_buffers, level));
    benchmark::DoNotOptimize(s->card.pixels());
  }
}
BENCHMARK(BM_EffectOnLevel)->DenseRange(0, std::size(kSimdLevels) - 1)->Unit(benchmark::kMillisecond);

// The whole card as "new" makes it, with the effect on each vector level.
void BM_WholeCardOnLevel(benchmark::State& st) {
  const SimdLevel level = kSimdLevels[st.range(0)];
  st.SetLabel(LevelName(level));
  if (!LevelAvailable(level)) return st.SkipWithError("the processor lacks this level");
  auto s = std::make_unique<State>();
  s->settings.effect_mode = 1;
  for (auto _ : st) {
    SetNamesAndSeed(*s, "Mary", "Bob");
    DrawPaletteStrip(*s);
    MakeImageName(*s);
    RunGenerationPass(*s);
    static_cast<void>(ApplyDisplacementEffect({s->canvas, s->effect_source, s->card}, s->pass, s->left.offset_mode,
                                              s->settings, s->carry, s->rng, s->host, s->effect_buffers, level));
    DrawOrnamentTree(s->card, s->canvas, s->pass, s->settings, s->rng, s->host);
    DrawCardText(s->fonts, s->card, s->names);
    benchmark::DoNotOptimize(s->card.pixels());
  }
}
BENCHMARK(BM_WholeCardOnLevel)->DenseRange(0, std::size(kSimdLevels) - 1)->Unit(benchmark::kMillisecond);

void BM_OrnamentTree(benchmark::State& st) {
  auto s = Prepared();
  MakeCard(*s);
  for (auto _ : st) {
    DrawOrnamentTree(s->card, s->canvas, s->pass, s->settings, s->rng, s->host);
    benchmark::DoNotOptimize(s->card.pixels());
  }
}
BENCHMARK(BM_OrnamentTree)->Unit(benchmark::kMillisecond);

// The whole card as "new" makes it: seed, strip, pass, effect, tree, greeting.
void BM_WholeCard(benchmark::State& st) {
  auto s = std::make_unique<State>();
  s->settings.effect_mode = static_cast<std::int16_t>(st.range(0));
  for (auto _ : st) {
    SetNamesAndSeed(*s, "Mary", "Bob");
    DrawPaletteStrip(*s);
    MakeCard(*s);
    benchmark::DoNotOptimize(s->card.pixels());
  }
  st.SetLabel(st.range(0) == 1 ? "line" : "pix");
}
BENCHMARK(BM_WholeCard)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_EncodeBmp(benchmark::State& st) {
  auto s = Prepared();
  for (auto _ : st) benchmark::DoNotOptimize(EncodeBmp(s->card.image()));
}
BENCHMARK(BM_EncodeBmp)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelune
