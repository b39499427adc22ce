// report.cpp — the card report: what a card was made from, as JSON, written by
// --report and into every PNG and JPEG, read back by `info` and `card --again`.
#include <cmath>
#include <cstdio>
#include <string_view>

#include "base/i18n.h"
#include "base/utf8.h"
#include "card/card.h"
#include "commands/card_report.h"
#include "cli/cli.h"
#include "mirelune_version.h"
#include "styles/styles.h"
#include "text/text.h"

namespace mirelune::cli {
namespace {

using Json = nlohmann::ordered_json;


// One pass over the report, appending: linear in its size.
void AppendReport(const Json& j, std::string* out) {
  if (!j.is_structured()) {
    *out += j.dump();
    return;
  }
  *out += j.is_object() ? '{' : '[';
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (it != j.begin()) *out += ", ";
    if (j.is_object()) *out += Json(it.key()).dump() + ": ";
    AppendReport(*it, out);
  }
  *out += j.is_object() ? '}' : ']';
}

// Characters that move the cursor, recolour, retitle or reorder a terminal's text.
bool Hostile(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendEscape(std::string* out, const char* format, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, format, value);
  *out += text;
}

void AppendShown(char32_t c, bool json, std::string* out) {
  if (json ? c != '\n' && Hostile(c) : Hostile(c) || c == '\\') {
    if (c == '\\') *out += "\\\\";
    else AppendEscape(out, "\\u%04x", static_cast<unsigned>(c));
  } else {
    *out += EncodeUtf8(c);
  }
}

Result<> AppendFlat(const Json& j, const std::string& prefix, const std::filesystem::path& from, std::string* out) {
  // Outer keys repeat on every line below them; the limit keeps a report of many
  // long keys from printing gigabytes.
  const std::size_t limit = 8 * kMaxPngTextBytes;
  for (const auto& [key, value] : j.items()) {
    if (value.is_object()) {
      MIRELUNE_TRY(AppendFlat(value, prefix + TerminalText(key) + ".", from, out));
      continue;
    }
    std::string text;
    if (value.is_string()) {
      text = value.get<std::string>();
    } else if (value.is_array()) {
      for (const Json& v : value)
        text += (text.empty() ? "" : ", ") + (v.is_string() ? v.get<std::string>() : v.dump());
    } else {
      text = value.dump();
    }
    *out += prefix + TerminalText(key) + ": " + TerminalText(text) + "\n";
    if (out->size() > limit)
      return Error{Fill(_("%s: the card's report is too large to show line by line; try --json"), {from.string()})};
  }
  return {};
}

// A field of an untrusted report in quotes, escaped as for the terminal; "?" when
// it is missing or not a text.
std::string Quoted(const Json& j, const char* key) {
  if (!j.is_object() || !j.contains(key) || !j[key].is_string()) return "?";
  return "\"" + TerminalText(j[key].get<std::string>()) + "\"";
}

}  // namespace

std::string ReportText(const Json& j) {
  std::string text;
  AppendReport(j, &text);
  return text;
}

std::string TerminalText(std::string_view text, bool json) {
  std::string out;
  out.reserve(text.size());
  std::u32string chars;
  if (DecodeUtf8(text, &chars)) {
    for (const char32_t c : chars) AppendShown(c, json, &out);
    return out;
  }
  // Not UTF-8: every byte beyond ASCII is shown by its value.
  for (const char b : text) {
    const auto c = static_cast<unsigned char>(b);
    if (c >= 0x80) AppendEscape(&out, "\\x%02x", c);
    else AppendShown(c, json, &out);
  }
  return out;
}

