// Every vector level against the scalar reference, which works each position in
// turn: every rule, each offset mode (and a value a style may leave there),
// "line" and "pix", cards, colour stores and carries equal byte for byte. The
// output names each level run, and each one skipped because the processor lacks it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "card/card.h"
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
    effect = RunGenerationPass(canvas, strip, 15, rng).effect;
  }
};

Outcome RunEffect(const Base& base, const Case& c, SimdLevel level) {
  auto canvas = std::make_unique<Surface>(base.canvas), card = std::make_unique<Surface>(NewCanvas());
  auto buffers = std::make_unique<EffectBuffers>();
  Generator rng = base.rng;
  EffectParameters effect = base.effect;
  effect.rule = c.rule;
  EffectCarry carry{{c.distance1, 77, 5}};
  const Result<> r = ApplyDisplacementEffect({*canvas, buffers->source, *card}, effect, c.offset_mode, c.mode, carry,
                                             rng, *buffers, {}, level);
  return {r.ok, r.message, canvas->image(), card->image(), buffers->colour_store, carry, rng.draws(), rng.state()};
}

class VectorLevels : public ::testing::TestWithParam<int> {};

TEST_P(VectorLevels, EveryLevelPaintsWhatTheScalarReferencePaints) {
  const Base base;
  std::vector<SimdLevel> levels;
  for (SimdLevel level : kSimdLevels) {
    if (level == SimdLevel::kScalar) continue;
    if (LevelAvailable(level)) {
      levels.push_back(level);
    } else {
      std::printf("%s: skipped, the processor lacks it\n", LevelName(level));
      // Refused by name, never run on a narrower level: nothing drawn, nothing drawn from the generator.
      const Outcome refused = RunEffect(base, {1, 1, EffectMode::kLine}, level);
      EXPECT_FALSE(refused.ran);
      EXPECT_NE(refused.message.find(LevelName(level)), std::string::npos) << refused.message;
      EXPECT_EQ(refused.draws, base.rng.draws());
      EXPECT_TRUE(refused.canvas == base.canvas.image());
    }
  }
  const std::vector<Case> cases = Matrix(GetParam());
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "rule " << c.rule << " offset mode " << c.offset_mode << " effect mode "
                                      << (c.mode == EffectMode::kPix ? "pix" : "line") << " distance " << c.distance1);
    const Outcome scalar = RunEffect(base, c, SimdLevel::kScalar);
    ASSERT_TRUE(scalar.ran);
    // Rule 3 draws six factors per position, twice over the canvas; the others only the vectors.
    const std::uint64_t own = 12 + (c.rule == 3 ? 2u * 6 * 901 * 676 : 0);
    if (c.mode == EffectMode::kLine) {
      EXPECT_EQ(scalar.draws - base.rng.draws(), own);
    }
    for (SimdLevel level : levels) {
      const Outcome lanes = RunEffect(base, c, level);
      SCOPED_TRACE(LevelName(level));
      ASSERT_TRUE(lanes.ran);
      EXPECT_TRUE(lanes.canvas == scalar.canvas);
      EXPECT_TRUE(lanes.card == scalar.card);
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

// A level outside the table is refused by name, and nothing is touched.
TEST(VectorLevelChoice, AnUnknownLevelIsRefused) {
  const Base base;
  const Outcome out = RunEffect(base, {1, 1, EffectMode::kLine}, static_cast<SimdLevel>(9));
  EXPECT_FALSE(out.ran);
  EXPECT_EQ(std::pair(out.draws, out.generator), std::pair(base.rng.draws(), base.rng.state()));
  EXPECT_TRUE(out.canvas == base.canvas.image());
}

}  // namespace
}  // namespace mirelune
