// Batches: the list reader on good and broken CSV, the command against the single
// card on one and two threads and in shards (kills and mail: test_mail_smtp.cpp).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>

#include "batch/batch.h"
#include "batch/list.h"
#include "test_mail_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;
using namespace testing;  // mirelune::testing: files and programs

// Each row as "line:ok FILE" or "line:" + its reason; the header's fault as ":" + it.
std::vector<std::string> ReadRows(const fs::path& file, bool mail) {
  ListReader reader;
  if (const Result<> opened = reader.Open(file, {mail, "png"}); !opened) return {":" + opened.message};
  std::vector<std::string> got;
  for (ListRow row; reader.Next(&row);)
    got.push_back(std::to_string(row.line) + ":" + (row.error.empty() ? "ok " + row.file : row.error));
  return got;
}

TEST(BatchList, ReportsEachBadRowWithItsLineAndNamesGoodOnesSafely) {
  std::string umlauts;
  for (int k = 0; k < 100; ++k) umlauts += "\xC3\xBC";
  const struct { std::string csv; bool mail; std::vector<std::string> rows; } cases[] = {  // rows: "line:" + a piece
      {"\xEF\xBB\xBF" "friend,sender,message\r\n\"Mary, Jr.\",\"Bob \"\"B\"\"\",\"two\r\nlines\"\r\n\r\nAnn,Joe,\r\n",
       false, {"2:ok", "5:ok"}},
      {"Sender,FRIEND,email,message,mode,palette,max_styles,year\nB,M,m@x.org,hi,pix,26,1,9999\n", false, {"2:ok"}},
      {"friend,sender\n" + umlauts + ",Bob\n" + umlauts + "x,Bob\n", false,
       {"2:ok 000001-" + std::string(32, 'u') + "-Bob.png", "3:has 101 characters"}},
      {"friend,sender\n../etc,.hidden\n\"a\nb\x01\",C:\\x|y*z?<>\nZo\xC3\xAB \xC5\x81\xC3\xB3w,\xE6\x9D\xB1\n", false,
       {"2:ok 000001-etc-hidden.png", "3:ok 000002-a_b-C_x_y_z.png", "5:ok 000003-Zoe_Low-_.png"}},
      {"friend,sender,mode,palette,max_styles,year\nA,B,lines,,,\nA,B,,27,,\nA,B,,,0,\nA,B,,,25,\nA,B,,,,0\nA,B,,x,,\n"
       "A\xFF,B,,,,\nA,B\nOk,Fine,,,,\n", false, {"2:line or pix", "3:from 1 to 26", "4:max_styles", "5:max_styles",
       "6:year", "7:palette", "8:not valid UTF-8", "9:has 2 fields", "10:ok"}},
      {"friend,sender\nMa\"ry,Bob\n\"Ann,Joe\nEve,\"Max\"\n\"Liz\"x,Kim\nTom,Tim\n", false,
       {"2:a quote inside", "3:opened on line 3", "4:ok", "5:text follows the closing quote", "6:ok"}},
      {"friend,sender\nA,B\n\"C,D\nE,F\n", false, {"2:ok", "3:never closed", "4:ok"}},
      {"friend,sender\n" + std::string(70000, 'A') + ",B\n\"" + std::string(70000, 'A') + "\nC,D\n", false,
       {"2:64 KiB", "3:64 KiB", "4:ok"}},
      {"friend,sender,email\nA,B,a@example.org\nA,B,\nA,B,\"x@y.org\r\nBcc: z@y.org\"\n", true,
       {"2:ok", "3:address", "4:address"}},
      {"friend,sender\n" + std::string(300, ',') + "\nA,B\n", false, {"2:more than 256 fields", "3:ok"}},
      {"friend,sender,colour\n", false, {":unknown column \"colour\""}}, {"friend\n", false, {":no \"sender\""}},
      {"friend,\x1B]0;x\x07\xFF\n", false, {":unknown column \"\\x1B]0;x\\x07\\xFF\""}},
      {"friend,sender\n", true, {":no \"email\""}}, {"friend,friend\n", false, {":twice"}}, {"", false, {":empty"}},
      // A quoted value comes back short, its control characters (a terminal's escapes) spelled out.
      {"friend,sender,mode,palette\nA,B,\"\x1B]0;pwn\x07\nx\",\nA,B,," + std::string(50, '9') + "\n", false,
       {"2:not \"\\x1B]0;pwn\\x07\\x0Ax\"", "4:not \"" + std::string(40, '9') + "...\""}},
  };
  TempDir dir;
  for (const auto& c : cases) {
    WriteText(dir.path / "list.csv", c.csv);
    const auto got = ReadRows(dir.path / "list.csv", c.mail);
    ASSERT_EQ(got.size(), c.rows.size()) << c.csv.substr(0, 80);
    for (std::size_t k = 0; k < got.size(); ++k) {
      const std::string& want = c.rows[k];
      const std::size_t colon = want.find(':');
      EXPECT_TRUE(got[k].compare(0, colon + 1, want, 0, colon + 1) == 0 &&
                  got[k].find(want.substr(colon + 1), colon + 1) != std::string::npos)
          << "got \"" << got[k] << "\", expected \"" << want << "\"";
    }
  }
  EXPECT_EQ(ReadRows(dir.path / "missing.csv", false)[0].find(":cannot read the list"), 0u);
}

// --- the run ---

// Whatever one row throws or holds fails that row alone: an exception (out of memory among them),
// a card that cannot be encoded, a report or a folder name that is not UTF-8, a
// card file that cannot be written.
// The other rows' cards are made, every manifest line is valid JSON, and a second
// run does the same without making the good rows again.
TEST(BatchRun, AFailingRowFailsAloneWhateverItThrowsOrHolds) {
  TempDir dir;
  const fs::path list = dir.path / "list.csv", out = dir.path / "cards-\xFF\xFE";
  WriteText(list, "friend,sender\nMary,Bob\nStd,Error\nNot,Std\nOdd,Report\nBlocked,File\nA\xFF,B\nAnn,Joe\nNo,Memory\n");
  fs::create_directories(out / "000005-Blocked-File.png" / "inside");  // not a file, and not empty
  BatchOptions o{.list = list, .out_dir = out, .jobs = 3, .encode = [](const CardSpec& c, const Card&, auto, PixelBuffer&) -> Result<CardFile> {
    if (c.friend_name == "Std") throw std::runtime_error("disk on fire \xFF");
    if (c.friend_name == "Not") throw std::bad_alloc();
    if (c.friend_name == "No") return Error{"cannot encode PNG: out of memory"};
    CardFile card;
    card.bytes = {'c', 'a', 'r', 'd'};
    card.report["names"] = c.friend_name == "Odd" ? "\xC3(" : c.friend_name;
    return card;
  }};
  const std::string replaced = "\xEF\xBF\xBD";  // U+FFFD
  const std::vector<std::string> want = {
      "done", "failed: the card could not be made: disk on fire " + replaced,
      "failed: the card could not be made: std::bad_alloc", "done",
      "failed: cannot",  // the writer's own sentence, naming the file
      "failed: the friend is not valid UTF-8", "done",
      "failed: the card could not be encoded: cannot encode PNG: out of memory",
  };
  for (const char* made : {"(3 made now, 0 before)", "(0 made now, 3 before)"}) {
    std::ostringstream summary, err;
    EXPECT_EQ(RunBatchList(o, summary, err), 1) << err.str();
    EXPECT_NE(summary.str().find("3 of 8 rows done " + std::string(made) + "; 5 failed:"), std::string::npos)
        << summary.str() << err.str();
    std::vector<nlohmann::json> lines;  // each parsed strictly, valid UTF-8 included
    std::istringstream in(ReadText(out / "manifest.jsonl"));
    for (std::string l; std::getline(in, l);) lines.push_back(nlohmann::json::parse(l, nullptr, false));
    ASSERT_EQ(lines.size(), want.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
      ASSERT_TRUE(lines[k].is_object()) << "line " << k << " is not valid JSON";
      const std::string got = lines[k].value("status", "?") +
                              (lines[k].contains("reason") ? ": " + lines[k]["reason"].get<std::string>() : "");
      EXPECT_EQ(got.substr(0, want[k].size()), want[k]) << lines[k].dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      EXPECT_EQ(lines[k].value("row", -1), static_cast<long>(k));
    }
    EXPECT_NE(lines[4].value("reason", "").find("000005-Blocked-File.png"), std::string::npos);
    EXPECT_EQ(lines[3]["report"]["names"], replaced + "(");
    for (const char* card : {"000001-Mary-Bob.png", "000004-Odd-Report.png", "000007-Ann-Joe.png"})
      EXPECT_EQ(ReadText(out / card), "card") << card;
  }
}

