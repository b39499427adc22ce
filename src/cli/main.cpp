// mirelune-cli — cards without a window, for scripts, batches and tests.
//
//   mirelune-cli card --friend Mary --sender Bob --out card.png --report -
//   mirelune-cli style 3 --seed 42 --out rings.png
//
// Exit status: 0 done, 1 a file could not be written or the card not sent, 2 bad input.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "card/card.h"
#include "cli/batch.h"
#include "commands/commands.h"
#include "cli/json.h"
#include "mail/mail.h"
#include "files/files.h"
#include "palette/palette.h"
#include "styles/styles.h"
#include "surface/text.h"

namespace mirelune {
namespace {

constexpr const char* kUsage =
    "usage: mirelune-cli card --friend NAME --sender NAME [--out FILE] [--plain FILE]\n"
    "                         [--report FILE|-] [--max-styles N] [--mode line|pix] [--palette N]\n"
    "                         [--mail-to ADDRESS [--message TEXT]]\n"
    "       mirelune-cli style N [--seed S] [--out FILE]\n"
    "       mirelune-cli styles\n"
    "\n"
    "card    makes the card for two names, as \"new\" does in the window, and saves it\n"
    "        (default <root>/wimgx/GR-<date and time>.bmp; .png names are written as PNG);\n"
    "        --mail-to then sends it as \"send greetings to friend\" does: through\n"
    "        $MIRELUNE_SMTP_URL when set, else in the desktop mail program\n"
    "style   paints the palette strip and style N (1..23) alone, twice, without the effect\n"
    "styles  lists the style numbers and names\n"
    "\n"
    "<root> is $MIRELUNE_ROOT when set, else your home folder.\n";

struct UsageError {
  std::string message;
};

// A host for batch work: no one to ask, the real clock.
class BatchHost : public Host {
 public:
  std::string InputBox(const std::string&, const std::string&, int, int) override { return ""; }
};

// --name value / --name=value; every flag takes a value.
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> flags;
};

Args Parse(int argc, char** argv, int first, const std::vector<std::string>& known) {
  Args a;
  for (int k = first; k < argc; ++k) {
    std::string arg = argv[k];
    if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
      std::string name = arg.substr(2), value;
      const auto eq = name.find('=');
      bool has_value = false;
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        has_value = true;
      }
      bool ok = false;
      for (const auto& kn : known) ok = ok || kn == name;
      if (!ok) throw UsageError{"unknown option --" + name};
      if (!has_value) {
        if (k + 1 >= argc) throw UsageError{"--" + name + " needs a value"};
        value = argv[++k];
      }
      if (a.flags.count(name)) throw UsageError{"--" + name + " given twice"};
      a.flags[name] = value;
    } else if (arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9')) {
      throw UsageError{"unknown option " + arg};
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

long WholeNumber(const std::string& flag, const std::string& text, long lo, long hi) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) {
    std::ostringstream m;
    m << flag << " takes a whole number from " << lo << " to " << hi << ", not \"" << text << "\"";
    throw UsageError{m.str()};
  }
  return v;
}

std::string Name(const Args& a, const std::string& flag) {
  auto it = a.flags.find(flag);
  if (it == a.flags.end()) throw UsageError{"--" + flag + " is required"};
  std::u32string chars;
  if (!DecodeUtf8(it->second, &chars)) throw UsageError{"--" + flag + " is not valid UTF-8"};
  if (chars.size() > 100)
    throw UsageError{"--" + flag + " has " + std::to_string(chars.size()) + " characters; a name may have at most 100"};
  return it->second;
}

// Saves or explains why not; output paths go to `out`.
bool Save(const Image& img, const std::filesystem::path& path, std::ostream& out) {
  std::string err;
  if (!SaveImage(img, path, &err)) {
    std::cerr << "mirelune-cli: " << err << "\n";
    return false;
  }
  out << path.string() << "\n";
  return true;
}

