// site.cpp — what each URL answers: the page, the result page, cards, reports,
// the page's assets; the query's checks; ETags.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "base/checks.h"
#include "base/digest.h"
#include "base/platform.h"
#include "base/utf8.h"
#include "batch/list.h"  // CardFileName, the file name `card` gives
#include "card/frames.h"
#include "commands/export.h"
#include "files/animation.h"
#include "files/print.h"
#include "palette/palette_table.h"
#include "text/text.h"
#include "web/web.h"
#include "web_page.h"  // the files of src/web/page/, generated at build time

namespace mirelune::web {
namespace {

const char* const kParameters =
    "friend, sender, year, wish, max-styles, mode, palette, size, print, animate and download";

struct Asset {
  const char* path;
  const char* type;
  std::string_view body;
};
const Asset kAssets[] = {
    {"/app.js", "text/javascript; charset=utf-8", page::kAppJs},
    {"/style.css", "text/css; charset=utf-8", page::kStyleCss},
    {"/icon.svg", "image/svg+xml", page::kIconSvg},
};

// The cards the page offers to start from.
struct Example {
  const char *friend_name, *sender, *palette;
};
const Example kExamples[] = {{"Mary", "Bob", "3"}, {"Grandma", "Lily", "9"}, {"Ana", "Luka", "16"}, {"Yuki", "Ken", "13"}};
constexpr int kPreviewWidth = 288;

struct CardPath {
  const char* path;
  Output output;
};
const CardPath kCardPaths[] = {{"/card.png", Output::kPng},
                               {"/card.jpg", Output::kJpeg},
                               {"/card.jpeg", Output::kJpeg},
                               {"/card.bmp", Output::kBmp},
                               {"/card.webp", Output::kWebp},
                               {"/card.pdf", Output::kPdf},
                               {"/card.gif", Output::kGif},
                               {"/report.json", Output::kReport}};

const char* OutputName(Output o) {
  switch (o) {
    case Output::kPng: return "png";
    case Output::kJpeg: return "jpg";
    case Output::kBmp: return "bmp";
    case Output::kWebp: return "webp";
    case Output::kReport: return "report";
    case Output::kPdf: return "pdf";
    case Output::kGif: return "gif";
  }
  return "?";
}

// A value the user typed, for a message: cut, so a huge one is not echoed whole.
std::string Cut(const std::string& text) { return text.size() > 40 ? text.substr(0, 40) + "..." : text; }

Result<int> Number(const std::string& name, const std::string& text, int lo, int hi) {
  if (const std::string p = WholeNumberProblem(text, lo, hi); !p.empty()) return Error{"--" + name + ": " + p};
  return std::stoi(text);
}

// The page with each {{marker}} replaced by its value, in one pass: text a value
// brings in (a name holding "{{year}}") is never read as a marker.
std::string Render(std::string_view page, const std::map<std::string, std::string>& values) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t open; (open = page.find("{{", at)) != std::string_view::npos;) {
    const std::size_t close = page.find("}}", open);
    if (close == std::string_view::npos) break;
    out.append(page.substr(at, open - at));
    const auto it = values.find(std::string(page.substr(open + 2, close - open - 2)));
    if (it != values.end()) out += it->second;
    at = close + 2;
  }
  out.append(page.substr(at));
  return out;
}

std::string Typed(const Args& args, const std::string& key, const std::string& otherwise) {
  for (const auto& [k, v] : args)
    if (k == key) return v;
  return otherwise;
}

std::string Options(const std::vector<std::pair<std::string, std::string>>& values, const std::string& chosen) {
  std::string html;
  for (const auto& [value, label] : values)
    html += "<option value=\"" + value + "\"" + (value == chosen ? " selected" : "") + ">" + label + "</option>";
  return html;
}

