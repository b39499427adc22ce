// What the program writes: the command line's exit codes, outputs and formats (read
// back by tests/picture_facts.py), and the file writer's rules under every fault.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <thread>

#include "card/card.h"
#include "files/files.h"
#include "commands/commands.h"
#include "test_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A scratch folder holding ro.bmp, a read-only file nothing may change.
struct Scratch : testing::TempDir {
  Scratch() {
    testing::WriteText(path / "ro.bmp", "old");
    fs::permissions(path / "ro.bmp", fs::perms(0444));
  }
  std::string operator/(const std::string& leaf) const { return (path / leaf).string(); }
};

using testing::Cli;
using testing::Ran;
using testing::ReadText;

// What tests/picture_facts.py reads in `file` (and how it differs from `other`).
Json Facts(const Scratch& dir, const std::string& file, const std::string& other = "") {
  const Ran r = testing::Shell(dir.path, "python3 '" MIRELUNE_TEST_DIR "/picture_facts.py' '" + file + "' " + other);
  EXPECT_EQ(r.status, 0) << file << ": " << r.err;
  return r.status == 0 ? Json::parse(r.out) : Json{};
}

std::vector<std::uint8_t> Filled(std::size_t n, char v) { return std::vector<std::uint8_t>(n, v); }

// Every write below is of one byte value: a torn or mixed file shows at once.
bool Whole(const fs::path& p, std::size_t size) {
  const std::string b = ReadText(p);
  return b.size() == size && b.find_first_not_of(b[0]) == std::string::npos;
}

// Files in a folder (and below) named as the writer's temporary files are.
int Temporaries(const fs::path& dir) {
  const auto temporary = [](const fs::path& p) { return p.filename().string().starts_with(".mirelune-"); };
  return static_cast<int>(std::count_if(fs::recursive_directory_iterator(dir), {}, temporary));
}

TEST(Cli, ExitCodesOnBothSidesOfEveryBound) {
  const std::string card = "card --friend Mary --sender Bob --out c.bmp ", hint = "\nRun 'mirelune-cli card --help' for its options.";
  std::string a100(100, 'x'), wide100;
  while (wide100.size() < 200) wide100 += "\xC4\x8D";  // 100 times č, of two bytes
  const struct { int status; std::string args, redirect = ">.out", err = ""; } cases[] = {
      {0, "--version"}, {0, "card --help"}, {0, "styles"},
      {0, "card --friend " + a100 + " --sender '" + wide100 + "' --max-styles 1 --palette 26 --year 1 --out c.bmp"},
      {0, card + "--max-styles 24 --palette 1 --year 9999"},
      {0, "style 1 --seed 0 --out s.bmp"}, {0, "style 23 --out s.png"},
      {2, "paint"}, {2, "", "", "a command is required: card, style, styles, info, batch, serve\nRun 'mirelune-cli --help'"},
      {2, "card --sender Bob", "", "--friend is required (or --again FILE)" + hint}, {2, card + "--colour red", "", "unknown option --colour"},
      {2, "card --friend", "", "--friend needs a value"}, {2, "card --message hi", "", "--message needs --mail-to"}, {2, "styles extra", "", "unexpected argument \"extra\""},
      {2, card + "--max-styles 0"}, {2, card + "--max-styles 25"}, {2, card + "--max-styles 3x"},
      {2, card + "--palette 0"}, {2, card + "--palette 27"}, {2, card + "--year 0"}, {2, card + "--year 10000"},
      {2, card + "--mode dots"}, {2, "card --friend Mary --sender Bob --out c.svg"},
      {2, "card --friend Mary --sender Bob --out c.png --format bmp"},
      {2, "card --friend Mary --sender Bob --out - --report -"},
      {2, "card --sender Bob --friend " + a100 + "x"}, {2, "card --sender Bob --friend '" + wide100 + "\xC4\x8D'"},
      {2, "card --friend \"$(printf 'Ma\\377ry')\" --sender Bob"}, {2, "card --again c.bmp --friend Mary", "", "--friend and --again cannot"},
      {2, "card --again ro.bmp"}, {2, "info no-such.png"}, {2, "style 0"}, {2, "style 24"}, {2, "style 3 --seed -4"},
      {1, "card --friend Mary --sender Bob --out no/such/c.bmp"}, {1, "card --friend Mary --sender Bob --out ro.bmp"},
      {1, "styles", ">/dev/full"}, {1, "styles", ">&-"}, {1, "card --friend Mary --sender Bob --out -", ">/dev/full"},
  };
  for (const auto& c : cases) {
    const Scratch dir;
    const Ran r = Cli(dir.path, c.args, c.redirect.empty() ? ">.out" : c.redirect);
    SCOPED_TRACE(c.args + " " + c.redirect + ": " + r.err);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out.empty(), c.status != 0);
    EXPECT_EQ(ReadText(dir / "ro.bmp"), "old");
    if (c.status == 0) continue;
    EXPECT_EQ(r.err.rfind("mirelune-cli: " + c.err, 0), 0u) << "the program's own words, naming the command's --help";
    EXPECT_FALSE(c.status == 2 && (fs::exists(dir / "wimgx") || fs::exists(dir / "c.bmp")));
  }
}

