// card_report.cpp — the card report and a PNG card's texts.
#include "commands/card_report.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstdint>

#include "base/checks.h"
#include "base/digest.h"
#include "base/i18n.h"
#include "base/platform.h"
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

#ifdef _WIN32
// What tells one state of a file from another (size and time written), or "".
std::string FileIdentity(const std::string& file) {
  std::error_code ec;
  const std::filesystem::path p = Utf8Path(file);
  const auto size = std::filesystem::file_size(p, ec);
  if (ec) return "";
  const auto written = std::filesystem::last_write_time(p, ec);
  if (ec) return "";
  return std::to_string(size) + ":" + std::to_string(written.time_since_epoch().count());
}

// The digest and the identity of the file it was read from.
std::pair<std::string, std::string> DigestWithIdentity(const std::string& file) {
  const std::string identity = FileIdentity(file);
  std::FILE* in = FileOpen(Utf8Path(file), "rb");
  if (!in || identity.empty()) {
    if (in) std::fclose(in);
    return {};
  }
  std::string bytes;
  char buf[1 << 16];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) bytes.append(buf, n);
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed || bytes.empty()) return {};
  return {identity, Sha256Hex(bytes.data(), bytes.size())};
}
#else
// What tells one state of a file from another, or "" when it cannot be read.
std::string FileIdentity(const struct stat& st) {
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

// The digest and the identity of the file it was read from.
std::pair<std::string, std::string> DigestWithIdentity(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat st {};
  std::pair<std::string, std::string> out;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    const auto size = static_cast<std::size_t>(st.st_size);
    if (void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0); map != MAP_FAILED) {
      out = {FileIdentity(st), Sha256Hex(map, size)};
      ::munmap(map, size);
    }
  }
  ::close(fd);
  return out;
}

#endif

}  // namespace

std::string FaceDigests::Of(const std::string& file) {
#ifdef _WIN32
  const std::string now = FileIdentity(file);
#else
  struct stat st {};
  const std::string now = ::stat(file.c_str(), &st) == 0 ? FileIdentity(st) : "";
#endif
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (const auto it = kept_.find(file); it != kept_.end() && !now.empty() && it->second.first == now)
      return it->second.second;
  }
  std::pair<std::string, std::string> read = DigestWithIdentity(file);  // outside the lock: other cards go on
  std::lock_guard<std::mutex> lock(mu_);
  if (!read.first.empty()) kept_[file] = read;
  return read.second;
}

std::string VersionText() {
  std::string v = kVersion;
  if (*kGitDescription) v.append(" (git ").append(kGitDescription).append(")");
  return v;
}

