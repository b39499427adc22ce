// card_report.cpp — the card report and a PNG card's texts.
#include "commands/card_report.h"

#include <cmath>
#include <cstdint>

#include "card/card.h"
#include "mirelune_version.h"
#include "text/text.h"

namespace mirelune {
namespace {

using Json = nlohmann::ordered_json;

// The engine keeps whole numbers in doubles; the report writes them as integers.
Json Number(double v) {
  if (v == std::floor(v) && std::fabs(v) < 1e15) return static_cast<std::int64_t>(v);
  return v;
}

}  // namespace

std::string VersionText() {
  std::string v = kVersion;
  if (*kGitDescription) v.append(" (git ").append(kGitDescription).append(")");
  return v;
}

Json CardReport(const CardSpec& c, double seed, const CardStats& stats) {
  // The first fields keep their names and order: scripts read them.
  Json j;
  j["seed"] = Number(seed);
  j["palette"] = stats.palette;
  j["background_row"] = Number(stats.background_row);
  Json styles = Json::array();
  for (int k = 0; k < kStyleCount; ++k)
    if (stats.flags[k]) styles.push_back(k + 1);
  j["styles"] = styles;
  j["passes"] = stats.passes;
  j["rule"] = stats.rule;
  j["offset_mode"] = Number(stats.offset_mode);
  j["effect_offset_mode"] = Number(stats.effect_offset_mode);
  j["width"] = kCanvasPixelsW;
  j["height"] = kCanvasPixelsH;
  j["draws"] = {{"strip", stats.strip},   {"pass", stats.pass},           {"styles", stats.styles},
                {"effect", stats.effect}, {"ornaments", stats.ornaments}, {"total", stats.total}};
  j["friend"] = c.friend_name;
  j["sender"] = c.sender;
  j["settings"] = {
      {"max_styles", c.max_styles}, {"mode", c.mode == EffectMode::kPix ? "pix" : "line"}, {"palette", c.palette},
      {"year", c.year}};
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
PngText ReportPngText(const Greeting& names, const Json& report, const std::string& what) {
  PngText text;
  text.software = "Mirelune " + VersionText();
  text.title = "Mirelune " + what + " for " + names.friend_name + " from " + names.sender;
  text.keyed.emplace_back(kReportKeyword, report.dump());
  return text;
}

PngText CardPngText(const Greeting& names, const Json& report) {
  PngText text = ReportPngText(names, report, "card");
  if (!names.sender.empty()) text.description = GreetingLine(names);
  return text;
}

}  // namespace mirelune