// Errors in the user's language; no picture to a terminal, no escape code to a dumb one; one card in every locale.
TEST(Cli, SpeaksTheUsersLanguageAndSparesTheTerminal) {
  const Scratch dir;
  testing::WriteText(dir.path / "l.csv", "friend,sender\nAnn,Eve\n");
  const std::string cli = "'" MIRELUNE_CLI "' ", card = cli + "card --friend a --sender b ", batch = cli + "batch l.csv --out-dir d";
  const auto tty = [&](const std::string& env, const std::string& args) { return env + " script -qec \"" + args + "\" /dev/null"; };
  const struct { std::string command; int status; std::string seen; } cases[] = {
      {"env LC_ALL=C.UTF-8 LANGUAGE=de " + cli + "card --sender b", 2, "mirelune-cli: --friend fehlt (oder --again DATEI)\n'mirelune-cli card --help' zeigt seine Optionen.\n"},
      {tty("", card + "--out -"), 2, "mirelune-cli: --out -: standard output is a terminal, which cannot show a picture"},
      {tty("env TERM=dumb", batch + "1"), 0, "1 of 1 rows done"}, {tty("env TERM=xterm NO_COLOR=1", batch + "2"), 0, "1 of 1 rows done"},
      {tty("env TERM=xterm", batch + "3"), 0, "\x1b[K"},  // the bar itself: the terminal above is real
      {"env LC_ALL=C " + card + "--out c.png", 0, ""}, {"env LC_ALL=de_DE.UTF-8 LANGUAGE=de " + card + "--out de.png", 0, ""},
      {"env LC_ALL=C.UTF-8 LANGUAGE=de " + card + "--out de2.png", 0, ""},  // German even where de_DE is not installed
  };
  for (const auto& c : cases) {
    const Ran r = testing::Shell(dir.path, c.command);
    const std::string seen = r.err + r.out;
    EXPECT_EQ(r.status, c.status) << c.command << ": " << seen;
    EXPECT_NE(seen.find(c.seen), std::string::npos) << c.command << ": " << seen;
    EXPECT_EQ(seen.find('\x1b') != std::string::npos, c.seen.starts_with("\x1b")) << c.command << ": " << seen;
  }
  EXPECT_EQ(ReadText(dir / "c.png"), ReadText(dir / "de.png"));
  EXPECT_EQ(ReadText(dir / "c.png"), ReadText(dir / "de2.png"));
}

