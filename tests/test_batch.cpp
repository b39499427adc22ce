// Batches: the list reader on good and broken CSV, the command against the single
// card on one and two threads and in shards (kills and mail: batch_mail_crash.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

// Each row as "line:ok" or "line:" + its reason; the header's fault as ":" + it.
std::vector<std::string> ReadRows(const fs::path& file, bool mail) {
  ListReader reader;
  std::string error;
  if (!reader.Open(file, {mail, "png"}, &error)) return {":" + error};
  std::vector<std::string> got;
  for (ListRow row; reader.Next(&row);)
    got.push_back(std::to_string(row.line) + ":" + (row.error.empty() ? "ok" : row.error));
  return got;
}

TEST(BatchList, ReportsEachBadRowWithItsLineAndReadsOn) {
  std::string umlauts;
  for (int k = 0; k < 100; ++k) umlauts += "\xC3\xBC";
  const std::string big(70000, 'A');
  const struct {
    std::string csv;
    bool mail;
    std::vector<std::string> rows;  // a piece of each row's "line:reason"
  } cases[] = {
      {"\xEF\xBB\xBF" "friend,sender,message\r\n\"Mary, Jr.\",\"Bob \"\"B\"\"\",\"two\r\nlines\"\r\n\r\nAnn,Joe,\r\n",
       false, {"2:ok", "5:ok"}},
      {"Sender,FRIEND,email,message,mode,palette,max_styles,year\nB,M,m@x.org,hi,pix,26,1,9999\n", false, {"2:ok"}},
      {"friend,sender\n" + umlauts + ",Bob\n" + umlauts + "x,Bob\n", false, {"2:ok", "3:has 101 characters"}},
      {"friend,sender,mode,palette,max_styles,year\nA,B,lines,,,\nA,B,,27,,\nA,B,,,0,\nA,B,,,25,\nA,B,,,,0\nA,B,,x,,\n",
       false, {"2:line or pix", "3:from 1 to 26", "4:max_styles", "5:max_styles", "6:year", "7:palette"}},
      {"friend,sender\nA\xFF,B\nA,B,C\nOk,Fine\n", false, {"2:not valid UTF-8", "3:has 3 fields", "4:ok"}},
      {"friend,sender\nMa\"ry,Bob\n\"Ann,Joe\nEve,\"Max\"\n\"Liz\"x,Kim\nTom,Tim\n", false,
       {"2:a quote inside", "3:opened on line 3", "4:ok", "5:text follows the closing quote", "6:ok"}},
      {"friend,sender\nA,B\n\"C,D\nE,F\n", false, {"2:ok", "3:never closed", "4:ok"}},
      {"friend,sender\n" + big + ",B\n\"" + big + "\nC,D\n", false, {"2:64 KiB", "3:64 KiB", "4:ok"}},
      {"friend,sender,email\nA,B,a@example.org\nA,B,\nA,B,\"x@y.org\r\nBcc: z@y.org\"\n", true,
       {"2:ok", "3:address", "4:address"}},
      {"friend,sender,colour\n", false, {":unknown column \"colour\""}}, {"friend\n", false, {":no \"sender\""}},
      {"friend,sender\n", true, {":no \"email\""}}, {"friend,friend\n", false, {":twice"}}, {"", false, {":empty"}},
  };
  TempDir dir("mirelune-batch");
  for (const auto& c : cases) {
    WriteText(dir.path() / "list.csv", c.csv);
    const auto got = ReadRows(dir.path() / "list.csv", c.mail);
    ASSERT_EQ(got.size(), c.rows.size()) << c.csv.substr(0, 80);
    for (std::size_t k = 0; k < got.size(); ++k) {
      const std::string& want = c.rows[k];
      const std::size_t colon = want.find(':');
      EXPECT_TRUE(got[k].compare(0, colon + 1, want, 0, colon + 1) == 0 &&
                  got[k].find(want.substr(colon + 1), colon + 1) != std::string::npos)
          << "got \"" << got[k] << "\", expected \"" << want << "\"";
    }
  }
  EXPECT_EQ(ReadRows(dir.path() / "missing.csv", false)[0].find(":cannot read the list"), 0u);
}

