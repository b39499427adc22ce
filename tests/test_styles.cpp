// All 23 styles side by side. What each paints is pinned by the golden digests;
// this table pins what a digest cannot explain: how many draws one call takes
// (it shapes everything drawn after the style), what it leaves for the next style
// and the effect (the canvas's settings, the offset mode, nothing else), and that
// far off the canvas it still draws its full count and paints nothing.
#include <gtest/gtest.h>

#include "styles/common.h"
#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {


constexpr Colour kBack = 0xC80000;  // a canvas colour no strip row has

// Draws of two clusters whose radius Floor(Uniform * span + base) is drawn first:
// `head` draws each, then `per_unit` for every unit of the radius.
std::uint64_t ClusterDraws(Generator g, double span, double base, int head, int per_unit) {
  std::uint64_t n = 0;
  for (int c = 0; c < 2; ++c) {
    const double radius = Floor(g.Uniform() * span + base);
    for (int k = 1; k < head; ++k) g.Uniform();
    for (double k = 0; k < radius * per_unit; ++k) g.Uniform();
    n += head + static_cast<std::uint64_t>(radius) * per_unit;
  }
  return n;
}

enum class Fill { kKept, kSampled, kShaded };  // fill_colour after a call: as it was, a strip row, a shade of one

struct Style {
  std::uint64_t draws;  // fixed count, or 0 when `counted` decides
  std::uint64_t (*counted)(Generator);
  int fill_style;       // -1 kept, else the value it leaves
  Fill fill_colour;
};

std::uint64_t DotDiscs(Generator g) { return ClusterDraws(g, 40, 50, 4, 40); }
std::uint64_t SquareClusters(Generator g) { return ClusterDraws(g, 40, 70, 4, 4); }
std::uint64_t CrossStrokes(Generator g) { return ClusterDraws(g, 40, 50, 5, 20); }

// Row k is style k + 1.
const Style kTable[] = {
    {6, nullptr, -1, Fill::kKept},                         // 1 stripe bands
    {5408, nullptr, -1, Fill::kKept},                      // 2 ray fans
    {5, nullptr, 1, Fill::kKept},                          // 3 concentric ellipses
    {8, nullptr, -1, Fill::kKept},                         // 4 fan triangles
    {1608, nullptr, 0, Fill::kSampled},                    // 5 disc fans
    {606, nullptr, 1, Fill::kKept},                        // 6 ring clusters
    {204, nullptr, -1, Fill::kKept},                       // 7 bar combs
    {8, nullptr, -1, Fill::kKept},                         // 8 extruded letters
    {0, DotDiscs, 0, Fill::kSampled},                      // 9 dot discs
    {8, nullptr, -1, Fill::kKept},                         // 10 colour wheels
    {10, nullptr, -1, Fill::kKept},                        // 11 roses
    {426, nullptr, -1, Fill::kKept},                       // 12 starbursts
    {0, SquareClusters, 0, Fill::kSampled},                // 13 square clusters
    {0, CrossStrokes, -1, Fill::kKept},                    // 14 cross strokes
    {12, nullptr, 0, Fill::kSampled},                      // 15 lissajous spirals
    {2 * (4 + 30 * 1000 * 2), nullptr, 0, Fill::kSampled}, // 16 random walks
    {2 * (4 + 200 * 4), nullptr, -1, Fill::kKept},         // 17 ragged bands
    {2 * (4 + 20 * 3), nullptr, -1, Fill::kKept},          // 18 shaded bars
    {2 * (5 + 10 * 3), nullptr, 0, Fill::kShaded},         // 19 shaded balls
    {2 * (5 + 10 * 3), nullptr, 1, Fill::kKept},           // 20 shaded pyramids
    {2 * (5 + 10 * 2), nullptr, -1, Fill::kKept},          // 21 faceted pyramids
    {2 * (5 + 10 * 2), nullptr, -1, Fill::kKept},          // 22 shaded cones
    {2 * (4 + 50), nullptr, 1, Fill::kKept},               // 23 circle trails
};
static_assert(std::size(kTable) == kStyleCount);

std::uint64_t Expected(const Style& st, std::uint64_t state) {
  if (!st.counted) return st.draws;
  Generator g;
  g.set_state(state);
  return st.counted(g);
}

// A style's inputs: the test strip, a plain canvas, the generator in `state`.
struct Inputs {
  Surface strip = testing::RowStrip(), canvas = NewCanvas();
  Generator rng;
  double offset_mode = 2;
  Fonts fonts{FontFolder()};
  explicit Inputs(std::uint64_t state) {
    canvas.SetBackground(kBack);
    rng.set_state(state);
  }
  StyleContext Context(double width = kCanvasUnitsW, double height = kCanvasUnitsH) {
    return {canvas, strip, rng, width, height, offset_mode, fonts};
  }
};

