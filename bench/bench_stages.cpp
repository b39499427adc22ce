// The stages of one card (Mary and Bob, "line") in the order MakeCard calls
// them, each timed alone on what the stage before it left: strip, pass, effect,
// ornaments, greeting, and the encodings of the finished card with its report.
// The sum of the stages is the whole card less its set-up.
#include <benchmark/benchmark.h>

#include <memory>

#include "card/card.h"
#include "commands/card_report.h"
#include "commands/export.h"
#include "effects/effects.h"
#include "files/files.h"
#include "palette/palette.h"

namespace mirelune {
namespace {

const CardSpec kSpec{"Mary", "Bob"};

// Every stage's input, made once: the generator as each stage finds it, the
// strip, the canvas after the pass, the card after the effect and the tree.
struct CardStages {
  Fonts fonts{FontFolder()};
  Generator at_strip, at_pass, at_effect, at_ornaments;
  Surface strip = NewStrip(), canvas = NewCanvas(), after_effect = NewCanvas(), finished = NewCanvas();
  PassOutput pass;
  Image plain;                   // the canvas after the pass
  EffectParameters before_tree;  // the tree moves its anchors
  EffectBuffers buffers;
  FaceDigests digests;
  PngText text;

  CardStages() {
    SeedGenerator(at_strip, SeedFromNames(kSpec.friend_name, kSpec.sender));
    Generator g = at_strip;
    DrawPaletteStrip(strip, kSpec.palette, g);
    at_pass = g;
    pass = RunGenerationPass(canvas, strip, kSpec.max_styles, g, fonts);
    plain = canvas.Snapshot();
    before_tree = pass.effect;
    at_effect = g;
    Effect(after_effect, g);
    at_ornaments = g;
    finished = after_effect;
    EffectParameters effect = before_tree;
    DrawOrnamentTree(finished, canvas, effect, g);
    DrawGreeting(finished, GreetingOf(kSpec), fonts);
    const CardStats stats{};  // the report's figures do not change its cost
    text = CardFileText(kSpec, CardReport(kSpec, 0, stats, fonts.TakeRecord().faces, digests));
  }
  void Effect(Surface& card, Generator& g) {
    EffectCarry distances;
    static_cast<void>(ApplyDisplacementEffect({plain, canvas, card}, before_tree, pass.effect_offset_mode,
                                              kSpec.mode, distances, g, buffers, {}, BestSimdLevel()));
  }
};

CardStages& Stages() {
  static const auto stages = std::make_unique<CardStages>();
  return *stages;
}

void BM_Stage1Strip(benchmark::State& st) {
  CardStages& s = Stages();
  Surface strip = NewStrip();
  for (auto _ : st) {
    Generator g = s.at_strip;
    DrawPaletteStrip(strip, kSpec.palette, g);
    benchmark::DoNotOptimize(strip.pixels());
  }
}
BENCHMARK(BM_Stage1Strip)->Unit(benchmark::kMillisecond);

// The pass with its own choice of styles; BM_Style times each style alone.
void BM_Stage2Pass(benchmark::State& st) {
  CardStages& s = Stages();
  Surface canvas = NewCanvas();
  for (auto _ : st) {
    Generator g = s.at_pass;
    benchmark::DoNotOptimize(RunGenerationPass(canvas, s.strip, kSpec.max_styles, g, s.fonts).draws);
  }
}
BENCHMARK(BM_Stage2Pass)->Unit(benchmark::kMillisecond);

void BM_Stage3Effect(benchmark::State& st) {
  CardStages& s = Stages();
  Surface card = NewCanvas();
  for (auto _ : st) {
    Generator g = s.at_effect;
    s.Effect(card, g);
    benchmark::DoNotOptimize(card.pixels());
  }
}
BENCHMARK(BM_Stage3Effect)->Unit(benchmark::kMillisecond);

// The tree draws on the card: each run starts from a copy of the card after
// the effect, which is timed too (a copy of the raster, about 0.2 ms).
void BM_Stage4Ornaments(benchmark::State& st) {
  CardStages& s = Stages();
  Surface card = NewCanvas();
  for (auto _ : st) {
    card = s.after_effect;  // same size: the storage is kept
    Generator g = s.at_ornaments;
    EffectParameters effect = s.before_tree;
    DrawOrnamentTree(card, s.canvas, effect, g);
    benchmark::DoNotOptimize(card.pixels());
  }
}
BENCHMARK(BM_Stage4Ornaments)->Unit(benchmark::kMillisecond);

// Over and over on the finished card: the same text costs the same again.
void BM_Stage5Greeting(benchmark::State& st) {
  CardStages& s = Stages();
  Surface card = NewCanvas();
  card = s.finished;
  for (auto _ : st) {
    DrawGreeting(card, GreetingOf(kSpec), s.fonts);
    benchmark::DoNotOptimize(card.pixels());
  }
  s.fonts.TakeRecord();
}
BENCHMARK(BM_Stage5Greeting)->Unit(benchmark::kMillisecond);

void BM_Stage6EncodePng(benchmark::State& st) {
  CardStages& s = Stages();
  std::size_t bytes = 0;
  for (auto _ : st) {
    const Result<Bytes> png = EncodePng(s.finished.image(), &s.text);
    bytes = png ? png->size() : 0;
    benchmark::DoNotOptimize(bytes);
  }
  st.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Stage6EncodePng)->Unit(benchmark::kMillisecond);

void BM_Stage6EncodeBmp(benchmark::State& st) {
  CardStages& s = Stages();
  for (auto _ : st) benchmark::DoNotOptimize(EncodeBmp(s.finished.image()));
}
BENCHMARK(BM_Stage6EncodeBmp)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelune
