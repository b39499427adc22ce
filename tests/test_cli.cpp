// The command line as scripts use it: outputs, report, exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

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
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs the CLI through the shell with `args` (already quoted) and MIRELUNE_ROOT=root.
Result RunCli(const std::string& args, const fs::path& root) {
  const fs::path out = root / ".stdout", err = root / ".stderr";
  const std::string cmd = "MIRELUNE_ROOT='" + root.string() + "' '" MIRELUNE_CLI "' " + args + " >'" +
                          out.string() + "' 2>'" + err.string() + "'";
  const int raw = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = Slurp(out);
  r.err = Slurp(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

long Field(const std::string& json, const std::string& key) {
  std::smatch m;
  if (!std::regex_search(json, m, std::regex("\"" + key + "\": (-?[0-9]+)"))) return -999;
  return std::stol(m[1]);
}

TEST(Cli, MakesTheCardForMaryAndBobWithItsReport) {
  TempDir dir;
  const Result r =
      RunCli("card --friend Mary --sender Bob --out '" + (dir.path / "card.bmp").string() + "' --report -", dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Field(r.out, "seed"), 4396645 + 733 * 7);
  EXPECT_EQ(Field(r.out, "strip"), 401);
  EXPECT_EQ(Field(r.out, "width"), 896);
  EXPECT_EQ(Field(r.out, "height"), 671);
  const long total = Field(r.out, "total");
  EXPECT_EQ(total, Field(r.out, "strip") + Field(r.out, "pass") + Field(r.out, "ornaments") +
                       Field(r.out, "effect") + Field(r.out, "styles"));
  EXPECT_GE(Field(r.out, "rule"), 1);
  EXPECT_LE(Field(r.out, "rule"), 13);
  EXPECT_NE(r.out.find("\"styles\": ["), std::string::npos);
  EXPECT_NE(r.err.find("card.bmp"), std::string::npos) << "paths go to stderr when the report takes stdout";
}

TEST(Cli, SameArgumentsGiveByteIdenticalFiles) {
  TempDir dir;
  const std::string a = (dir.path / "a.bmp").string(), b = (dir.path / "b.bmp").string();
  const std::string pa = (dir.path / "a.png").string(), pb = (dir.path / "b.png").string();
  ASSERT_EQ(RunCli("card --friend Mary --sender Bob --out '" + a + "' --plain '" + pa + "'", dir.path).status, 0);
  ASSERT_EQ(RunCli("card --friend=Mary --sender=Bob --out='" + b + "' --plain='" + pb + "'", dir.path).status, 0);
  const std::string x = Slurp(a);
  EXPECT_EQ(x.size(), 54u + 896 * 3 * 671);
  EXPECT_EQ(x, Slurp(b));
  EXPECT_EQ(Slurp(pa), Slurp(pb));
  EXPECT_NE(Slurp(pa).substr(1, 3), "");
}

TEST(Cli, DefaultOutputGoesToTheCardFolderUnderTheRoot) {
  TempDir dir;
  const Result r = RunCli("card --friend Mary --sender Bob", dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("/wimgx/GR-[0-9]{14}\\.bmp")));
  int cards = 0;
  for (const auto& e : fs::directory_iterator(dir.path / "wimgx")) cards += e.path().extension() == ".bmp";
  EXPECT_EQ(cards, 1);
}

TEST(Cli, PaletteModeStyleLimitAndPixMode) {
  TempDir dir;
  const std::string out = (dir.path / "c.bmp").string();
  const Result r =
      RunCli("card --friend Ann --sender Eve --palette 5 --max-styles 1 --mode pix --out '" + out + "' --report -",
          dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Field(r.out, "palette"), 5);
  EXPECT_EQ(Field(r.out, "strip"), 400);
  EXPECT_EQ(Field(r.out, "passes"), 2);
  EXPECT_GT(Field(r.out, "effect"), 1800000);  // the reveal draws millions
}

TEST(Cli, ReportToAFile) {
  TempDir dir;
  const std::string out = (dir.path / "c.bmp").string(), rep = (dir.path / "r.json").string();
  const Result r = RunCli("card --friend '' --sender '' --out '" + out + "' --report '" + rep + "'", dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Field(Slurp(rep), "seed"), 4396645);
}

TEST(Cli, BadInputGetsOneLineAndStatusTwo) {
  const std::string hundred_and_one(101, 'x');
  const std::string cases[] = {
      "",
      "paint",
      "card --sender Bob",
      "card --friend Mary --sender Bob --colour red",
      "card --friend Mary --sender Bob --max-styles 0",
      "card --friend Mary --sender Bob --max-styles 25",
      "card --friend Mary --sender Bob --max-styles 3x",
      "card --friend Mary --sender Bob --palette 27",
      "card --friend Mary --sender Bob --mode dots",
      "card --friend Mary --sender " + hundred_and_one,
      "card --friend \"$(printf 'Ma\\377ry')\" --sender Bob",
      "card --friend Mary --sender Bob extra",
      "card --friend Mary --sender Bob --out",
      "style 0",
      "style 24",
      "style 3 --seed -4",
  };
  for (const std::string& args : cases) {
    TempDir dir;
    const Result r = RunCli(args, dir.path);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err.rfind("mirelune-cli: ", 0), 0u) << args << ": " << r.err;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_FALSE(fs::exists(dir.path / "wimgx")) << args;
  }
}

TEST(Cli, AFailedWriteGetsStatusOneAndLeavesNothing) {
  TempDir dir;
  const Result r = RunCli("card --friend Mary --sender Bob --out '" + (dir.path / "no/such/card.bmp").string() + "'",
                       dir.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no/such/card.bmp"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.path / "no"));
}

TEST(Cli, StyleToolPaintsOneStyleAlone) {
  TempDir dir;
  const std::string a = (dir.path / "a.png").string(), b = (dir.path / "b.png").string();
  ASSERT_EQ(RunCli("style 1 --seed 5 --out '" + a + "'", dir.path).status, 0);
  ASSERT_EQ(RunCli("style 1 --seed 5 --out '" + b + "'", dir.path).status, 0);
  EXPECT_EQ(Slurp(a), Slurp(b));
  const Result list = RunCli("styles", dir.path);
  EXPECT_NE(list.out.find("1 stripe-bands\n"), std::string::npos);
  EXPECT_NE(list.out.find("23 circle-trails\n"), std::string::npos);
}

}  // namespace
