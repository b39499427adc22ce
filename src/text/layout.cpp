// layout.cpp — a line of text: plain placement for what the face fully holds,
// shaping for the rest.
#include "text/layout.h"

#include "base/utf8.h"
#include "text/shaping.h"

namespace mirelune::text {
namespace {

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Windows-1252 text the face fully holds: FreeType's advances and kerning, one
// character after another, exactly as such text has always been placed.
bool PlainText(FT_Face face, const std::u32string& text) {
  for (char32_t c : text)
    if (Windows1252Code(c) < 0 || !FT_Get_Char_Index(face, c)) return false;
  return true;
}

void LayOutPlain(Face* face, const std::u32string& text, const std::vector<std::size_t>& origin, Line* line) {
  FT_Face ft = face->ft;
  const bool kerning = FT_HAS_KERNING(ft);
  FT_UInt prev = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const FT_UInt glyph = FT_Get_Char_Index(ft, text[k]);
    if (kerning && prev && glyph) {
      FT_Vector delta;
      if (FT_Get_Kerning(ft, prev, glyph, FT_KERNING_DEFAULT, &delta) == 0) line->advance += delta.x;
    }
    prev = glyph;
    if (FT_Load_Glyph(ft, glyph, FT_LOAD_DEFAULT) != 0) continue;
    line->glyphs.push_back({face, glyph, origin[k], line->advance, 0, 0});
    line->advance += ft->glyph->advance.x;
  }
}

}  // namespace

std::u32string Drawable(std::string_view utf8, std::vector<std::size_t>* origin) {
  std::u32string all, kept;
  DecodeUtf8(utf8, &all);
  for (std::size_t k = 0; k < all.size(); ++k)
    if (!IsControl(all[k])) {
      kept.push_back(all[k]);
      origin->push_back(k);
    }
  return kept;
}

Line LayOutLine(FaceSet& faces, Typeface typeface, Face* primary, double points, const std::u32string& text,
                const std::vector<std::size_t>& origin) {
  Line line;
  if (primary->scale == 1 && PlainText(primary->ft, text))
    LayOutPlain(primary, text, origin, &line);
  else
    LayOutShaped(faces, typeface, primary, points, text, origin, &line);
  return line;
}

}  // namespace mirelune::text
