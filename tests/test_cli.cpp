// The command line as scripts use it: exit codes, outputs and their formats, the
// report, and the round trip of a card through its PNG. Pictures are read back
// by tests/picture_facts.py, a reader of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Result {
  int status = -1;
  std::string out, err;
};

struct TempDir {
  fs::path path;
  TempDir() {
    std::string t = (fs::temp_directory_path() / "mirelune-cli-XXXXXX").string();
    path = mkdtemp(t.data());
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& leaf) const { return (path / leaf).string(); }
};

// (Built by appending: GCC 12 warns falsely about `"'" + std::string`.)
std::string Quoted(const std::string& text) { return std::string(1, '\'').append(text).append(1, '\''); }

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs `command` through the shell (at most a minute) in `dir`, with
// MIRELUNE_ROOT=dir; `redirect` replaces the capture of standard output.
Result Shell(const std::string& command, const TempDir& dir, const std::string& redirect = "") {
  const std::string out = dir / ".stdout", err = dir / ".stderr";
  const std::string cmd = "cd '" + dir.path.string() + "' && MIRELUNE_ROOT=. timeout 60 " + command + " " +
                          (redirect.empty() ? ">'" + out + "'" : redirect) + " 2>'" + err + "'";
  const int raw = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = Slurp(out);
  r.err = Slurp(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

Result Cli(const std::string& args, const TempDir& dir, const std::string& redirect = "") {
  return Shell("'" MIRELUNE_CLI "' " + args, dir, redirect);
}

// What tests/picture_facts.py reads in `file` (and how it differs from `other`).
Json Facts(const TempDir& dir, const std::string& file, const std::string& other = "") {
  const Result r = Shell("python3 '" MIRELUNE_TEST_DIR "/picture_facts.py' " + file + " " + other, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.status == 0 ? Json::parse(r.out) : Json{};
}

TEST(Cli, ExitCodesAndWhereTheWordsGo) {
  const std::string name100 = Quoted(std::string(100, 'x')), name101 = Quoted(std::string(101, 'x'));
  // 100 and 101 characters of two bytes each (č).
  std::string wide100, wide101;
  for (int k = 0; k < 100; ++k) wide100 += "\xC4\x8D";
  wide101 = wide100 + "\xC4\x8D";
  const std::string card = "card --friend Mary --sender Bob --out c.bmp ";
  struct Case {
    std::string args, redirect;
    int status;
    bool stdout_text;  // something on standard output (when it is captured)
  };
  const Case cases[] = {
      {"--help", "", 0, true},
      {"--version", "", 0, true},
      {"card --help", "", 0, true},
      {"style --help", "", 0, true},
      {"styles --help", "", 0, true},
      {"styles", "", 0, true},
      {"card --friend " + name100 + " --sender " + Quoted(wide100) + " --max-styles 1 --palette 26 --out c.bmp", "", 0, true},
      {card + "--max-styles 24 --palette 1 --year 9999", "", 0, true},
      {"", "", 2, false},
      {"paint", "", 2, false},
      {"styles extra", "", 2, false},
      {"card --sender Bob", "", 2, false},
      {card + "--colour red", "", 2, false},
      {card + "-x", "", 2, false},
      {card + "--max-styles 0", "", 2, false},
      {card + "--max-styles 25", "", 2, false},
      {card + "--max-styles 3x", "", 2, false},
      {card + "--palette 0", "", 2, false},
      {card + "--palette 27", "", 2, false},
      {card + "--year 0", "", 2, false},
      {card + "--mode dots", "", 2, false},
      {card + "--format gif", "", 2, false},
      {"card --friend Mary --sender Bob --out c.svg", "", 2, false},
      {"card --friend Mary --sender Bob --out c.png --format bmp", "", 2, false},
      {"card --friend Mary --sender Bob --out - --report -", "", 2, false},
      {card + "--friend Ann", "", 2, false},
      {"card --friend Mary --sender " + name101, "", 2, false},
      {"card --friend Mary --sender " + Quoted(wide101), "", 2, false},
      {"card --friend \"$(printf 'Ma\\377ry')\" --sender Bob", "", 2, false},
      {card + "extra", "", 2, false},
      {card + "--out", "", 2, false},
      {card + "--message hi", "", 2, false},
      {"card --again c.bmp --friend Mary", "", 2, false},
      {"info no-such.png", "", 2, false},
      {"style 0", "", 2, false},
      {"style 24", "", 2, false},
      {"style 3 --seed -4", "", 2, false},
      {"card --friend Mary --sender Bob --out no/such/c.bmp", "", 1, false},
      {"styles", ">/dev/full", 1, false},
      {"--help", ">/dev/full", 1, false},
      {"styles", ">&-", 1, false},
      {card + "--report -", ">/dev/full", 1, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const Result r = Cli(c.args, dir, c.redirect);
    EXPECT_EQ(r.status, c.status) << c.args << " " << c.redirect << ": " << r.err;
    EXPECT_EQ(!r.out.empty(), c.stdout_text) << c.args;
    if (c.status == 0) continue;
    EXPECT_NE(r.err.find("mirelune-cli: "), std::string::npos) << c.args << ": " << r.err;
    if (c.status == 2) {
      EXPECT_EQ(r.err.rfind("mirelune-cli: ", 0), 0u) << c.args << ": " << r.err;
      EXPECT_FALSE(fs::exists(dir.path / "wimgx")) << c.args;
      EXPECT_FALSE(fs::exists(dir.path / "c.bmp")) << c.args;
    }
  }
}

// Kim and Alice: the pass draws offset mode 3, a style sets d to 10 before the effect.
TEST(Cli, PngOnStandardOutputCarriesTheReportAndExplainsItself) {
  TempDir dir;
  const Result r = Cli("card --friend Kim --sender Alice --out - --report r.json", dir, "> card.png");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "r.json\n") << "names go to stderr when stdout carries the picture";
  const Json report = Json::parse(Slurp(dir.path / "r.json"));
  const char* const order[] = {"seed",  "palette", "background_row", "styles", "passes",  "rule",     "offset_mode",
                               "effect_offset_mode", "width", "height", "draws", "friend", "sender", "settings",
                               "version"};
  const std::string text = Slurp(dir.path / "r.json");
  std::size_t at = 0;
  for (const char* key : order) {
    const std::size_t next = text.find(std::string(1, '"').append(key).append("\": "), at);
    EXPECT_NE(next, std::string::npos) << key << " missing or out of order";
    at = next == std::string::npos ? at : next;
  }
  EXPECT_EQ(report["seed"], 4396645 + 767 * 8 + 512);
  EXPECT_EQ(report["offset_mode"], 3);
  EXPECT_EQ(report["effect_offset_mode"], 10);
  EXPECT_EQ(report["draws"]["strip"], 401);
  EXPECT_EQ(report["settings"], Json::parse(R"({"max_styles": 15, "mode": "line", "palette": 0, "year": 2017})"));

  const Json png = Facts(dir, "card.png");
  EXPECT_EQ(png["width"], 896);
  EXPECT_EQ(png["phys"], Json::parse("[3780, 3780, 1]"));
  EXPECT_EQ(png["text"]["Title"], "Mirelune card for Kim from Alice");
  EXPECT_EQ(png["text"]["Description"], "dear Kim, I wish you a happy new year 2017! Alice" + std::string(11, ' ') +
                                            "mirelune.art ");
  EXPECT_EQ(png["text"]["Software"].get<std::string>().rfind("Mirelune 1.", 0), 0u);
  EXPECT_EQ(Json::parse(png["text"]["mirelune-report"].get<std::string>()), report);
}

TEST(Cli, InfoAndAgainMakeTheSameCardFromItsPng) {
  TempDir dir;
  ASSERT_EQ(Cli("card --friend 'Zoë' --sender Bob --mode pix --palette 5 --max-styles 3 --year 2031 --out a.png", dir)
                .status,
            0);
  const Result info = Cli("info a.png", dir);
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("friend: Zoë\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("settings.mode: pix\n"), std::string::npos) << info.out;
  const Result json = Cli("info --json a.png", dir);
  EXPECT_EQ(Json::parse(json.out)["settings"]["year"], 2031);

  const Result again = Cli("card --again a.png --out b.png", dir);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err, "") << "no note of a different card";
  EXPECT_EQ(Slurp(dir.path / "a.png"), Slurp(dir.path / "b.png"));
  // Without the report there is nothing to make again.
  ASSERT_EQ(Cli("style 2 --out s.png", dir).status, 0);
  EXPECT_EQ(Cli("card --again s.png", dir).status, 2);
}

TEST(Cli, FormatsAndTheYearChangeNoPictureBeyondTheGreeting) {
  TempDir dir;
  ASSERT_EQ(Cli("card --friend Mary --sender Bob --out a.bmp --plain p.jpg", dir).status, 0);
  ASSERT_EQ(Cli("card --friend Mary --sender Bob --out - --format bmp --year 2030", dir, "> y.bmp").status, 0);
  ASSERT_EQ(Cli("card --friend Mary --sender Bob --out a.jpeg --plain - ", dir, "> p.png").status, 0);

  // The year: only its digits in the band (y 632..662 pixels, x 4..892) change.
  const Json year = Facts(dir, "a.bmp", "y.bmp");
  ASSERT_TRUE(year["differing_box"].is_array());
  EXPECT_GE(year["differing_box"][0], 4);
  EXPECT_GE(year["differing_box"][1], 632);
  EXPECT_LE(year["differing_box"][2], 892);
  EXPECT_LE(year["differing_box"][3], 662);

  // JPEG decodes (ImageMagick) to the card within the loss of quality 92.
  ASSERT_EQ(Shell("convert a.jpeg ppm:a.ppm && convert p.jpg ppm:p.ppm", dir).status, 0);
  const Json jpeg = Facts(dir, "a.ppm", "a.bmp");
  EXPECT_EQ(jpeg["width"], 896);
  EXPECT_LT(jpeg["mean_difference"], 4.0);
  EXPECT_LT(Facts(dir, "p.ppm", "p.png")["mean_difference"], 4.0);
  EXPECT_GT(Facts(dir, "p.png", "a.bmp")["mean_difference"], 4.0) << "the plain picture is not the card";
}

TEST(Cli, DefaultOutputGoesToTheCardFolderUnderTheRoot) {
  TempDir dir;
  const Result r = Cli("card --friend Mary --sender Bob --format png", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("./wimgx/GR-", 0), 0u) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - 5), ".png\n");
}

}  // namespace
