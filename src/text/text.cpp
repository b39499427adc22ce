// text.cpp — the front door: a Fonts value's faces and glyphs, and text drawn
// with them.
#include "text/text.h"

#include <hb.h>

#include <algorithm>
#include <utility>

#include "text/faces.h"
#include "text/layout.h"
#include "text/render.h"

namespace mirelune {

struct Fonts::Impl {
  explicit Impl(const std::string& folder) : faces(folder) {}
  text::FaceSet faces;
  text::GlyphBitmaps glyphs;  // keyed by the faces above, so gone before them
};

Fonts::Fonts(std::string folder) : folder_(std::move(folder)) {}
Fonts::~Fonts() = default;

// The folder stays with both: the moved-from value opens its faces afresh.
Fonts::Fonts(Fonts&& other) noexcept : folder_(other.folder_), impl_(std::move(other.impl_)) {}

Fonts& Fonts::operator=(Fonts&& other) noexcept {
  if (this != &other) {
    folder_ = other.folder_;
    impl_ = std::move(other.impl_);
  }
  return *this;
}

Fonts::Impl& Fonts::impl() {
  if (!impl_) impl_ = std::make_unique<Impl>(folder_);
  return *impl_;
}

Result<> Fonts::PrepareFace(Typeface face) {
  text::FaceSet& faces = impl().faces;
  if (!faces.Own(face)) return Error{faces.WhyNotOwn(face)};
  return {};
}

bool Fonts::ListedFaceHas(Typeface face, char32_t c) { return impl().faces.ListedFaceHas(face, c); }

int Fonts::FontconfigLookups() const { return impl_ ? impl_->faces.fontconfig_lookups() : 0; }

TextRecord Fonts::TakeRecord() { return impl_ ? impl_->faces.TakeRecord() : TextRecord{}; }

std::string FreeTypeVersion() {
  // A library of its own: the version does not depend on anyone's faces.
  FT_Library lib = nullptr;
  FT_Int major = 0, minor = 0, patch = 0;
  if (FT_Init_FreeType(&lib) == 0) {
    FT_Library_Version(lib, &major, &minor, &patch);
    FT_Done_FreeType(lib);
  }
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::string HarfBuzzVersion() { return hb_version_string(); }

namespace {

// Lays the text out at `points`; draws each glyph `scale` times that size at
// `scale` times its place, so that a card drawn larger keeps every line's length.
TextMetrics Run(Fonts& fonts, Surface* s, Typeface typeface, double points, long px, long py,
                std::string_view utf8_text, std::uint32_t colour, std::vector<PlacedGlyph>* placed = nullptr,
                int scale = 1) {
  TextMetrics m;
  Fonts::Impl& impl = fonts.impl();
  text::Face* primary = impl.faces.Own(typeface);
  if (!primary || !(points > 0)) return m;
  if (points > 2000) points = 2000;
  if (!text::SetSize(primary, points)) return m;
  const long ascender = (primary->ft->size->metrics.ascender + 32) >> 6;
  m.line_height = (primary->ft->size->metrics.height + 32) >> 6;
  std::vector<std::size_t> origin;
  const std::u32string chars = text::Drawable(utf8_text, &origin);
  const text::Line line = text::LayOutLine(impl.faces, typeface, primary, points, chars, origin);
  m.width = (line.advance * scale + 32) >> 6;
  m.line_height *= scale;
  const double drawn_points = std::min(points * scale, 2000.0);
  for (const text::Glyph& g : line.glyphs) {
    if (placed) placed->push_back({g.id, g.cluster, (g.pen + 32) >> 6, g.face->file});
    if (!s) continue;
    impl.faces.Used(g.face);
    if (scale > 1 && !text::SetSize(g.face, drawn_points)) continue;
    const text::Bitmap* b = impl.glyphs.Get(g.face, drawn_points, g.id);
    if (!b) continue;
    text::Put(*s, *b, px + (((g.pen + g.x_offset) * scale + 32) >> 6) + b->left,
              py + ascender * scale - b->top - ((g.y_offset * scale + 32) >> 6), colour);
  }
  return m;
}

}  // namespace

TextMetrics DrawText(Fonts& fonts, Surface& s, Typeface face, double points, long px, long py,
                     std::string_view utf8_text, std::uint32_t colour, int scale) {
  return Run(fonts, &s, face, points, px, py, utf8_text, colour, nullptr, scale);
}

TextMetrics MeasureText(Fonts& fonts, Typeface face, double points, std::string_view utf8_text) {
  return Run(fonts, nullptr, face, points, 0, 0, utf8_text, 0);
}

std::vector<PlacedGlyph> LayOutText(Fonts& fonts, Typeface face, double points, std::string_view utf8_text) {
  std::vector<PlacedGlyph> placed;
  Run(fonts, nullptr, face, points, 0, 0, utf8_text, 0, &placed);
  return placed;
}

void PrintText(Fonts& fonts, Surface& s, std::string_view utf8_text) {
  const TextMetrics m = DrawText(fonts, s, s.typeface, s.font_points, s.PixelX(s.cursor_x), s.PixelY(s.cursor_y),
                                 utf8_text, Drawn(s.pen_colour), s.brush());
  s.cursor_x = 0;
  s.cursor_y += m.line_height * s.scale_height() / s.pixel_height();
}

}  // namespace mirelune
