// print.cpp — the printed page, drawn once for PDF and for PNG by Cairo.
#include "files/print.h"

#ifndef MIRELUNE_NO_PRINT
#include <cairo-pdf.h>
#include <cairo.h>
#endif

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/card_parts.h"

namespace mirelune {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kMarkLength = 5;  // mm, beyond the bleed

#ifndef MIRELUNE_NO_PRINT
struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, SurfaceFree>;
using CairoContext = std::unique_ptr<cairo_t, ContextFree>;

// The card as Cairo's RGB24 picture (0x00RRGGBB words; ours are 0x00BBGGRR).
CairoSurface CardPicture(const Image& card) {
  CairoSurface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, card.width, card.height));
  if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) return s;
  cairo_surface_flush(s.get());
  unsigned char* data = cairo_image_surface_get_data(s.get());
  const int stride = cairo_image_surface_get_stride(s.get());
  for (int y = 0; y < card.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < card.width; ++x) {
      const std::uint32_t p = card.at(x, y);
      row[x] = ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
    }
  }
  cairo_surface_mark_dirty(s.get());
  return s;
}

// The page in `cr`, whose units are millimetres. The greeting runs a few
// pixels above the card's foot and from its left edge, so the card spans the
// trimmed width and stands on the trimmed foot, the top of its picture cut off
// (every page is wider than the card); the bleed beyond the sides and the foot
// repeats the card's edge pixels. Then the crop marks in the margin.
void DrawPage(cairo_t* cr, cairo_surface_t* picture, const Image& card, const PrintLayout& page, cairo_filter_t filter) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  const double x0 = page.marks_margin, y0 = page.marks_margin;
  const double bw = page.trim_width + 2 * page.bleed, bh = page.trim_height + 2 * page.bleed;
  const double mm_per_pixel = page.trim_width / card.width;
  cairo_save(cr);
  cairo_rectangle(cr, x0, y0, bw, bh);
  cairo_clip(cr);
  cairo_translate(cr, x0 + page.bleed, y0 + page.bleed + page.trim_height - card.height * mm_per_pixel);
  cairo_scale(cr, mm_per_pixel, mm_per_pixel);
  cairo_set_source_surface(cr, picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), filter);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_restore(cr);
  if (page.marks_margin <= 0) return;
  // Along each trim edge, from the bleed's edge outwards, at every corner.
  const double left = x0 + page.bleed, top = y0 + page.bleed;
  const double right = left + page.trim_width, bottom = top + page.trim_height, gap = page.bleed;
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 0.1);
  for (const double x : {left, right})
    for (const double y : {top, bottom}) {
      const double out_x = x == left ? -1 : 1, out_y = y == top ? -1 : 1;
      cairo_move_to(cr, x + out_x * gap, y);
      cairo_line_to(cr, x + out_x * (gap + kMarkLength), y);
      cairo_move_to(cr, x, y + out_y * gap);
      cairo_line_to(cr, x, y + out_y * (gap + kMarkLength));
    }
  cairo_stroke(cr);
}

cairo_status_t Append(void* to, const unsigned char* data, unsigned int length) {
  static_cast<Bytes*>(to)->insert(static_cast<Bytes*>(to)->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

Error CairoFailure(const char* what, cairo_status_t status) {
  return Error{std::string("cannot make the ") + what + ": " + cairo_status_to_string(status)};
}

#endif
}  // namespace

std::vector<std::string> PaperSizeWords() { return {"a6", "5x7", "letter-half"}; }

namespace {
std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}
}  // namespace

std::optional<PaperSize> ParsePaperSize(std::string_view word) {
  const std::vector<std::string> words = PaperSizeWords();
  const auto at = std::find(words.begin(), words.end(), Lower(std::string(word)));
  if (at == words.end()) return std::nullopt;
  return static_cast<PaperSize>(at - words.begin());
}

bool IsPrintFileName(const std::filesystem::path& path) {
  const std::string ext = Lower(path.extension().string());
  return ext == ".pdf" || ext == ".png";
}

