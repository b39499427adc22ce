// text.h — text on a surface through FreeType, from font files pinned by path.
//
//   TextMetrics m = DrawText(surface, Typeface::kSerif, 250, px, py, "A", colour);
//
// (px, py) is the top-left corner of the text cell in pixels: the baseline lies
// one ascender below it. One point is 96/72 pixels. Glyphs are anti-aliased and
// blended in integer arithmetic, so the result is the same on every run.
//
// The faces are part of the card: each typeface is one file (DejaVu Sans for the
// greeting, Liberation Serif for the extruded letters), and a character it lacks
// comes from the first face of a fixed, ordered list of script faces (the Noto
// families, colour emoji) that has it. All are opened by path from the font folder
// (/usr/share/fonts, or $MIRELUNE_FONT_DIR, which only the tests set); the user's
// fontconfig setup cannot change them. Only a character no listed face has is
// looked up through fontconfig, and the face that draws it says so (FacesUsed).
//
// Any UTF-8 text: right-to-left runs are laid out in visual order inside a
// left-to-right line and shaped with HarfBuzz, so Arabic letters join. Control
// characters are not drawn. Text made only of Windows-1252 characters that the
// typeface holds keeps the plain one-face placement (FreeType advances and
// kerning), so such text looks the same as it always has.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "raster/surface.h"

namespace mirelune {

struct TextMetrics {
  long width = 0;        // advance of the whole text, pixels
  long line_height = 0;  // distance to the next line, pixels
};

TextMetrics DrawText(Surface& s, Typeface face, double points, long px, long py, std::string_view utf8_text,
                     std::uint32_t colour);

// Writes the text at the surface's cursor in its typeface, size and pen colour,
// then moves the cursor to the start of the next line.
void PrintText(Surface& s, std::string_view utf8_text);

// One glyph of a laid-out line, left to right.
struct PlacedGlyph {
  unsigned glyph = 0;      // glyph id in its face; 0 is the face's missing-glyph box
  std::size_t cluster = 0;  // index of the (first) character it draws, in the decoded text
  long x = 0;              // left edge of its advance, pixels from the start of the line
  std::string font_file;
};

// The glyphs DrawText would draw, in visual order.
std::vector<PlacedGlyph> LayOutText(Typeface face, double points, std::string_view utf8_text);

// A face file of the fixed list: its path in the font folder, the face within a
// collection, and the Debian package that installs it.
struct FaceFile {
  const char* path;
  int index;
  const char* package;
};
// The typeface's own file first, then its fallbacks in the order they are tried.
std::vector<FaceFile> FaceFiles(Typeface face);

// The folder the face files are read from: $MIRELUNE_FONT_DIR when set (tests
// put broken files there), else /usr/share/fonts. Read once.
const std::string& FontFolder();

// Opens the typeface's own file now; fails with one sentence naming the file and
// why it cannot draw (missing: with the package to install; unreadable, not a
// regular file, not a font). Nothing is drawn in another face instead.
Result<> PrepareFace(Typeface face);

// The faces text was drawn with on this thread since ForgetFacesUsed, first use
// first, each with the SHA-256 of its file (read once per process, when first
// asked) and, for a face fontconfig chose, a note that the card may differ on
// another machine.
struct FaceUsed {
  std::string file;
  int index = 0;
  std::string sha256;  // hex; empty when the file could not be read again
  std::string note;
};
std::vector<FaceUsed> FacesUsed();
void ForgetFacesUsed();

// The versions of the libraries that lay out and render text, as they run.
std::string FreeTypeVersion();
std::string HarfBuzzVersion();

// How many characters were looked up through fontconfig in this process.
int FontconfigLookups();

// Whether a face of the typeface's list (its own or a fallback) has the character.
bool ListedFaceHas(Typeface face, char32_t c);

// Why text was not drawn as asked (FreeType did not start, a face file cannot be
// used, no face has a character): each cause once per process, oldest first.
// Taking them empties the list. Text is drawn deep inside the styles, which go
// on with the card whatever a character costs, so these wait here until the card
// is done; what can stop a card before it starts is PrepareFace's Result.
std::vector<std::string> TakeTextFailures();

}  // namespace mirelune