int Card(int argc, char** argv) {
  const Args a = Parse(argc, argv, 2,
                       {"friend", "sender", "out", "plain", "report", "max-styles", "mode", "palette", "mail-to",
                        "message"});
  if (a.flags.count("message") && !a.flags.count("mail-to")) throw UsageError{"--message needs --mail-to"};
  if (!a.positional.empty()) throw UsageError{"unexpected argument \"" + a.positional[0] + "\""};
  const std::string friend_name = Name(a, "friend");
  const std::string sender = Name(a, "sender");
  long max_styles = 15, palette = 0;
  std::int16_t linepix = 1;
  if (a.flags.count("max-styles")) max_styles = WholeNumber("--max-styles", a.flags.at("max-styles"), 1, 24);
  if (a.flags.count("palette")) palette = WholeNumber("--palette", a.flags.at("palette"), 1, 26);
  if (a.flags.count("mode")) {
    const std::string& m = a.flags.at("mode");
    if (m == "line") linepix = 1;
    else if (m == "pix") linepix = 2;
    else throw UsageError{"--mode is line or pix, not \"" + m + "\""};
  }

  BatchHost host;
  State s;
  s.host = &host;
  MakeCardFromNames(s, {friend_name, sender, static_cast<int>(max_styles), static_cast<int>(palette), linepix == 2});

  const bool report_to_stdout = a.flags.count("report") && a.flags.at("report") == "-";
  std::ostream& paths = report_to_stdout ? std::cerr : std::cout;

  std::filesystem::path out;
  if (a.flags.count("out")) {
    out = a.flags.at("out");
  } else {
    std::error_code ec;
    std::filesystem::create_directories(OutputFolder(), ec);
    out = CardPath(s);
  }
  int status = 0;
  if (!Save(s.Picture4.image(), out, paths)) status = 1;
  if (a.flags.count("plain") && !Save(s.Picture6.image(), a.flags.at("plain"), paths)) status = 1;
  if (a.flags.count("mail-to")) {
    std::string said;
    const std::string message = a.flags.count("message") ? a.flags.at("message") : "";
    const bool sent = MailCard(s, a.flags.at("mail-to"), message, &said);
    std::cerr << (sent ? "" : "mirelune-cli: ") << said << "\n";
    if (!sent) status = 1;
  }

  if (a.flags.count("report")) {
    Json j;
    j.Field("seed", s.seed);
    j.Field("palette", s.tipp);
    j.Field("background_row", s.stats.background_row);
    std::vector<double> styles;
    for (int k = 0; k < kStyleCount; ++k)
      if (s.stats.flags[k]) styles.push_back(k + 1);
    j.Field("styles", styles);
    j.Field("passes", s.no);
    j.Field("rule", s.f);
    j.Field("offset_mode", s.stats.offset_mode);
    j.Field("width", s.Picture4.pixel_width());
    j.Field("height", s.Picture4.pixel_height());
    Json draws;
    draws.Field("strip", s.stats.strip);
    draws.Field("pass", s.stats.pass);
    draws.Field("styles", s.stats.styles);
    draws.Field("effect", s.stats.effect);
    draws.Field("ornaments", s.stats.ornaments);
    draws.Field("total", s.stats.total);
    j.Object("draws", draws);
    const std::string text = j.Text() + "\n";
    if (report_to_stdout) {
      std::cout << text;
    } else {
      const std::string& path = a.flags.at("report");
      std::string err;
      if (!WriteFileAtomic(path, std::vector<std::uint8_t>(text.begin(), text.end()), &err)) {
        std::cerr << "mirelune-cli: " << err << "\n";
        status = 1;
      } else {
        std::cout << path << "\n";
      }
    }
  }
  return status;
}

int Style(int argc, char** argv) {
  const Args a = Parse(argc, argv, 2, {"seed", "out"});
  if (a.positional.size() != 1) throw UsageError{"style needs one style number, 1 to 23"};
  const long number = WholeNumber("the style number", a.positional[0], 1, kStyleCount);
  double seed = 4396645;
  if (a.flags.count("seed")) seed = static_cast<double>(WholeNumber("--seed", a.flags.at("seed"), 0, 2147483647L));

  BatchHost host;
  State s;
  s.host = &host;
  PaintStyleAlone(s, static_cast<int>(number), seed);

  const std::filesystem::path out =
      a.flags.count("out") ? std::filesystem::path(a.flags.at("out"))
                           : std::filesystem::path("style-" + std::to_string(number) + ".png");
  return Save(s.Picture1.image(), out, std::cout) ? 0 : 1;
}

int Styles() {
  for (int k = 0; k < kStyleCount; ++k) std::cout << k + 1 << " " << kStyles[k].name << "\n";
  return 0;
}

}  // namespace
}  // namespace mirelune

int main(int argc, char** argv) {
  using namespace mirelune;
  try {
    if (argc < 2) throw UsageError{"no command given"};
    const std::string cmd = argv[1];
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
      std::cout << kUsage;
      return 0;
    }
    if (cmd == "card") return Card(argc, argv);
    if (cmd == "style") return Style(argc, argv);
    if (cmd == "styles") return Styles();
    if (cmd == "batch") return RunBatch(argc, argv);
    throw UsageError{"unknown command \"" + cmd + "\""};
  } catch (const UsageError& e) {
    std::cerr << "mirelune-cli: " << e.message << "\n" << "Try 'mirelune-cli --help'.\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "mirelune-cli: " << e.what() << "\n";
    return 1;
  }
}
