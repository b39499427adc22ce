// All 23 styles side by side: how many draws one call takes, what it leaves in the
// shared state and the drawing settings, and how it copes with far-off or corner
// positions. The draw count shapes everything drawn after a style, so it is exact.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "style_test_util.h"
#include "styles/styles.h"

namespace mirelune {
namespace {

using testing::FindState;
using testing::Fixture;
using testing::Prepare;
using testing::Untouched;

// Draws of two clusters whose size is drawn first: `head` draws each, then
// `per_unit` draws for every unit of the radius Int(Rnd * span + base).
std::uint64_t ClusterDraws(Generator g, double span, double base, int head, int per_unit) {
  std::uint64_t n = 0;
  for (int c = 0; c < 2; ++c) {
    const double rr = Int(g.Rnd() * span + base);
    for (int k = 1; k < head; ++k) g.Rnd();
    for (double k = 0; k < rr * per_unit; ++k) g.Rnd();
    n += head + static_cast<std::uint64_t>(rr) * per_unit;
  }
  return n;
}

enum class Fill { kKept, kBarva, kChanged };  // what a call does to FillColor

struct Style {
  int number;                 // 1-based, as in kStyles
  std::uint64_t draws;        // fixed count, or 0 when `counted` decides
  std::uint64_t (*counted)(Generator);
  bool sets_nn;               // leaves nn at 3 (two figures), else leaves it alone
  int fill_style;             // -1 kept, else the value it leaves
  Fill fill_colour;
  int centre_draw;            // index of the first figure's x draw (y is next)
};

std::uint64_t DotDiscs(Generator g) { return ClusterDraws(g, 40, 50, 4, 40); }
std::uint64_t SquareClusters(Generator g) { return ClusterDraws(g, 40, 70, 4, 4); }
std::uint64_t CrossStrokes(Generator g) { return ClusterDraws(g, 40, 50, 5, 20); }

const Style kTable[] = {
    {1, 6, nullptr, false, -1, Fill::kKept, 0},
    {2, 5408, nullptr, true, -1, Fill::kKept, 1},
    {3, 5, nullptr, false, 1, Fill::kKept, 2},
    {4, 8, nullptr, false, -1, Fill::kKept, 1},
    {5, 1608, nullptr, true, 0, Fill::kBarva, 1},
    {6, 606, nullptr, true, 1, Fill::kKept, 0},
    {7, 204, nullptr, false, -1, Fill::kKept, 0},
    {8, 8, nullptr, true, -1, Fill::kKept, 0},
    {9, 0, DotDiscs, true, 0, Fill::kBarva, 1},
    {10, 8, nullptr, true, -1, Fill::kKept, 2},
    {11, 10, nullptr, true, -1, Fill::kKept, 3},
    {12, 426, nullptr, true, -1, Fill::kKept, 1},
    {13, 0, SquareClusters, true, 0, Fill::kBarva, 1},
    {14, 0, CrossStrokes, true, -1, Fill::kKept, 1},
    {15, 12, nullptr, true, 0, Fill::kBarva, 2},
    {16, 2 * (4 + 30 * 1000 * 2), nullptr, true, 0, Fill::kBarva, 1},
    {17, 2 * (4 + 200 * 4), nullptr, true, -1, Fill::kKept, 1},
    {18, 2 * (4 + 20 * 3), nullptr, true, -1, Fill::kKept, 2},
    {19, 2 * (5 + 10 * 3), nullptr, true, 0, Fill::kChanged, 3},
    {20, 2 * (5 + 10 * 3), nullptr, true, 1, Fill::kKept, 3},
    {21, 2 * (5 + 10 * 2), nullptr, true, -1, Fill::kKept, 3},
    {22, 2 * (5 + 10 * 2), nullptr, true, -1, Fill::kKept, 3},
    {23, 2 * (4 + 50), nullptr, true, 1, Fill::kKept, 2},
};

std::uint64_t Expected(const Style& st, std::uint64_t state) {
  if (!st.counted) return st.draws;
  Generator g;
  g.set_state(state);
  return st.counted(g);
}

const std::uint64_t kStates[] = {1, 0xABCDEF01ULL, 0x5EED5EED5EEDULL, 0xFFFFFFFFFFFFFFFFULL};

TEST(StyleTable, CoversEveryStyleInOrder) {
  ASSERT_EQ(std::size(kTable), static_cast<std::size_t>(kStyleCount));
  for (int k = 0; k < kStyleCount; ++k) EXPECT_EQ(kTable[k].number, k + 1);
  EXPECT_EQ(kStyles[0].draw, &DrawStripeBands);
  EXPECT_EQ(kStyles[22].draw, &DrawCircleTrails);
}

TEST(StyleTable, DrawCountOfOneCall) {
  for (const Style& st : kTable) {
    for (std::uint64_t state : kStates) {
      SCOPED_TRACE(::testing::Message() << "style " << st.number << " state " << state);
      Fixture f;
      Prepare(*f, state);
      kStyles[st.number - 1].draw(*f);
      EXPECT_EQ(f->rng.draws(), Expected(st, state));
    }
  }
}

// The next style finds what this one left: the loop counter, the fill settings, the
// font, the square side in `d`, and whether the host got a chance to breathe.
TEST(StyleTable, StateAndSettingsLeftBehind) {
  constexpr Colour kSentinel = 0x123456;
  for (const Style& st : kTable) {
    for (int preset_style : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << "style " << st.number << " preset " << preset_style);
      Fixture f;
      State& s = *f;
      Prepare(s, 0x2468ACE13579ULL);
      s.nn = 42;
      s.d = 2;
      s.Picture1.FillStyle = preset_style;
      s.Picture1.FillColor = kSentinel;
      const int events = f.host.events;
      kStyles[st.number - 1].draw(s);

      EXPECT_EQ(s.nn, st.sets_nn ? 3 : 42);
      EXPECT_EQ(s.Picture1.FillStyle, st.fill_style < 0 ? preset_style : st.fill_style);
      switch (st.fill_colour) {
        case Fill::kKept: EXPECT_EQ(s.Picture1.FillColor, kSentinel); break;
        case Fill::kBarva: EXPECT_EQ(s.Picture1.FillColor, static_cast<Colour>(s.barva)); break;
        case Fill::kChanged: EXPECT_NE(s.Picture1.FillColor, kSentinel); break;
      }
      const bool letters = st.number == 8;
      EXPECT_EQ(s.Picture1.FontName, letters ? "Times New Roman" : "DejaVu Sans");
      EXPECT_EQ(s.Picture1.FontSize, letters ? 250 : 8);
      if (st.number != 13) {
        EXPECT_EQ(s.d, 2);  // only the square clusters write it
      }
      EXPECT_EQ(f.host.events - events, st.number == 3 ? 1 : 0);
    }
  }
}

// Far off the canvas every style still draws its full count and paints nothing;
// with its first figure at a corner it is clipped but there.
TEST(StyleTable, FarOffAndCornerPositions) {
  struct Where {
    const char* name;
    double sir, vis;
    int corner;  // 0 none, 1 top-left, 2 bottom-right
  };
  const Where places[] = {{"far right and below", 1e9, 1e9, 0},
                          {"far left and above", -1e9, -1e9, 0},
                          {"far right and above", 1e9, -1e9, 0},
                          {"top-left corner", 900, 675, 1},
                          {"bottom-right corner", 900, 675, 2}};
  for (const Style& st : kTable) {
    for (const Where& w : places) {
      SCOPED_TRACE(::testing::Message() << "style " << st.number << " " << w.name);
      std::uint64_t state = 77;
      if (w.corner) {
        const std::size_t at = st.centre_draw;
        state = FindState(at + 2, [&](const std::vector<double>& v) {
          return w.corner == 1 ? v[at] < 0.005 && v[at + 1] < 0.005
                               : v[at] > 0.995 && v[at + 1] > 0.995;
        });
      }
      Fixture f;
      Prepare(*f, state);
      f->sir = w.sir;
      f->vis = w.vis;
      kStyles[st.number - 1].draw(*f);
      EXPECT_EQ(f->rng.draws(), Expected(st, state));
      EXPECT_EQ(Untouched(f->Picture1), w.corner == 0);
    }
  }
}

}  // namespace
}  // namespace mirelune
