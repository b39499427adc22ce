// Image names and files: the bitmap read back by an independent reader, PNG
// through libpng's reader, the rules of the file writer for every kind of target,
// and saves killed, crowded or out of space.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "files/files.h"
#include "files/saving.h"
#include "test_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;

// A scratch folder removed at the end of the test.
struct TempDir {
  fs::path path;
  TempDir() {
    std::string t = (fs::temp_directory_path() / "mirelune-test-XXXXXX").string();
    path = mkdtemp(t.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Reads a 24-bit BMP the way any viewer would: header fields, padding, bottom-up rows.
Image ReadBmp(const std::vector<std::uint8_t>& b) {
  Image img;
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return img;
  const std::uint32_t offset = Le32(b, 10);
  img.width = static_cast<int>(Le32(b, 18));
  const int h = static_cast<int>(Le32(b, 22));
  img.height = h < 0 ? -h : h;
  if ((b[28] | b[29] << 8) != 24) return {};
  const std::size_t stride = (static_cast<std::size_t>(img.width) * 3 + 3) / 4 * 4;
  img.pixels.resize(static_cast<std::size_t>(img.width) * img.height);
  for (int y = 0; y < img.height; ++y) {
    const int src_row = h > 0 ? img.height - 1 - y : y;
    for (int x = 0; x < img.width; ++x) {
      const std::uint8_t* p = &b[offset + src_row * stride + x * 3];
      img.pixels[static_cast<std::size_t>(y) * img.width + x] = p[2] | p[1] << 8 | p[0] << 16;
    }
  }
  return img;
}

Image ReadPng(const fs::path& path) {
  Image img;
  png_image pi{};
  pi.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&pi, path.c_str())) return img;
  pi.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> buf(PNG_IMAGE_SIZE(pi));
  if (!png_image_finish_read(&pi, nullptr, buf.data(), 0, nullptr)) return img;
  img.width = static_cast<int>(pi.width);
  img.height = static_cast<int>(pi.height);
  for (std::size_t k = 0; k < buf.size(); k += 3) img.pixels.push_back(buf[k] | buf[k + 1] << 8 | buf[k + 2] << 16);
  return img;
}

// Red on blue, with an odd width so that row padding is exercised too.
Image Pattern(int w, int h) {
  Image img{w, h, {}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.pixels.push_back(static_cast<std::uint32_t>(RGB(x * 40 % 256, y * 3 % 256, 200)));
  img.pixels[0] = 0x0000FF;  // top-left pure red: catches upside-down and R<->B swaps
  return img;
}

TEST(ImageName, EveryFieldKeepsItsLeadingZeros) {
  std::tm t{};
  t.tm_year = 117, t.tm_mon = 0, t.tm_mday = 2, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 3;
  EXPECT_EQ(ImageNameFor(t), "GR-20170102090503");
  t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 59;
  EXPECT_EQ(ImageNameFor(t), "GR-20261231235959");
}

TEST(Paths, WindowsFoldersMapUnderTheDriveRoot) {
  const char* old = std::getenv("MIRELUNE_ROOT");
  const std::string saved = old ? old : "";
  setenv("MIRELUNE_ROOT", "/srv/cards", 1);
  State s;
  s.imeslike = "GR-20170102090503";
  EXPECT_EQ(CardPath(s), "/srv/cards/wimgx/GR-20170102090503.bmp");
  EXPECT_EQ(ArchivePathGroup(), "/srv/cards/baza-slik/skupina00/slika00.jpg");
  EXPECT_EQ(ArchivePathArtist(), "/srv/cards/pelkin-art/slika00.jpg");
  if (old) setenv("MIRELUNE_ROOT", saved.c_str(), 1); else unsetenv("MIRELUNE_ROOT");
}

TEST(Bitmap, RoundTripsThroughAnIndependentReader) {
  TempDir dir;
  for (auto [w, h] : {std::pair{896, 671}, {5, 3}, {1, 1}}) {
    const Image img = Pattern(w, h);
    const fs::path p = dir.path / "card.bmp";
    const Result r = SaveImage(img, p);
    ASSERT_TRUE(r.ok) << r.message;
    const auto bytes = ReadAll(p);
    EXPECT_EQ(bytes.size(), 54 + (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4 * h);
    EXPECT_EQ(Le32(bytes, 2), bytes.size());
    EXPECT_EQ(ReadBmp(bytes), img) << w << "x" << h;
  }
}

TEST(Png, RoundTripsThroughLibpng) {
  TempDir dir;
  const Image img = Pattern(896, 671);
  ASSERT_TRUE(SaveImage(img, dir.path / "card.PNG").ok);
  EXPECT_EQ(ReadPng(dir.path / "card.PNG"), img);
  const auto bytes = ReadAll(dir.path / "card.PNG");
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(bytes[1], 'P');
}

// --- the file writer ----------------------------------------------------------

std::vector<std::uint8_t> Filled(std::size_t n, std::uint8_t v) { return std::vector<std::uint8_t>(n, v); }

// Files in a folder whose names start with the writer's temporary prefix.
int Temporaries(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.path().filename().string().rfind(".mirelune-", 0) == 0;
  return n;
}

// A file made wholly of one byte value, as every test write below is: a torn or
// mixed file shows at once.
bool Whole(const fs::path& p, std::size_t size) {
  const auto b = ReadAll(p);
  if (b.size() != size) return false;
  for (std::uint8_t c : b)
    if (c != b[0]) return false;
  return true;
}

mode_t Mode(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(FileWriter, EveryKindOfTargetIsWrittenAsItMust) {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  const std::string long_name = std::string(251, 'n') + ".bmp";  // 255 bytes, the folder's limit
  struct Case {
    const char* what;
    std::function<fs::path(const fs::path&)> make;  // prepares the folder, returns the path to write
    std::function<void(const fs::path& dir, const fs::path& target, const Result&)> check;
  } cases[] = {
      {"a new file gets 0666 less the umask",
       [](const fs::path& d) { return d / "new.bmp"; },
       [&](const fs::path&, const fs::path& t, const Result& r) {
         ASSERT_TRUE(r.ok) << r.message;
         EXPECT_TRUE(Whole(t, 5000));
         EXPECT_EQ(Mode(t), 0666 & ~mask);
       }},
      {"a replaced file keeps its permissions",
       [](const fs::path& d) {
         std::ofstream(d / "card.bmp") << "old";
         fs::permissions(d / "card.bmp", fs::perms(0640));
         return d / "card.bmp";
       },
       [](const fs::path&, const fs::path& t, const Result& r) {
         ASSERT_TRUE(r.ok) << r.message;
         EXPECT_TRUE(Whole(t, 5000));
         EXPECT_EQ(Mode(t), 0640u);
       }},
      {"a symlink is followed and stays",
       [](const fs::path& d) {
         fs::create_directory(d / "real");
         std::ofstream(d / "real" / "card.bmp") << "old";
         fs::create_symlink("real/card.bmp", d / "link.bmp");
         return d / "link.bmp";
       },
       [](const fs::path& d, const fs::path& t, const Result& r) {
         ASSERT_TRUE(r.ok) << r.message;
         EXPECT_TRUE(fs::is_symlink(t));
         EXPECT_TRUE(Whole(d / "real" / "card.bmp", 5000));
       }},
      {"a dangling symlink makes its target",
       [](const fs::path& d) {
         fs::create_symlink("made.bmp", d / "link.bmp");
         return d / "link.bmp";
       },
       [](const fs::path& d, const fs::path& t, const Result& r) {
         ASSERT_TRUE(r.ok) << r.message;
         EXPECT_TRUE(fs::is_symlink(t));
         EXPECT_TRUE(Whole(d / "made.bmp", 5000));
       }},
      {"a read-only file is refused and left as it is",
       [](const fs::path& d) {
         std::ofstream(d / "card.bmp") << "old";
         fs::permissions(d / "card.bmp", fs::perms(0444));
         return d / "card.bmp";
       },
       [](const fs::path&, const fs::path& t, const Result& r) {
         EXPECT_FALSE(r.ok);
         EXPECT_NE(r.message.find("read-only"), std::string::npos) << r.message;
         EXPECT_EQ(ReadAll(t), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
         EXPECT_EQ(Mode(t), 0444u);
       }},
      {"a name of 255 bytes",
       [&](const fs::path& d) {
         std::ofstream(d / long_name) << "old";
         return d / long_name;
       },
       [](const fs::path&, const fs::path& t, const Result& r) {
         ASSERT_TRUE(r.ok) << r.message;
         EXPECT_TRUE(Whole(t, 5000));
       }},
      {"a folder is refused",
       [](const fs::path& d) {
         fs::create_directories(d / "taken" / "inside");
         return d / "taken";
       },
       [](const fs::path&, const fs::path& t, const Result& r) {
         EXPECT_FALSE(r.ok);
         EXPECT_TRUE(fs::is_directory(t / "inside"));
       }},
      {"a missing folder is named",
       [](const fs::path& d) { return d / "missing" / "card.bmp"; },
       [](const fs::path& d, const fs::path&, const Result& r) {
         EXPECT_FALSE(r.ok);
         EXPECT_NE(r.message.find("the folder " + (d / "missing").string() + " does not exist"), std::string::npos)
             << r.message;
       }},
  };
  for (bool unnamed : {true, false}) {
    UseUnnamedTemporaryFiles(unnamed);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (unnamed ? " (unnamed temporary)" : " (named temporary)"));
      TempDir dir;
      const fs::path target = c.make(dir.path);
      const Result r = WriteFileSafely(target, Filled(5000, 7));
      c.check(dir.path, target, r);
      for (const auto& e : fs::recursive_directory_iterator(dir.path))
        EXPECT_NE(e.path().filename().string().rfind(".mirelune-", 0), 0u) << e.path();
    }
  }
  UseUnnamedTemporaryFiles(true);
}

// FIFOs, pipes and devices are written in place: nothing is renamed over them.
TEST(FileWriter, PipesAndDevicesAreWrittenDirectly) {
  TempDir dir;
  const std::vector<std::uint8_t> bytes = Filled(200000, 9);  // more than a pipe holds
  {
    const fs::path fifo = dir.path / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::uint8_t> got;
    std::thread reader([&] { got = ReadAll(fifo); });
    const Result r = WriteFileSafely(fifo, bytes);
    reader.join();
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(got, bytes);
    EXPECT_TRUE(fs::is_fifo(fifo));
  }
  {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    std::vector<std::uint8_t> got;
    std::thread reader([&] {
      std::uint8_t buf[65536];
      for (ssize_t n; (n = ::read(p[0], buf, sizeof buf)) > 0;) got.insert(got.end(), buf, buf + n);
    });
    const Result r = WriteFileSafely("/dev/fd/" + std::to_string(p[1]), bytes);
    ::close(p[1]);
    reader.join();
    ::close(p[0]);
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(got, bytes);
  }
  {
    // A pipe nobody reads: a clear failure, and the program lives on.
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    ::close(p[0]);
    const Result r = WriteFileSafely("/dev/fd/" + std::to_string(p[1]), bytes);
    ::close(p[1]);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("Broken pipe"), std::string::npos) << r.message;
  }
  if (::geteuid() == 0) {
    const fs::path null = dir.path / "null";  // a copy of /dev/null: the real one is never risked
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_TRUE(WriteFileSafely(null, bytes).ok);
    EXPECT_TRUE(fs::is_character_file(null));
  }
}

// Two processes saving cards in the same second: every card gets a name of its own.
TEST(FileWriter, TimeStampedCardsAreNeverReplacedAcrossProcesses) {
  TempDir dir;
  const char* old = std::getenv("MIRELUNE_ROOT");
  const std::string saved_root = old ? old : "";
  setenv("MIRELUNE_ROOT", dir.path.c_str(), 1);
  fs::create_directories(dir.path / "wimgx");
  constexpr int kCards = 15;
  pid_t pids[2];
  for (int k = 0; k < 2; ++k) {
    pids[k] = ::fork();
    if (pids[k] == 0) {
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
  }
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  if (old) setenv("MIRELUNE_ROOT", saved_root.c_str(), 1); else unsetenv("MIRELUNE_ROOT");
  int reds = 0, names = 0;
  std::string name = "GR-20170102090503";
  for (; fs::exists(dir.path / "wimgx" / (name + ".bmp")); name = NextSecondName(name), ++names) {
    const Image card = ReadBmp(ReadAll(dir.path / "wimgx" / (name + ".bmp")));
    ASSERT_EQ(card.width, kCanvasPixelsW) << name;
    reds += card.at(0, 0) == static_cast<std::uint32_t>(RGB(200, 0, 0));
  }
  EXPECT_EQ(names, 2 * kCards);  // consecutive seconds from the clock's
  EXPECT_EQ(reds, kCards);
  EXPECT_EQ(NextSecondName("GR-20171231235959"), "GR-20180101000000");
}

// Saves killed at random moments, over and over: every file is whole, the older
// card untouched, and the next save clears what the killed ones left.
TEST(FileWriter, SavesKilledAtRandomLeaveNothingBroken) {
  constexpr std::size_t kSize = 2 << 20;
  std::uint64_t x = 0x243F6A8885A308D3ull;  // the kill times: fixed, not the clock's
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    TempDir dir;
    ASSERT_TRUE(WriteFileSafely(dir.path / "older.bmp", Filled(kSize, 1)).ok);
    ASSERT_TRUE(WriteFileSafely(dir.path / "card.bmp", Filled(kSize, 1)).ok);
    for (int kill = 0; kill < 15; ++kill) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        UseUnnamedTemporaryFiles(unnamed);
        for (int n = 0;; ++n) {
          const auto bytes = Filled(kSize, static_cast<std::uint8_t>(2 + n % 200));
          WriteFileSafely(dir.path / "card.bmp", bytes);
          WriteNewFile(dir.path / ("new-" + std::to_string(kill) + "-" + std::to_string(n) + ".bmp"), bytes);
        }
      }
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      std::this_thread::sleep_for(std::chrono::microseconds(500 + (x >> 33) % 40000));
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      for (const auto& e : fs::directory_iterator(dir.path)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(".mirelune-", 0) != 0) {
          EXPECT_TRUE(Whole(e.path(), kSize)) << name;
        }
      }
      EXPECT_EQ(ReadAll(dir.path / "older.bmp"), Filled(kSize, 1));
    }
    ASSERT_TRUE(WriteFileSafely(dir.path / "card.bmp", Filled(kSize, 3)).ok);
    EXPECT_EQ(Temporaries(dir.path), 0);
  }
}