// A card's PNG explains itself and carries the report it can be made again from.
TEST(Cli, ThePngCarriesItsReportAndMakesTheSameCardAgain) {
  const Scratch dir;
  const std::string settings = "--mode pix --palette 5 --max-styles 3 --year 2031";
  const Ran made = Cli(dir.path, "card --friend 'Zoë' --sender Bob " + settings + " --out - --report r.json", ">a.png");
  EXPECT_EQ(made.err, "r.json\n") << "names go to stderr when stdout carries the picture";
  const Json report = Json::parse(ReadText(dir / "r.json")), png = Facts(dir, "a.png");
  EXPECT_EQ(report["settings"], Json::parse(R"({"max_styles": 3, "mode": "pix", "palette": 5, "year": 2031})"));
  EXPECT_EQ(png["phys"], Json::parse("[3780, 3780, 1]"));
  EXPECT_EQ(png["text"]["Title"], "Mirelune card for Zoë from Bob");
  EXPECT_EQ(png["text"]["Description"], "dear Zoë, I wish you a happy new year 2031! Bob           mirelune.art ");
  EXPECT_EQ(Json::parse(png["text"]["mirelune-report"].get<std::string>()), report);
  const std::string info = Cli(dir.path, "info a.png").out;
  EXPECT_TRUE(info.starts_with("friend: Zoë\nsender: Bob\nyear: 2031\npalette: 5, chosen\n"
                               "command: mirelune-cli card --friend 'Zoë' --sender Bob --year 2031 --palette 5 "
                               "--max-styles 3 --mode pix\nagain: mirelune-cli card --again a.png\n\nseed: "))
      << info;
  EXPECT_EQ(Json::parse(Cli(dir.path, "info --json a.png").out), report);
  const Ran again = Cli(dir.path, "card --again a.png --out b.png");
  EXPECT_EQ(again.err, "") << "no note of a different card";
  EXPECT_EQ(ReadText(dir / "a.png"), ReadText(dir / "b.png"));
  // Twice as large: at 300 pixels an inch unless told, and made again so from its report.
  ASSERT_EQ(Cli(dir.path, "card --friend Ann --sender Bob --scale 2 --out s.png").status, 0);
  ASSERT_EQ(Cli(dir.path, "card --again s.png --out t.png").status, 0);
  ASSERT_EQ(Cli(dir.path, "card --again s.png --ppi 600 --out u.png").status, 0);
  const Json large = Facts(dir, "s.png");
  EXPECT_EQ(std::vector<Json>({large["width"], large["height"], large["phys"], Facts(dir, "u.png")["phys"]}),
            std::vector<Json>({1792, 1342, Json::parse("[11811, 11811, 1]"), Json::parse("[23622, 23622, 1]")}));
  EXPECT_EQ(Json::parse(large["text"]["mirelune-report"].get<std::string>())["settings"]["scale"], 2);
  EXPECT_NE(Cli(dir.path, "info s.png").out.find("command: mirelune-cli card --friend Ann --sender Bob --year "), std::string::npos);
  EXPECT_NE(Cli(dir.path, "info s.png").out.find(" --scale 2\n"), std::string::npos);
  EXPECT_EQ(ReadText(dir / "s.png"), ReadText(dir / "t.png"));
}