// The greeting the card shows, as one line of text for the picture's alternative.
std::string Greeting(const CardQuery& q) {
  std::string line = GreetingLine({q.card.friend_name, q.card.sender, q.card.year, q.card.wish}), out;
  for (const char c : line)
    if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

const char* ContentType(Output o) {
  switch (o) {
    case Output::kPng: return "image/png";
    case Output::kJpeg: return "image/jpeg";
    case Output::kBmp: return "image/bmp";
    case Output::kWebp: return "image/webp";
    case Output::kReport: return "application/json";
    case Output::kPdf: return "application/pdf";
    case Output::kGif: return "image/gif";
  }
  return "application/octet-stream";
}

Result<CardQuery> ParseCardQuery(const Args& args, int default_year) {
  CardQuery q;
  q.card.year = default_year;
  std::set<std::string> seen;
  for (const auto& [key, value] : args) {
    if (!seen.insert(key).second) return Error{"--" + Cut(key) + ": given more than once"};
    if (key == "friend" || key == "sender") {
      if (const std::string p = GreetingNameProblem(value); !p.empty()) return Error{"--" + key + ": " + p};
      (key == "friend" ? q.card.friend_name : q.card.sender) = value;
    } else if (value.empty() && (key == "year" || key == "max-styles" || key == "palette" || key == "mode")) {
      continue;  // the default
    } else if (key == "year") {
      MIRELUNE_TRY_ASSIGN(q.card.year, Number(key, value, kFirstYear, kLastYear));
    } else if (key == "max-styles") {
      MIRELUNE_TRY_ASSIGN(q.card.max_styles, Number(key, value, 1, 24));
    } else if (key == "palette") {
      MIRELUNE_TRY_ASSIGN(q.card.palette, Number(key, value, 1, 26));
    } else if (key == "wish") {
      if (const std::string p = WishProblem(value); !p.empty()) return Error{"--wish: " + p};
      q.card.wish = value;
    } else if (key == "size") {
      if (value.empty()) continue;
      if (const std::string p = WholeNumberProblem(value, 16, kCanvasPixelsW * kMaxScale); !p.empty())
        return Error{"size: the card's width in pixels, " + p};
      q.width = std::stoi(value);
    } else if (key == "print") {
      if (const std::string p = OneOfProblem(value, PaperSizeWords()); !p.empty()) return Error{"print: " + p};
      q.print = value;
    } else if (key == "animate") {
      if (value != "1" && value != "0" && !value.empty()) return Error{"animate: 1 or 0, not \"" + Cut(value) + "\""};
      q.animate = value == "1";
    } else if (key == "download") {
      if (value != "1" && value != "0" && !value.empty()) return Error{"download: 1 or 0, not \"" + Cut(value) + "\""};
      q.download = value == "1";
    } else if (key == "mode") {
      if (const std::string p = OneOfProblem(value, {"line", "pix"}); !p.empty()) return Error{"--mode: " + p};
      q.card.mode = value == "pix" ? EffectMode::kPix : EffectMode::kLine;
    } else {
      return Error{"unknown parameter \"" + Cut(key) + "\"; the parameters are " + kParameters};
    }
  }
  if (!seen.count("friend")) return Error{"--friend is required"};
  if (!seen.count("sender")) return Error{"--sender is required"};
  return q;
}

namespace {
// The query as `output` takes it: a page is printed only as PDF, at the page's
// size (A6 unless told); an animation is WebP or GIF (which always is one), 450
// pixels wide unless told.
Result<CardQuery> QueryFor(Output output, const Args& args, int default_year) {
  MIRELUNE_TRY_ASSIGN(CardQuery q, ParseCardQuery(args, default_year));
  const bool sized = !Typed(args, "size", "").empty();
  if (output == Output::kPdf) {
    if (sized) return Error{"size: a printed page has the page's size"};
    if (q.print.empty()) q.print = "a6";
  } else if (!q.print.empty()) {
    return Error{"print: only for /card.pdf"};
  }
  if (q.width > kCanvasPixelsW && (q.animate || output == Output::kGif))
    return Error{"size: an animation is at most " + std::to_string(kCanvasPixelsW) + " pixels wide"};
  if (output == Output::kGif) {
    if (Typed(args, "animate", "1") != "1")
      return Error{"animate: /card.gif is the card painting itself; leave animate out or make it 1"};
    q.animate = true;
  } else if (q.animate && output != Output::kWebp) {
    return Error{"animate: only for /card.webp and /card.gif"};
  }
  if (q.animate && !sized) q.width = kDefaultAnimationWidth;
  return q;
}

// The settings beyond the names and the year, each with its '&' before it.
std::string MoreSettings(const CardQuery& q) {
  std::string text;
  if (q.card.max_styles != 15) text += "&max-styles=" + std::to_string(q.card.max_styles);
  if (q.card.mode == EffectMode::kPix) text += "&mode=pix";
  if (q.card.palette != 0) text += "&palette=" + std::to_string(q.card.palette);
  if (!q.card.wish.empty()) text += "&wish=" + PercentEncode(q.card.wish);
  if (q.width != kCanvasPixelsW) text += "&size=" + std::to_string(q.width);
  if (!q.print.empty()) text += "&print=" + q.print;
  if (q.animate) text += "&animate=1";
  return text;
}

// A name for a download: letters (any script) and digits, other characters one
// '_', at most 32 characters, as CardFileName folds them to ASCII.
std::string UnicodeFileName(const std::string& name) {
  std::u32string chars;
  DecodeUtf8(name, &chars);
  std::string out;
  int kept = 0;
  bool gap = false;
  for (const char32_t c : chars) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    const bool letter = c > 0xBF && c != 0xD7 && c != 0xF7 && c != 0xFFFD && !(c >= 0x2000 && c <= 0x206F) &&
                        !(c >= 0x3000 && c <= 0x303F) && c != 0xFEFF;
    if (!plain && !letter) {
      gap = kept > 0;
      continue;
    }
    if (gap) out += '_';
    gap = false;
    out += EncodeUtf8(c);
    if (++kept == 32) break;
  }
  return out.empty() ? "_" : out;
}
}  // namespace

