// render.cpp — FreeType's bitmaps in every pixel mode, scaled strikes, and
// integer blending onto the surface.
#include "text/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace mirelune::text {
namespace {

// Reads every FreeType pixel mode: 1, 2, 4 and 8-bit grey, LCD (either way), BGRA.
bool Grab(const FT_GlyphSlot slot, Bitmap* out) {
  const FT_Bitmap& bm = slot->bitmap;
  const int rows = static_cast<int>(bm.rows), width = static_cast<int>(bm.width);
  const long stride = bm.pitch < 0 ? -static_cast<long>(bm.pitch) : bm.pitch;
  // A negative pitch stores the rows bottom-up.
  auto row = [&](int r) { return bm.buffer + (bm.pitch < 0 ? rows - 1 - r : r) * stride; };
  out->left = slot->bitmap_left;
  out->top = slot->bitmap_top;
  out->channels = bm.pixel_mode == FT_PIXEL_MODE_BGRA ? 4 : 1;
  out->w = bm.pixel_mode == FT_PIXEL_MODE_LCD ? width / 3 : width;
  out->h = bm.pixel_mode == FT_PIXEL_MODE_LCD_V ? rows / 3 : rows;
  out->px.assign(static_cast<std::size_t>(out->w) * out->h * out->channels, 0);
  if (!bm.buffer || out->px.empty()) return true;  // nothing to draw
  int bits = 8, levels = 256;
  switch (bm.pixel_mode) {
    case FT_PIXEL_MODE_BGRA:
      for (int r = 0; r < rows; ++r) std::copy_n(row(r), width * 4, out->px.data() + static_cast<std::size_t>(r) * width * 4);
      return true;
    case FT_PIXEL_MODE_LCD:
    case FT_PIXEL_MODE_LCD_V: {
      const bool across = bm.pixel_mode == FT_PIXEL_MODE_LCD;
      for (int r = 0; r < out->h; ++r)
        for (int c = 0; c < out->w; ++c) {
          int sum = 0;
          for (int k = 0; k < 3; ++k) sum += across ? row(r)[3 * c + k] : row(3 * r + k)[c];
          out->px[static_cast<std::size_t>(r) * out->w + c] = static_cast<std::uint8_t>((sum + 1) / 3);
        }
      return true;
    }
    case FT_PIXEL_MODE_MONO: bits = 1, levels = 2; break;
    case FT_PIXEL_MODE_GRAY2: bits = 2, levels = 4; break;
    case FT_PIXEL_MODE_GRAY4: bits = 4, levels = 16; break;
    case FT_PIXEL_MODE_GRAY: levels = bm.num_grays > 1 ? bm.num_grays : 256; break;
    default: return false;
  }
  if (bits == 8 && levels == 256) {  // the usual antialiased glyph: rows as they are
    for (int r = 0; r < rows; ++r) std::copy_n(row(r), width, out->px.data() + static_cast<std::size_t>(r) * width);
    return true;
  }
  const unsigned mask = (1u << bits) - 1;
  for (int r = 0; r < rows; ++r) {
    const unsigned char* src = row(r);
    for (int c = 0; c < width; ++c) {
      const int bit = c * bits;
      const unsigned v = bits == 8 ? src[c] : (src[bit / 8] >> (8 - bits - bit % 8)) & mask;
      out->px[static_cast<std::size_t>(r) * width + c] =
          static_cast<std::uint8_t>(levels == 256 ? v : std::min(255u, v * 255 / (levels - 1)));
    }
  }
  return true;
}

// Box-filtered to `scale` times its size (colour emoji come in one large strike).
void Rescale(Bitmap* b, double scale) {
  b->left = std::lround(b->left * scale);
  b->top = std::lround(b->top * scale);
  // A blank glyph (a variation selector, a joiner, a space in a colour face) has
  // no pixels to filter and stays empty at any scale.
  if (b->w <= 0 || b->h <= 0 || b->px.empty()) {
    b->w = b->h = 0;
    b->px.clear();
    return;
  }
  const int w = std::max(1, static_cast<int>(std::lround(b->w * scale)));
  const int h = std::max(1, static_cast<int>(std::lround(b->h * scale)));
  const int ch = b->channels;
  std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h * ch);
  for (int y = 0; y < h; ++y) {
    const int y0 = static_cast<int>(static_cast<long>(y) * b->h / h);
    const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long>(y + 1) * b->h / h));
    for (int x = 0; x < w; ++x) {
      const int x0 = static_cast<int>(static_cast<long>(x) * b->w / w);
      const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<long>(x + 1) * b->w / w));
      const long area = static_cast<long>(y1 - y0) * (x1 - x0);
      for (int k = 0; k < ch; ++k) {
        long sum = 0;
        for (int sy = y0; sy < y1; ++sy)
          for (int sx = x0; sx < x1; ++sx) sum += b->px[(static_cast<std::size_t>(sy) * b->w + sx) * ch + k];
        px[(static_cast<std::size_t>(y) * w + x) * ch + k] = static_cast<std::uint8_t>((sum + area / 2) / area);
      }
    }
  }
  b->w = w;
  b->h = h;
  b->px = std::move(px);
}

