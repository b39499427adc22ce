// The command line as scripts use it: exit codes, outputs and their formats, the
// report and the round trip of a card through its PNG. Pictures are read back by
// tests/picture_facts.py, a reader of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Ran {
  int status = -1;
  std::string out, err;
};

// A scratch folder holding ro.bmp, a read-only file no command may change.
struct Scratch {
  fs::path path;
  Scratch() {
    std::string t = (fs::temp_directory_path() / "mirelune-cli-XXXXXX").string();
    path = mkdtemp(t.data());
    std::ofstream(path / "ro.bmp") << "old";
    fs::permissions(path / "ro.bmp", fs::perms(0444));
  }
  ~Scratch() { fs::remove_all(path); }
  std::string operator/(const std::string& leaf) const { return (path / leaf).string(); }
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs `command` through the shell in `dir` (at most a minute) with MIRELUNE_ROOT=dir;
// `redirect` replaces the capture of standard output.
Ran Shell(const std::string& command, const Scratch& dir, const std::string& redirect = "") {
  const std::string out = dir / ".stdout", err = dir / ".stderr";
  const std::string cmd = "cd '" + dir.path.string() + "' && MIRELUNE_ROOT=. timeout 60 " + command + " " +
                          (redirect.empty() ? ">'" + out + "'" : redirect) + " 2>'" + err + "'";
  const int raw = std::system(cmd.c_str());
  Ran r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
  fs::remove(out);
  fs::remove(err);
  return r;
}

Ran Cli(const std::string& args, const Scratch& dir, const std::string& redirect = "") {
  return Shell("'" MIRELUNE_CLI "' " + args, dir, redirect);
}

// What tests/picture_facts.py reads in `file` (and how it differs from `other`).
Json Facts(const Scratch& dir, const std::string& file, const std::string& other = "") {
  const Ran r = Shell("python3 '" MIRELUNE_TEST_DIR "/picture_facts.py' '" + file + "' " + other, dir);
  EXPECT_EQ(r.status, 0) << file << ": " << r.err;
  return r.status == 0 ? Json::parse(r.out) : Json{};
}

TEST(Cli, ExitCodesOnBothSidesOfEveryBound) {
  const std::string card = "card --friend Mary --sender Bob --out c.bmp ";
  std::string a100(100, 'x'), wide100;
  while (wide100.size() < 200) wide100 += "\xC4\x8D";  // 100 times č, of two bytes
  struct Case {
    int status;
    std::string args, redirect = "";
  } cases[] = {
      {0, "--version"}, {0, "card --help"}, {0, "styles"},
      {0, "card --friend " + a100 + " --sender '" + wide100 + "' --max-styles 1 --palette 26 --year 1 --out c.bmp"},
      {0, card + "--max-styles 24 --palette 1 --year 9999"},
      {0, "style 1 --seed 0 --out s.bmp"}, {0, "style 23 --out s.png"},
      {2, ""}, {2, "paint"}, {2, "styles extra"}, {2, "card --sender Bob"}, {2, card + "--colour red"},
      {2, card + "--max-styles 0"}, {2, card + "--max-styles 25"}, {2, card + "--max-styles 3x"},
      {2, card + "--palette 0"}, {2, card + "--palette 27"}, {2, card + "--year 0"}, {2, card + "--year 10000"},
      {2, card + "--mode dots"}, {2, "card --friend Mary --sender Bob --out c.svg"},
      {2, "card --friend Mary --sender Bob --out c.png --format bmp"},
      {2, "card --friend Mary --sender Bob --out - --report -"},
      {2, "card --sender Bob --friend " + a100 + "x"}, {2, "card --sender Bob --friend '" + wide100 + "\xC4\x8D'"},
      {2, "card --friend \"$(printf 'Ma\\377ry')\" --sender Bob"}, {2, "card --again c.bmp --friend Mary"},
      {2, "card --again ro.bmp"}, {2, "info no-such.png"}, {2, "style 0"}, {2, "style 24"}, {2, "style 3 --seed -4"},
      {1, "card --friend Mary --sender Bob --out no/such/c.bmp"}, {1, "card --friend Mary --sender Bob --out ro.bmp"},
      {1, "styles", ">/dev/full"}, {1, "styles", ">&-"}, {1, "card --friend Mary --sender Bob --out -", ">/dev/full"},
  };
  for (const Case& c : cases) {
    const Scratch dir;
    const Ran r = Cli(c.args, dir, c.redirect);
    SCOPED_TRACE(c.args + " " + c.redirect + ": " + r.err);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out.empty(), c.status != 0);
    EXPECT_EQ(Slurp(dir / "ro.bmp"), "old");
    if (c.status == 0) continue;
    EXPECT_EQ(r.err.rfind("mirelune-cli: ", 0), 0u);
    EXPECT_FALSE(c.status == 2 && (fs::exists(dir / "wimgx") || fs::exists(dir / "c.bmp")));
  }
}

