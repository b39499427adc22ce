// The file writer's rules for every kind of target, and saves killed, crowded or
// out of space.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "files/files.h"
#include "files/saving.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    std::string t = (fs::temp_directory_path() / "mirelune-test-XXXXXX").string();
    path = mkdtemp(t.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::uint8_t> Filled(std::size_t n, char v) { return std::vector<std::uint8_t>(n, v); }

// Every write below is of one byte value: a torn or mixed file shows at once.
bool Whole(const fs::path& p, std::size_t size) {
  const std::string b = ReadAll(p);
  return b.size() == size && b.find_first_not_of(b[0]) == std::string::npos;
}

mode_t Mode(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Files in a folder (and below) named as the writer's temporary files are.
int Temporaries(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir)) n += e.path().filename().string().starts_with(".mirelune-");
  return n;
}

TEST(FileWriter, EveryKindOfTargetIsWrittenAsItMust) {
  const mode_t mask = ::umask(022), made = 0666 & ~mask;
  ::umask(mask);
  const std::string n255 = std::string(251, 'n') + ".bmp";  // the folder's limit
  struct Case {
    std::string setup, target, holder;  // setup: shell lines; holder: the file that gets the bytes, "" if refused
    mode_t mode;                        // of the holder, or of the refused file (kept as it was)
    const char* refusal;
  } cases[] = {
      {"", "new.bmp", "new.bmp", made, ""},
      {"echo old >c.bmp; chmod 640 c.bmp", "c.bmp", "c.bmp", 0640, ""},
      {"mkdir d; echo old >d/c.bmp; chmod 600 d/c.bmp; ln -s d/c.bmp l.bmp", "l.bmp", "d/c.bmp", 0600, ""},
      {"ln -s made.bmp l.bmp", "l.bmp", "made.bmp", made, ""},
      {"echo old >" + n255, n255, n255, 0644, ""},
      {"echo old >c.bmp; chmod 444 c.bmp", "c.bmp", "", 0444, "the file is read-only"},
      {"mkdir -p c.bmp/in", "c.bmp", "", 0, "Is a directory"},
      {"", "no/c.bmp", "", 0, "/no does not exist"},
  };
  for (bool unnamed : {true, false}) {
    UseUnnamedTemporaryFiles(unnamed);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.setup + " -> " + c.target.substr(0, 9) + (unnamed ? " (unnamed temporary)" : ""));
      const TempDir dir;
      ASSERT_EQ(std::system(("set -e; umask 022; cd " + dir.path.string() + "; " + c.setup).c_str()), 0);
      const fs::path target = dir.path / c.target, holder = dir.path / (c.holder.empty() ? c.target : c.holder);
      const bool link = fs::is_symlink(target);
      const Result r = WriteFileSafely(target, Filled(5000, 7));
      EXPECT_EQ(r.ok, !*c.refusal) << r.message;
      EXPECT_NE(r.message.find(c.refusal), std::string::npos) << r.message;
      EXPECT_EQ(fs::is_symlink(target), link);
      EXPECT_TRUE(c.holder.empty() ? !c.mode || ReadAll(target) == "old\n" : Whole(holder, 5000));
      EXPECT_EQ(c.mode ? Mode(holder) : 0, c.mode);
      EXPECT_EQ(Temporaries(dir.path), 0);
    }
  }
  UseUnnamedTemporaryFiles(true);
}

// FIFOs, pipes and character devices are written in place, never renamed over.
TEST(FileWriter, PipesAndDevicesAreWrittenDirectly) {
  const TempDir dir;
  const auto bytes = Filled(200000, 9);  // more than a pipe holds
  const fs::path fifo = dir.path / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (bool own_descriptor : {false, true}) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    const fs::path target = own_descriptor ? fs::path("/dev/fd/" + std::to_string(p[1])) : fifo;
    std::string got;
    std::thread reader([&] { got = ReadAll(own_descriptor ? fs::path("/dev/fd/" + std::to_string(p[0])) : fifo); });
    const Result r = WriteFileSafely(target, bytes);
    ::close(p[1]);
    reader.join();
    ::close(p[0]);
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(got.size(), bytes.size()) << target;
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ::close(p[0]);  // nobody reads: a clear failure, and the program lives on
  const Result broken = WriteFileSafely("/dev/fd/" + std::to_string(p[1]), bytes);
  ::close(p[1]);
  EXPECT_NE(broken.message.find("Broken pipe"), std::string::npos) << broken.message;
  if (::geteuid() == 0) {
    const fs::path null = dir.path / "null";  // a copy of /dev/null: the real one is never risked
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_TRUE(WriteFileSafely(null, bytes).ok);
    EXPECT_TRUE(fs::is_character_file(null));
  }
}

