// surface.h — the raster every picture is painted on, and its verbs. Below it
// the number rules (numbers/numeric.h); above it text (text/text.h), which writes
// on a surface at its cursor. Nothing here knows about cards.
//
//   Surface canvas(896, 671, 900, 675);   // 900 x 675 drawing units on 896 x 671 pixels
//   canvas.SetBackground(RGB(0, 0, 80));   // repaints everything
//   canvas.fill_solid = true; canvas.fill_colour = RGB(255, 0, 0);
//   canvas.Circle(450, 300, 100, RGB(255, 255, 0), 0.5);   // filled ellipse, yellow rim
//   Colour c = canvas.ColourAt(450, 300);                   // -1 outside the raster
//
// Conventions, stated once:
//  * Coordinates in drawing units map to pixels as RoundEven(x * pixel_width / scale_width)
//    (nearest, halves to even); radii scale the same way per axis. Surfaces addressed
//    in pixels simply have scale == pixel size.
//  * A surface drawn `brush` times larger than its units' own raster (a card at
//    print size) draws what the verbs in units draw `brush` pixels wide: a point
//    is a square, a line the sweep of that square, an outline a band, text
//    `brush` times its size; so the larger picture is the smaller one,
//    supersampled. The pixel-space primitives stay one pixel wide.
//  * A pixel stores a colour as r + 256 g + 65536 b. A primitive drawn in a colour
//    outside 0..0xFFFFFF draws its low 24 bits: the colour -1 is drawn white.
//  * Every primitive clips its bounding box once and writes its rows through one
//    span writer (WriteRows); the pixel setter drops a pixel off the raster. Anything
//    off the raster is silently ignored, however far away.
//  * Lines include both end points. Ellipse outlines are 8-connected rings; a filled
//    ellipse or box is filled with fill_colour, then outlined in the drawing colour.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "numbers/numeric.h"

namespace mirelune {

// Memory for rasters. One of a megabyte or more is mapped on its own at a 2 MiB
// boundary, its pages made in one call and as huge pages where the kernel
// allows: a fresh 2.4 MB raster otherwise costs hundreds of page faults on first
// touch, more than its drawing on a virtual machine. Smaller ones, and all under
// AddressSanitizer (which watches only the heap), come from the heap.
void* MapRaster(std::size_t bytes);  // throws std::bad_alloc
void UnmapRaster(void* p, std::size_t bytes);

template <class T>
struct RasterAllocator {
  using value_type = T;
  static constexpr std::size_t kMapped =
#if defined(__SANITIZE_ADDRESS__)
      static_cast<std::size_t>(-1);
#else
      std::size_t{1} << 20;
#endif
  RasterAllocator() = default;
  template <class U>
  RasterAllocator(const RasterAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n >= kMapped / sizeof(T)) return static_cast<T*>(MapRaster(n * sizeof(T)));
    return std::allocator<T>{}.allocate(n);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n >= kMapped / sizeof(T))
      UnmapRaster(p, n * sizeof(T));
    else
      std::allocator<T>{}.deallocate(p, n);
  }
  template <class U>
  bool operator==(const RasterAllocator<U>&) const noexcept {
    return true;
  }
};

using PixelBuffer = std::vector<std::uint32_t, RasterAllocator<std::uint32_t>>;
// An encoded picture (BMP, PNG, JPEG bytes): a BMP of a card is as large as a raster.
using Bytes = std::vector<std::uint8_t, RasterAllocator<std::uint8_t>>;

// A snapshot of a raster, row-major, 0x00BBGGRR per pixel.
struct Image {
  int width = 0;
  int height = 0;
  PixelBuffer pixels;

  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  bool operator==(const Image&) const = default;
};

// The faces a surface writes text in (text/text.h draws it): each one file, pinned.
enum class Typeface { kSans, kSerif };

inline constexpr Colour kDefaultBackground = 0xF0F0F0;  // the classic face grey

