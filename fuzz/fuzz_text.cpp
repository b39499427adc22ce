// Text drawing with any name, at any size and place, on a small surface: every
// glyph the fonts have (and bytes that are no text at all) must stay inside it.
// Emoji sequences (selectors, joiners, skin tones, flags) in every face.
#include "fuzz_util.h"
#include "surface/surface.h"
#include "surface/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  if (size < 4) return 0;
  // A colour face too: its glyphs come as scaled bitmaps, blank ones included.
  static const char* const kFamilies[] = {"Times New Roman", "Arial", "sans-serif", "monospace", "Noto Color Emoji"};
  const std::string family = kFamilies[data[0] % 5];
  const double points = 1 + data[1] % 64;
  const long px = static_cast<long>(data[2] % 80) - 16, py = static_cast<long>(data[3] % 48) - 16;
  Surface surface(64, 32, 64, 32);
  const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
  const TextMetrics m = DrawText(surface, family, points, px, py, text, 0x123456);
  fuzz::Require(m.width >= 0 && m.line_height >= 0);
  return 0;
}
