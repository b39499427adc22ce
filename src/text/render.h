// render.h — inside text/: glyph bitmaps from FreeType, kept for reuse within a
// budget, and blended in integer arithmetic onto a surface, so the result is the
// same on every run.
#pragma once

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "raster/surface.h"
#include "text/faces.h"

namespace mirelune::text {

// One glyph's bitmap: coverage (1 channel) or premultiplied BGRA (4), top row first.
struct Bitmap {
  int w = 0, h = 0, channels = 1;
  long left = 0, top = 0;
  std::vector<std::uint8_t> px;
};

// Rendered glyphs kept for reuse: a style prints one letter twenty times over,
// and FreeType's hinting and rendering cost far more than placing the bitmap.
// Emptied when it outgrows its budget, so any text, however long or large,
// keeps memory bounded.
class GlyphBitmaps {
 public:
  // The glyph of the face at its current size (`points`), or null when FreeType
  // cannot render it.
  const Bitmap* Get(Face* face, double points, unsigned id);

 private:
  using Key = std::tuple<const Face*, double, unsigned>;
  static constexpr std::size_t kBudget = 8u << 20;
  std::map<Key, Bitmap> kept_;
  std::size_t bytes_ = 0;
};

// Blends the bitmap onto the surface with its top-left pixel at (ox, oy):
// coverage in `colour`, colour glyphs in their own colours.
void Put(Surface& s, const Bitmap& b, long ox, long oy, std::uint32_t colour);

}  // namespace mirelune::text
