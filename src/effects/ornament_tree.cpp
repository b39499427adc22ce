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

}  // namespace

void DrawOrnament(State& s) {
  s.canvas.fill_solid = false;
  const double px = Int((s.settings.tree_width - 20) * s.rng.Rnd() + 10);
  const double py = Int((s.settings.tree_height - 20) * s.rng.Rnd() + 10);
  s.barvap = s.canvas.ColourAt(px, py);
  SplitColour(s);
  s.ret = s.re1 + 70;
  s.grt = s.gr1 + 70;
  s.blt = s.bl1 + 70;
  Surface& card = s.card;
  std::uint32_t colours[kRings + 1] = {};
  for (s.rk = 0; s.rk <= 30; s.rk += 1) {
    s.ret -= 4;
    s.grt -= 4;
    s.blt -= 4;
    if (s.ret < 0) s.ret = 0;
    if (s.grt < 0) s.grt = 0;
    if (s.blt < 0) s.blt = 0;
    colours[static_cast<int>(s.rk) + 1] = Drawn(RGB(s.ret, s.grt, s.blt));
  }
  const long cx = card.PixelX(s.i), cy = card.PixelY(s.j);
  const long dx = card.PixelX(s.i + 1) - cx, dy = card.PixelY(s.j + 1) - cy;
  if (card.fill_solid || !CanvasScale(card) || dx < 0 || dx > 1 || dy < 0 || dy > 1 || card.primitive_log) {
    // Not the card as every pass leaves it, or a benchmark recording what the
    // card draws: the outlines themselves.
    for (int rk = 0; rk < kRings; ++rk) {
      const Colour c = static_cast<Colour>(colours[rk + 1]);
      card.Circle(s.i, s.j, rk, c);
      card.Circle(s.i + 1, s.j, rk, c);
      card.Circle(s.i, s.j + 1, rk, c);
    }
    return;
  }
  const Stamp& st = Stamps(card)[static_cast<std::size_t>(dx + 2 * dy)];
  // The stamp's box clipped to the card, once.
  const long ox = cx - Stamp::kCentre, oy = cy - Stamp::kCentre;
  const long x0 = std::max<long>(st.x0, -ox), x1 = std::min<long>(st.x1, card.pixel_width() - 1 - ox);
  const long y0 = std::max<long>(st.y0, -oy), y1 = std::min<long>(st.y1, card.pixel_height() - 1 - oy);
  std::uint32_t* pixels = card.pixels();
  for (long y = y0; y <= y1; ++y) {
    const std::uint8_t* ring = &st.ring[static_cast<std::size_t>(y * Stamp::kSize)];
    std::uint32_t* row = pixels + (oy + y) * card.pixel_width() + ox;
    for (long x = x0; x <= x1; ++x) {
      if (ring[x] != 0) row[x] = colours[ring[x]];
    }
  }
}

void DrawOrnamentTree(State& s) {
  Generator& g = s.rng;
  // The apex height is single-precision arithmetic, as the tree was designed.
  const float h = static_cast<float>(g.Rnd()) * 40.0f + 70.0f;
  const double H = h;
  const double T = s.settings.tree_height - H;
  const double S = T / 2;
  const double M = Int(g.Rnd() * 200 + 600);
  s.pass.anchor1_x = M - S / 2;
  s.pass.anchor2_x = M + S / 2;
  s.pass.anchor1_y = s.settings.tree_height - T;
  for (s.n = 1; s.n <= 400; s.n += 1) {
    do {
      if (s.host) s.host->LetEventsIn();
      s.i = s.pass.anchor1_x + g.Rnd() * S;
      s.j = s.pass.anchor1_y + g.Rnd() * T;
    } while (!(std::fabs(s.i - M) <= (s.j - H) / 4));
    DrawOrnament(s);
  }
}

}  // namespace mirelune