// A full disk (a small tmpfs, as root): the save fails saying why, the older card
// stays, nothing is left; a read-only file system says so, for folders too.
TEST(FileWriter, AFullOrReadOnlyDiskFailsCleanly) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
  TempDir dir;
  const fs::path mnt = dir.path / "small";
  fs::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    UseUnnamedTemporaryFiles(unnamed);
    ASSERT_TRUE(WriteFileSafely(mnt / "card.bmp", Filled(300000, 1)).ok);
    for (const Result& r : {WriteFileSafely(mnt / "card.bmp", Filled(2 << 20, 2)),
                            WriteNewFile(mnt / "GR-20170102090503.bmp", Filled(2 << 20, 2))}) {
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.message.find("No space left on device"), std::string::npos) << r.message;
    }
    EXPECT_EQ(ReadAll(mnt / "card.bmp"), Filled(300000, 1));
    EXPECT_FALSE(fs::exists(mnt / "GR-20170102090503.bmp"));
    EXPECT_EQ(Temporaries(mnt), 0);
  }
  UseUnnamedTemporaryFiles(true);
  ASSERT_EQ(::mount("tmpfs", mnt.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
  for (const Result& r : {MakeFolder(mnt / "wimgx"), WriteFileSafely(mnt / "card.bmp", Filled(10, 2))}) {
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("Read-only file system"), std::string::npos) << r.message;
  }
  ::umount(mnt.c_str());
}

}  // namespace
}  // namespace mirelune