bool IsStripRow(Colour c) {
  for (int y = 0; y < kStripPixelsH; ++y)
    if (testing::RowColour(y) == c) return true;
  return false;
}

// On the canvas and far off it (where it must paint nothing), from several generator states.
TEST(Styles, DrawCountOfOneCallOnAndFarOffTheCanvas) {
  for (int k = 0; k < kStyleCount; ++k)
    for (std::uint64_t state : {1ULL, 0xABCDEF01ULL, 0x5EED5EED5EEDULL, ~0ULL})
      for (double far : {0.0, 1e9, -1e9}) {
        SCOPED_TRACE(::testing::Message() << "style " << k + 1 << " state " << state << " at " << far);
        Inputs in(state);
        StyleContext c = far != 0 ? in.Context(far, -far) : in.Context();
        kStyles[k].draw(c);
        EXPECT_EQ(in.rng.draws(), Expected(kTable[k], state));
        const int untouched = testing::CountColour(in.canvas.image(), kBack);
        EXPECT_EQ(untouched, far != 0 ? kCanvasPixelsW * kCanvasPixelsH : untouched) << "painted on the canvas";
      }
}

// The next style and the effect find what this one left: the fill and pen settings,
// the font and the last square's side as the offset mode.
TEST(Styles, LeftoversAndCanvasSettingsLeftBehind) {
  constexpr Colour kSentinel = 0x123456;
  for (int k = 0; k < kStyleCount; ++k)
    for (int preset : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << "style " << k + 1 << " preset fill style " << preset);
      const Style& st = kTable[k];
      Inputs s(0x2468ACE13579ULL);
      s.canvas.fill_solid = preset == 0;
      s.canvas.fill_colour = s.canvas.pen_colour = kSentinel;
      StyleContext c = s.Context();
      kStyles[k].draw(c);
      EXPECT_EQ(s.canvas.fill_solid, (st.fill_style < 0 ? preset : st.fill_style) == 0);
      const Colour fill = s.canvas.fill_colour;
      EXPECT_EQ(fill == kSentinel, st.fill_colour == Fill::kKept);
      EXPECT_EQ(IsStripRow(fill), st.fill_colour == Fill::kSampled);
      EXPECT_EQ(s.canvas.pen_colour == kSentinel, k != 7);
      EXPECT_EQ(IsStripRow(s.canvas.pen_colour), k == 7);
      EXPECT_EQ(s.canvas.typeface, k == 7 ? Typeface::kSerif : Typeface::kSans);
      EXPECT_EQ(s.canvas.font_points, k == 7 ? 250 : 8);
      // A square's side is Floor(distance / 3 + 5) for a distance of 1..109.
      const double mode = s.offset_mode;
      if (k == 12) EXPECT_TRUE(mode == Floor(mode) && mode >= 5 && mode <= 41) << mode;
      else EXPECT_EQ(mode, 2);
    }
}

// Spokes leaves out a spoke the next one draws over; the canvas must show what
// drawing every spoke shows. Wheels near and across the edges, on a raster of one
// pixel a unit, one of 1.5 and one drawn with a 3-pixel brush, each spoke in a
// colour of its own so that a wrong omission shows.
TEST(Spokes, LeaveTheCanvasAsDrawingEverySpoke) {
  struct Raster {
    int w, h, brush;
  };
  for (const Raster r : {Raster{200, 150, 1}, Raster{300, 225, 1}, Raster{600, 450, 3}}) {
    Surface every(r.w, r.h, 200, 150, r.brush), spared(r.w, r.h, 200, 150, r.brush);
    std::vector<DrawnPrimitive> lines;
    spared.primitive_log = &lines;
    Spokes spokes(spared);
    Generator g;
    long drawn = 0;
    for (int wheel = 0; wheel < 12; ++wheel) {
      const Point centre{Floor(g.Uniform() * 260 - 30), Floor(g.Uniform() * 210 - 30)};
      const double radius = Floor(g.Uniform() * 60 + 5), step = wheel % 3 == 0 ? 0.03 : 0.001;
      for (double angle = 0; angle <= 6.3; angle += step, ++drawn) {
        const Colour colour = static_cast<Colour>(drawn * 2654435761u & 0xFFFFFF);
        const double x = centre.x + radius * Sin(angle), y = centre.y + radius * Cos(angle);
        every.Line(centre.x, centre.y, x, y, colour);
        every.Line(centre.x, centre.y, x + 1, y, colour);
        every.Line(centre.x, centre.y, x, y - 1, colour);
        spokes.Add(centre, x, y, {1, 0}, {0, -1}, colour);
      }
    }
    spokes.Finish();
    EXPECT_EQ(spared.image(), every.image()) << r.w << " x " << r.h << ", brush " << r.brush;
    EXPECT_LT(lines.size(), static_cast<std::size_t>(drawn)) << "fewer than a third of the lines drawn";
  }
}

}  // namespace
}  // namespace mirelune