// --- the command ---

// Rows as the list has them and as `mirelune-cli card` takes them; the third row is bad.
const char kList[] =
    "friend,sender,mode,palette,max_styles,year\nMary,Bob,,,,\nZo\xC3\xAB,\"Jos\xC3\xA9, Jr.\",pix,3,,\n"
    "Bad,Row,sideways,,,\nAnn,Joe,line,,4,2026\n";
const std::pair<const char*, std::vector<std::string>> kCards[] = {
    {"000001-Mary-Bob", {"--friend", "Mary", "--sender", "Bob"}},
    {"000002-Zoe-Jose_Jr", {"--friend", "Zo\xC3\xAB", "--sender", "Jos\xC3\xA9, Jr.", "--mode=pix", "--palette=3"}},
    {"000004-Ann-Joe", {"--friend", "Ann", "--sender", "Joe", "--max-styles", "4", "--year", "2026"}},
};

// Runs a program (killed after two minutes), its output into files in `dir`; its exit status and standard error.
int RunCommand(const std::vector<std::string>& args, const fs::path& dir, std::string* err) {
  std::string cmd = "timeout -s KILL 120";
  for (const std::string& a : args) cmd += " '" + std::regex_replace(a, std::regex("'"), "'\\''") + "'";
  const int status = std::system((cmd + " >'" + dir.string() + "/stdout' 2>'" + dir.string() + "/stderr'").c_str());
  *err = ReadText(dir / "stderr");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every way of running the list gives the single card's bytes and one manifest
// line per row, the same for every number of threads.
TEST(BatchCommand, CardsAreTheSingleCardBytesOnOneOrTwoThreadsAndInShards) {
  TempDir dir;
  const fs::path list = dir.path / "list.csv";
  WriteText(list, kList);
  const std::pair<std::string, std::vector<std::vector<std::string>>> cases[] = {
      {"png", {{"--jobs", "1"}}},
      {"png", {{"--jobs", "2"}}},
      {"png", {{"--shard", "1/2", "--jobs", "2"}, {"--shard", "0/2", "--jobs", "1"}}},
      {"jpg", {{"--jobs", "2", "--format", "jpg"}}},
  };
  std::map<std::string, std::string> single;  // file -> the bytes of `card`
  std::vector<std::string> png_lines;
  int n = 0;
  for (const auto& [format, runs] : cases) {
    const fs::path out = dir.path / ("out" + std::to_string(n++));
    std::string err;
    for (auto args : runs) {
      const int bad_rows = std::count(args.begin(), args.end(), "1/2") ? 0 : 1;  // row index 2 is shard 0's
      args.insert(args.begin(), {MIRELUNE_CLI, "batch", list.string(), "--out-dir", out.string()});
      EXPECT_EQ(RunCommand(args, dir.path, &err), bad_rows) << err;
    }
    EXPECT_NE(err.find("row 3 (line 4): the mode is line or pix"), std::string::npos) << err;
    std::vector<std::string> lines;  // every manifest's lines, each file rewritten in row order
    for (const char* name : {"manifest.jsonl", "manifest-0-of-2.jsonl", "manifest-1-of-2.jsonl"}) {
      const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(lines.size());
      std::istringstream in(ReadText(out / name));
      for (std::string l; std::getline(in, l);) lines.push_back(l);
      EXPECT_TRUE(std::is_sorted(lines.begin() + first, lines.end())) << name;
    }
    std::sort(lines.begin(), lines.end());  // by row: under ten rows
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[2].find("\"line\":4,\"status\":\"failed\""), std::string::npos) << lines[2];
    for (std::size_t k = 0; k < std::size(kCards); ++k) {
      const std::string file = kCards[k].first + ("." + format);
      if (!single.count(file)) {
        std::vector<std::string> args = {MIRELUNE_CLI, "card", "--out", (dir.path / file).string()};
        args.insert(args.end(), kCards[k].second.begin(), kCards[k].second.end());
        ASSERT_EQ(RunCommand(args, dir.path, &err), 0) << err;
        single[file] = ReadText(dir.path / file);
      }
      const std::string bytes = ReadText(out / file);
      EXPECT_TRUE(bytes == single[file]) << file << " differs from the single card";
      EXPECT_NE(lines[k + k / 2].find(file + "\",\"sha256\":\"" + Sha256Hex(bytes.data(), bytes.size())),
                std::string::npos);
    }
    if (png_lines.empty()) png_lines = lines;
    EXPECT_TRUE(format != "png" || lines == png_lines) << "the manifest depends on the threads or shards";
  }
}

