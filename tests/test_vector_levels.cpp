// Every vector level against the scalar reference, which works each position in
// turn: every rule, each offset mode (and a value a style may leave there),
// "line" and "pix", cards (after the effect and whole), colour stores and carries
// equal byte for byte; and each level's kernels where lanes could part from it.
// The output names each level run, and each one skipped because the processor lacks it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <string>
#include <vector>

#include "card/card.h"
#include "effects/displacement_kernels.h"
#include "effects/effects.h"
#include "test_util.h"

namespace mirelune {
namespace {

struct Case {
  int rule;
  double offset_mode;
  EffectMode mode;
  double distance1 = 310;  // the carry's first distance (mode 2 adds a tenth of it)
};

// One rule's row of the matrix.
std::vector<Case> Matrix(int rule) {
  std::vector<Case> cases;
  for (double mode : {1.0, 2.0, 3.0, 17.0}) cases.push_back({rule, mode, EffectMode::kLine});
#if defined(__SANITIZE_ADDRESS__)
  const bool pix = rule % 4 == 1;  // the sanitizers make a sweep slow: fewer "pix" cases
#else
  const bool pix = true;
#endif
  if (pix) cases.push_back({rule, double(rule % 3 + 1), EffectMode::kPix});
  // A carried distance so far that the sums leave the lanes' quick rounding.
  if (rule == 2) cases.push_back({2, 2, EffectMode::kLine, 1e17});
  return cases;
}

// What one run of the effect leaves.
struct Outcome {
  bool ran;
  std::string message;
  Image canvas, card;
  PixelBuffer store;
  EffectCarry carried;  // the distances
  std::uint64_t draws, generator;
  Image whole_card;  // after the tree and the greeting
};

// The Mary/Bob card's canvas after its pass, with the generator and parameters there.
struct Base {
  Generator rng;
  Surface canvas = NewCanvas();
  EffectParameters effect;
  Base() {
    SeedGenerator(rng, SeedFromNames("Mary", "Bob"));
    Surface strip = NewStrip();
    DrawPaletteStrip(strip, 0, rng);
    Fonts fonts(FontFolder());
    effect = RunGenerationPass(canvas, strip, 15, rng, fonts).effect;
  }
};

// The effect reads only the picture it is given: the vector levels run on a
// canvas scribbled over first, which the first sweep must repaint everywhere.
Outcome RunEffect(const Base& base, const Case& c, SimdLevel level) {
  auto canvas = std::make_unique<Surface>(base.canvas), card = std::make_unique<Surface>(NewCanvas());
  if (level != SimdLevel::kScalar && LevelAvailable(level)) canvas->SetBackground(0xABCDEF);
  auto buffers = std::make_unique<EffectBuffers>();
  Generator rng = base.rng;
  EffectParameters effect = base.effect;
  effect.rule = c.rule;
  EffectCarry carry{{c.distance1, 77, 5}};
  const Result<> r = ApplyDisplacementEffect({base.canvas.image(), *canvas, *card}, effect, c.offset_mode, c.mode, carry,
                                             rng, *buffers, {}, level);
  Outcome out{r.ok, r.message, canvas->image(), card->image(), buffers->colour_store, carry, rng.draws(), rng.state(), {}};
  if (r.ok) {  // the rest of the card: the tree and the greeting
    DrawOrnamentTree(*card, *canvas, effect, rng);
    Fonts fonts(FontFolder());
    DrawGreeting(*card, {"Mary", "Bob", 2017, ""}, fonts);
    out.whole_card = card->image();
  }
  return out;
}

class VectorLevels : public ::testing::TestWithParam<int> {};

TEST_P(VectorLevels, EveryLevelPaintsWhatTheScalarReferencePaints) {
  const Base base;
  std::vector<SimdLevel> levels;
  for (SimdLevel level : kSimdLevels)
    if (level != SimdLevel::kScalar && LevelAvailable(level)) levels.push_back(level);
  const std::vector<Case> cases = Matrix(GetParam());
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "rule " << c.rule << " offset mode " << c.offset_mode << " effect mode "
                                      << (c.mode == EffectMode::kPix ? "pix" : "line") << " distance " << c.distance1);
    const Outcome scalar = RunEffect(base, c, SimdLevel::kScalar);
    ASSERT_TRUE(scalar.ran);
    // Rule 3 draws six factors per position, twice over the canvas; the others only the vectors.
    const std::uint64_t own = 12 + (c.rule == 3 ? 2u * 6 * 901 * 676 : 0);
    if (c.mode == EffectMode::kLine) { EXPECT_EQ(scalar.draws - base.rng.draws(), own); }
    for (SimdLevel level : levels) {
      const Outcome lanes = RunEffect(base, c, level);
      SCOPED_TRACE(LevelName(level));
      ASSERT_TRUE(lanes.ran);
      EXPECT_TRUE(lanes.canvas == scalar.canvas);
      EXPECT_TRUE(lanes.card == scalar.card);
      EXPECT_TRUE(lanes.whole_card == scalar.whole_card);
      EXPECT_EQ(lanes.store, scalar.store);
      EXPECT_EQ(lanes.carried.distances, scalar.carried.distances);
      EXPECT_EQ(std::pair(lanes.draws, lanes.generator), std::pair(scalar.draws, scalar.generator));
    }
  }
  for (SimdLevel level : levels)
    std::printf("%s: rule %d, %zu cases, each equal to scalar\n", LevelName(level), GetParam(), cases.size());
}

