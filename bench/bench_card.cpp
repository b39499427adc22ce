// Benchmarks of the card engine, one thread. Run: build/bench/mirelune-bench
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "card/card.h"
#include "card/frames.h"
#include "files/animation.h"
#include "effects/effects.h"
#include "files/files.h"
#include "palette/palette.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

// The Mary/Bob card up to its strip, and after its pass.
struct Prepared {
  Generator rng;
  Surface strip = NewStrip(), canvas = NewCanvas(), card = NewCanvas();
  EffectParameters effect;
  Image picture;  // the canvas after the pass: what the effect reads
  EffectBuffers buffers;
  EffectCarry distances;
  Fonts fonts{FontFolder()};
  Prepared() {
    SeedGenerator(rng, SeedFromNames("Mary", "Bob"));
    DrawPaletteStrip(strip, 0, rng);
  }
  void Pass() {
    effect = RunGenerationPass(canvas, strip, 15, rng, fonts).effect;
    picture = canvas.Snapshot();
  }
};

void BM_PaletteStrip(benchmark::State& st) {
  Prepared p;
  for (auto _ : st) {
    DrawPaletteStrip(p.strip, 0, p.rng);
    benchmark::DoNotOptimize(p.strip.pixels());
  }
}
BENCHMARK(BM_PaletteStrip)->Unit(benchmark::kMillisecond);

// One call of style N on a fresh background, as a pass would make it.
void BM_Style(benchmark::State& st) {
  const int k = static_cast<int>(st.range(0));
  Prepared p;
  p.canvas.SetBackground(p.strip.ColourAt(10, 300));
  double offset_mode = 1;
  StyleContext styles{p.canvas, p.strip, p.rng, kCanvasUnitsW, kCanvasUnitsH, offset_mode, p.fonts};
  for (auto _ : st) {
    kStyles[k - 1].draw(styles);
    benchmark::DoNotOptimize(p.canvas.pixels());
  }
  st.SetLabel(kStyles[k - 1].name);
}
BENCHMARK(BM_Style)->DenseRange(1, kStyleCount)->Unit(benchmark::kMillisecond);

// The displacement effect under each rule, in "line" and "pix" mode, on each
// vector level; a level the processor lacks is reported, not run.
void BM_DisplacementEffect(benchmark::State& st) {
  const int rule = static_cast<int>(st.range(0));
  const EffectMode mode = st.range(1) == 1 ? EffectMode::kLine : EffectMode::kPix;
  const SimdLevel level = kSimdLevels[st.range(2)];
  st.SetLabel(std::string(mode == EffectMode::kLine ? "line " : "pix ") + LevelName(level));
  if (!LevelAvailable(level)) return st.SkipWithError("the processor lacks this level");
  auto p = std::make_unique<Prepared>();
  p->Pass();
  p->effect.rule = rule;
  for (auto _ : st) {
    static_cast<void>(ApplyDisplacementEffect({p->picture, p->canvas, p->card}, p->effect, 1, mode,
                                              p->distances, p->rng, p->buffers, {}, level));
    benchmark::DoNotOptimize(p->card.pixels());
  }
}
BENCHMARK(BM_DisplacementEffect)
    ->ArgsProduct({benchmark::CreateDenseRange(1, 13, 1), {1}, {static_cast<long>(BestSimdLevel())}})
    ->Args({2, 2, static_cast<long>(BestSimdLevel())})
    ->Args({3, 2, static_cast<long>(BestSimdLevel())})
    ->Unit(benchmark::kMillisecond);

// The effect (rule 11, "line") on each vector level; a level the processor
// lacks is reported, not run.
void BM_EffectOnLevel(benchmark::State& st, SimdLevel level) {
  st.SetLabel(LevelName(level));
  if (!LevelAvailable(level)) return st.SkipWithError("the processor lacks this level");
  auto p = std::make_unique<Prepared>();
  p->Pass();
  p->effect.rule = 11;
  for (auto _ : st) {
    static_cast<void>(ApplyDisplacementEffect({p->picture, p->canvas, p->card}, p->effect, 1,
                                              EffectMode::kLine, p->distances, p->rng, p->buffers, {}, level));
    benchmark::DoNotOptimize(p->card.pixels());
  }
}