// Two processes saving cards in the same second: every card gets a name of its own.
TEST(FileWriter, TimeStampedCardsAreNeverReplacedAcrossProcesses) {
  const TempDir dir;
  const char* old = std::getenv("MIRELUNE_ROOT");
  const std::string saved_root = old ? old : "";
  setenv("MIRELUNE_ROOT", dir.path.c_str(), 1);
  fs::create_directories(dir.path / "wimgx");
  constexpr int kCards = 8;
  pid_t pids[2];
  for (int k = 0; k < 2; ++k) {
    if ((pids[k] = ::fork()) != 0) continue;
    ScriptedHost host;  // a clock that stands still
    State s;
    s.host = &host;
    s.Picture4.SetBackColor(RGB(k * 200, 0, 0));
    bool ok = true;
    for (int n = 0; n < kCards; ++n) {
      MakeImageName(s);
      ok = SaveNewCard(s).ok && ok;
    }
    ::_exit(ok ? 0 : 1);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  old ? setenv("MIRELUNE_ROOT", saved_root.c_str(), 1) : unsetenv("MIRELUNE_ROOT");
  std::string name = "GR-20170102090503";
  int names = 0, reds = 0;
  for (; fs::exists(dir.path / "wimgx" / (name + ".bmp")); name = NextSecondName(name), ++names)
    reds += ReadAll(dir.path / "wimgx" / (name + ".bmp"))[56] == '\xC8';  // the first pixel's red
  EXPECT_EQ(names, 2 * kCards);  // consecutive seconds from the clock's
  EXPECT_EQ(reds, kCards);
  EXPECT_EQ(NextSecondName("GR-20171231235959"), "GR-20180101000000");
}

// Saves killed at fixed pseudo-random moments: every file whole, the older card
// untouched, and the next save clears what the killed ones left.
TEST(FileWriter, SavesKilledAtRandomLeaveNothingBroken) {
  constexpr std::size_t kSize = 1 << 20;
  std::uint64_t x = 0x243F6A8885A308D3ull;
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    const TempDir dir;
    ASSERT_TRUE(WriteFileSafely(dir.path / "older.bmp", Filled(kSize, 1)).ok);
    ASSERT_TRUE(WriteFileSafely(dir.path / "card.bmp", Filled(kSize, 1)).ok);
    for (int kill = 0; kill < 6; ++kill) {
      const pid_t pid = ::fork();
      for (int n = 0; pid == 0; ++n) {
        UseUnnamedTemporaryFiles(unnamed);
        const auto bytes = Filled(kSize, static_cast<char>(2 + n % 200));
        WriteFileSafely(dir.path / "card.bmp", bytes);
        WriteNewFile(dir.path / ("new-" + std::to_string(kill) + "-" + std::to_string(n) + ".bmp"), bytes);
      }
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      std::this_thread::sleep_for(std::chrono::microseconds(500 + (x >> 33) % 8000));
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      for (const auto& e : fs::directory_iterator(dir.path))
        EXPECT_TRUE(e.path().filename().string().starts_with(".mirelune-") || Whole(e.path(), kSize)) << e.path();
      EXPECT_EQ(ReadAll(dir.path / "older.bmp"), std::string(kSize, 1));
    }
    ASSERT_TRUE(WriteFileSafely(dir.path / "card.bmp", Filled(kSize, 3)).ok);
    EXPECT_EQ(Temporaries(dir.path), 0);
  }
}

// A full disk (a small tmpfs, as root): the save fails saying why, the older card
// stays, nothing is left; a read-only file system says so, for folders too.
TEST(FileWriter, AFullOrReadOnlyDiskFailsCleanly) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
  const TempDir dir;
  const fs::path mnt = dir.path / "small";
  fs::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << std::strerror(errno);
  for (bool unnamed : {true, false}) {
    UseUnnamedTemporaryFiles(unnamed);
    ASSERT_TRUE(WriteFileSafely(mnt / "card.bmp", Filled(300000, 1)).ok);
    for (const Result& r : {WriteFileSafely(mnt / "card.bmp", Filled(2 << 20, 2)),
                            WriteNewFile(mnt / "GR-20170102090503.bmp", Filled(2 << 20, 2))})
      EXPECT_NE(r.message.find("No space left on device"), std::string::npos) << unnamed << r.message;
    EXPECT_TRUE(Whole(mnt / "card.bmp", 300000));
    EXPECT_FALSE(fs::exists(mnt / "GR-20170102090503.bmp"));
    EXPECT_EQ(Temporaries(mnt), 0);
  }
  UseUnnamedTemporaryFiles(true);
  ASSERT_EQ(::mount("tmpfs", mnt.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
  for (const Result& r : {MakeFolder(mnt / "wimgx"), WriteFileSafely(mnt / "card.bmp", Filled(10, 2))})
    EXPECT_NE(r.message.find("Read-only file system"), std::string::npos) << r.message;
  ::umount(mnt.c_str());
}

}  // namespace
}  // namespace mirelune
