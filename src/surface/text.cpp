#include "surface/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <mutex>

#include "surface/surface.h"

namespace mirelune {

bool DecodeUtf8(std::string_view s, std::u32string* out) {
  bool ok = true;
  out->clear();
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool good = len > 0 && i + len <= s.size();
    for (int k = 1; good && k < len; ++k) {
      const unsigned char c = static_cast<unsigned char>(s[i + k]);
      if ((c >> 6) != 2) good = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (good) {
      // Overlong forms, surrogates and values past U+10FFFF are malformed too.
      static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) good = false;
    }
    if (!good) {
      ok = false;
      out->push_back(0xFFFD);
      ++i;
      continue;
    }
    out->push_back(cp);
    i += len;
  }
  return ok;
}

std::string EncodeUtf8(char32_t c) {
  std::string z;
  if (c < 0x80) {
    z.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    z.push_back(static_cast<char>(0xC0 | (c >> 6)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    z.push_back(static_cast<char>(0xE0 | (c >> 12)));
    z.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    z.push_back(static_cast<char>(0xF0 | (c >> 18)));
    z.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return z;
}

namespace {

// FreeType faces are not thread-safe; one lock guards the library and the cache.
struct FontCache {
  std::mutex mu;
  FT_Library lib = nullptr;
  std::map<std::string, std::string> files;  // family -> path
  std::map<std::string, FT_Face> faces;      // path -> face

  FontCache() { FT_Init_FreeType(&lib); }

  std::string File(const std::string& family) {
    auto it = files.find(family);
    if (it != files.end()) return it->second;
    std::string path;
    FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (pat) {
      FcConfigSubstitute(nullptr, pat, FcMatchPattern);
      FcDefaultSubstitute(pat);
      FcResult res;
      FcPattern* match = FcFontMatch(nullptr, pat, &res);
      if (match) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
          path = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
      }
      FcPatternDestroy(pat);
    }
    files[family] = path;
    return path;
  }

  FT_Face Face(const std::string& family) {
    const std::string path = File(family);
    if (path.empty() || !lib) return nullptr;
    auto it = faces.find(path);
    if (it != faces.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path.c_str(), 0, &face) != 0) face = nullptr;
    faces[path] = face;
    return face;
  }
};

FontCache& Cache() {
  static FontCache* cache = new FontCache();  // lives to the end of the process
  return *cache;
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

TextMetrics Run(Surface* s, const std::string& family, double points, long px, long py,
                std::string_view utf8_text, std::uint32_t colour) {
  TextMetrics m;
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  FT_Face face = cache.Face(family);
  if (!face || !(points > 0)) return m;
  if (points > 2000) points = 2000;
  if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(points * 64 + 0.5), 96, 96) != 0) return m;
  const long ascender = (face->size->metrics.ascender + 32) >> 6;
  m.line_height = (face->size->metrics.height + 32) >> 6;
  std::u32string text;
  DecodeUtf8(utf8_text, &text);
  long pen = 0;  // 26.6 pixels
  FT_UInt prev = 0;
  const bool kerning = FT_HAS_KERNING(face);
  for (char32_t ch : text) {
    const FT_UInt glyph = FT_Get_Char_Index(face, ch);
    if (kerning && prev && glyph) {
      FT_Vector delta;
      if (FT_Get_Kerning(face, prev, glyph, FT_KERNING_DEFAULT, &delta) == 0) pen += delta.x;
    }
    prev = glyph;
    if (FT_Load_Glyph(face, glyph, s ? FT_LOAD_RENDER : FT_LOAD_DEFAULT) != 0) continue;
    const FT_GlyphSlot g = face->glyph;
    if (s) {
      const FT_Bitmap& bm = g->bitmap;
      const long ox = px + ((pen + 32) >> 6) + g->bitmap_left;
      const long oy = py + ascender - g->bitmap_top;
      const long W = s->pixel_width(), H = s->pixel_height();
      for (unsigned r = 0; r < bm.rows; ++r) {
        const long y = oy + static_cast<long>(r);
        if (y < 0 || y >= H) continue;
        const unsigned char* src = bm.buffer + static_cast<long>(r) * bm.pitch;
        std::uint32_t* row = s->pixels() + y * W;
        for (unsigned c = 0; c < bm.width; ++c) {
          const long x = ox + static_cast<long>(c);
          if (x < 0 || x >= W || src[c] == 0) continue;
          row[x] = Blend(row[x], colour, src[c]);
        }
      }
    }
    pen += g->advance.x;
  }
  m.width = (pen + 32) >> 6;
  return m;
}

}  // namespace

std::string FontFileFor(const std::string& family) {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  return cache.File(family);
}

TextMetrics DrawText(Surface& s, const std::string& family, double points, long px, long py,
                     std::string_view utf8_text, std::uint32_t colour) {
  return Run(&s, family, points, px, py, utf8_text, colour);
}

TextMetrics MeasureText(const std::string& family, double points, std::string_view utf8_text) {
  return Run(nullptr, family, points, 0, 0, utf8_text, 0);
}

}  // namespace mirelune
