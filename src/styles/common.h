// common.h — the steps several styles share.
#pragma once

#include <array>

#include "palette/palette.h"
#include "styles/styles.h"

namespace mirelune {

// A figure's place on the canvas, on whole units: x first, then y, always two draws.
inline Point PlaceFigure(StyleContext& c) {
  const double x = Floor(c.rng.Uniform() * c.width + 1);
  const double y = Floor(c.rng.Uniform() * c.height + 1);
  return {x, y};
}

// A cluster element's place: a whole distance 1..radius, then an angle in 0..6.28
// (not 2 pi); the offset puts the sine across and the cosine down.
struct ClusterPlace {
  double distance, across, down;
};
inline ClusterPlace ClusterOffset(StyleContext& c, double radius) {
  const double distance = Floor(c.rng.Uniform() * radius + 1);
  const double angle = c.rng.Uniform() * 6.28;
  return {distance, distance * Sin(angle), distance * Cos(angle)};
}

// The strip colour at `row`, split into red, green and blue.
inline Components SampleComponents(const StyleContext& c, double row) {
  return SplitColour(c.strip.ColourAt(10, row));
}

// Every component moves by `step`; any positive step has no upper clamp, as RGB
// caps what passes 255 when the colour is drawn.
inline void Brighten(Components& k, double step) {
  k.red += step;
  k.green += step;
  k.blue += step;
}

// One shading step down (or up): every component moves by `step`, then none stays
// below 0; red, green, blue in this order.
inline void ShadeComponents(Components& k, double step) {
  Brighten(k, step);
  if (k.red < 0) k.red = 0;
  if (k.green < 0) k.green = 0;
  if (k.blue < 0) k.blue = 0;
}

inline Colour ColourOf(const Components& k) { return RGB(k.red, k.green, k.blue); }

// The spokes of a wheel drawn in turn, each three lines in one colour from one
// point. At a thousandth of a radian a spoke, a rim 70 pixels out moves a
// fourteenth of a pixel, so most spokes end on the same pixels as the next one:
// such a spoke is drawn over wholly by it, and is left out. Finish draws the
// last; the canvas then shows what drawing every spoke would have left.
class Spokes {
 public:
  explicit Spokes(Surface& canvas) : canvas_(canvas) {}
  Spokes(const Spokes&) = delete;
  Spokes& operator=(const Spokes&) = delete;

  // Three lines from `from`: to (x, y), and to it moved by each nudge.
  void Add(Point from, double x, double y, Point nudge1, Point nudge2, Colour colour) {
    const std::array<PixelLine, 3> lines{canvas_.PixelsOfLine(from.x, from.y, x, y),
                                         canvas_.PixelsOfLine(from.x, from.y, x + nudge1.x, y + nudge1.y),
                                         canvas_.PixelsOfLine(from.x, from.y, x + nudge2.x, y + nudge2.y)};
    if (lines != lines_) Finish();  // else the one pending is drawn over wholly
    lines_ = lines;
    colour_ = colour;
    pending_ = true;
  }
  void Finish() {
    if (!pending_) return;
    for (const PixelLine& line : lines_) canvas_.Line(line, colour_);
    pending_ = false;
  }

 private:
  Surface& canvas_;
  std::array<PixelLine, 3> lines_{};
  Colour colour_ = 0;
  bool pending_ = false;
};

// A spoke from `centre` to the offset (a, b), drawn three times with the tip nudged
// right and then down: the nudges close the gaps at the rim.
inline void AddSpoke(Spokes& spokes, Point centre, double a, double b, Colour colour) {
  spokes.Add(centre, centre.x + a, centre.y + b, {1, 0}, {0, 1}, colour);
}

}  // namespace mirelune
