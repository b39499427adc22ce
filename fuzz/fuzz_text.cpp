// Text drawing with any name, at any size and place, on a small surface: every
// glyph the faces have (and bytes that are no text at all) must stay inside it.
// Emoji sequences (selectors, joiners, skin tones, flags) in both typefaces; the
// colour face's glyphs come as scaled bitmaps, blank ones included.
#include "fuzz_util.h"
#include "raster/surface.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  if (size < 4) return 0;
  const Typeface face = data[0] % 2 ? Typeface::kSerif : Typeface::kSans;
  const double points = 1 + data[1] % 64;
  const long px = static_cast<long>(data[2] % 80) - 16, py = static_cast<long>(data[3] % 48) - 16;
  static Fonts fonts(FontFolder());  // one value for the run, as a worker keeps it
  Surface surface(64, 32, 64, 32);
  const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
  const TextMetrics m = DrawText(fonts, surface, face, points, px, py, text, 0x123456);
  fuzz::Require(m.width >= 0 && m.line_height >= 0);
  fonts.TakeRecord();  // one input's record, not every input's
  return 0;
}
