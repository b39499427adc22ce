// report.cpp — the card report: what a card was made from, as JSON, written by
// --report and into every PNG, read back by `info` and `card --again`.
#include <cmath>
#include <fstream>
#include <iterator>

#include "card/card.h"
#include "cli/cli.h"
#include "mirelune_version.h"
#include "styles/styles.h"
#include "surface/text.h"

namespace mirelune::cli {
namespace {

using Json = nlohmann::ordered_json;

// The engine keeps whole numbers in doubles; the report writes them as integers.
Json Number(double v) {
  if (v == std::floor(v) && std::fabs(v) < 1e15) return static_cast<std::int64_t>(v);
  return v;
}

const Json& Field(const Json& j, const char* key, const std::filesystem::path& from) {
  if (!j.is_object() || !j.contains(key))
    throw UsageError{from.string() + ": the card's report has no \"" + key + "\""};
  return j[key];
}

long long WholeField(const Json& j, const char* key, long long lo, long long hi, const std::filesystem::path& from) {
  const Json& v = Field(j, key, from);
  if (!v.is_number_integer() || v.get<long long>() < lo || v.get<long long>() > hi)
    throw UsageError{from.string() + ": \"" + key + "\" in the card's report is not a whole number from " +
                     std::to_string(lo) + " to " + std::to_string(hi)};
  return v.get<long long>();
}

std::string NameField(const Json& j, const char* key, const std::filesystem::path& from) {
  const Json& v = Field(j, key, from);
  std::string text = v.is_string() ? v.get<std::string>() : std::string();
  std::string bad = v.is_string() ? NameText()(text) : "is not a text";
  if (!bad.empty()) throw UsageError{from.string() + ": \"" + key + "\" in the card's report " + bad};
  return text;
}

// A field of an untrusted report as a JSON string (control characters escaped,
// bad UTF-8 replaced), "?" when it is missing or not a text.
std::string Quoted(const Json& j, const char* key) {
  if (!j.is_object() || !j.contains(key) || !j[key].is_string()) return "?";
  return j[key].dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string ReportText(const Json& j) {
  if (!j.is_structured()) return j.dump();
  std::string text;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!text.empty()) text += ", ";
    if (j.is_object()) text += Json(it.key()).dump() + ": ";
    text += ReportText(*it);
  }
  return j.is_object() ? "{" + text + "}" : "[" + text + "]";
}

std::string VersionText() {
  std::string v = kVersion;
  if (*kGitDescription) v.append(" (git ").append(kGitDescription).append(")");
  return v;
}

Json CardReport(const State& s, const CardSettings& c) {
  // The first fields keep their names and order: scripts read them.
  Json j;
  j["seed"] = Number(s.seed);
  j["palette"] = Number(s.tipp);
  j["background_row"] = Number(s.stats.background_row);
  Json styles = Json::array();
  for (int k = 0; k < kStyleCount; ++k)
    if (s.stats.flags[k]) styles.push_back(k + 1);
  j["styles"] = styles;
  j["passes"] = Number(s.no);
  j["rule"] = Number(s.f);
  j["offset_mode"] = Number(s.stats.offset_mode);
  j["effect_offset_mode"] = Number(s.stats.effect_offset_mode);
  j["width"] = s.Picture4.pixel_width();
  j["height"] = s.Picture4.pixel_height();
  j["draws"] = {{"strip", s.stats.strip},   {"pass", s.stats.pass},           {"styles", s.stats.styles},
                {"effect", s.stats.effect}, {"ornaments", s.stats.ornaments}, {"total", s.stats.total}};
  j["friend"] = c.friend_name;
  j["sender"] = c.sender;
  j["settings"] = {
      {"max_styles", c.max_styles}, {"mode", c.pix ? "pix" : "line"}, {"palette", c.palette}, {"year", s.year}};
  j["version"] = VersionText();
  // What drew the text: the same face files and libraries give the same pixels.
  Json faces = Json::array();
  for (const FaceUsed& f : FacesUsed()) {
    Json face = {{"file", f.file}, {"sha256", f.sha256}};
    if (f.index != 0) face["index"] = f.index;
    if (!f.note.empty()) face["note"] = f.note;
    faces.push_back(std::move(face));
  }
  j["faces"] = std::move(faces);
  j["libraries"] = {{"freetype", FreeTypeVersion()}, {"harfbuzz", HarfBuzzVersion()}};
  return j;
}

std::string DrawnDifferently(const Json& recorded, const Json& now) {
  std::string why;
  const auto add = [&](const std::string& what) { why += (why.empty() ? "" : "; ") + what; };
  const Json none;
  const Json& was = recorded.contains("faces") ? recorded["faces"] : none;
  if (was.is_null()) {
    add("it does not list the faces it was drawn with");
  } else if (was != now["faces"]) {
    const auto files = [](const Json& list) {
      std::string all;
      std::size_t n = 0;
      for (const Json& f : list) {
        if (++n > 8) return all + ", ...";
        all += (all.empty() ? "" : ", ") + Quoted(f, "file") + " " + Quoted(f, "sha256");
      }
      return all.empty() ? std::string("none") : all;
    };
    add("its faces were " + (was.is_array() ? files(was) : std::string("not a list")) + ", here " + files(now["faces"]));
  }
  const Json& libs = recorded.contains("libraries") ? recorded["libraries"] : none;
  for (const char* lib : {"freetype", "harfbuzz"}) {
    const std::string here = now["libraries"][lib].get<std::string>();
    if (!libs.is_object() || !libs.contains(lib) || libs[lib] != here)
      add(std::string(lib) + " " + Quoted(libs, lib) + " there, " + here + " here");
  }
  return why;
}

CardSettings SettingsFromReport(const Json& report, int* year, const std::filesystem::path& from) {
  CardSettings c;
  c.friend_name = NameField(report, "friend", from);
  c.sender = NameField(report, "sender", from);
  const Json& settings = Field(report, "settings", from);
  c.max_styles = static_cast<int>(WholeField(settings, "max_styles", 1, 24, from));
  c.palette = static_cast<int>(WholeField(settings, "palette", 0, 26, from));
  *year = static_cast<int>(WholeField(settings, "year", kFirstYear, kLastYear, from));
  const Json& mode = Field(settings, "mode", from);
  if (mode != "line" && mode != "pix")
    throw UsageError{from.string() + ": \"mode\" in the card's report is neither line nor pix"};
  c.pix = mode == "pix";
  return c;
}

Json ReadReport(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError{"cannot read " + path.string() + ": " + std::strerror(errno)};
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<std::pair<std::string, std::string>> chunks;
  std::string err;
  if (!ReadPngText(bytes, &chunks, &err)) throw UsageError{path.string() + ": " + err};
  for (const auto& [key, text] : chunks) {
    if (key != kReportKeyword) continue;
    Json j = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded() || !j.is_object()) throw UsageError{path.string() + ": the card's report is not valid JSON"};
    return j;
  }
  throw UsageError{path.string() + " carries no card report (PNG cards of mirelune-cli " + kVersion + " and later do)"};
}

}  // namespace mirelune::cli