// The command `info` prints is one a shell runs as it reads: names and wishes
// with quotes, dollars and backslashes make the very card again.
TEST(Cli, InfoGivesTheCommandThatMakesTheCardAgain) {
  const Scratch dir;
  ASSERT_EQ(Cli(dir.path, R"(card --friend "O'Brien \$HOME \\" --sender '李雷' --wish 'a "b" '\''c'\''!' --out a.png)").status, 0);
  const std::string info = Cli(dir.path, "info a.png").out;
  const std::size_t at = info.find("command: mirelune-cli card ");
  ASSERT_NE(at, std::string::npos) << info;
  const std::string options = info.substr(at + 27, info.find('\n', at) - at - 27);
  EXPECT_EQ(options, R"(--friend 'O'\''Brien $HOME \' --sender '李雷' --year )" + std::to_string(ComingYear(std::time(nullptr))) +
                         R"( --wish 'a "b" '\''c'\''!')");
  ASSERT_EQ(Cli(dir.path, "card " + options + " --out b.png").status, 0);
  EXPECT_EQ(ReadText(dir / "a.png"), ReadText(dir / "b.png"));
}

TEST(FileWriter, EveryKindOfTargetIsWrittenAsItMust) {
  const mode_t mask = ::umask(022), made = 0666 & ~mask;
  ::umask(mask);
  const std::string n255 = std::string(251, 'n') + ".bmp";  // the folder's limit
  // setup: shell lines; holder: the file that gets the bytes, "" if refused; mode: of the holder, or of the
  // refused file (kept as it was).
  const struct { std::string setup, target, holder; mode_t mode; const char* refusal; } cases[] = {
      {"", "new.bmp", "new.bmp", made, ""},
      {"printf old >c.bmp; chmod 640 c.bmp", "c.bmp", "c.bmp", 0640, ""},
      {"mkdir d; printf old >d/c.bmp; chmod 600 d/c.bmp; ln -s d/c.bmp l.bmp", "l.bmp", "d/c.bmp", 0600, ""},
      {"ln -s made.bmp l.bmp", "l.bmp", "made.bmp", made, ""},
      {"printf old >" + n255, n255, n255, 0644, ""},
      {"", "ro.bmp", "", 0444, "the file is read-only"},
      {"mkdir -p c.bmp/in", "c.bmp", "", 0, "Is a directory"},
      {"", "no/c.bmp", "", 0, "/no does not exist"},
  };
  for (bool unnamed : {true, false}) {
    WriteOptions o;
    o.unnamed_temporary = unnamed;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.setup + " -> " + c.target.substr(0, 9) + (unnamed ? " (unnamed temporary)" : ""));
      const Scratch dir;
      ASSERT_EQ(std::system(("set -e; umask 022; cd " + dir.path.string() + "; " + c.setup).c_str()), 0);
      const fs::path target = dir.path / c.target, holder = dir.path / (c.holder.empty() ? c.target : c.holder);
      const bool link = fs::is_symlink(target);
      const Result<> r = WriteFileSafely(target, Filled(5000, 7), o);
      EXPECT_EQ(r.ok, !*c.refusal) << r.message;
      EXPECT_NE(r.message.find(c.refusal), std::string::npos) << r.message;
      EXPECT_EQ(fs::is_symlink(target), link);
      EXPECT_TRUE(c.holder.empty() ? !c.mode || ReadText(target) == "old" : Whole(holder, 5000));
      EXPECT_EQ(c.mode ? static_cast<mode_t>(fs::status(holder).permissions()) : 0, c.mode);
      EXPECT_EQ(Temporaries(dir.path), 0);
    }
  }
}

// A FIFO (as a device would be) is written in place, never renamed over; a pipe
// nobody reads is a clear failure, and the program lives on.
TEST(FileWriter, FifosAndPipesAreWrittenInPlace) {
  const Scratch dir;
  const auto bytes = Filled(200000, 9);  // more than a pipe holds
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = ReadText(fifo); });
  const Result<> r = WriteFileSafely(fifo, bytes);
  reader.join();
  EXPECT_TRUE(r.ok && got.size() == bytes.size() && fs::is_fifo(fifo)) << r.message;
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ::close(p[0]);
  EXPECT_NE(WriteFileSafely("/dev/fd/" + std::to_string(p[1]), bytes).message.find("Broken pipe"), std::string::npos);
  ::close(p[1]);
}

// Two processes saving cards in the same second: every card gets a name of its own.
TEST(FileWriter, TimeStampedCardsAreNeverReplacedAcrossProcesses) {
  const Scratch dir;
  fs::create_directories(dir.path / "wimgx");
  constexpr int kCards = 8;
  const pid_t child = ::fork();  // the child saves red cards, this process black ones
  const testing::ScopedEnv root{{"MIRELUNE_ROOT", dir.path.string()}};
  std::tm now{};  // a clock that stands still at 2 January 2017, 09:05:03
  now.tm_year = 117, now.tm_mday = 2, now.tm_hour = 9, now.tm_min = 5, now.tm_sec = 3;
  Session s;
  s.card.SetBackground(RGB(child == 0 ? 200 : 0, 0, 0));
  int saved = 0;
  for (int n = 0; n < kCards; ++n) saved += (s.image_name.clear(), static_cast<bool>(SaveNewCardAs(s, EncodeBmp(s.card.image()), ".bmp", now)));
  if (child == 0) ::_exit(saved == kCards ? 0 : 1);
  int status = 0;
  EXPECT_TRUE(saved == kCards && ::waitpid(child, &status, 0) == child && status == 0);
  std::string name = "GR-20170102090503";
  int names = 0, reds = 0;
  for (; fs::exists(dir.path / "wimgx" / (name + ".bmp")); name = NextSecondName(name), ++names)
    reds += ReadText(dir.path / "wimgx" / (name + ".bmp"))[56] == '\xC8';  // the first pixel's red
  EXPECT_EQ(names, 2 * kCards);  // consecutive seconds from the clock's
  EXPECT_EQ(reds, kCards);
  EXPECT_EQ(NextSecondName("GR-20171231235959"), "GR-20180101000000");
}