inline std::uint32_t Blend(std::uint32_t dst, std::uint32_t src, unsigned a) {
  if (a == 255) return src;
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const unsigned d = (dst >> shift) & 0xFF, s = (src >> shift) & 0xFF;
    out |= ((s * a + d * (255 - a) + 127) / 255) << shift;
  }
  return out;
}

// Premultiplied BGRA over the pixel (stored r + 256 g + 65536 b).
inline std::uint32_t BlendColour(std::uint32_t dst, const std::uint8_t* bgra) {
  const unsigned a = bgra[3];
  std::uint32_t out = 0;
  for (int k = 0; k < 3; ++k) {
    const unsigned d = (dst >> (8 * k)) & 0xFF, s = bgra[2 - k];
    out |= std::min(255u, (s * 255 + d * (255 - a) + 127) / 255) << (8 * k);
  }
  return out;
}

}  // namespace

void Put(Surface& s, const Bitmap& b, long ox, long oy, std::uint32_t colour) {
  if (b.w <= 0 || b.h <= 0) return;
  s.WriteRows(ox, oy, ox + b.w - 1, oy + b.h - 1, [&](std::uint32_t* row, long y, long xa, long xb) {
    const std::uint8_t* p = b.px.data() + (static_cast<std::size_t>(y - oy) * b.w + (xa - ox)) * b.channels;
    if (b.channels == 1) {
      // A large glyph is mostly empty or solid: eight coverage bytes at a time
      // skip the empty and fill the solid; only the edges blend pixel by pixel.
      for (long x = xa; x <= xb;) {
        if (xb - x >= 7) {
          std::uint64_t eight;
          std::memcpy(&eight, p, sizeof eight);
          if (eight == 0 || eight == ~std::uint64_t{0}) {
            if (eight != 0) std::fill(row + x, row + x + 8, colour);
            x += 8;
            p += 8;
            continue;
          }
        }
        if (p[0] != 0) row[x] = Blend(row[x], colour, p[0]);
        ++x;
        ++p;
      }
    } else {
      for (long x = xa; x <= xb; ++x, p += 4)
        if (p[0] | p[1] | p[2] | p[3]) row[x] = BlendColour(row[x], p);
    }
  });
}

const Bitmap* GlyphBitmaps::Get(Face* face, double points, unsigned id) {
  const Key key{face, points, id};
  auto it = kept_.find(key);
  if (it != kept_.end()) return &it->second;
  Bitmap b;
  const FT_Int32 flags = FT_LOAD_RENDER | (FT_HAS_COLOR(face->ft) ? FT_LOAD_COLOR : 0);
  if (FT_Load_Glyph(face->ft, id, flags) != 0 || !Grab(face->ft->glyph, &b)) return nullptr;
  if (face->scale != 1) Rescale(&b, face->scale);
  if (bytes_ + b.px.size() > kBudget) {
    kept_.clear();
    bytes_ = 0;
  }
  bytes_ += b.px.size();
  return &kept_.emplace(key, std::move(b)).first->second;
}

}  // namespace mirelune::text
