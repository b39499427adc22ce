// The generation pass, the displacement effect and the ornament tree: what the
// golden digests cannot explain. Draw counts and orders are replayed from a copy
// of the generator; single pixels of the effect pin where a position is folded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "card/card.h"
#include "effects/effects.h"
#include "test_util.h"

namespace mirelune {
namespace {

// The pass's own draws: the background row, one unused, seven divisors, six
// anchors, 23 per attempt at choosing styles, the rule, the offset mode.
struct PassReplay {
  int attempts = 0;
  double rule = 0, offset_mode = 0, background_row = 0;
  std::array<int, kStyleCount> flags{};
  explicit PassReplay(Generator g, double max_styles) {
    background_row = Floor(g.Uniform() * 600 + 1);
    for (int k = 0; k < 14; ++k) g.Uniform();
    int chosen;
    do {
      ++attempts;
      chosen = 0;
      for (int& fl : flags) chosen += fl = static_cast<int>(Floor(g.Uniform() * 2));
    } while (!(chosen >= 1 && chosen <= max_styles));
    rule = Floor(g.Uniform() * 13 + 1);
    offset_mode = Floor(g.Uniform() * 3 + 1);
  }
};

TEST(GenerationPass, DrawsItsParametersInOrderAndEachStageCounts) {
  for (int max_styles : {15, 3}) {
    SCOPED_TRACE(max_styles);
    Generator g;
    SeedGenerator(g, SeedFromNames("Mary", "Bob"));
    const PassReplay replay([&] {  // where the pass starts: after the strip
      Generator at = g;
      Surface strip = NewStrip();
      DrawPaletteStrip(strip, 0, at);
      return at;
    }(), max_styles);
    std::vector<ProgressMark::Kind> marks;
    std::vector<int> percents;
    const Card made = MakeCard({"Mary", "Bob", 2017, "", max_styles}, {{}, [&](const ProgressMark& m) {
                                        marks.push_back(m.kind), percents.push_back(m.percent);
                                      }});
    const CardStats& st = made.stats;
    EXPECT_EQ(st.strip, 401u);
    EXPECT_EQ(st.pass, 15u + 23u * replay.attempts + 2u);
    EXPECT_EQ(st.flags, replay.flags);
    EXPECT_EQ(std::vector({st.background_row, double(st.rule), st.offset_mode}),
              std::vector({replay.background_row, replay.rule, replay.offset_mode}));
    EXPECT_EQ(st.passes, max_styles / st.styles_chosen + 1);
    EXPECT_EQ(st.effect, st.rule == 3 ? 12u + 6u * 2 * 901 * 676 : 12u);
    EXPECT_EQ(st.total, 401u + st.pass + st.styles + st.effect + st.ornaments);
    // Progress: the strip, the background, one mark per pass, every 30th column of the first sweep, every 45th row
    // of the second, every 50th bauble, done; never backwards.
    std::vector<ProgressMark::Kind> want{ProgressMark::kStrip, ProgressMark::kStart};
    want.insert(want.end(), static_cast<std::size_t>(st.passes), ProgressMark::kPass);
    want.insert(want.end(), 31, ProgressMark::kColumns);
    want.insert(want.end(), 15, ProgressMark::kRows);
    want.insert(want.end(), 8, ProgressMark::kBaubles);
    want.push_back(ProgressMark::kDone);
    EXPECT_EQ(marks, want);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
  }
}

// A single position's inputs: rule f, offset mode d, one vector of length r1 at
// `angle` after the first turn, and a pattern on the effect's source.
struct PixelInputs {
  EffectParameters pass;
  TurningVectors vectors{{0, -0.001, -0.001}, {0.001, 0.001, 0.001}, {0, 0, 0}};
  EffectCarry carry{{45, 79, 20}};  // Floor(45 / 10) = 4
  Surface source{kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH};
  Generator rng;
  double d;
  PixelInputs(int f, double d, double r1, double angle) : d(d) {
    pass.rule = f;
    vectors.angle[0] = angle - 0.001, vectors.length[0] = r1;
    for (int y = 0; y < 671; ++y)
      for (int x = 0; x < 896; ++x) source.set_pixel(x, y, static_cast<std::uint32_t>(RGB(x % 256, y % 256, x / 256)));
  }
  DisplacedPosition At(double x, double y) { return DisplacePixel(source, pass, d, vectors, carry, rng, x, y); }
};

TEST(DisplacePixel, MovesByTheVectorsAddsTheOffsetsAndFoldsAtTheEdges) {
  const struct { double i, j, r1, angle, mode; double id, jd; } cases[] = {
      {100, 100, 10, 0, 1, 110, 100},             // straight right
      {100, 100, 10, M_PI / 2, 1, 100, 110},      // straight down
      {2, 50, 5, M_PI, 1, 8, 50},                 // -3 is reflected to 8
      {4, 50, 0, 0, 1, 9, 50},                    // 4 is below 5: reflected to 9
      {5, 50, 0, 0, 1, 5, 50},                    // 5 stays
      {890, 50, 10, 0, 1, 890, 50},               // 900 is mirrored to 890
      {895, 50, 0, 0, 1, 895, 50},                // 895 stays
      {50, 668, 10, M_PI / 2, 1, 50, 662},        // 678 is mirrored to 662
      {50, 3, 10, -M_PI / 2, 1, 50, 12},          // -7 reflected to 12
      {100, 100, 10, 0, 2, 110 + 4, 100 + 7},     // d1 / 10 across, d2 / 10 down
      {100, 100, 10, 0, 3, 110 + 7, 100 + 2},     // d2 / 10 across, d3 / 10 down
      {100, 100, 10, 0, 5, 110, 100},             // any other mode adds nothing
  };
  for (const auto& c : cases) {
    PixelInputs in(2, c.mode, c.r1, c.angle);
    const DisplacedPosition p = in.At(c.i, c.j);
    EXPECT_EQ(std::pair(p.source_x, p.source_y), std::pair(c.id, c.jd)) << c.i << "," << c.j << " mode " << c.mode;
    EXPECT_EQ(p.colour, in.source.ColourAt(c.id, c.jd));
  }
  PixelInputs in(5, 1, 10, 0);
  in.vectors.length[1] = 1, in.vectors.angle[1] = M_PI / 2 - 0.001;
  in.pass.divisors[0] = 0, in.pass.divisors[1] = 4, in.pass.divisors[2] = 1;  // the first vector would divide by zero: it vanishes
  // Unit row 200 is pixel row 199, whose green on the pattern is 199.
  const DisplacedPosition p = in.At(300, 200);
  EXPECT_EQ(std::pair(p.source_x, p.source_y), std::pair(300.0, 250.0));  // 200 + 199 / 4
}

TEST(OrnamentTree, FourHundredBaublesInsideTheTriangle) {
  Surface canvas = NewCanvas(), card = NewCanvas();
  canvas.SetBackground(0);  // black samples: dim grey centres, black rims
  card.SetBackground(0x00FF00);
  Generator rng;
  rng.FoldIn(11);
  EffectParameters effect;
  // Replay: H, M, then per bauble its tries and its sampled point.
  Generator g = rng;
  const float h = static_cast<float>(g.Uniform()) * 40.0f + 70.0f;
  const double H = h, T = 675 - H, S = T / 2, M = Floor(g.Uniform() * 200 + 600);
  std::uint64_t expected = 2;
  double last_i = 0, last_j = 0;
  for (int n = 0; n < 400; ++n) {
    do {
      last_i = (M - S / 2) + g.Uniform() * S;
      last_j = (675 - T) + g.Uniform() * T;
      expected += 2;
    } while (!(std::fabs(last_i - M) <= (last_j - H) / 4));
    g.Uniform(), g.Uniform();
    expected += 2;
  }
  const auto before = rng.draws();
  DrawOrnamentTree(card, canvas, effect, rng);
  EXPECT_EQ(rng.draws() - before, expected);
  // The triangle's corners are the anchors "def +" runs the effect with.
  EXPECT_EQ(std::vector({effect.anchors[0].x, effect.anchors[1].x, effect.anchors[0].y}),
            std::vector({M - S / 2, M + S / 2, 675 - T}));
  // The last bauble: a grey centre of 62..66 and black from radius 17 out.
  const Colour centre = card.ColourAt(last_i, last_j);
  EXPECT_TRUE(centre == RGB(66, 66, 66) || centre == RGB(62, 62, 62)) << std::hex << centre;
  EXPECT_EQ(card.ColourAt(last_i, last_j - 22), 0);
}

}  // namespace
}  // namespace mirelune