// Saves killed at fixed pseudo-random moments: every file whole, the older card
// untouched, and the next run's first save clears what the killed ones left.
TEST(FileWriter, SavesKilledAtRandomLeaveNothingBroken) {
  constexpr std::size_t kSize = 1 << 20;
  std::uint64_t x = 0x243F6A8885A308D3ull;
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    const Scratch dir;
    fs::remove(dir / "ro.bmp");  // only the saves' files here
    for (const char* f : {"older.bmp", "card.bmp"}) ASSERT_TRUE(WriteFileSafely(dir.path / f, Filled(kSize, 1)).ok);
    for (int kill = 0; kill < 6; ++kill) {
      const pid_t pid = ::fork();
      for (int n = 0; pid == 0; ++n) {
        WriteOptions o;
    o.unnamed_temporary = unnamed;
        const auto bytes = Filled(kSize, static_cast<char>(2 + n % 200));
        // Killed at any moment: what the saves return is never seen.
        static_cast<void>(WriteFileSafely(dir.path / "card.bmp", bytes, o));
        static_cast<void>(WriteNewFile(dir.path / ("new-" + std::to_string(kill) + "-" + std::to_string(n) + ".bmp"), bytes, o));
      }
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      std::this_thread::sleep_for(std::chrono::microseconds(500 + (x >> 33) % 8000));
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      for (const auto& e : fs::directory_iterator(dir.path))
        EXPECT_TRUE(e.path().filename().string().starts_with(".mirelune-") || Whole(e.path(), kSize)) << e.path();
      EXPECT_EQ(ReadText(dir.path / "older.bmp"), std::string(kSize, 1));
    }
    // The next run (a fresh process) clears what the killed ones left.
    const pid_t next = ::fork();
    if (next == 0) ::_exit(WriteFileSafely(dir.path / "card.bmp", Filled(kSize, 3)).ok ? 0 : 1);
    int status = -1;
    EXPECT_TRUE(::waitpid(next, &status, 0) == next && status == 0);
    EXPECT_EQ(Temporaries(dir.path), 0);
  }
}

// A full disk (a small tmpfs, as root): the save fails saying why, the older card
// stays, nothing is left; a read-only file system says so, for folders too.
TEST(FileWriter, AFullOrReadOnlyDiskFailsCleanly) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
  const Scratch dir;
  const fs::path mnt = dir.path / "small";
  fs::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << std::strerror(errno);
  for (bool unnamed : {true, false}) {
    WriteOptions o;
    o.unnamed_temporary = unnamed;
    ASSERT_TRUE(WriteFileSafely(mnt / "card.bmp", Filled(300000, 1), o).ok);
    for (const Result<>& r : {WriteFileSafely(mnt / "card.bmp", Filled(2 << 20, 2), o),
                            WriteNewFile(mnt / "GR-20170102090503.bmp", Filled(2 << 20, 2), o)})
      EXPECT_NE(r.message.find("No space left on device"), std::string::npos) << unnamed << r.message;
    EXPECT_TRUE(Whole(mnt / "card.bmp", 300000));
    EXPECT_FALSE(fs::exists(mnt / "GR-20170102090503.bmp"));
    EXPECT_EQ(Temporaries(mnt), 0);
  }
  ASSERT_EQ(::mount("tmpfs", mnt.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
  EXPECT_NE(MakeFolder(mnt / "wimgx").message.find("Read-only file system"), std::string::npos);
  ::umount(mnt.c_str());
}

}  // namespace
}  // namespace mirelune