Json CardReport(const CardSpec& c, double seed, const CardStats& stats, const std::vector<FaceUsed>& used,
                FaceDigests& digests) {
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
  j["width"] = kCanvasPixelsW * c.scale;
  j["height"] = kCanvasPixelsH * c.scale;
  j["draws"] = {{"strip", stats.strip},   {"pass", stats.pass},           {"styles", stats.styles},
                {"effect", stats.effect}, {"ornaments", stats.ornaments}, {"total", stats.total}};
  j["friend"] = c.friend_name;
  j["sender"] = c.sender;
  j["settings"] = {
      {"max_styles", c.max_styles}, {"mode", c.mode == EffectMode::kPix ? "pix" : "line"}, {"palette", c.palette},
      {"year", c.year}};
  if (!c.wish.empty()) j["settings"]["wish"] = c.wish;
  if (c.scale != 1) j["settings"]["scale"] = c.scale;  // absent: the card's own size, as before there was a choice
  j["version"] = VersionText();
  // What drew the text: the same face files and libraries give the same pixels.
  Json faces = Json::array();
  for (const FaceUsed& f : used) {
    Json face = {{"file", f.file}, {"sha256", digests.Of(f.file)}};
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

namespace {

// A card's report has about forty keys in under 4 KiB. ordered_json finds a key
// by walking its object, so reading 100,000 keys took seconds: past these the
// report is refused. The bytes bound a JPEG's comment (64 KiB) and a PNG's text
// (kMaxPngTextBytes) alike.
constexpr std::size_t kMaxReportBytes = kMaxPngTextBytes;
constexpr long kMaxReportKeys = 4096;

Result<const Json*> Field(const Json& j, const char* key, const std::filesystem::path& from) {
  if (!j.is_object() || !j.contains(key))
    return Error{Fill(_("%1$s: the card's report has no \"%2$s\""), {from.string(), key})};
  return &j[key];
}

Result<int> WholeField(const Json& j, const char* key, int lo, int hi, const std::filesystem::path& from) {
  MIRELUNE_TRY_ASSIGN(const Json* v, Field(j, key, from));
  if (!v->is_number_integer() || v->get<long long>() < lo || v->get<long long>() > hi)
    return Error{Fill(_("%1$s: \"%2$s\" in the card's report is not a whole number from %3$s to %4$s"),
                      {from.string(), key, std::to_string(lo), std::to_string(hi)})};
  return static_cast<int>(v->get<long long>());
}

Result<std::string> NameField(const Json& j, const char* key, const std::filesystem::path& from) {
  MIRELUNE_TRY_ASSIGN(const Json* v, Field(j, key, from));
  std::string text = v->is_string() ? v->get<std::string>() : std::string();
  std::string bad = v->is_string() ? NameProblem(text) : std::string(_("is not a text"));
  // TRANSLATORS: the last value is a problem of the name: "is not valid UTF-8", "has 120 characters; ...".
  if (!bad.empty()) return Error{Fill(_("%1$s: \"%2$s\" in the card's report %3$s"), {from.string(), key, bad})};
  return text;
}

}  // namespace

Result<CardSpec> SpecFromReport(const Json& report, const std::filesystem::path& from) {
  CardSpec c;
  MIRELUNE_TRY_ASSIGN(c.friend_name, NameField(report, "friend", from));
  MIRELUNE_TRY_ASSIGN(c.sender, NameField(report, "sender", from));
  MIRELUNE_TRY_ASSIGN(const Json* settings, Field(report, "settings", from));
  MIRELUNE_TRY_ASSIGN(c.max_styles, WholeField(*settings, "max_styles", 1, 24, from));
  MIRELUNE_TRY_ASSIGN(c.palette, WholeField(*settings, "palette", 0, 26, from));
  MIRELUNE_TRY_ASSIGN(c.year, WholeField(*settings, "year", kFirstYear, kLastYear, from));
  if (settings->contains("wish")) {
    const Json& wish = (*settings)["wish"];
    const std::string text = wish.is_string() ? wish.get<std::string>() : std::string();
    const std::string bad = wish.is_string() ? WishProblem(text) : std::string(_("is not a text"));
    if (!bad.empty()) return Error{Fill(_("%1$s: \"%2$s\" in the card's report %3$s"), {from.string(), "wish", bad})};
    c.wish = text;
  }
  if (settings->contains("scale")) {
    MIRELUNE_TRY_ASSIGN(c.scale, WholeField(*settings, "scale", 1, kMaxScale, from));
  }
  MIRELUNE_TRY_ASSIGN(const Json* mode, Field(*settings, "mode", from));
  if (*mode != "line" && *mode != "pix")
    return Error{Fill(_("%s: \"mode\" in the card's report is neither line nor pix"), {from.string()})};
  c.mode = *mode == "pix" ? EffectMode::kPix : EffectMode::kLine;
  return c;
}

Result<Json> ReportFromText(const std::vector<std::pair<std::string, std::string>>& chunks,
                            const std::filesystem::path& from) {
  for (const auto& [key, text] : chunks) {
    if (key != kReportKeyword) continue;
    if (text.size() > kMaxReportBytes)
      return Error{Fill(_("%1$s: the card's report is larger than %2$s KiB"),
                        {from.string(), std::to_string(kMaxReportBytes >> 10)})};
    // The parser itself keeps no stack; what comes after it (printing, freeing)
    // recurses, so a report deeper than a card's own is refused here.
    bool too_deep = false;
    long keys = 0;
    const Json::parser_callback_t bounds = [&too_deep, &keys](int level, Json::parse_event_t event, Json&) {
      if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
          level >= kMaxReportDepth)
        too_deep = true;
      if (event == Json::parse_event_t::key) ++keys;
      return !too_deep && keys <= kMaxReportKeys;
    };
    Json j = Json::parse(text.begin(), text.end(), bounds, /*allow_exceptions=*/false);
    if (too_deep)
      return Error{Fill(_("%1$s: the card's report is nested more than %2$s levels deep"),
                        {from.string(), std::to_string(kMaxReportDepth)})};
    if (keys > kMaxReportKeys)
      return Error{Fill(_("%1$s: the card's report has more than %2$s keys"),
                        {from.string(), std::to_string(kMaxReportKeys)})};
    if (j.is_discarded() || !j.is_object())
      return Error{Fill(_("%s: the card's report is not valid JSON"), {from.string()})};
    return j;
  }
  return Error{Fill(_("%1$s carries no card report (PNG and JPEG cards of mirelune-cli %2$s and later do)"),
                    {from.string(), kVersion})};
}

Result<Json> ReadReport(const std::filesystem::path& path) {
  MIRELUNE_TRY_ASSIGN(const CardTexts texts, ReadCardTextFile(path));
  return ReportFromText(texts, path);
}

}  // namespace mirelune