TEST(BatchList, FileNamesAreSafeAndDistinct) {
  const char* names[] = {"Mary", "../../etc", ".hidden", "a\nb\x01\x7f", "C:\\x|y*z?\"<>", "\xE2\x80\xAEgnp", ""};
  std::set<std::string> seen;
  for (const char* name : names) {
    const auto file = CardFileName(static_cast<long>(seen.size()), name + std::string(90, 'w'), name, "png");
    const auto plain = [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_' || c == '.'; };
    EXPECT_TRUE(seen.insert(file).second && std::all_of(file.begin(), file.end(), plain) && file.size() <= 76) << file;
  }
  EXPECT_EQ(CardFileName(3, "Zo\xC3\xAB \xC5\x81\xC3\xB3" "d\xC5\xBA", "\xE6\x9D\xB1", "jpg"), "000004-Zoe_Lodz-_.jpg");
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

int Batch(const fs::path& dir, std::vector<std::string> args, std::string* err) {
  args.insert(args.begin(), {MIRELUNE_CLI, "batch"});
  const int status = RunCommand(args, dir / "stdout", dir / "stderr", 120);
  *err = ReadText(dir / "stderr");
  return status;
}

// Every way of running the list gives the single card's bytes and one manifest
// line per row, the same for every number of threads.
TEST(BatchCommand, CardsAreTheSingleCardBytesOnOneOrTwoThreadsAndInShards) {
  TempDir dir("mirelune-batch");
  const fs::path list = dir.path() / "list.csv";
  WriteText(list, kList);
  const std::pair<std::string, std::vector<std::vector<std::string>>> cases[] = {
      {"png", {{"--jobs", "1"}}},
      {"png", {{"--jobs", "2"}}},
      {"png", {{"--shard", "1/2", "--jobs", "2"}, {"--shard", "0/2", "--jobs", "1"}}},
      {"jpg", {{"--jobs", "2", "--format", "jpg"}}},
  };
  std::map<std::string, std::string> single;  // file -> the bytes of `card`
  std::string png_manifest;
  int n = 0;
  for (const auto& [format, runs] : cases) {
    const fs::path out = dir.path() / ("out" + std::to_string(n++));
    std::string err;
    for (auto args : runs) {
      const int bad_rows = std::count(args.begin(), args.end(), "1/2") ? 0 : 1;  // row index 2 is shard 0's
      args.insert(args.begin(), {list.string(), "--out-dir", out.string()});
      EXPECT_EQ(Batch(dir.path(), args, &err), bad_rows) << err;
    }
    EXPECT_NE(err.find("row 3 (line 4): the mode is line or pix"), std::string::npos) << err;
    std::vector<std::string> lines;  // all manifests' lines, by row (under ten rows)
    for (const char* name : {"manifest.jsonl", "manifest-0-of-2.jsonl", "manifest-1-of-2.jsonl"}) {
      std::istringstream in(ReadText(out / name));
      for (std::string l; std::getline(in, l);) lines.push_back(l + "\n");
    }
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[2].find("\"line\":4,\"status\":\"failed\""), std::string::npos) << lines[2];
    for (std::size_t k = 0; k < std::size(kCards); ++k) {
      const std::string file = kCards[k].first + ("." + format);
      if (!single.count(file)) {
        std::vector<std::string> args = {MIRELUNE_CLI, "card", "--out", (dir.path() / file).string()};
        args.insert(args.end(), kCards[k].second.begin(), kCards[k].second.end());
        ASSERT_EQ(RunCommand(args, dir.path() / "o", dir.path() / "e"), 0) << ReadText(dir.path() / "e");
        single[file] = ReadText(dir.path() / file);
      }
      const std::string bytes = ReadText(out / file);
      EXPECT_TRUE(bytes == single[file]) << file << " differs from the single card";
      const std::string sha = Sha256Hex(bytes.data(), bytes.size());
      EXPECT_NE(lines[k + k / 2].find("\"file\":\"" + file + "\",\"sha256\":\"" + sha), std::string::npos);
    }
    std::string joined;
    for (const auto& l : lines) joined += l;
    if (png_manifest.empty()) png_manifest = joined;
    EXPECT_TRUE(format != "png" || joined == png_manifest) << joined;
    EXPECT_TRUE(runs.size() > 1 || ReadText(out / "manifest.jsonl") == joined);  // rewritten in row order
  }
}

TEST(BatchCommand, BadInvocationsAndUnwritableFoldersFailWithTheReason) {
  TempDir dir("mirelune-batch");
  const std::string list = (dir.path() / "list.csv").string(), out = (dir.path() / "out").string();
  WriteText(list, kList);
  WriteText(dir.path() / "bad.csv", "friend,sender,colour\nA,B,red\n");
  const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
      {{list}, 2, "--out-dir is required"},
      {{(dir.path() / "none.csv").string(), "--out-dir", out}, 2, "cannot read the list"},
      {{(dir.path() / "bad.csv").string(), "--out-dir", out}, 2, "unknown column \"colour\""},
      {{list, "--out-dir", out, "--shard", "3/3"}, 2, "0 <= K < N"},
      {{list, "--out-dir", out, "--rate", "5/min"}, 2, "needs --mail"},
      {{list, "--out-dir", out, "--mail"}, 2, "MIRELUNE_SMTP_URL"},
      {{list, "--out-dir", list + "/sub"}, 1, "list.csv"},
  };
  testing::ScopedEnv no_server("MIRELUNE_SMTP_URL", std::nullopt);
  for (const auto& [args, status, why] : cases) {
    std::string err;
    EXPECT_EQ(Batch(dir.path(), args, &err), status) << why;
    EXPECT_NE(err.find(why), std::string::npos) << err;
  }
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace mirelune