// Bad invocations and unwritable folders fail with the reason; threads asked for
// beyond the rows to make are not started.
TEST(BatchCommand, BadInvocationsAndUnwritableFoldersFailWithTheReason) {
  TempDir dir;
  const std::string list = (dir.path / "list.csv").string(), out = (dir.path / "out").string();
  WriteText(list, kList);
  const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
      {{list}, 2, "--out-dir is required"},
      {{(dir.path / "none.csv").string(), "--out-dir", out}, 2, "cannot read the list"},
      {{list, "--out-dir", out, "--shard", "3/3"}, 2, "0 <= K < N"},
      {{list, "--out-dir", out, "--rate", "5/min"}, 2, "needs --mail"},
      {{list, "--out-dir", out, "--mail", "--rate", "0/min"}, 2, "N at least 1"},
      {{list, "--out-dir", out, "--mail"}, 2, "MIRELUNE_SMTP_URL"},
      {{list, "--out-dir", list + "/sub"}, 1, "list.csv"},
      {{list, "--out-dir", out + "-jobs", "--jobs", "256"}, 1, " on 3 threads\n"},  // one a good row
  };
  testing::ScopedEnv no_server({{"MIRELUNE_SMTP_URL", std::nullopt}});
  for (auto [args, status, why] : cases) {
    std::string err;
    args.insert(args.begin(), {MIRELUNE_CLI, "batch"});
    EXPECT_EQ(RunCommand(args, dir.path, &err), status) << why;
    EXPECT_NE(err.find(why), std::string::npos) << err;
  }
  EXPECT_FALSE(fs::exists(out));
}

// A run holds its layout's lock for its life; a run whose rows overlap a live one's is refused.
TEST(BatchCommand, RunsWhoseShardsOverlapALiveRunAreRefused) {
  TempDir dir;
  WriteText(dir.path / "list.csv", "friend,sender\n");  // the folder is the list's
  const struct { const char *held, *shard, *refusal; } cases[] = {  // held null: a lock nobody holds; refusal "": runs
      {"-1-of-2", "0/2", ""}, {"-1-of-2", "2/4", ""}, {"-1-of-2", "3/4", "a batch with --shard 1/2 is running"},
      {"-1-of-2", "0/1", "shares rows with all rows"}, {"", "0/3", "a batch without --shard is running"},
      {"-1-of-3", "1/2", "with --shard 1/3"}, {"-1-of-2", "1/2", "another batch is already writing"}, {nullptr, "0/1", ""}};
  for (const auto& c : cases) {  // flock(1) holds the lock while the batch runs
    const fs::path lock = dir.path / (std::string(".manifest") + (c.held ? c.held : "-0-of-2") + ".lock");
    std::vector<std::string> args = {"flock", lock.string(), MIRELUNE_CLI, "batch", (dir.path / "list.csv").string(),
                                     "--out-dir", dir.path.string(), "--shard", c.shard};
    std::string err;
    EXPECT_EQ(RunCommand(c.held ? args : V(args.begin() + 2, args.end()), dir.path, &err), *c.refusal ? 1 : 0) << err;
    EXPECT_NE(err.find(c.refusal), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace mirelune
