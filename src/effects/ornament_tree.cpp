// ornament_tree.cpp — 400 glowing baubles in a fir-tree triangle on the card.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "effects/effects.h"
#include "palette/palette.h"

namespace mirelune {
namespace {

constexpr int kRings = 31;  // radius 0..30

// A bauble is 93 outlines (31 rings, three centres each). On the card's scale
// the second and third centres land 0 or 1 pixel right of and below the first,
// so there are four shapes; for each, a stamp records which ring draws each
// pixel last. Stamping then sets every pixel once, to exactly the colour the
// outlines would leave there.
struct Stamp {
  static constexpr int kSize = 64, kCentre = 31;  // rings reach 30 pixels out, plus one for the offsets
  std::array<std::uint8_t, kSize * kSize> ring{};  // ring + 1 that draws last, 0 for none
  int x0 = kSize, y0 = kSize, x1 = -1, y1 = -1;    // the drawn box, inclusive
};

Stamp MakeStamp(const Surface& card, int dx, int dy) {
  // The outlines drawn as the card draws them, in ring numbers instead of colours.
  Surface scratch(Stamp::kSize, Stamp::kSize, Stamp::kSize, Stamp::kSize);
  scratch.SetBackground(0);
  for (int rk = 0; rk < kRings; ++rk) {
    const double rx = rk * static_cast<double>(card.pixel_width()) / card.scale_width();
    const double ry = rk * static_cast<double>(card.pixel_height()) / card.scale_height();
    const std::uint32_t c = static_cast<std::uint32_t>(rk + 1);
    scratch.draw_ellipse(Stamp::kCentre, Stamp::kCentre, rx, ry, c);
    scratch.draw_ellipse(Stamp::kCentre + dx, Stamp::kCentre, rx, ry, c);
    scratch.draw_ellipse(Stamp::kCentre, Stamp::kCentre + dy, rx, ry, c);
  }
  Stamp st;
  for (int y = 0; y < Stamp::kSize; ++y) {
    for (int x = 0; x < Stamp::kSize; ++x) {
      const std::uint32_t v = scratch.image().at(x, y);
      st.ring[static_cast<std::size_t>(y * Stamp::kSize + x)] = static_cast<std::uint8_t>(v);
      if (v == 0) continue;
      st.x0 = std::min(st.x0, x);
      st.x1 = std::max(st.x1, x);
      st.y0 = std::min(st.y0, y);
      st.y1 = std::max(st.y1, y);
    }
  }
  return st;
}

// The stamps for the canvas scale, made once: index dx + 2 dy.
const std::array<Stamp, 4>& Stamps(const Surface& card) {
  static const std::array<Stamp, 4> stamps = {MakeStamp(card, 0, 0), MakeStamp(card, 1, 0), MakeStamp(card, 0, 1),
                                              MakeStamp(card, 1, 1)};
  return stamps;
}

bool CanvasScale(const Surface& card) {
  return card.pixel_width() == kCanvasPixelsW && card.pixel_height() == kCanvasPixelsH &&
         card.scale_width() == kCanvasUnitsW && card.scale_height() == kCanvasUnitsH;
}

// One bauble at (x, y): 31 rings darkening outwards from the colour of a random
// point of the canvas, lightened by 70.
void DrawBauble(Surface& card, const Surface& canvas, Generator& g, double x, double y) {
  const double px = Floor((kCanvasUnitsW - 20) * g.Uniform() + 10);
  const double py = Floor((kCanvasUnitsH - 20) * g.Uniform() + 10);
  const Components sample = SplitColour(canvas.ColourAt(px, py));
  double red = sample.red + 70, green = sample.green + 70, blue = sample.blue + 70;
  std::uint32_t colours[kRings + 1] = {};
  for (int ring = 0; ring < kRings; ++ring) {
    red -= 4;
    green -= 4;
    blue -= 4;
    if (red < 0) red = 0;
    if (green < 0) green = 0;
    if (blue < 0) blue = 0;
    colours[ring + 1] = Drawn(RGB(red, green, blue));
  }
  const long cx = card.PixelX(x), cy = card.PixelY(y);
  const long dx = card.PixelX(x + 1) - cx, dy = card.PixelY(y + 1) - cy;
  if (card.fill_solid || !CanvasScale(card) || dx < 0 || dx > 1 || dy < 0 || dy > 1 || card.primitive_log) {
    // Not the card as every pass leaves it, or a benchmark recording what the
    // card draws: the outlines themselves.
    for (int ring = 0; ring < kRings; ++ring) {
      const Colour c = static_cast<Colour>(colours[ring + 1]);
      card.Circle(x, y, ring, c);
      card.Circle(x + 1, y, ring, c);
      card.Circle(x, y + 1, ring, c);
    }
    return;
  }
  const Stamp& st = Stamps(card)[static_cast<std::size_t>(dx + 2 * dy)];
  // The stamp's box clipped to the card, once.
  const long ox = cx - Stamp::kCentre, oy = cy - Stamp::kCentre;
  const long x0 = std::max<long>(st.x0, -ox), x1 = std::min<long>(st.x1, card.pixel_width() - 1 - ox);
  const long y0 = std::max<long>(st.y0, -oy), y1 = std::min<long>(st.y1, card.pixel_height() - 1 - oy);
  std::uint32_t* pixels = card.pixels();
  for (long row_y = y0; row_y <= y1; ++row_y) {
    const std::uint8_t* ring = &st.ring[static_cast<std::size_t>(row_y * Stamp::kSize)];
    std::uint32_t* row = pixels + (oy + row_y) * card.pixel_width() + ox;
    for (long row_x = x0; row_x <= x1; ++row_x) {
      if (ring[row_x] != 0) row[row_x] = colours[ring[row_x]];
    }
  }
}

}  // namespace

void DrawOrnamentTree(Surface& card, const Surface& canvas, EffectParameters& effect, Generator& g,
                      const CardWatch& watch) {
  // The apex height is single-precision arithmetic: the tree's shape depends on it.
  const float h = static_cast<float>(g.Uniform()) * 40.0f + 70.0f;
  const double apex = h;
  const double height = kCanvasUnitsH - apex;
  const double base = height / 2;
  const double middle = Floor(g.Uniform() * 200 + 600);
  Point& corner = effect.anchors[0];
  corner.x = middle - base / 2;
  effect.anchors[1].x = middle + base / 2;
  corner.y = kCanvasUnitsH - height;
  for (int bauble = 1; bauble <= 400 && !watch.Stopped(); ++bauble) {
    double x = 0, y = 0;
    do {
      x = corner.x + g.Uniform() * base;
      y = corner.y + g.Uniform() * height;
    } while (!(std::fabs(x - middle) <= (y - apex) / 4));
    DrawBauble(card, canvas, g, x, y);
    if (bauble % 50 == 0) watch.Mark(ProgressMark::kBaubles, 90 + bauble / 50, &card);
  }
}

}  // namespace mirelune