// Kim and Alice: the pass draws offset mode 3, then a style sets it to 10 before the effect.
TEST(Cli, PngOnStandardOutputCarriesTheReportAndExplainsItself) {
  const Scratch dir;
  const Ran r = Cli("card --friend Kim --sender Alice --out - --report r.json", dir, "> card.png");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "r.json\n") << "names go to stderr when stdout carries the picture";
  const Json report = Json::parse(Slurp(dir / "r.json"));
  EXPECT_EQ(report["seed"], 4396645 + 767 * 8 + 512);
  EXPECT_EQ(report["offset_mode"], 3);
  EXPECT_EQ(report["effect_offset_mode"], 10);
  EXPECT_EQ(report["settings"], Json::parse(R"({"max_styles": 15, "mode": "line", "palette": 0, "year": 2017})"));
  const Json png = Facts(dir, "card.png");
  EXPECT_EQ(png["phys"], Json::parse("[3780, 3780, 1]"));
  EXPECT_EQ(png["text"]["Title"], "Mirelune card for Kim from Alice");
  EXPECT_EQ(png["text"]["Description"],
            "dear Kim, I wish you a happy new year 2017! Alice" + std::string(11, ' ') + "mirelune.art ");
  EXPECT_EQ(png["text"]["Software"].get<std::string>().rfind("Mirelune 1.", 0), 0u);
  EXPECT_EQ(Json::parse(png["text"]["mirelune-report"].get<std::string>()), report);
}

TEST(Cli, InfoAndAgainMakeTheSameCardFromItsPng) {
  const Scratch dir;
  ASSERT_EQ(Cli("card --friend 'Zoë' --sender Bob --mode pix --palette 5 --max-styles 3 --year 2031 --out a.png", dir)
                .status,
            0);
  const std::string info = Cli("info a.png", dir).out;
  EXPECT_NE(info.find("friend: Zoë\nsender: Bob\nsettings.max_styles: 3\nsettings.mode: pix\n"), std::string::npos)
      << info;
  EXPECT_EQ(Json::parse(Cli("info --json a.png", dir).out)["settings"]["year"], 2031);
  const Ran again = Cli("card --again a.png --out b.png", dir);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err, "") << "no note of a different card";
  EXPECT_EQ(Slurp(dir / "a.png"), Slurp(dir / "b.png"));
  ASSERT_EQ(Cli("style 2 --out s.png", dir).status, 0);
  EXPECT_EQ(Cli("card --again s.png", dir).status, 2) << "a PNG without the report";
}

TEST(Cli, FormatsAndTheYearChangeNoPictureBeyondTheGreeting) {
  const Scratch dir;
  ASSERT_EQ(Cli("card --friend Mary --sender Bob --out a.bmp --plain p.jpg", dir).status, 0);
  ASSERT_EQ(Cli("card --friend Mary --sender Bob --out - --format bmp --year 2030", dir, "> y.bmp").status, 0);
  ASSERT_EQ(Cli("card --friend Mary --sender Bob --out a.jpeg --plain - ", dir, "> p.png").status, 0);
  const std::string dflt = Cli("card --friend Mary --sender Bob --format png", dir).out;  // ./wimgx/GR-<time>.png
  ASSERT_TRUE(dflt.rfind("./wimgx/GR-", 0) == 0 && dflt.size() == 30 && dflt.ends_with(".png\n")) << dflt;

  // The year: only its digits in the band (y 632..662 pixels, x 4..892) change.
  const Json year = Facts(dir, "a.bmp", "y.bmp"), box = year["differing_box"];
  ASSERT_TRUE(box.is_array() && box[0] >= 4 && box[1] >= 632 && box[2] <= 892 && box[3] <= 662) << year;
  EXPECT_EQ(Json::array({year["width"], year["height"]}), Json::parse("[896, 671]"));
  EXPECT_EQ(Facts(dir, dflt.substr(0, 29))["pixels"], year["pixels"]) << "PNG and BMP agree";
  EXPECT_NE(Slurp(MIRELUNE_TEST_DIR "/golden_digests.inc").find(year["pixels"]), std::string::npos) << "a pinned card";

  // JPEG decodes (ImageMagick) to the card within the loss of quality 92.
  ASSERT_EQ(Shell("convert a.jpeg bmp3:a.jpeg.bmp && convert p.jpg bmp3:p.jpg.bmp", dir).status, 0);
  EXPECT_LT(Facts(dir, "a.jpeg.bmp", "a.bmp")["mean_difference"], 4.0);
  const Json plain = Facts(dir, "p.png", "p.jpg.bmp");
  EXPECT_LT(plain["mean_difference"], 4.0);
  EXPECT_NE(plain["pixels"], year["pixels"]) << "the plain picture is not the card";
}

}  // namespace
}  // namespace mirelune
