// layout.h — inside text/: one line of text laid out left to right, each glyph
// with its face and pen position.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/faces.h"

namespace mirelune::text {

// A glyph placed on the line: pen position and vertical offset in 26.6 pixels.
struct Glyph {
  Face* face;
  unsigned id;
  std::size_t cluster;
  long pen;
  long x_offset;
  long y_offset;
};

struct Line {
  std::vector<Glyph> glyphs;  // visual order
  long advance = 0;           // 26.6
};

// Decodes and drops control characters, which are not drawn; `origin` maps back
// to the index of each kept character in the decoded text.
std::u32string Drawable(std::string_view utf8, std::vector<std::size_t>* origin);

// The line in the typeface at `points` (the primary face's size already set).
// Text made only of Windows-1252 characters that the primary face holds keeps
// the plain one-face placement (FreeType advances and kerning), so such text
// looks the same as it always has; any other is shaped (text/shaping.h).
Line LayOutLine(FaceSet& faces, Typeface typeface, Face* primary, double points, const std::u32string& text,
                const std::vector<std::size_t>& origin);

}  // namespace mirelune::text
