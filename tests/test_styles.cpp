// All 23 styles side by side. What each paints is pinned by the golden digests;
// this table pins what a digest cannot explain: how many draws one call takes
// (it shapes everything drawn after the style), what it leaves in the shared
// state for the next style, and that far off the canvas it still draws its full
// count and paints nothing.
#include <gtest/gtest.h>

#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

constexpr Colour kBack = 0xC80000;  // a canvas colour no strip row has

// Draws of two clusters whose radius Int(Rnd * span + base) is drawn first:
// `head` draws each, then `per_unit` for every unit of the radius.
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

enum class Fill { kKept, kBarva, kChanged };  // what a call does to fill_colour

struct Style {
  std::uint64_t draws;  // fixed count, or 0 when `counted` decides
  std::uint64_t (*counted)(Generator);
  bool sets_nn;         // leaves nn at 3 (two figures), else leaves it alone
  int fill_style;       // -1 kept, else the value it leaves
  Fill fill_colour;
};

std::uint64_t DotDiscs(Generator g) { return ClusterDraws(g, 40, 50, 4, 40); }
std::uint64_t SquareClusters(Generator g) { return ClusterDraws(g, 40, 70, 4, 4); }
std::uint64_t CrossStrokes(Generator g) { return ClusterDraws(g, 40, 50, 5, 20); }

// Row k is style k + 1.
const Style kTable[] = {
    {6, nullptr, false, -1, Fill::kKept},                        // 1 stripe bands
    {5408, nullptr, true, -1, Fill::kKept},                      // 2 ray fans
    {5, nullptr, false, 1, Fill::kKept},                         // 3 concentric ellipses
    {8, nullptr, false, -1, Fill::kKept},                        // 4 fan triangles
    {1608, nullptr, true, 0, Fill::kBarva},                      // 5 disc fans
    {606, nullptr, true, 1, Fill::kKept},                        // 6 ring clusters
    {204, nullptr, false, -1, Fill::kKept},                      // 7 bar combs
    {8, nullptr, true, -1, Fill::kKept},                         // 8 extruded letters
    {0, DotDiscs, true, 0, Fill::kBarva},                        // 9 dot discs
    {8, nullptr, true, -1, Fill::kKept},                         // 10 colour wheels
    {10, nullptr, true, -1, Fill::kKept},                        // 11 roses
    {426, nullptr, true, -1, Fill::kKept},                       // 12 starbursts
    {0, SquareClusters, true, 0, Fill::kBarva},                  // 13 square clusters
    {0, CrossStrokes, true, -1, Fill::kKept},                    // 14 cross strokes
    {12, nullptr, true, 0, Fill::kBarva},                        // 15 lissajous spirals
    {2 * (4 + 30 * 1000 * 2), nullptr, true, 0, Fill::kBarva},   // 16 random walks
    {2 * (4 + 200 * 4), nullptr, true, -1, Fill::kKept},         // 17 ragged bands
    {2 * (4 + 20 * 3), nullptr, true, -1, Fill::kKept},          // 18 shaded bars
    {2 * (5 + 10 * 3), nullptr, true, 0, Fill::kChanged},        // 19 shaded balls
    {2 * (5 + 10 * 3), nullptr, true, 1, Fill::kKept},           // 20 shaded pyramids
    {2 * (5 + 10 * 2), nullptr, true, -1, Fill::kKept},          // 21 faceted pyramids
    {2 * (5 + 10 * 2), nullptr, true, -1, Fill::kKept},          // 22 shaded cones
    {2 * (4 + 50), nullptr, true, 1, Fill::kKept},               // 23 circle trails
};
static_assert(std::size(kTable) == kStyleCount);

std::uint64_t Expected(const Style& st, std::uint64_t state) {
  if (!st.counted) return st.draws;
  Generator g;
  g.set_state(state);
  return st.counted(g);
}

void Prepare(State& s, std::uint64_t state) {
  testing::PaintRowStrip(s);
  s.canvas.SetBackground(kBack);
  s.rng.set_state(state);
}

// On the canvas and far off it (where it must paint nothing), from several generator states.
TEST(Styles, DrawCountOfOneCallOnAndFarOffTheCanvas) {
  for (int k = 0; k < kStyleCount; ++k)
    for (std::uint64_t state : {1ULL, 0xABCDEF01ULL, 0x5EED5EED5EEDULL, ~0ULL})
      for (double far : {0.0, 1e9, -1e9}) {
        SCOPED_TRACE(::testing::Message() << "style " << k + 1 << " state " << state << " at " << far);
        Fixture f;
        Prepare(*f, state);
        if (far != 0) f->settings.canvas_width = far, f->settings.canvas_height = -far;
        kStyles[k].draw(*f);
        EXPECT_EQ(f->rng.draws(), Expected(kTable[k], state));
        const int untouched = testing::CountColour(f->canvas.image(), kBack);
        EXPECT_EQ(untouched, far != 0 ? kCanvasPixelsW * kCanvasPixelsH : untouched) << "painted on the canvas";
      }
}

// The next style finds what this one left: the loop counter, the fill settings,
// the font, the square side in `d`, and whether the host got a chance to breathe.
TEST(Styles, StateAndSettingsLeftBehind) {
  constexpr Colour kSentinel = 0x123456;
  for (int k = 0; k < kStyleCount; ++k)
    for (int preset : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << "style " << k + 1 << " preset fill style " << preset);
      const Style& st = kTable[k];
      Fixture f;
      State& s = *f;
      Prepare(s, 0x2468ACE13579ULL);
      s.nn = 42;
      s.left.offset_mode = 2;
      s.canvas.fill_solid = preset == 0;
      s.canvas.fill_colour = kSentinel;
      kStyles[k].draw(s);
      EXPECT_EQ(s.nn, st.sets_nn ? 3 : 42);
      EXPECT_EQ(s.canvas.fill_solid, (st.fill_style < 0 ? preset : st.fill_style) == 0);
      const Colour want = st.fill_colour == Fill::kBarva ? static_cast<Colour>(s.left.colour) : kSentinel;
      EXPECT_EQ(s.canvas.fill_colour == want, st.fill_colour != Fill::kChanged);
      EXPECT_EQ(s.canvas.typeface, k == 7 ? Typeface::kSerif : Typeface::kSans);
      EXPECT_EQ(s.canvas.font_points, k == 7 ? 250 : 8);
      EXPECT_EQ(s.left.offset_mode, k == 12 ? s.left.offset_mode : 2);  // only the square clusters write it
      EXPECT_EQ(f.host.events, k == 2 ? 1 : 0);
    }
}

}  // namespace
}  // namespace mirelune
