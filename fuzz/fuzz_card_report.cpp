// The card-report reader as `info` and `card --again` use it: a PNG's text chunks
// within their limits, the JSON report within its depth, the settings it records
// and the text shown on a terminal. The first byte chooses what the rest is:
//   even  a PNG file, its chunk checksums made right (else libpng stops at the
//         first mutated chunk and nothing behind it is reached);
//   odd   the report's JSON, carried by a small PNG in an iTXt chunk, or a zTXt
//         chunk when bit 1 is set.
#include "base/utf8.h"
#include "card/card.h"
#include "cli/cli.h"
#include "fuzz_util.h"
#include "png_chunks.h"

namespace {

using mirelune::fuzz::Require;
using Json = nlohmann::ordered_json;
using namespace mirelune::png_chunks;

std::string CardWith(const std::string& report, bool compressed) {
  const std::string key = mirelune::cli::kReportKeyword;
  return kSignature + Ihdr(1, 1) + (compressed ? Ztxt(key, report) : Itxt(key, report)) + Chunk("IEND", "");
}

// Nothing a terminal acts on: no control character but the line break, no
// separator or bidi override; valid UTF-8.
void RequireHarmless(const std::string& shown) {
  std::u32string chars;
  Require(mirelune::DecodeUtf8(shown, &chars));
  for (const char32_t c : chars)
    Require(c == '\n' || !(c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x2028 && c <= 0x202E) ||
                           (c >= 0x2066 && c <= 0x2069)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  if (size < 1) return 0;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) {
    bytes = CardWith(bytes, data[0] & 2);
  } else {
    FixChecksums(bytes);
  }
  const auto* png = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const Result<CardTexts> read = ReadPngText(std::span(png, bytes.size()), "card.png");
  if (!read) {
    Require(read.error().message.starts_with("card.png: "));
    return 0;
  }
  Require(read->size() <= static_cast<std::size_t>(kMaxPngTexts));
  // Keywords are as the file has them (a tEXt's may even be empty); the texts are bounded.
  for (const auto& [key, text] : *read) Require(key.size() + text.size() <= kMaxPngTextBytes);
  const Result<Json> parsed = ReportFromText(*read, "card.png");
  if (!parsed) {
    const std::string& why = parsed.error().message;
    Require(why.starts_with("card.png") && why.find('\n') == std::string::npos);
    return 0;
  }
  const Json& report = *parsed;
  Require(report.is_object());
  const std::string json = cli::TerminalText(report.dump(2), /*json=*/true);
  RequireHarmless(json);
  Require(Json::parse(json) == report);  // the escapes change nothing the JSON says
  Require(!cli::ReportText(report).empty());
  if (const Result<std::string> flat = cli::FlatReportText(report, "card.png"); flat)
    RequireHarmless(*flat);
  else
    Require(flat.error().message.find("too large") != std::string::npos);
  if (const Result<CardSpec> c = SpecFromReport(report, "card.png"); c)
    Require(c->max_styles >= 1 && c->max_styles <= 24 && c->palette >= 0 && c->palette <= 26 && c->year >= kFirstYear &&
            c->year <= kLastYear && CharCount(c->friend_name) <= 100 && CharCount(c->sender) <= 100);
  else
    Require(c.error().message.starts_with("card.png: "));
  return 0;
}
