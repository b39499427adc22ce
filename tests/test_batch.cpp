// Batches: the list reader on good and broken CSV, and the command run as scripts
// run it: killed and rerun, on one or two threads, split into shards by hand and
// by GNU parallel. Every output is compared byte for byte with one plain run.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "batch/list.h"
#include "test_mail_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteText;

// --- the list reader ---

struct ListCase {
  const char* what;
  std::string csv;
  bool mail;
  std::vector<std::string> rows;  // per row "line:ok" or "line:" + a piece of the reason
};

std::vector<std::string> ReadRows(const fs::path& file, bool mail, std::string* open_error) {
  ListReader reader;
  std::vector<std::string> got;
  if (!reader.Open(file, {mail, "png"}, open_error)) return got;
  ListRow row;
  while (reader.Next(&row)) got.push_back(std::to_string(row.line) + ":" + (row.error.empty() ? "ok" : row.error));
  return got;
}

TEST(BatchList, ReadsGoodRowsAndReportsEachBadOneWithItsLine) {
  const std::string long_name(101, 'x');
  std::string hundred_umlauts;
  for (int k = 0; k < 100; ++k) hundred_umlauts += "\xC3\xBC";
  const ListCase cases[] = {
      {"BOM, CRLF, quoted commas, quotes and line breaks, blank lines",
       "\xEF\xBB\xBF" "friend,sender,message\r\n\"Mary, Jr.\",\"Bob \"\"B\"\"\",\"two\r\nlines\"\r\n\r\nAnn,Joe,\r\n",
       false, {"2:ok", "5:ok"}},
      {"every column, in any order and case",
       "Sender,FRIEND,email,message,mode,palette,max_styles,year\nBob,Mary,m@x.org,hi,pix,26,1,\n", false, {"2:ok"}},
      {"names counted in characters, not bytes",
       "friend,sender\n" + hundred_umlauts + ",Bob\n" + long_name + ",Bob\n", false,
       {"2:ok", "3:the friend's name has 101 characters"}},
      {"values out of range",
       "friend,sender,mode,palette,max_styles,year\nA,B,lines,,,\nA,B,,27,,\nA,B,,,0,\nA,B,,,25,\nA,B,,,,2025\n"
       "A,B,,x,,\n",
       false,
       {"2:the mode is line or pix", "3:the palette is a whole number from 1 to 26", "4:max_styles",
        "5:max_styles", "6:the year column must be empty", "7:the palette"}},
      {"invalid UTF-8 and a wrong number of fields",
       "friend,sender\nA\xFF,B\nA,B,C\nA\nOk,Fine\n", false,
       {"2:the friend is not valid UTF-8", "3:the row has 3 fields; the header has 2",
        "4:the row has 1 fields", "5:ok"}},
      {"a stray quote costs its own row only",
       "friend,sender\nMa\"ry,Bob\n\"Ann,Joe\nEve,\"Max\"\n\"Liz\"x,Kim\nTom,Tim\n", false,
       {"2:a quote inside a field", "3:text follows the closing quote of a field opened on line 3", "4:ok",
        "5:text follows the closing quote", "6:ok"}},
      {"a quote never closed", "friend,sender\nA,B\n\"C,D\nE,F\n", false,
       {"2:ok", "3:never closed", "4:ok"}},
      {"fields too long to be names or messages",
       "friend,sender\n" + std::string(70000, 'A') + ",B\n\"" + std::string(70000, 'A') + "\nC,D\n", false,
       {"2:a field is longer than 64 KiB", "3:a field opened on line 3 is longer than 64 KiB", "4:ok"}},
      {"mail needs an address per row",
       "friend,sender,email\nA,B,a@example.org\nA,B,\nA,B,not an address\nA,B,\"x@y.org\r\nBcc: z@y.org\"\n", true,
       {"2:ok", "3:the address is empty", "4:the address", "5:the address"}},
  };
  TempDir dir("mirelune-batch");
  for (const ListCase& c : cases) {
    const fs::path file = dir.path() / "list.csv";
    WriteText(file, c.csv);
    std::string error;
    const auto got = ReadRows(file, c.mail, &error);
    ASSERT_EQ(got.size(), c.rows.size()) << c.what << ": " << error;
    for (std::size_t k = 0; k < got.size(); ++k) {
      const std::string& want = c.rows[k];
      const std::size_t colon = want.find(':');
      const bool same_line = got[k].compare(0, colon + 1, want, 0, colon + 1) == 0;
      const std::string reason = want.substr(colon + 1), got_reason = got[k].substr(got[k].find(':') + 1);
      EXPECT_TRUE(same_line && (reason == "ok" ? got_reason == "ok" : got_reason.find(reason) != std::string::npos))
          << c.what << ": row " << k << " is \"" << got[k] << "\", expected \"" << want << "\"";
    }
  }

  // Faults of the header stop the whole list, naming the column.
  const std::pair<std::string, std::string> headers[] = {
      {"friend,sender,colour\n", "unknown column \"colour\""},
      {"friend\n", "no \"sender\" column"},
      {"friend,sender,friend\n", "names the column \"friend\" twice"},
      {"", "is empty"},
  };
  for (const auto& [csv, why] : headers) {
    WriteText(dir.path() / "list.csv", csv);
    std::string error;
    ListReader reader;
    EXPECT_FALSE(reader.Open(dir.path() / "list.csv", {}, &error)) << csv;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
  std::string error;
  ListReader reader;
  EXPECT_FALSE(reader.Open(dir.path() / "missing.csv", {}, &error));
  EXPECT_NE(error.find("cannot read the list"), std::string::npos) << error;
}

TEST(BatchList, FileNamesAreSafeAndDistinct) {
  const std::pair<std::string, std::string> names[] = {
      {"Mary", "Bob"},
      {"../../etc/passwd", ".hidden"},
      {"a\nb\x01\x7f", "C:\\x|y*z?\"<>"},
      {"Zo\xC3\xAB \xC5\x81\xC3\xB3" "d\xC5\xBA", "\xE6\x9D\xB1\xE4\xBA\xAC"},
      {std::string(100, 'w'), std::string(100, 'v')},
      {"\xE2\x80\xAE" "gnp.exe", ""},
  };
  std::set<std::string> seen;
  for (std::size_t k = 0; k < std::size(names); ++k) {
    const std::string file = CardFileName(static_cast<long>(k), names[k].first, names[k].second, "png");
    EXPECT_TRUE(seen.insert(file).second) << file;
    EXPECT_LE(file.size(), 6u + 1 + 32 + 1 + 32 + 4) << file;
    EXPECT_NE(file[0], '.') << file;
    for (unsigned char c : file)
      EXPECT_TRUE(std::isalnum(c) || c == '-' || c == '_' || c == '.') << file;
    EXPECT_EQ(file.substr(file.size() - 4), ".png");
  }
  EXPECT_EQ(CardFileName(0, "Mary", "Bob", "png"), "000001-Mary-Bob.png");
  EXPECT_EQ(CardFileName(3, "Zo\xC3\xAB \xC5\x81\xC3\xB3" "d\xC5\xBA", "\xE6\x9D\xB1", "bmp"),
            "000004-Zoe_Lodz-_.bmp");
}

// --- the command ---

const char kList[] =
    "friend,sender,mode,palette,max_styles,year\n"
    "Mary,Bob,,,,\n"
    "Zo\xC3\xAB,\"Jos\xC3\xA9, Jr.\",pix,3,,\n"
    "Ann,Joe,line,,4,\n"
    "Bad,Row,sideways,,,\n"
    "Eve,Max,,17,24,\n"
    "Tom,Tim,,,1,\n"
    "Liz,Kim,,,,\n";
constexpr int kGoodRows = 6;

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome Batch(const fs::path& scratch, std::vector<std::string> args) {
  args.insert(args.begin(), {MIRELUNE_CLI, "batch"});
  Outcome r;
  r.status = RunCommand(args, scratch / "out.txt", scratch / "err.txt", 120);
  r.out = ReadText(scratch / "out.txt");
  r.err = ReadText(scratch / "err.txt");
  return r;
}

// Every file of a folder but the manifests and lock files, with its bytes.
std::map<std::string, std::string> Cards(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("manifest", 0) != 0 && name[0] != '.') files[name] = ReadText(e.path());
  }
  return files;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// One plain run on one thread, made once: what every other way must give.
class BatchRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new TempDir("mirelune-batch");
    WriteText(list(), kList);
    const Outcome r = Batch(scratch_->path(), {list().string(), "--out-dir", reference().string(), "--jobs", "1"});
    ASSERT_EQ(r.status, 1) << r.err;  // the one bad row
    EXPECT_NE(r.out.find("6 of 7 rows done"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("row 4 (line 5): the mode is line or pix"), std::string::npos) << r.out;
  }
  static void TearDownTestSuite() { delete scratch_; }
  static fs::path list() { return scratch_->path() / "list.csv"; }
  static fs::path reference() { return scratch_->path() / "reference"; }
  static std::string Manifest() { return ReadText(reference() / "manifest.jsonl"); }
  static TempDir* scratch_;
};
TempDir* BatchRun::scratch_ = nullptr;

TEST_F(BatchRun, CardsMatchTheCardCommandAndTheManifestDescribesThem) {
  const auto cards = Cards(reference());
  ASSERT_EQ(cards.size(), static_cast<std::size_t>(kGoodRows));
  ASSERT_TRUE(cards.count("000002-Zoe-Jose_Jr.png"));
  TempDir dir("mirelune-batch");
  const fs::path single = dir.path() / "single.png";
  ASSERT_EQ(RunCommand({MIRELUNE_CLI, "card", "--friend", "Zo\xC3\xAB", "--sender", "Jos\xC3\xA9, Jr.", "--mode",
                        "pix", "--palette", "3", "--out", single.string()},
                       dir.path() / "o", dir.path() / "e"),
            0);
  EXPECT_TRUE(ReadText(single) == cards.at("000002-Zoe-Jose_Jr.png"));

  const auto lines = Lines(Manifest());
  ASSERT_EQ(lines.size(), 7u);  // one per row, in row order
  const std::string bytes = cards.at("000002-Zoe-Jose_Jr.png");
  EXPECT_NE(lines[1].find("\"sha256\":\"" + Sha256Hex(bytes.data(), bytes.size()) + "\""), std::string::npos);
  EXPECT_NE(lines[1].find("\"palette\":3"), std::string::npos) << lines[1];
  EXPECT_NE(lines[3].find("\"status\":\"failed\""), std::string::npos) << lines[3];
  for (std::size_t k = 0; k < lines.size(); ++k)
    EXPECT_EQ(lines[k].rfind("{\"row\":" + std::to_string(k) + ",", 0), 0u) << lines[k];
}

