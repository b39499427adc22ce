// text.h — text on a surface through FreeType, faces found by fontconfig.
//
//   TextMetrics m = DrawText(surface, "Times New Roman", 250, px, py, "A", colour);
//
// (px, py) is the top-left corner of the text cell in pixels: the baseline lies
// one ascender below it. One point is 96/72 pixels. Glyphs are anti-aliased and
// blended in integer arithmetic, so the result is the same on every run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mirelune {

class Surface;

struct TextMetrics {
  long width = 0;        // advance of the whole text, pixels
  long line_height = 0;  // distance to the next line, pixels
};

TextMetrics DrawText(Surface& s, const std::string& family, double points, long px, long py,
                     std::string_view utf8_text, std::uint32_t colour);

// Measures without drawing.
TextMetrics MeasureText(const std::string& family, double points, std::string_view utf8_text);

// The font file fontconfig picks for a family name ("" when none is found).
std::string FontFileFor(const std::string& family);

// Decodes UTF-8; malformed bytes give U+FFFD. Returns false if any were malformed.
bool DecodeUtf8(std::string_view s, std::u32string* out);
std::string EncodeUtf8(char32_t c);

}  // namespace mirelune
