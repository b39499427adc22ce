// export.h — a card made again as another kind of file: its printed page, the
// card drawn three times larger for print, or the card painting itself. The
// window's File ▸ Export writes these, and `mirelune-cli card` with --print,
// --scale 3 or --animate writes the same files through the same pieces.
//
//   const ExportPlan plan{.kind = ExportKind::kPrintPdf, .paper = PaperSize::k5x7, .crop_marks = true};
//   const Result<Exported> r = MakeExport(spec, plan, watch, fonts, digests);  // seconds: run it off the GUI thread
//   if (r && !r->stopped) WriteFileSafely("card.pdf", r->bytes);
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/result.h"
#include "card/card.h"
#include "commands/card_report.h"
#include "files/files.h"
#include "files/print.h"

namespace mirelune {

enum class ExportKind { kPrintPdf, kLargePng, kGif, kWebp };

// The scale of the large PNG: 2688 x 2013 pixels, about 9 x 7 inches at 300 ppi.
inline constexpr int kLargeScale = 3;

struct ExportPlan {
  ExportKind kind = ExportKind::kPrintPdf;
  PaperSize paper = PaperSize::kA6;  // the printed page's
  bool crop_marks = false;
};

struct Exported {
  bool stopped = false;  // by the watch: no bytes
  Bytes bytes;
  std::vector<std::string> problems;  // what went wrong with the card's text
};

// "pdf", "png", "gif" or "webp".
const char* ExportExtension(ExportKind kind);

// The texts a card's PNG carries (CardPngText) and the pixel density it is
// drawn for: 300 ppi for a card drawn larger than its own size, else 96.
PngText CardFileText(const CardSpec& spec, const nlohmann::ordered_json& report);

// The printed page as a PDF titled with `text`'s title, or as a 300 ppi PNG carrying `text`.
Result<Bytes> EncodePrintedPage(const Image& card, const PrintLayout& page, const PngText& text, bool as_png);

// The card of `spec` made again for `plan` (its scale is the plan's: the page's,
// kLargeScale, or the card's own size for an animation of the default width),
// encoded; a PNG's report takes the face files' digests from `digests`. The
// watch stops it and hears its progress marks.
Result<Exported> MakeExport(CardSpec spec, const ExportPlan& plan, const CardWatch& watch, Fonts& fonts,
                            FaceDigests& digests);

}  // namespace mirelune