std::string ShellWord(std::string_view text) {
  constexpr std::string_view kSafe = "@%+=:,./-_";
  bool plain = !text.empty();
  for (const char c : text)
    plain = plain && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || kSafe.find(c) != kSafe.npos);
  if (plain) return std::string(text);
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A report that does not give a card's settings has no summary; its lines still
// show what it holds. The commands are given only when every word of them shows
// as it is: a name with a control character would be printed escaped, and the
// command would make another card.
std::string CardSummary(const Json& report, const std::filesystem::path& from) {
  const Result<CardSpec> spec = SpecFromReport(report, from);
  if (!spec) return "";
  // Shown as it is but for its backslashes, doubled on the terminal and literal in single quotes.
  const auto printable = [](const std::string& value) {
    std::string doubled;
    for (const char c : value) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return TerminalText(value) == doubled;
  };
  std::string out;
  bool exact = true;
  const auto line = [&](const std::string& label, const std::string& value) {
    exact = exact && printable(value);
    out += label + ": " + TerminalText(value) + "\n";
  };
  line("friend", spec->friend_name);
  line("sender", spec->sender);
  line("year", std::to_string(spec->year));
  if (!spec->wish.empty()) line("wish", spec->wish);
  const int drawn = report.contains("palette") && report["palette"].is_number_integer() ? report["palette"].get<int>() : 0;
  out += "palette: " + (spec->palette ? Fill(_("%s, chosen"), {std::to_string(spec->palette)})
                                      : Fill(_("%s, drawn from the names"), {std::to_string(drawn)})) + "\n";
  std::string command = "mirelune-cli card --friend " + ShellWord(spec->friend_name) + " --sender " + ShellWord(spec->sender) +
                        " --year " + std::to_string(spec->year);
  if (!spec->wish.empty()) command += " --wish " + ShellWord(spec->wish);
  if (spec->palette) command += " --palette " + std::to_string(spec->palette);
  if (spec->max_styles != CardSpec{}.max_styles) command += " --max-styles " + std::to_string(spec->max_styles);
  if (spec->mode == EffectMode::kPix) command += " --mode pix";
  if (spec->scale != 1) command += " --scale " + std::to_string(spec->scale);
  const std::string again = "mirelune-cli card --again " + ShellWord(from.string());
  const bool path_shown = printable(from.string());
  if (exact) out += "command: " + command + "\n";
  if (path_shown) out += "again: " + again + "\n";
  return out + "\n";
}

Result<std::string> FlatReportText(const Json& report, const std::filesystem::path& from) {
  std::string out;
  MIRELUNE_TRY(AppendFlat(report, "", from, &out));
  return out;
}

std::string DrawnDifferently(const Json& recorded, const Json& now) {
  std::string why;
  const auto add = [&](const std::string& what) { why += (why.empty() ? "" : "; ") + what; };
  const Json none;
  const Json& was = recorded.contains("faces") ? recorded["faces"] : none;
  if (was.is_null()) {
    add(_("it does not list the faces it was drawn with"));
  } else if (was != now["faces"]) {
    const auto files = [](const Json& list) {
      std::string all;
      std::size_t n = 0;
      for (const Json& f : list) {
        if (++n > 8) return all + ", ...";
        all += (all.empty() ? "" : ", ") + Quoted(f, "file") + " " + Quoted(f, "sha256");
      }
      return all.empty() ? std::string(_("none")) : all;
    };
    // TRANSLATORS: the faces (font files) a card was drawn with and those found here, each as its file and SHA-256.
    add(Fill(_("its faces were %1$s, here %2$s"),
             {was.is_array() ? files(was) : std::string(_("not a list")), files(now["faces"])}));
  }
  const Json& libs = recorded.contains("libraries") ? recorded["libraries"] : none;
  for (const char* lib : {"freetype", "harfbuzz"}) {
    const std::string here = now["libraries"][lib].get<std::string>();
    if (!libs.is_object() || !libs.contains(lib) || libs[lib] != here)
      // TRANSLATORS: a library's name, the version the card was drawn with, the version here.
      add(Fill(_("%1$s %2$s there, %3$s here"), {lib, Quoted(libs, lib), here}));
  }
  return why;
}

}  // namespace mirelune::cli