TEST_F(BatchRun, TwoThreadsGiveTheSameBytes) {
  TempDir dir("mirelune-batch");
  const Outcome r = Batch(dir.path(), {list().string(), "--out-dir", (dir.path() / "out").string(), "--jobs", "2"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(Cards(dir.path() / "out") == Cards(reference()));
  EXPECT_EQ(ReadText(dir.path() / "out" / "manifest.jsonl"), Manifest());
}

TEST_F(BatchRun, KilledAtAnyMomentAndRunAgainMakesOnlyWhatIsMissing) {
  TempDir dir("mirelune-batch");
  const fs::path out = dir.path() / "out";
  // Kill -9 at a random moment after each run's first finished row, until a run
  // ends by itself.
  std::map<std::string, fs::file_time_type> before;
  std::mt19937 random(20170102);
  int kills = 0;
  for (bool finished = false; !finished;) {
    ASSERT_LT(kills, 20) << "the batch never finished";
    const auto done_rows = [&] {
      const std::string text = ReadText(out / "manifest.jsonl");
      int n = 0;
      const std::string done = "\"status\":\"done\"";
      for (auto at = text.find(done); at != std::string::npos; at = text.find(done, at + 1)) ++n;
      return n;
    };
    const int done_before = done_rows();
    std::vector<std::string> args = {MIRELUNE_CLI, "batch", list().string(), "--out-dir", out.string(), "--jobs", "2"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::optional<std::chrono::steady_clock::time_point> kill_at;
    while (!(finished = ::waitpid(pid, &status, WNOHANG) == pid)) {
      const auto now = std::chrono::steady_clock::now();
      if (!kill_at && done_rows() > done_before)
        kill_at = now + std::chrono::milliseconds(random() % 200);
      if ((kill_at && now >= *kill_at) || now > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ++kills;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (finished) {
      EXPECT_EQ(WEXITSTATUS(status), 1);
    }
    // Rows with a manifest line are done: their cards must never be written again.
    for (const std::string& line : Lines(ReadText(out / "manifest.jsonl"))) {
      std::smatch m;
      if (std::regex_search(line, m, std::regex(R"re("status":"done","file":"([^"]+)")re")))
        before.emplace(m[1], fs::last_write_time(out / m[1].str()));
    }
  }
  EXPECT_GT(kills, 0);
  // A card finished before a kill is never made again.
  for (const auto& [name, time] : before) EXPECT_EQ(fs::last_write_time(out / name), time) << name;
  EXPECT_TRUE(Cards(out) == Cards(reference()));
  EXPECT_EQ(ReadText(out / "manifest.jsonl"), Manifest());
  const Outcome again = Batch(dir.path(), {list().string(), "--out-dir", out.string()});
  EXPECT_NE(again.out.find("6 of 7 rows done (0 made now, 6 before)"), std::string::npos) << again.out;
}

TEST_F(BatchRun, ThreeShardsUnderGnuParallelMakeTheWholeList) {
  TempDir dir("mirelune-batch");
  const fs::path out = dir.path() / "out";
  // The recipe of the README, or by hand where GNU parallel is missing.
  if (fs::exists("/usr/bin/parallel")) {
    const int status = RunCommand({"/usr/bin/parallel", "--will-cite", MIRELUNE_CLI, "batch", list().string(),
                                   "--out-dir", out.string(), "--shard", "{}/3", ":::", "0", "1", "2"},
                                  dir.path() / "p.out", dir.path() / "p.err", 120);
    EXPECT_EQ(status, 1) << ReadText(dir.path() / "p.err");  // parallel counts the failed shards
  } else {
    for (int k = 0; k < 3; ++k) {
      const Outcome r = Batch(dir.path(), {list().string(), "--out-dir", out.string(), "--shard", std::to_string(k) + "/3"});
      EXPECT_EQ(r.status, k == 0 ? 1 : 0) << r.err;  // row 4 (index 3) belongs to shard 0
    }
  }
  EXPECT_TRUE(Cards(out) == Cards(reference()));
  std::vector<std::string> manifest_lines;
  for (int k = 0; k < 3; ++k) {
    const auto lines = Lines(ReadText(out / ("manifest-" + std::to_string(k) + "-of-3.jsonl")));
    manifest_lines.insert(manifest_lines.end(), lines.begin(), lines.end());
  }
  std::sort(manifest_lines.begin(), manifest_lines.end(), [](const std::string& a, const std::string& b) {
    return std::stoi(a.substr(7)) < std::stoi(b.substr(7));
  });
  EXPECT_EQ(manifest_lines, Lines(Manifest()));
}

TEST_F(BatchRun, BadInvocationsExitTwoAndNameTheFault) {
  TempDir dir("mirelune-batch");
  const std::string out = (dir.path() / "out").string();
  WriteText(dir.path() / "bad-header.csv", "friend,sender,colour\nA,B,red\n");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{list().string()}, "--out-dir is required"},
      {{(dir.path() / "none.csv").string(), "--out-dir", out}, "cannot read the list"},
      {{(dir.path() / "bad-header.csv").string(), "--out-dir", out}, "unknown column \"colour\""},
      {{list().string(), "--out-dir", out, "--shard", "3/3"}, "0 <= K < N"},
      {{list().string(), "--out-dir", out, "--format", "jpg"}, "jpg is not available"},
      {{list().string(), "--out-dir", out, "--format", "gif"}, "--format"},
      {{list().string(), "--out-dir", out, "--jobs", "0"}, "--jobs"},
      {{list().string(), "--out-dir", out, "--rate", "5/min"}, "needs --mail"},
      {{list().string(), "--out-dir", out, "--mail"}, "MIRELUNE_SMTP_URL"},
  };
  testing::ScopedEnv no_server("MIRELUNE_SMTP_URL", std::nullopt);
  for (const auto& [args, why] : cases) {
    const Outcome r = Batch(dir.path(), args);
    EXPECT_EQ(r.status, 2) << why;
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir.path() / "out" / "manifest.jsonl"));
}

}  // namespace
}  // namespace mirelune