INSTANTIATE_TEST_SUITE_P(EveryRule, VectorLevels, ::testing::Range(1, 14),
                         [](const ::testing::TestParamInfo<int>& info) { return "Rule" + std::to_string(info.param); });

// Each level's kernels against the scalar ones, bit for bit, on lines whose
// lengths leave tails and on values where lanes could part: halves, signed zeros,
// the fold's edges, sums beyond 2^51, infinities, NaN.
class LevelKernels : public ::testing::TestWithParam<SimdLevel> {};

TEST_P(LevelKernels, GiveTheScalarKernelsBits) {
  const SimdLevel level = GetParam();
  if (!LevelAvailable(level)) GTEST_SKIP() << LevelName(level) << ": the processor lacks it";
  const displacement::EffectKernels* lanes =  // built wherever the processor offers the level
      level == SimdLevel::kAvx2 ? displacement::Avx2Kernels() : displacement::Avx512Kernels();
  const displacement::EffectKernels scalar = displacement::ScalarKernels();
  const double odd[] = {0.0, -0.0, 0.5, -0.5, 2.5, -3.5, 4.5, 5, 894.5, 895.5, 670.5, 1e17, -1e17,
                        0x1p51, -0x1p51 - 1, 0x1p52 + 1, INFINITY, -INFINITY, NAN, 3e-300, 123.25, -77.75};
  constexpr int kOdd = std::size(odd);
  auto a = std::make_unique<displacement::LineAngles>();
  for (int k = 0; k < displacement::kLine; ++k) {
    for (int m = 0; m < 3; ++m) {
      a->len[m][k] = odd[(7 * k + m) % kOdd];
      a->c[m][k] = k % 3 ? 1.0 : -0.5, a->s[m][k] = (k + m) % 5 ? 0.25 : -1.0;
      a->d[m][k] = odd[(5 * k + 3 * m) % kOdd];
      a->angle[m][k] = odd[(3 * k + m) % kOdd] / 7;
    }
    for (int p = 6 * k; p < 6 * k + 6; ++p) a->draws[p] = Generator::Draw24(12345, static_cast<std::uint64_t>(p));
  }
  auto b = std::make_unique<displacement::LineAngles>(*a);
  const struct { int n; double i0, j0, di, dj; } lines[] = {{676, 33, 0, 0, 1}, {901, 0, 12, 1, 0}, {13, 5, 7, 1, 0}};
  for (int mode : {1, 2, 3})
    for (const auto& l : lines) {
      scalar.sources(mode, *a, 0, l.n, l.i0, l.j0, l.di, l.dj);
      lanes->sources(mode, *b, 0, l.n, l.i0, l.j0, l.di, l.dj);
      EXPECT_TRUE(!std::memcmp(a->si, b->si, sizeof a->si) && !std::memcmp(a->sj, b->sj, sizeof a->sj))
          << "mode " << mode << ", " << l.n << " positions";
    }
  for (int m = 0; m < 3; ++m) {  // rule 3's factors and rule 1's arguments, each count leaving a tail
    scalar.ratios(a->draws, a->q, 3 * 901 - 5 * m);
    lanes->ratios(b->draws, b->q, 3 * 901 - 5 * m);
    scalar.wavy(a->angle[m], m, 0, 901 - m, 4, 9, m, 1 - m, a->arg);
    lanes->wavy(b->angle[m], m, 0, 901 - m, 4, 9, m, 1 - m, b->arg);
    EXPECT_TRUE(!std::memcmp(a->q, b->q, sizeof a->q) && !std::memcmp(a->arg, b->arg, sizeof a->arg)) << "vector " << m;
  }
}

