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

using testing::Fixture;

struct Case {
  double rule, offset_mode;
  std::int16_t effect_mode;   // 1 "line", 2 "pix"
  double distance1 = 310;     // the carry's first distance (mode 2 adds a tenth of it)
  double brightness_step = 0;
};

// One rule's row of the matrix.
std::vector<Case> Matrix(int rule) {
  std::vector<Case> cases;
  for (double mode : {1.0, 2.0, 3.0, 17.0}) cases.push_back({double(rule), mode, 1});
#if defined(__SANITIZE_ADDRESS__)
  const bool pix = rule % 4 == 1;  // the sanitizers make a sweep slow: fewer "pix" cases
#else
  const bool pix = true;
#endif
  if (pix) cases.push_back({double(rule), double(rule % 3 + 1), 2});
  // A drifting brightness, and a carried distance so far that the sums leave the lanes' quick rounding.
  if (rule == 7) cases.push_back({7, 1, 1, 310, 0.37});
  if (rule == 2) cases.push_back({2, 2, 1, 1e17});
  return cases;
}

// What one run of the effect leaves.
struct Outcome {
  bool ran;
  std::string message;
  Image canvas, card;
  PixelBuffer store;
  std::vector<double> carried;  // the distances, the brightness
  std::uint64_t draws, generator;
};

Outcome RunEffect(const State& base, const Case& c, SimdLevel level) {
  auto s = std::make_unique<State>();  // a state is not copied whole: its faces are its own
  s->canvas = base.canvas, s->effect_source = base.effect_source, s->card = base.card, s->pass = base.pass;
  s->settings = base.settings, s->rng = base.rng, s->effect_buffers = base.effect_buffers;
  s->pass.rule = c.rule;
  s->settings.effect_mode = c.effect_mode;
  s->settings.brightness_step = c.brightness_step;
  s->carry = {c.distance1, 77, 5};
  const Result<> r = ApplyDisplacementEffect({s->canvas, s->effect_source, s->card}, s->pass, c.offset_mode,
                                           s->settings, s->carry, s->rng, nullptr, s->effect_buffers, level);
  return {r.ok, r.message, s->canvas.image(), s->card.image(), s->effect_buffers.colour_store,
          {s->carry.distance1, s->carry.distance2, s->carry.distance3, s->settings.brightness},
          s->rng.draws(), s->rng.state()};
}

class VectorLevels : public ::testing::TestWithParam<int> {};

TEST_P(VectorLevels, EveryLevelPaintsWhatTheScalarReferencePaints) {
  Fixture base;
  SetNamesAndSeed(*base, "Mary", "Bob");
  RunGenerationPass(*base);
  std::vector<SimdLevel> levels;
  for (SimdLevel level : kSimdLevels) {
    if (level == SimdLevel::kScalar) continue;
    if (LevelAvailable(level)) {
      levels.push_back(level);
    } else {
      std::printf("%s: skipped, the processor lacks it\n", LevelName(level));
      // Refused by name, never run on a narrower level: nothing drawn, nothing drawn from the generator.
      const Outcome refused = RunEffect(*base, {1, 1, 1}, level);
      EXPECT_FALSE(refused.ran);
      EXPECT_NE(refused.message.find(LevelName(level)), std::string::npos) << refused.message;
      EXPECT_EQ(refused.draws, base->rng.draws());
      EXPECT_TRUE(refused.canvas == base->canvas.image());
    }
  }
  const std::vector<Case> cases = Matrix(GetParam());
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "rule " << c.rule << " offset mode " << c.offset_mode << " effect mode "
                                      << c.effect_mode << " distance " << c.distance1);
    const Outcome scalar = RunEffect(*base, c, SimdLevel::kScalar);
    ASSERT_TRUE(scalar.ran);
    // Rule 3 draws six factors per position, twice over the canvas; the others only the vectors.
    const std::uint64_t own = 12 + (c.rule == 3 ? 2u * 6 * 901 * 676 : 0);
    if (c.effect_mode == 1) {
      EXPECT_EQ(scalar.draws - base->rng.draws(), own);
    }
    for (SimdLevel level : levels) {
      const Outcome lanes = RunEffect(*base, c, level);
      SCOPED_TRACE(LevelName(level));
      ASSERT_TRUE(lanes.ran);
      EXPECT_TRUE(lanes.canvas == scalar.canvas);
      EXPECT_TRUE(lanes.card == scalar.card);
      EXPECT_EQ(lanes.store, scalar.store);
      EXPECT_EQ(lanes.carried, scalar.carried);
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
  Fixture f;
  SetNamesAndSeed(*f, "Mary", "Bob");
  RunGenerationPass(*f);
  const Outcome out = RunEffect(*f, {1, 1, 1}, static_cast<SimdLevel>(9));
  EXPECT_FALSE(out.ran);
  EXPECT_EQ(std::pair(out.draws, out.generator), std::pair(f->rng.draws(), f->rng.state()));
  EXPECT_TRUE(out.canvas == f->canvas.image());
}

}  // namespace
}  // namespace mirelune