// One pixel-space primitive as a verb drew it, for replaying a card's drawing
// elsewhere (the benchmarks). Ends or corners in x0..y1; an ellipse's centre in
// x0, y0 and its radii in rx, ry.
struct DrawnPrimitive {
  enum Kind : std::uint8_t { kPixel, kLine, kBox, kBoxFill, kEllipse, kEllipseFill };
  Kind kind;
  long x0, y0, x1, y1;
  double rx, ry;
  std::uint32_t colour;
};

// A line's two ends in pixels, rounded as Line rounds them.
struct PixelLine {
  long x0, y0, x1, y1;
  bool operator==(const PixelLine&) const = default;
};

class Surface {
 public:
  // Painted in `memory` when given one (a finished card's raster, its pixels
  // overwritten), which spares a fresh raster's pages.
  Surface(int pixel_width, int pixel_height, double scale_width, double scale_height, int brush = 1,
          PixelBuffer memory = {});

  int pixel_width() const { return w_; }
  int brush() const { return brush_; }
  int pixel_height() const { return h_; }
  double scale_width() const { return sw_; }
  double scale_height() const { return sh_; }

  // --- properties ---
  Colour pen_colour = 0;
  int fill_solid = false;  // 0 solid, 1 transparent
  Colour fill_colour = 0;
  // A face pinned by its file, not a family name: which face a name resolves to
  // depends on the fonts installed and their configuration, and the card must not.
  static constexpr Typeface kDefaultTypeface = Typeface::kSans;
  Typeface typeface = kDefaultTypeface;
  double font_points = 8;
  double cursor_x = 0;
  double cursor_y = 0;
  bool visible = true;
  // Benchmarks only: when set, each verb appends the primitives it draws. The
  // program never sets it; one test of a pointer per verb, none per pixel.
  std::vector<DrawnPrimitive>* primitive_log = nullptr;

  Colour Background() const { return back_; }
  void SetBackground(Colour c);  // repaints the whole raster

  // Background picture: replaces what is shown now, and Clear returns to it.
  void SetBackgroundPicture(const Image& img);
  // The same with `from`'s image, copied straight into the buffers this surface
  // already has, without a snapshot in between.
  void SetBackgroundPicture(const Surface& from);
  Image Snapshot() const { return img_; }  // a copy of what it shows now
  Image Snapshot(PixelBuffer memory) const;  // the same, copied into `memory`
  const Image& image() const { return img_; }
  PixelBuffer TakePixels() && { return std::move(img_.pixels); }  // its memory, for another surface

  // --- verbs in drawing units ---
  void Clear();
  void Plot(double x, double y, Colour c);
  Colour ColourAt(double x, double y) const;
  void Line(double x1, double y1, double x2, double y2, Colour c);
  // The same line with its ends rounded already: what a line draws depends on
  // these alone.
  PixelLine PixelsOfLine(double x1, double y1, double x2, double y2) const {
    return {PixelX(x1), PixelY(y1), PixelX(x2), PixelY(y2)};
  }
  void Line(const PixelLine& ends, Colour c);
  void Box(double x1, double y1, double x2, double y2, Colour c);  // Line ..., B
  // aspect = vertical / horizontal radius; r is the horizontal radius for aspect < 1,
  // the vertical one otherwise.
  void Circle(double x, double y, double r, Colour c, double aspect = 1.0);
  // Copies img scaled into the rectangle; a negative w or h mirrors it.
  void DrawImageScaled(const Image& img, double x, double y, double w, double h);