PrintLayout LayOutPrint(PaperSize paper, bool crop_marks) {
  PrintLayout page;
  switch (paper) {  // landscape, as the card is
    case PaperSize::kA6: page.trim_width = 148, page.trim_height = 105; break;
    case PaperSize::k5x7: page.trim_width = 7 * kMmPerInch, page.trim_height = 5 * kMmPerInch; break;
    case PaperSize::kLetterHalf: page.trim_width = 8.5 * kMmPerInch, page.trim_height = 5.5 * kMmPerInch; break;
  }
  if (crop_marks) page.marks_margin = page.bleed + kMarkLength + 2;
  // The card spans the trimmed width: its pixels there at 300 ppi.
  const double needed = page.trim_width / kMmPerInch * kPrintPpi;
  page.scale = std::clamp(static_cast<int>(std::ceil(needed / kCanvasPixelsW)), 1, kMaxScale);
  return page;
}

#ifndef MIRELUNE_NO_PRINT
Result<Bytes> EncodePrintPdf(const Image& card, const PrintLayout& page, const std::string& title) {
  const double points_per_mm = 72 / kMmPerInch;
  Bytes out;
  CairoSurface picture = CardPicture(card);
  if (const cairo_status_t s = cairo_surface_status(picture.get()); s != CAIRO_STATUS_SUCCESS)
    return CairoFailure("PDF", s);
  CairoSurface pdf(cairo_pdf_surface_create_for_stream(&Append, &out, page.PageWidth() * points_per_mm,
                                                       page.PageHeight() * points_per_mm));
  cairo_pdf_surface_set_metadata(pdf.get(), CAIRO_PDF_METADATA_TITLE, title.c_str());
  cairo_pdf_surface_set_metadata(pdf.get(), CAIRO_PDF_METADATA_CREATOR, "Mirelune");
  {
    CairoContext cr(cairo_create(pdf.get()));
    cairo_scale(cr.get(), points_per_mm, points_per_mm);
    DrawPage(cr.get(), picture.get(), card, page, CAIRO_FILTER_GOOD);
    cairo_show_page(cr.get());
    if (const cairo_status_t s = cairo_status(cr.get()); s != CAIRO_STATUS_SUCCESS) return CairoFailure("PDF", s);
  }
  cairo_surface_finish(pdf.get());
  if (const cairo_status_t s = cairo_surface_status(pdf.get()); s != CAIRO_STATUS_SUCCESS)
    return CairoFailure("PDF", s);
  return out;
}

Result<Bytes> EncodePrintPng(const Image& card, const PrintLayout& page, const PngText* text) {
  const double pixels_per_mm = kPrintPpi / kMmPerInch;
  const int w = static_cast<int>(std::lround(page.PageWidth() * pixels_per_mm));
  const int h = static_cast<int>(std::lround(page.PageHeight() * pixels_per_mm));
  CairoSurface picture = CardPicture(card);
  CairoSurface target(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
  for (cairo_surface_t* s : {picture.get(), target.get()})
    if (const cairo_status_t status = cairo_surface_status(s); status != CAIRO_STATUS_SUCCESS)
      return CairoFailure("page", status);
  {
    CairoContext cr(cairo_create(target.get()));
    cairo_scale(cr.get(), pixels_per_mm, pixels_per_mm);
    DrawPage(cr.get(), picture.get(), card, page, CAIRO_FILTER_BEST);
    if (const cairo_status_t s = cairo_status(cr.get()); s != CAIRO_STATUS_SUCCESS) return CairoFailure("page", s);
  }
  cairo_surface_flush(target.get());
  Image img{w, h, {}};
  img.pixels.resize(static_cast<std::size_t>(w) * h);
  const unsigned char* data = cairo_image_surface_get_data(target.get());
  const int stride = cairo_image_surface_get_stride(target.get());
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = row[x];
      img.pixels[static_cast<std::size_t>(y) * w + x] = ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
    }
  }
  PngText with_density = text ? *text : PngText{};
  with_density.pixels_per_inch = kPrintPpi;
  return EncodePng(img, &with_density);
}

#else
// Built without Cairo (the Windows build): the card itself is saved, not its page.
Result<Bytes> EncodePrintPdf(const Image&, const PrintLayout&, const std::string&) {
  return Error{"printing is not part of this build of Mirelune (the Windows build has no Cairo)"};
}
Result<Bytes> EncodePrintPng(const Image& card, const PrintLayout& page, const PngText*) {
  return EncodePrintPdf(card, page, "");
}
#endif

}  // namespace mirelune