// The reveal's skim: on maps from empty to full, runs ending at every lane and
// counts leaving tails, each level stops where the scalar kernel does, and that
// is at the first attempt whose position is clear.
TEST_P(LevelKernels, StopTheRevealsSkimWhereTheScalarKernelDoes) {
  const SimdLevel level = GetParam();
  if (!LevelAvailable(level)) GTEST_SKIP() << LevelName(level) << ": the processor lacks it";
  const displacement::EffectKernels* lanes =
      level == SimdLevel::kAvx2 ? displacement::Avx2Kernels() : displacement::Avx512Kernels();
  constexpr std::uint32_t kW = 900, kH = 675, kStride = 901;
  std::vector<std::uint32_t> draws(2 * 1024);
  for (std::size_t p = 0; p < draws.size(); ++p) draws[p] = Generator::Draw24(777, p);
  const auto position = [&](std::size_t k) {
    return ((std::uint64_t{kH} * draws[2 * k + 1]) >> 24) * kStride + ((std::uint64_t{kW} * draws[2 * k]) >> 24);
  };
  std::vector<std::uint64_t> marks((std::size_t{kStride} * 676 + 63) / 64);
  const auto marked = [&](std::uint64_t at) { return (marks[at >> 6] >> (at & 63)) & 1; };
  int cases = 0;
  for (int clear_every : {1, 2, 50, 1000, 0}) {  // 0: every position marked
    for (std::size_t stop : {0, 1, 7, 8, 9, 15, 500, 1023}) {
      Generator g;
      g.FoldIn(clear_every * 1000.0 + stop);
      for (std::uint64_t& word : marks) word = ~std::uint64_t{0};
      for (std::size_t at = 0; at < marks.size() * 64; ++at)
        if (clear_every && g.Next24() % clear_every == 0) marks[at >> 6] &= ~(std::uint64_t{1} << (at & 63));
      for (std::size_t k = 0; k < stop; ++k) marks[position(k) >> 6] |= std::uint64_t{1} << (position(k) & 63);
      if (clear_every) marks[position(stop) >> 6] &= ~(std::uint64_t{1} << (position(stop) & 63));
      for (std::size_t attempts : {std::size_t{1024}, std::size_t{1021}, std::min<std::size_t>(stop + 3, 1024), std::size_t{0}}) {
        const std::size_t want = displacement::ScalarKernels().marked_run(draws.data(), attempts, marks.data(), kW, kH, kStride);
        EXPECT_EQ(lanes->marked_run(draws.data(), attempts, marks.data(), kW, kH, kStride), want)
            << "1 in " << clear_every << " clear, run to " << stop << ", " << attempts << " attempts";
        for (std::size_t k = 0; k < want; ++k) ASSERT_TRUE(marked(position(k))) << k;
        if (want < attempts) {
          EXPECT_FALSE(marked(position(want)));
        }
        if (clear_every == 0) {
          EXPECT_EQ(want, attempts);
        }
        ++cases;
      }
    }
  }
  std::printf("%s: %d skims, each stopping where the scalar one does\n", LevelName(level), cases);
}

INSTANTIATE_TEST_SUITE_P(EachVectorLevel, LevelKernels, ::testing::Values(SimdLevel::kAvx2, SimdLevel::kAvx512),
                         [](const ::testing::TestParamInfo<SimdLevel>& info) {
                           return std::string(info.param == SimdLevel::kAvx2 ? "AVX2" : "AVX512"); });

// A level the processor lacks, or one outside the table, is refused by name and
// never run on a narrower level: nothing drawn, nothing drawn from the generator.
TEST(VectorLevelChoice, ALevelTheProcessorLacksOrAnUnknownOneIsRefused) {
  const Base f;
  std::vector<SimdLevel> refused = {static_cast<SimdLevel>(9)};
  for (SimdLevel level : kSimdLevels)
    if (!LevelAvailable(level)) refused.push_back(level), std::printf("%s: skipped, the processor lacks it\n", LevelName(level));
  for (SimdLevel level : refused) {
    const Outcome out = RunEffect(f, {1, 1, EffectMode::kLine}, level);
    EXPECT_FALSE(out.ran);
    EXPECT_NE(out.message.find(LevelName(level)), std::string::npos) << out.message;
    EXPECT_EQ(std::pair(out.draws, out.generator), std::pair(f.rng.draws(), f.rng.state()));
    EXPECT_TRUE(out.canvas == f.canvas.image());
  }
}

TEST(VectorLevelChoice, APictureOfAnotherSizeThanTheCanvasIsRefused) {
  const Base f;
  Surface canvas = f.canvas, card = NewCanvas();
  const Image strip = NewStrip().image();
  EffectBuffers buffers;
  EffectCarry carry;
  Generator rng = f.rng;
  const Result<> r = ApplyDisplacementEffect({strip, canvas, card}, f.effect, 1, EffectMode::kLine, carry, rng,
                                             buffers, {}, SimdLevel::kScalar);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(std::pair(rng.draws(), rng.state()), std::pair(f.rng.draws(), f.rng.state()));
  EXPECT_TRUE(canvas.image() == f.canvas.image());
}

}  // namespace
}  // namespace mirelune