  // --- pixel-space primitives (paired verbs) ---
  // The one clipping rule: a pixel is drawn only when it lies on the raster.
  bool OnRaster(long x, long y) const { return x >= 0 && y >= 0 && x < w_ && y < h_; }
  void set_pixel(long x, long y, std::uint32_t c) {
    if (OnRaster(x, y)) img_.pixels[static_cast<std::size_t>(y) * w_ + x] = c;
  }
  // The one span writer: pixels xa..xb of a row, already clipped to the raster.
  static void FillRow(std::uint32_t* row, long xa, long xb, std::uint32_t c) {
    if (xa == xb)
      row[xa] = c;  // a column or a steep line: far cheaper than a fill of one
    else
      std::fill(row + xa, row + xb + 1, c);
  }
  // Clips the box of pixels from (x0, y0) to (x1, y1), both corners included and
  // in any order, to the raster once, then hands each of its rows to
  // write(row, y, xa, xb): row points at pixel (0, y), and xa..xb is the part of
  // the row on the raster. Nothing happens for a box off the raster.
  template <class Write>
  void WriteRows(long x0, long y0, long x1, long y1, Write&& write) {
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    const long xa = std::max(x0, 0L), xb = std::min<long>(x1, w_ - 1);
    const long ya = std::max(y0, 0L), yb = std::min<long>(y1, h_ - 1);
    if (xa > xb || ya > yb) return;
    std::uint32_t* row = img_.pixels.data() + ya * w_;
    for (long y = ya; y <= yb; ++y, row += w_) write(row, y, xa, xb);
  }
  void draw_line(long x0, long y0, long x1, long y1, std::uint32_t c);
  void draw_rect(long x0, long y0, long x1, long y1, std::uint32_t c);
  void fill_rect(long x0, long y0, long x1, long y1, std::uint32_t c);
  void draw_ellipse(long cx, long cy, double rx, double ry, std::uint32_t c);
  void fill_ellipse(long cx, long cy, double rx, double ry, std::uint32_t c);
  // `width` pixels wide: a line swept by a square whose top-left corner runs from
  // (x0, y0) to (x1, y1), and an elliptic ring of that width around the radii.
  void draw_wide_line(long x0, long y0, long x1, long y1, long width, std::uint32_t c);
  void draw_wide_ellipse(long cx, long cy, double rx, double ry, long width, std::uint32_t c);

  // Unit -> pixel, with the rounding rule above; huge values are clamped so that
  // they stay far off the raster without overflowing.
  long PixelX(double x) const { return ToPixel(x * w_ / sw_); }
  long PixelY(double y) const { return ToPixel(y * h_ / sh_); }

  // Direct access for the per-pixel loops of the effects.
  std::uint32_t* pixels() { return img_.pixels.data(); }
  const std::uint32_t* pixels() const { return img_.pixels.data(); }

 private:
  static long ToPixel(double v) {
    if (!(v > -1e8)) return -100000000;  // also NaN
    if (v > 1e8) return 100000000;
    return static_cast<long>(RoundEven(v));
  }
  // One colour over a box of pixels, and over pixels x0..x1 of row y.
  void span_box(long x0, long y0, long x1, long y1, std::uint32_t c) {
    if (x0 == x1)  // a column: one store a row, known before the loop
      WriteRows(x0, y0, x1, y1, [c](std::uint32_t* row, long, long xa, long) { FillRow(row, xa, xa, c); });
    else
      WriteRows(x0, y0, x1, y1, [c](std::uint32_t* row, long, long xa, long xb) { FillRow(row, xa, xb, c); });
  }
  void span(long y, long x0, long x1, std::uint32_t c) { span_box(x0, y, x1, y, c); }
  // The line's pixels, each row's run (or pixel) continued `extend` pixels to the
  // right: the one walk of both the thin line and the wide one.
  template <bool kExtended>
  void trace_line(long x0, long y0, long x1, long y1, std::uint32_t c, long extend);

  // The row widths of the last small ellipse drawn or filled, kept for the next
  // one of the same radii: a style's thousands of equal dots and rings work out
  // their divisions and square roots once.
  struct SmallEllipse {
    static constexpr long kMaxRows = 16;  // ellipses of fewer rows each side of the middle
    double rx = -1, ry = -1;
    long widths[kMaxRows] = {};  // row k's half width at K - k, K = RoundEven(ry)
  };
  const long* small_ellipse_widths(double rx, double ry);

  int w_, h_;
  double sw_, sh_;
  int brush_;
  SmallEllipse small_ellipse_;
  Colour back_ = kDefaultBackground;
  Image img_;
  std::optional<Image> picture_;
};

inline std::uint32_t Drawn(Colour c) { return static_cast<std::uint32_t>(c) & 0xFFFFFFu; }

}  // namespace mirelune
