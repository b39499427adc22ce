// print.h — a card laid out on a printed page: the card filling the page and
// 3 mm past its edges (the bleed, so that cutting a little off leaves no white
// rim), its greeting inside the cut, with crop marks beyond that when asked.
//
//   const PrintLayout page = LayOutPrint(PaperSize::kA6, /*crop_marks=*/false);
//   spec.scale = page.scale;                              // enough pixels for 300 ppi
//   Result<Bytes> pdf = EncodePrintPdf(MakeCard(spec).card.image(), page, "Mirelune card for Mary");
//   Result<Bytes> png = EncodePrintPng(card, page, &text);  // the same page at 300 ppi
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "files/files.h"

namespace mirelune {

enum class PaperSize { kA6, k5x7, kLetterHalf };

// "a6", "5x7" and "letter-half", in the order of PaperSize.
std::vector<std::string> PaperSizeWords();
// One of those (any case); nothing for anything else.
std::optional<PaperSize> ParsePaperSize(std::string_view word);
// Whether a printed page may be written under `path`: a .pdf or .png name (any case).
bool IsPrintFileName(const std::filesystem::path& path);

// A page in millimetres, landscape like the card: the trimmed card, the bleed
// around it, and around that a margin for the crop marks (none without them).
struct PrintLayout {
  double trim_width = 0, trim_height = 0;
  double bleed = 3;
  double marks_margin = 0;
  int scale = 1;  // the card's scale that gives at least 300 pixels an inch over the bleed, at most 4

  double PageWidth() const { return trim_width + 2 * (bleed + marks_margin); }
  double PageHeight() const { return trim_height + 2 * (bleed + marks_margin); }
};
PrintLayout LayOutPrint(PaperSize paper, bool crop_marks);

// One page of PDF (Cairo's), the card's pixels embedded as they are: nothing is
// resampled, so a printer's own scaling works from every pixel. `title` goes
// into the document's information.
Result<Bytes> EncodePrintPdf(const Image& card, const PrintLayout& page, const std::string& title);

// The same page as a PNG at 300 pixels an inch (the card resampled by Cairo),
// carrying `text` like any card.
Result<Bytes> EncodePrintPng(const Image& card, const PrintLayout& page, const PngText* text);

}  // namespace mirelune
