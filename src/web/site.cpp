// site.cpp — what each URL answers: the page, the result page, cards, reports,
// the page's assets; the query's checks; ETags.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "base/checks.h"
#include "base/digest.h"
#include "text/text.h"
#include "web/web.h"
#include "web_page.h"  // the files of src/web/page/, generated at build time

namespace mirelune::web {
namespace {

const char* const kParameters = "friend, sender, year, wish, max-styles, mode and palette";

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

struct CardPath {
  const char* path;
  Output output;
};
const CardPath kCardPaths[] = {{"/card.png", Output::kPng},
                               {"/card.jpg", Output::kJpeg},
                               {"/card.jpeg", Output::kJpeg},
                               {"/card.bmp", Output::kBmp},
                               {"/report.json", Output::kReport}};

const char* OutputName(Output o) {
  switch (o) {
    case Output::kPng: return "png";
    case Output::kJpeg: return "jpg";
    case Output::kBmp: return "bmp";
    case Output::kReport: return "report";
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
    case Output::kReport: return "application/json";
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

std::string CanonicalQuery(const CardQuery& q) {
  std::string text = "friend=" + PercentEncode(q.card.friend_name) + "&sender=" + PercentEncode(q.card.sender) +
                     "&year=" + std::to_string(q.card.year);
  if (q.card.max_styles != 15) text += "&max-styles=" + std::to_string(q.card.max_styles);
  if (q.card.mode == EffectMode::kPix) text += "&mode=pix";
  if (q.card.palette != 0) text += "&palette=" + std::to_string(q.card.palette);
  if (!q.card.wish.empty()) text += "&wish=" + PercentEncode(q.card.wish);
  return text;
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

std::string FaceIdentity() {
  std::string identity = "freetype " + FreeTypeVersion() + ", harfbuzz " + HarfBuzzVersion();
  std::set<std::string> done;
  for (const Typeface face : {Typeface::kSans, Typeface::kSerif}) {
    bool own = true;
    for (const FaceFile& f : FaceFiles(face)) {
      const std::string path = FontFolder() + "/" + f.path;
      if (!done.insert(path).second) continue;
      struct stat st {};
      identity.append("\n").append(f.path).append(" ");
      if (::stat(path.c_str(), &st) != 0) {
        identity += "absent";
      } else if (own) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        identity += Sha256Hex(bytes.data(), bytes.size());
      } else {
        identity += std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                    std::to_string(st.st_mtim.tv_nsec);
      }
      own = false;
    }
  }
  return identity;
}

Site::Site(std::string identity, CardWriter writer, std::function<std::time_t()> now)
    : identity_(std::move(identity)), writer_(std::move(writer)), now_(std::move(now)) {}

std::string Site::EtagOf(const CardQuery& q, Output o) const {
  const std::string key = identity_ + "\n" + OutputName(o) + "\n" + CanonicalQuery(q);
  return "\"" + Sha256Hex(key.data(), key.size()).substr(0, 40) + "\"";
}

Response Site::Page(int status, const CardQuery* shown, const Args& typed, const std::string& error) const {
  const std::string year = std::to_string(ComingYear(now_()));
  const auto field = [&](const char* key, const std::string& otherwise) { return Typed(typed, key, otherwise); };
  std::vector<std::pair<std::string, std::string>> palettes{{"", "drawn at random"}};
  for (int k = 1; k <= 26; ++k) palettes.emplace_back(std::to_string(k), std::to_string(k));
  const std::string palette = field("palette", ""), mode = field("mode", "line"), styles = field("max-styles", "15");
  const bool more = !palette.empty() || mode != "line" || styles != "15";
  std::map<std::string, std::string> v{
      {"more", more ? " open" : ""},
      {"palettes", Options(palettes, palette)},
      {"modes", Options({{"line", "line by line"}, {"pix", "pixel by pixel"}}, mode)},
      {"max-styles", HtmlEscape(styles)},
      {"friend", HtmlEscape(field("friend", ""))},
      {"sender", HtmlEscape(field("sender", ""))},
      {"year", HtmlEscape(field("year", year))},
      {"error-hidden", error.empty() ? " hidden" : ""},
      {"error", HtmlEscape(error)},
      {"result-hidden", shown ? "" : " hidden"},
      {"title", shown ? "Your card" : error.empty() ? "A new-year card from two names" : "Please check the names"}};
  if (shown) {
    const std::string q = HtmlEscape(CanonicalQuery(*shown));
    v["png"] = "/card.png?" + q;
    v["jpg"] = "/card.jpg?" + q;
    v["bmp"] = "/card.bmp?" + q;
    v["share"] = "/card?" + q;
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
    const Result<CardQuery> q = ParseCardQuery(r.args, ComingYear(now_()));
    if (!q) {
      route.now = TextResponse(400, q.error().message);
      return route;
    }
    CardJob job{*q, c.output, EtagOf(*q, c.output)};
    if (!r.if_none_match.empty() && EtagMatches(r.if_none_match, job.etag)) {
      Response not_modified;
      not_modified.status = 304;
      not_modified.body = std::make_shared<const std::string>();
      not_modified.headers = CardHeaders(job.etag);
      route.now = std::move(not_modified);
      return route;
    }
    route.job = std::move(job);
    return route;
  }
  route.now = TextResponse(404, "there is nothing here; the card is made at /");
  return route;
}

Response Site::Make(const CardJob& job, Fonts& fonts) const {
  // A character no face has is noted in the card's report; nobody reads text problems here.
  const auto made = std::make_unique<Card>(MakeCard(job.query.card, {}, fonts));
  const Result<Bytes> bytes = writer_(job.query.card, *made, job.output);
  if (!bytes) return TextResponse(500, "the card could not be encoded");
  Response r;
  r.type = ContentType(job.output);
  r.body = std::make_shared<const std::string>(bytes->begin(), bytes->end());
  r.headers = CardHeaders(job.etag);
  return r;
}

}  // namespace mirelune::web