std::string CanonicalQuery(const CardQuery& q) {
  return "friend=" + PercentEncode(q.card.friend_name) + "&sender=" + PercentEncode(q.card.sender) +
         "&year=" + std::to_string(q.card.year) + MoreSettings(q);
}

std::string ShareLink(const CardQuery& q) {
  const std::string more = MoreSettings(q);
  return "/card/" + PercentEncode(q.card.friend_name) + "/" + PercentEncode(q.card.sender) + "/" +
         std::to_string(q.card.year) + (more.empty() ? "" : "?" + more.substr(1));
}

namespace {
int HexDigit(char c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}
// %XX at `at`, or -1.
int EscapedByte(std::string_view text, std::size_t at) {
  if (at + 2 >= text.size()) return -1;
  const int hi = HexDigit(text[at + 1]), lo = HexDigit(text[at + 2]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}
}  // namespace

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text[k] != '%') {
      out += text[k];
      continue;
    }
    const int byte = EscapedByte(text, k);
    if (byte < 0) return std::nullopt;
    out += static_cast<char>(byte);
    k += 2;
  }
  return out;
}

std::string QueryDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t k = 0; k < text.size(); ++k) {
    const int byte = text[k] == '%' ? EscapedByte(text, k) : -1;
    if (byte >= 0) {
      out += static_cast<char>(byte);
      k += 2;
    } else {
      out += text[k] == '+' ? ' ' : text[k];
    }
  }
  return out;
}

std::optional<Args> ShareLinkArgs(std::string_view path) {
  constexpr std::string_view kStart = "/card/";
  if (!path.starts_with(kStart)) return std::nullopt;
  path.remove_prefix(kStart.size());
  const char* const keys[] = {"friend", "sender", "year"};
  Args args;
  for (const char* key : keys) {
    const std::size_t slash = path.find('/');
    if ((slash == std::string_view::npos) != (args.size() == 2)) return std::nullopt;  // three parts exactly
    std::optional<std::string> part = PercentDecode(path.substr(0, slash));
    if (!part) return std::nullopt;
    args.emplace_back(key, std::move(*part));
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
  }
  return args;
}

std::string ContentDisposition(const std::string& friend_name, const std::string& sender, const std::string& ext) {
  const std::string plain = CardFileName(friend_name, sender, ext);
  const std::string full = UnicodeFileName(friend_name) + "-from-" + UnicodeFileName(sender) + "." + ext;
  std::string header = "attachment; filename=\"" + plain + "\"";
  if (full != plain) header += "; filename*=UTF-8''" + PercentEncode(full);
  return header;
}

std::string PaletteStyles() {
  std::string css = "/* Built from the palette table: palette N's ten colours as stripes. */\n";
  const auto hex = [](int v) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", v < 0 ? 0 : v > 255 ? 255 : v);  // the table's 1143 reads as 255
    return std::string(digits);
  };
  for (int p = 1; p <= kPaletteCount; ++p) {
    css += ".palette-" + std::to_string(p) + "{background:linear-gradient(90deg";
    for (int c = 1; c <= kPaletteColours; ++c) {
      const PaletteRgb rgb = PaletteColour(p, c);
      css += ",#" + hex(rgb.red) + hex(rgb.green) + hex(rgb.blue) + " " + std::to_string((c - 1) * 10) + "% " +
             std::to_string(c * 10) + "%";
    }
    css += ")}\n";
  }
  return css;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

bool EtagMatches(std::string_view header, std::string_view etag) {
  // A list of entity tags separated by commas. If-None-Match compares weakly:
  // W/"x" matches "x". Anything malformed matches nothing, so the card is sent.
  std::size_t at = 0;
  while (at < header.size()) {
    while (at < header.size() && (header[at] == ' ' || header[at] == '\t' || header[at] == ',')) ++at;
    if (at >= header.size()) break;
    if (header[at] == '*') return true;
    if (header.compare(at, 2, "W/") == 0) at += 2;
    if (at >= header.size() || header[at] != '"') return false;  // malformed: no match
    const std::size_t end = header.find('"', at + 1);
    if (end == std::string_view::npos) return false;
    if (header.substr(at, end + 1 - at) == etag) return true;
    at = end + 1;
  }
  return false;
}

std::string ClientOf(const std::string& peer, std::string_view forwarded_for, const std::vector<std::string>& trusted) {
  bool proxy = false;
  for (const std::string& t : trusted) proxy = proxy || t == peer;
  if (!proxy || forwarded_for.empty()) return peer;
  std::string_view last = forwarded_for.substr(forwarded_for.rfind(',') + 1);
  while (!last.empty() && (last.front() == ' ' || last.front() == '\t')) last.remove_prefix(1);
  while (!last.empty() && (last.back() == ' ' || last.back() == '\t')) last.remove_suffix(1);
  if (last.empty() || last.size() > 45) return peer;  // not an address: the proxy is the client
  for (const char c : last)
    if (!std::isxdigit(static_cast<unsigned char>(c)) && c != '.' && c != ':') return peer;
  return std::string(last);
}

std::string LogText(std::string_view text) {
  std::string out;
  for (const char ch : text.substr(0, 200)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x21 || c >= 0x7F || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += ch;
    }
  }
  return text.size() > 200 ? out + "..." : out;
}

Response TextResponse(int status, std::string text) {
  Response r;
  r.status = status;
  r.body = std::make_shared<const std::string>(std::move(text) + "\n");
  return r;
}

const Headers& SecurityHeaders() {
  static const Headers headers{
      {"Content-Security-Policy", "default-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"X-Frame-Options", "DENY"}};
  return headers;
}

Headers CardHeaders(const std::string& etag) {
  return {{"ETag", etag}, {"Cache-Control", "public, max-age=31536000, immutable"}};
}

Headers CardHeaders(const CardJob& job) {
  Headers h = CardHeaders(job.etag);
  if (job.query.download) {
    const std::string ext = job.output == Output::kReport ? "json" : OutputName(job.output);
    h.emplace_back("Content-Disposition", ContentDisposition(job.query.card.friend_name, job.query.card.sender, ext));
  }
  return h;
}

std::string FaceIdentity() {
  std::string identity = "freetype " + FreeTypeVersion() + ", harfbuzz " + HarfBuzzVersion();
  std::set<std::string> done;
  for (const Typeface face : {Typeface::kSans, Typeface::kSerif}) {
    bool own = true;
    for (const FaceFile& f : FaceFiles(face)) {
      const std::string path = FontFolder() + "/" + f.path;
      if (!done.insert(path).second) continue;
      identity.append("\n").append(f.path).append(" ");
      const std::optional<std::string> stamp = FileStamp(path);
      if (!stamp) {
        identity += "absent";
      } else if (own) {
        std::ifstream in(Utf8Path(path), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        identity += Sha256Hex(bytes.data(), bytes.size());
      } else {
        identity += *stamp;
      }
      own = false;
    }
  }
  return identity;
}

Site::Site(std::string identity, CardWriter writer, std::function<std::time_t()> now)
    : identity_(std::move(identity)), writer_(std::move(writer)), now_(std::move(now)) {}

std::string Site::EtagOf(const CardQuery& q, Output o) const {
  const std::string key = identity_ + "\n" + PictureLibraries() + "\n" + OutputName(o) + "\n" + CanonicalQuery(q);
  return "\"" + Sha256Hex(key.data(), key.size()).substr(0, 40) + "\"";
}

namespace {

// The field a query's message is about ("--friend: ...", "--sender is required"),
// or "" for the form as a whole.
std::string FieldOf(const std::string& error) {
  if (!error.starts_with("--")) return "";
  const std::string key = error.substr(2, error.find_first_of(": ", 2) - 2);
  for (const char* field : {"friend", "sender", "wish", "year", "max-styles"})
    if (key == field && error.find("given more than once") == std::string::npos) return key;
  return "";
}

// What the page says beside the field at fault, in plain words; the API's
// message stays the answer of the card URLs.
std::string FriendlyError(const std::string& field, const std::string& value) {
  if (field == "year")
    return "Please type a year from " + std::to_string(kFirstYear) + " to " + std::to_string(kLastYear) + ".";
  if (field == "max-styles") return "Please type a number from 1 to 24.";
  const bool name = field != "wish";
  std::u32string chars;
  if (!DecodeUtf8(value, &chars)) return "Some of these characters cannot be read; please type them again.";
  if (chars.size() > 100)
    return std::string("Please shorten the ") + (name ? "name" : "wish") + " to 100 characters or fewer.";
  if (!name) return "Please type a few words, or leave the wish empty.";
  return field == "friend" ? "Please type your friend's name." : "Please type your name.";
}

std::string Gallery(int year) {
  std::string html;
  for (const Example& e : kExamples) {
    CardQuery q;
    q.card.friend_name = e.friend_name;
    q.card.sender = e.sender;
    q.card.year = year;
    q.card.palette = std::stoi(e.palette);
    const std::string who = std::string(e.friend_name) + " from " + e.sender;
    CardQuery preview = q;
    preview.width = kPreviewWidth;
    html += "<li><a class=\"example\" href=\"" + HtmlEscape(ShareLink(q)) + "\" data-friend=\"" +
            HtmlEscape(e.friend_name) + "\" data-sender=\"" + HtmlEscape(e.sender) + "\" data-year=\"" +
            std::to_string(year) + "\" data-palette=\"" + e.palette + "\"><img src=\"/card.webp?" +
            HtmlEscape(CanonicalQuery(preview)) + "\" alt=\"\" width=\"" + std::to_string(kPreviewWidth) +
            "\" height=\"" + std::to_string(ScaledHeight(kCanvasPixelsW, kCanvasPixelsH, kPreviewWidth)) +
            "\" loading=\"lazy\"><span>" + HtmlEscape(who) + "</span></a></li>";
  }
  return html;
}

std::string PaletteChoices(const std::string& chosen) {
  std::string html = std::string("<label class=\"swatch\"><input type=\"radio\" name=\"palette\" value=\"\"") +
                     (chosen.empty() ? " checked" : "") + "><span class=\"strip any\"></span>any</label>";
  for (int p = 1; p <= kPaletteCount; ++p) {
    const std::string n = std::to_string(p);
    html += "<label class=\"swatch\"><input type=\"radio\" name=\"palette\" value=\"" + n + "\"" +
            (chosen == n ? " checked" : "") + "><span class=\"strip palette-" + n +
            "\"></span><span class=\"visually-hidden\">palette </span>" + n + "</label>";
  }
  return html;
}

}  // namespace

Response Site::Page(int status, const CardQuery* shown, const Args& typed, const std::string& error) const {
  const int coming = ComingYear(now_());
  const std::string year = std::to_string(coming);
  const auto field = [&](const char* key, const std::string& otherwise) { return Typed(typed, key, otherwise); };
  const std::string palette = field("palette", ""), mode = field("mode", "line"), styles = field("max-styles", "15");
  const std::string at_fault = FieldOf(error);
  const bool more = !palette.empty() || mode != "line" || styles != "15" || at_fault == "max-styles";
  std::map<std::string, std::string> v{
      {"more", more ? " open" : ""},
      {"palettes", PaletteChoices(palette)},
      {"modes", Options({{"line", "line by line"}, {"pix", "pixel by pixel"}}, mode)},
      {"max-styles", HtmlEscape(styles)},
      {"friend", HtmlEscape(field("friend", ""))},
      {"sender", HtmlEscape(field("sender", ""))},
      {"wish", HtmlEscape(field("wish", ""))},
      {"year", HtmlEscape(field("year", year))},
      {"gallery", Gallery(coming)},
      {"error-hidden", error.empty() || !at_fault.empty() ? " hidden" : ""},
      {"error", at_fault.empty() ? HtmlEscape(error) : ""},
      {"result-hidden", shown ? "" : " hidden"},
      {"title", shown ? "Your card" : error.empty() ? "A new-year card from two names" : "Please check the form"}};
  for (const char* f : {"friend", "sender", "wish", "year", "max-styles"}) {
    const bool bad = at_fault == f;
    v[std::string(f) + "-error"] = bad ? HtmlEscape(FriendlyError(f, field(f, ""))) : "";
    v[std::string(f) + "-error-hidden"] = bad ? "" : " hidden";
    v[std::string(f) + "-invalid"] = bad ? " aria-invalid=\"true\"" : "";
  }
  if (shown) {
    CardQuery download = *shown;
    download.download = true;
    const std::string q = HtmlEscape(CanonicalQuery(*shown));
    v["png"] = "/card.png?" + q;
    for (const char* ext : {"png", "jpg", "bmp", "webp", "gif", "pdf"}) {
      v[std::string(ext) + "-download"] = "/card." + std::string(ext) + "?" + q + "&amp;download=1";
      v[std::string(ext) + "-name"] = HtmlEscape(CardFileName(shown->card.friend_name, shown->card.sender, ext));
    }
    v["webp-moving-download"] = "/card.webp?" + q + "&amp;animate=1&amp;download=1";
    v["share"] = HtmlEscape(ShareLink(*shown));
    v["greeting"] = HtmlEscape(Greeting(*shown));
  }
  std::string html = Render(page::kIndexHtml, v);
  Response r;
  r.status = status;
  r.type = "text/html; charset=utf-8";
  r.body = std::make_shared<const std::string>(std::move(html));
  r.headers = {{"Cache-Control", "no-cache"}};
  return r;
}

Route Site::Handle(const Request& r) const {
  Route route;
  if (r.method != "GET" && r.method != "HEAD") {
    route.now = TextResponse(405, "only GET and HEAD are answered here");
    route.now->headers.emplace_back("Allow", "GET, HEAD");
    return route;
  }
  if (r.path == "/" || r.path == "/card") {
    if (r.args.empty()) {
      route.now = Page(200, nullptr, {}, "");
      return route;
    }
    const Result<CardQuery> q = ParseCardQuery(r.args, ComingYear(now_()));
    route.now = q ? Page(200, &*q, r.args, "") : Page(400, nullptr, r.args, q.error().message);
    return route;
  }
  // The readable share link: /card/FRIEND/SENDER/YEAR, further settings in the query.
  if (r.path.starts_with("/card/")) {
    std::optional<Args> args = ShareLinkArgs(r.path);
    if (!args) {
      route.now = TextResponse(404, "a card's link is /card/FRIEND/SENDER/YEAR, each part percent-encoded");
      return route;
    }
    args->insert(args->end(), r.args.begin(), r.args.end());
    const Result<CardQuery> q = ParseCardQuery(*args, ComingYear(now_()));
    route.now = q ? Page(200, &*q, *args, "") : Page(400, nullptr, *args, q.error().message);
    return route;
  }
  if (r.path == "/palettes.css") {
    Response res;
    res.type = "text/css; charset=utf-8";
    res.body = std::make_shared<const std::string>(PaletteStyles());
    res.headers = {{"Cache-Control", "public, max-age=3600"}};
    route.now = std::move(res);
    return route;
  }
  for (const Asset& a : kAssets) {
    if (r.path != a.path) continue;
    Response res;
    res.type = a.type;
    res.body = std::make_shared<const std::string>(a.body);
    res.headers = {{"Cache-Control", "public, max-age=3600"}};
    route.now = std::move(res);
    return route;
  }
  for (const CardPath& c : kCardPaths) {
    if (r.path != c.path) continue;
    const Result<CardQuery> q = QueryFor(c.output, r.args, ComingYear(now_()));
    if (!q) {
      route.now = TextResponse(400, q.error().message);
      return route;
    }
    CardJob job{*q, c.output, EtagOf(*q, c.output), {}};
    job.headers = CardHeaders(job);
    if (!r.if_none_match.empty() && EtagMatches(r.if_none_match, job.etag)) {
      Response not_modified;
      not_modified.status = 304;
      not_modified.body = std::make_shared<const std::string>();
      not_modified.headers = job.headers;
      route.now = std::move(not_modified);
      return route;
    }
    route.job = std::move(job);
    return route;
  }
  route.now = TextResponse(404, "there is nothing here; the card is made at /");
  return route;
}

namespace {
// A watch that gives a card up kLargeCardSeconds from now.
struct TimeLimit {
  std::chrono::steady_clock::time_point given_up = std::chrono::steady_clock::now() + std::chrono::seconds(kLargeCardSeconds);
  std::stop_source stop;
  CardWatch Watch() {
    return {stop.get_token(), [this](const ProgressMark&) {
              if (std::chrono::steady_clock::now() > given_up) stop.request_stop();
            }};
  }
};

Response Answer(const CardJob& job, const Result<Bytes>& bytes) {
  if (!bytes) return TextResponse(500, "the card could not be encoded");
  Response r;
  r.type = ContentType(job.output);
  r.body = std::make_shared<const std::string>(bytes->begin(), bytes->end());
  r.headers = job.headers;
  return r;
}
}  // namespace

Response Site::Make(const CardJob& job, Fonts& fonts, CardMemory& memory) const {
  CardSpec spec = job.query.card;
  if (job.output == Output::kPdf) {
    const std::lock_guard one_at_a_time(large_card_);
    const PrintLayout page = LayOutPrint(ParsePaperSize(job.query.print).value_or(PaperSize::kA6), false);
    spec.scale = page.scale;
    TimeLimit limit;
    const auto made = std::make_unique<Card>(MakeCard(spec, limit.Watch(), fonts));
    if (made->stopped) return TextResponse(503, "the printed page took too long to make; please try again later");
    return Answer(job, EncodePrintedPage(made->card.image(), page, CardFileText(spec, {}), false));
  }
  if (job.query.animate) {
    TimeLimit limit;
    FrameRecorder recorder({.width = job.query.width});
    const CardWatch watch = limit.Watch();
    const Card made = MakeCard(spec, recorder.Watch(watch.stop, watch.progress), fonts);
    if (made.stopped) return TextResponse(503, "the animation took too long to make; please try again later");
    return Answer(job, EncodeAnimation(recorder.Finish(),
                                       job.output == Output::kGif ? AnimationFormat::kGif : AnimationFormat::kWebp,
                                       &gif_quantiser_));
  }
  // Wider than the card: the card drawn larger, then shrunk to the width asked for.
  spec.scale = (job.query.width + kCanvasPixelsW - 1) / kCanvasPixelsW;
  std::unique_lock<std::mutex> large;
  if (spec.scale > 1) large = std::unique_lock(large_card_);
  // A character no face has is noted in the card's report; nobody reads text problems here.
  const auto made = std::make_unique<Card>(MakeCard(spec, {}, fonts, memory));
  // The card's own raster unless a smaller one is asked: a copy would cost fresh pages.
  const Image& full = made->card.image();
  const std::optional<Image> shrunk =
      job.query.width < full.width ? std::optional(ScaleToWidth(full, job.query.width)) : std::nullopt;
  const Image& picture = shrunk ? *shrunk : full;
  Response r = Answer(job, job.output == Output::kWebp ? EncodeWebp(picture)
                                                       : writer_(spec, *made, picture, job.output, memory.png_rows));
  if (spec.scale == 1) memory.Keep(std::move(*made));
  return r;
}

}  // namespace mirelune::web