// The whole card as "new" makes it, with the effect on each vector level.
void BM_WholeCardOnLevel(benchmark::State& st, SimdLevel level) {
  st.SetLabel(LevelName(level));
  if (!LevelAvailable(level)) return st.SkipWithError("the processor lacks this level");
  for (auto _ : st) {
    auto p = std::make_unique<Prepared>();
    p->Pass();
    static_cast<void>(ApplyDisplacementEffect({p->picture, p->canvas, p->card}, p->effect, 1,
                                              EffectMode::kLine, p->distances, p->rng, p->buffers, {}, level));
    DrawOrnamentTree(p->card, p->canvas, p->effect, p->rng);
    DrawGreeting(p->card, {"Mary", "Bob", 2017, ""}, p->fonts);
    benchmark::DoNotOptimize(p->card.pixels());
  }
}

// Both per level, named after it: BM_EffectOnLevel/AVX2 and so on.
const bool kLevelBenchmarks = [] {
  for (SimdLevel level : kSimdLevels) {
    const std::string name = std::string("/") + LevelName(level);
    benchmark::RegisterBenchmark(("BM_EffectOnLevel" + name).c_str(), BM_EffectOnLevel, level)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_WholeCardOnLevel" + name).c_str(), BM_WholeCardOnLevel, level)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

void BM_OrnamentTree(benchmark::State& st) {
  Prepared p;
  p.Pass();
  for (auto _ : st) {
    DrawOrnamentTree(p.card, p.canvas, p.effect, p.rng);
    benchmark::DoNotOptimize(p.card.pixels());
  }
}
BENCHMARK(BM_OrnamentTree)->Unit(benchmark::kMillisecond);

// The whole card as every front end makes it: MakeCard from its spec.
void BM_WholeCard(benchmark::State& st) {
  const CardSpec spec{"Mary", "Bob", 2017, "", 15, 0, st.range(0) == 1 ? EffectMode::kLine : EffectMode::kPix};
  for (auto _ : st) {
    const Card r = MakeCard(spec);
    benchmark::DoNotOptimize(r.card.image().pixels.data());
  }
  st.SetLabel(st.range(0) == 1 ? "line" : "pix");
}
BENCHMARK(BM_WholeCard)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The card drawn larger for print, against the card itself (scale 1).
void BM_CardAtScale(benchmark::State& st) {
  CardSpec spec{"Mary", "Bob"};
  spec.scale = static_cast<int>(st.range(0));
  Fonts fonts(FontFolder());
  for (auto _ : st) {
    const Card r = MakeCard(spec, {}, fonts);
    benchmark::DoNotOptimize(r.card.image().pixels.data());
  }
}
BENCHMARK(BM_CardAtScale)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

// The card painting itself: made once with its frames taken, then encoded at
// the default width (GIF, WebP).
void BM_AnimatedCard(benchmark::State& st) {
  const CardSpec spec{"Mary", "Bob"};
  const AnimationFormat format = st.range(0) == 0 ? AnimationFormat::kGif : AnimationFormat::kWebp;
  Fonts fonts(FontFolder());
  for (auto _ : st) {
    RecordedCard r = RecordCard(spec, {}, fonts);
    benchmark::DoNotOptimize(EncodeAnimation(r.animation, format));
  }
  st.SetLabel(st.range(0) == 0 ? "gif" : "webp");
}
BENCHMARK(BM_AnimatedCard)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_EncodeBmp(benchmark::State& st) {
  Prepared p;
  for (auto _ : st) benchmark::DoNotOptimize(EncodeBmp(p.card.image()));
}
BENCHMARK(BM_EncodeBmp)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelune
