// Saving where others can write too: paths resolved once (links swapped mid-save),
// the shared-folder rules for symlinks and hard links, files appended to in place,
// other runs' and hosts' temporary files, modes under the umask, names moving ahead.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "commands/commands.h"
#include "files/files.h"
#include "files/safe_open.h"
#include "commands/commands.h"
#include "text/text.h"
#include "test_mail_util.h"
#include "test_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempDir;

constexpr std::size_t kCardSize = 3000;
const std::vector<std::uint8_t> kCard(kCardSize, 7);

// Runs shell lines in `dir` under umask 022; false when one fails.
bool Sh(const fs::path& dir, const std::string& lines) {
  return std::system(("set -e; umask 022; cd '" + dir.string() + "'; " + lines).c_str()) == 0;
}

// A file's own mode bits, not a link's target's (07777 when there is no such file).
unsigned Mode(const fs::path& p) { return static_cast<unsigned>(fs::symlink_status(p).permissions()) & 07777; }

bool HoldsCard(const fs::path& p) { return ReadText(p) == std::string(kCardSize, 7); }

// A link or a folder swapped after the writer looked at it: the card goes where the
// path led when it was looked at, with that file's mode, and the file the swap
// points at is untouched.
TEST(SafeSaving, ALinkOrFolderSwappedMidSaveChangesNothing) {
  const struct { const char *event, *at, *target, *swap, *holder; } cases[] = {
      {"resolved", "a/card.bmp", "l.bmp", "ln -sfn b/card.bmp l.bmp", "a/card.bmp"},
      {"written", "a/card.bmp", "l.bmp", "ln -sfn b/card.bmp l.bmp", "a/card.bmp"},
      {"opened", "d", "d/card.bmp", "mv d d-old; ln -s b d", "d-old/card.bmp"},
      {"opened", "l.bmp", "l.bmp", "ln -sfn b/card.bmp l.bmp", "a/card.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.event) + " " + c.at + ": " + c.swap);
    const TempDir dir;
    ASSERT_TRUE(Sh(dir.path, "mkdir a b d; for f in a b d; do printf $f >$f/card.bmp; done; "
                             "chmod 600 a/card.bmp d/card.bmp; ln -s a/card.bmp l.bmp"));
    int swaps = 0;
    WriteOptions hook;
    hook.on_step = [&](const std::string& event, const fs::path& at) {
      if (event == c.event && at == dir.path / c.at && swaps++ == 0) { EXPECT_TRUE(Sh(dir.path, c.swap)); }
    };
    const Result<> r = WriteFileSafely(dir.path / c.target, kCard, hook);
    EXPECT_TRUE(r.ok && swaps == 1) << r.message;
    EXPECT_TRUE(HoldsCard(dir.path / c.holder));
    EXPECT_EQ(Mode(dir.path / c.holder), 0600u);
    EXPECT_TRUE(ReadText(dir.path / "b/card.bmp") == "b");
  }
}

// A manifest swapped for a link between the look and the open is still not followed.
TEST(SafeSaving, AManifestSwappedForALinkAfterTheLookIsRefused) {
  const TempDir dir;
  ASSERT_TRUE(Sh(dir.path, "printf b >victim; printf m >manifest.jsonl"));
  const auto opened = OpenInPlace(dir.path / "manifest.jsonl", 0644, [&](const std::string& event, const fs::path&) {
    if (event == "resolved") { EXPECT_TRUE(Sh(dir.path, "ln -sfn victim manifest.jsonl")); }
  });
  ASSERT_FALSE(opened);
  EXPECT_NE(opened.error().message.find("symbolic link"), std::string::npos) << opened.error().message;
}

// Paths the writer now follows by hand: relative and absolute links, "..", the
// kernel's limit of 40 links, devices reached through a link.
TEST(SafeSaving, LinksAreFollowedAsTheKernelWould) {
  const std::string chain = "for i in $(seq 0 38); do ln -s l$((i+1)) l$i; done; ln -s end.bmp l39; ";
  const struct { std::string setup, target, holder, refusal; } cases[] = {  // holder "": refused, or a device
      {"mkdir -p a/b; ln -s ../c.bmp a/b/l.bmp", "a/b/l.bmp", "a/c.bmp", ""},
      {"mkdir a; ln -s \"$PWD/a/abs.bmp\" l.bmp", "l.bmp", "a/abs.bmp", ""},
      {"mkdir -p d/e; ln -s d/e l", "l/../up.bmp", "d/up.bmp", ""},
      {chain, "l0", "end.bmp", ""},
      {chain + "mv l0 l00; ln -s l00 l0", "l0", "", "Too many levels of symbolic links"},
      {"ln -s b a; ln -s a b", "a", "", "Too many levels of symbolic links"},
      {"mkdir d; ln -s d/ l", "l", "", "Is a directory"},
      {"printf x >f", "f/card.bmp", "", "Not a directory"},
      {"ln -s gone/x.bmp l", "l", "", "gone does not exist"},
      {"ln -s /dev/null n.bmp", "n.bmp", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setup.substr(0, 40) + " -> " + c.target);
    const TempDir dir;
    ASSERT_TRUE(Sh(dir.path, c.setup));
    const Result<> r = WriteFileSafely(dir.path / c.target, kCard);
    EXPECT_EQ(r.ok, c.refusal.empty()) << r.message;
    EXPECT_NE(r.message.find(c.refusal), std::string::npos) << r.message;
    EXPECT_TRUE(c.holder.empty() || HoldsCard(dir.path / c.holder));
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// As root where another user can write (a sticky folder, nobody's folder, a 2775
// folder of another group): their links are not followed, last part or not, nor
// root's own outside a sticky folder; what they could plant (hard links, FIFOs,
// their journal) is refused, and root's victim keeps its contents.
TEST(SafeSaving, FoldersOthersCanWriteRefuseWhatTheyCouldPlant) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give links to another user";
  const std::string sticky = "mkdir -m 1777 s; ", theirs = "mkdir s; chown 65534 s; ", group = "mkdir -m 2775 s; chgrp 65534 s; ";
  const std::string link = "ln -s ../victim s/card.bmp; chown -h 65534 s/card.bmp", by = " in a folder others can write; refused";
  const std::string nobodys = "s/card.bmp is a link owned by nobody" + by;
  const struct { bool in_place; std::string setup, target, refusal, holder; } cases[] = {  // OpenInPlace, or WriteFileSafely
      {false, sticky + link, "s/card.bmp", nobodys, ""},
      {false, theirs + link, "s/card.bmp", nobodys, ""},
      {false, group + link, "s/card.bmp", nobodys, ""},
      {false, group + "mkdir real; ln -s ../real s/sub; chown -h 65534 s/sub", "s/sub/card.bmp", "s/sub is a link owned by nobody", ""},
      {false, group + "ln -s ../victim s/card.bmp", "s/card.bmp", "s/card.bmp is a link owned by root" + by, ""},
      {false, sticky + "ln -s ../victim s/card.bmp", "s/card.bmp", "", "victim"},
      {false, theirs + "ln victim s/card.bmp", "s/card.bmp", "other names (hard links)" + by, ""},
      {false, theirs + "mkfifo s/card.bmp; chown 65534 s/card.bmp", "s/card.bmp", "FIFO or socket and belongs to nobody", ""},
      {false, group + "printf x >s/card.bmp; chown 65534 s/card.bmp", "s/card.bmp", "", "s/card.bmp"},  // renamed over
      {true, group + "printf x >s/manifest.jsonl; chown 65534 s/manifest.jsonl", "s/manifest.jsonl", "it belongs to nobody" + by, ""},
      {true, sticky + "ln victim s/manifest.jsonl", "s/manifest.jsonl", "other names (hard links)" + by, ""},
      {true, sticky + "ln -s ../victim s/manifest.jsonl", "s/manifest.jsonl", "symbolic link", ""},
      {true, group, "s/manifest.jsonl", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setup + " -> " + c.target);
    const TempDir dir;
    ASSERT_TRUE(Sh(dir.path, "printf v >victim; " + c.setup));
    const UniqueFd reader(::open((dir.path / c.target).c_str(), O_RDONLY | O_NONBLOCK));  // a FIFO's: no hang if written
    const auto open_in_place = [&] { const auto o = OpenInPlace(dir.path / c.target); return o ? Result<>() : Result<>(o.error()); };
    const Result<> r = c.in_place ? open_in_place() : WriteFileSafely(dir.path / c.target, kCard);
    EXPECT_EQ(r.ok, c.refusal.empty()) << r.message;
    EXPECT_NE(r.message.find(c.refusal), std::string::npos) << r.message;
    EXPECT_TRUE(c.holder.empty() || HoldsCard(dir.path / c.holder));
    EXPECT_EQ(ReadText(dir.path / "victim") == "v", c.holder != "victim");
    EXPECT_FALSE(fs::exists(dir.path / "real/card.bmp"));
  }
}

struct Ran { int status; std::string err; };

// `mirelune-cli batch` on `rows` rows in `dir` (at most 80 s) under umask 022.
Ran Batch(const fs::path& dir, int rows, const std::string& options) {
  std::string list = "friend,sender\n";
  for (int k = 1; k <= rows; ++k) list.append("F").append(std::to_string(k)).append(",S").append(std::to_string(k)).append("\n");
  testing::WriteText(dir / "list.csv", list);
  const std::string cmd = "cd '" + dir.string() + "' && umask 022 && timeout 80 '" MIRELUNE_CLI "' batch " + options +
                          " --out-dir out list.csv >/dev/null 2>err.txt";
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir / "err.txt")};
}

// A manifest or lock planted in the output folder as a link or a FIFO: the batch
// stops saying why, and the file the link points at keeps its contents.
TEST(SafeSaving, BatchRefusesPlantedManifestsAndLocks) {
  const struct { const char *setup, *refusal; } cases[] = {
      {"ln -s ../victim out/manifest.jsonl", "manifest.jsonl: it is a symbolic link"},
      {"ln -s ../victim out/.manifest.lock", ".manifest.lock: it is a symbolic link"},
      {"mkfifo out/manifest.jsonl", "manifest.jsonl: it is not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setup);
    const TempDir dir;
    ASSERT_TRUE(Sh(dir.path, std::string("mkdir out; printf v >victim; ") + c.setup));
    const Ran ran = Batch(dir.path, 1, "--jobs 1");
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find(c.refusal), std::string::npos) << ran.err;
    EXPECT_EQ(ReadText(dir.path / "victim"), "v");
  }
}

// The same through the program, in a 2775 folder of another group: as root, a
// `wimgx` or --out-dir link of nobody's, nobody's manifest or older journal there;
// as nobody, their own links in their own folder work as before, not in that one.
TEST(SafeSaving, TheProgramRefusesWhatOthersPlantInItsFolders) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  const std::string mine = "mkdir -m 2775 out; chgrp 65534 out; ", journal = "out/mail-journal-0-of-2.jsonl";
  const std::string own = "mkdir own; ln -s ../real own/l; ln -s ../real/c.bmp own/c.bmp; chown -hR 65534 .",
                    cli = "'" MIRELUNE_CLI "' ", as_nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups " + cli;
  const struct { std::string setup, run, refusal; } cases[] = {
      {"ln -s real wimgx; chown -h 65534 wimgx", cli + "card --friend A --sender B --mail-to f@example.com", "wimgx is a link owned by nobody"},
      {"ln -s real out; chown -h 65534 out", cli + "batch --out-dir out list.csv", "out is a link owned by nobody"},
      {mine + ": >out/manifest.jsonl; chown 65534 out/manifest.jsonl", cli + "batch --out-dir out list.csv", "manifest.jsonl: it belongs to nobody"},
      {mine + ": >" + journal + "; chown 65534 " + journal, cli + "batch --mail --out-dir out list.csv", journal + ": it belongs to nobody"},
      {mine + ": >out/mail-journal.jsonl; chown 65534 out/mail-journal.jsonl", cli + "batch --mail --out-dir out list.csv", "mail-journal.jsonl: it belongs to nobody"},
      {mine + "ln -s ../real/j out/mail-journal.jsonl; chown -h 65534 out/mail-journal.jsonl", cli + "batch --mail --out-dir out list.csv", "mail-journal.jsonl: it is a symbolic link"},
      {"mkdir out; : >out/mail-journal.jsonl; chmod 666 out/mail-journal.jsonl", cli + "batch --mail --out-dir out list.csv", "mail-journal.jsonl: every user may write it"},
      {"mkdir out; { head -c 600K /dev/zero; echo; } >out/mail-journal.jsonl", cli + "batch --mail --out-dir out list.csv", "larger than its list could have made it"},
      {"mkdir out; yes '{\"row\":0}' | head -n 90000 >out/manifest.jsonl", cli + "batch --out-dir out list.csv", "larger than its list could have made it"},
      {own, as_nobody + "card --friend A --sender B --out own/c.bmp", ""},
      {own, as_nobody + "batch --out-dir own/l/out list.csv", ""},
      {own + "; ln -s real l; chown -h 65534 l", as_nobody + "card --friend A --sender B --out l/c.bmp", "l is a link owned by nobody in a folder others"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setup + " -> " + c.run);
    const TempDir dir;
    ASSERT_TRUE(Sh(dir.path, "chgrp 65534 .; chmod 2775 .; mkdir real; printf 'friend,sender,email\\nF,S,f@example.com\\n' >list.csv; " + c.setup));
    const testing::Ran ran = testing::Shell(dir.path, "env MIRELUNE_SMTP_URL=smtp://127.0.0.1:9 " + c.run);
    EXPECT_EQ(ran.status, c.refusal.empty() ? 0 : 1) << ran.err;
    EXPECT_NE(ran.err.find(c.refusal), std::string::npos) << ran.err;
    EXPECT_EQ(fs::is_empty(dir.path / "real"), !c.refusal.empty());
  }
}

// The first save into a folder removes only what this host's ended runs left: not
// another host's files (its process ids mean nothing here), not a live run's, and,
// for a writer that keeps the folders it swept, not what appears after that first save.
TEST(SafeSaving, OnlyThisHostsEndedRunsLoseTheirTemporaryFiles) {
  const TempDir dir, probe;
  // This run's own mark, as its writer names a temporary file.
  std::string mark;
  WriteOptions named;
  named.unnamed_temporary = false;
  named.on_step = [&](const std::string& event, const fs::path&) {
    for (const auto& e : fs::directory_iterator(probe.path))
      if (event == "written" && e.path().filename().string().starts_with(".mirelune-"))
        mark = e.path().filename().string().substr(10, e.path().filename().string().size() - 17);
  };
  ASSERT_TRUE(WriteFileSafely(probe.path / "card.bmp", kCard, named).ok);
  const std::string pid = std::to_string(::getpid());
  const std::size_t at = mark.rfind("-" + pid + "-");
  ASSERT_NE(at, std::string::npos) << mark;
  const std::string host = mark.substr(0, at), start = mark.substr(at + pid.size() + 2);
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string gone = std::to_string(ended);
  const struct { std::string name; bool kept; } files[] = {
      {mark + "-live01", true},                                  // this process: alive
      {host + "-" + pid + "-" + start + "1-reused", false},     // its id, another start
      {host + "-" + gone + "-" + start + "-ended1", false},     // a process that has ended
      {"elsewhere-" + gone + "-1-other1", true},                  // another host's
      {"a-b.example-" + gone + "-1-other2", true},                // another host, with dashes
      {gone + "-ancien", true},                                   // no host in the name
  };
  for (const auto& f : files) testing::WriteText(dir.path / (".mirelune-" + f.name), "x");
  ASSERT_TRUE(Sh(dir.path, "touch -d '2 days ago' .mirelune-*; ln -s x .mirelune-" + host + "-" + gone + "-1-alink1"));
  const pid_t run = ::fork();  // a new run: its first save into the folder sweeps it, as a batch's worker does
  if (run == 0) {
    std::set<std::pair<dev_t, ino_t>> swept;
    WriteOptions once;
    once.swept = &swept;
    const bool first = WriteFileSafely(dir.path / "card.bmp", kCard, once).ok;
    testing::WriteText(dir.path / (".mirelune-" + host + "-" + gone + "-1-after1"), "x");
    ::_exit(first && WriteFileSafely(dir.path / "card.bmp", kCard, once).ok ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(run, &status, 0), run);
  EXPECT_EQ(status, 0);
  for (const auto& f : files) EXPECT_EQ(fs::exists(dir.path / (".mirelune-" + f.name)), f.kept) << f.name;
  EXPECT_TRUE(fs::is_symlink(dir.path / (".mirelune-" + host + "-" + gone + "-1-alink1")));
  EXPECT_TRUE(fs::exists(dir.path / (".mirelune-" + host + "-" + gone + "-1-after1")));
}

}  // namespace
}  // namespace mirelune
