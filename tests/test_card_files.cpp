// Card files come from anywhere: `info` and `card --again` read them within limits
// (hostile PNGs built here, a few hundred bytes each), show their text safely on a
// terminal, and the encoders fail with a reason instead of ending the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

#include "files/files.h"

extern char** environ;

namespace mirelune {
namespace {

namespace fs = std::filesystem;

// --- PNGs by hand ---

std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A chunk whose length field says `declared` (its real length unless given).
std::string Chunk(const std::string& type, const std::string& data, std::int64_t declared = -1) {
  std::string body = type + data;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return Be32(static_cast<std::uint32_t>(declared < 0 ? data.size() : declared)) + body +
         Be32(static_cast<std::uint32_t>(crc));
}

std::string Ihdr(std::uint32_t width, std::uint32_t height) {
  return Chunk("IHDR", Be32(width) + Be32(height) + std::string("\x08\x02\0\0\0", 5));
}

std::string Deflated(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
            static_cast<uLong>(text.size()), 9);
  out.resize(size);
  return out;
}

std::string Itxt(const std::string& key, const std::string& text) {
  return Chunk("iTXt", key + std::string("\0\0\0\0\0", 5) + text);
}
std::string Ztxt(const std::string& key, const std::string& text) {
  return Chunk("zTXt", key + std::string("\0\0", 2) + Deflated(text));
}

// Signature, header (a small picture unless `chunks` bring their own), chunks, a
// row of image data and the end.
std::string Png(const std::string& chunks, const std::string& header = Ihdr(2, 1)) {
  return "\x89PNG\r\n\x1a\n" + header + chunks + Chunk("IDAT", Deflated(std::string(7, '\0'))) + Chunk("IEND", "");
}

// `n` small texts keyed k0, k1, ...
std::string Texts(int n) {
  std::string texts;
  for (int k = 0; k < n; ++k) texts += Itxt(std::string("k").append(std::to_string(k)), "x");
  return texts;
}

constexpr const char* kSettings = R"("settings": {"max_styles": 3, "mode": "line", "palette": 5, "year": 2031})";

std::string Report(const std::string& friend_name, const std::string& more = "") {
  return Itxt("mirelune-report",
              R"({"friend": ")" + friend_name + R"(", "sender": "Bob", )" + kSettings + more + "}");
}

std::string Nested(int levels) {
  return R"({"friend": "Mary", "sender": "Bob", )" + std::string(kSettings) + R"(, "deep": )" +
         std::string(levels - 1, '[') + std::string(levels - 1, ']') + "}";
}

// --- running mirelune-cli ---

struct Scratch {
  fs::path path;
  Scratch() {
    std::string t = (fs::temp_directory_path() / "mirelune-cardfiles-XXXXXX").string();
    path = mkdtemp(t.data());
  }
  ~Scratch() { fs::remove_all(path); }
  std::string Put(const std::string& leaf, const std::string& bytes) const {
    std::ofstream(path / leaf, std::ios::binary) << bytes;
    return (path / leaf).string();
  }
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Ran {
  int status = -1;  // -1: killed after the time allowed
  std::string out, err;
  long peak_kib = 0;  // the child's largest resident size
};

// Runs mirelune-cli with `args` in `dir`; killed after 30 s, so a hang fails the
// test instead of stalling it.
Ran Cli(const std::vector<std::string>& args, const Scratch& dir) {
  std::vector<std::string> all{MIRELUNE_CLI};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = (dir.path / ".out").string(), err = (dir.path / ".err").string();
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  Ran r;
  if (spawned != 0) return r;
  int raw = 0;
  rusage usage{};
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (::wait4(pid, &raw, WNOHANG, &usage) == 0) {
    if (std::chrono::steady_clock::now() > give_up) {
      ::kill(pid, SIGKILL);
      ::wait4(pid, &raw, 0, &usage);
      raw = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  r.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = Slurp(out);
  r.err = Slurp(err);
  r.peak_kib = usage.ru_maxrss;
  return r;
}

// --- the bombs ---

// What the process may take beyond reading a small card; under the sanitizers
// their own shadow memory comes on top.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryKib = 256 * 1024;
#else
constexpr long kMemoryKib = 64 * 1024;
#endif

TEST(CardFiles, HostileFilesAreRefusedQuicklyAndInLittleMemory) {
  const std::string report = Report("Mary");
  struct Case {
    const char* what;
    std::function<std::string(const Scratch&)> make;  // the file's path
    int status;
    std::string err;  // what the message says after the path ("" for success)
    const char* command = "info";
  } cases[] = {
      {"a zTXt declaring 1.9 GB in 216 bytes",
       [](const Scratch& d) {
         return d.Put("z.png", Png(Chunk("zTXt", "mirelune-report" + std::string("\0\0", 2) + Deflated("{}"),
                                         1900000000)));
       },
       2, "@: a broken PNG file (zTXt: chunk data is too large)"},
      {"a zTXt inflating to 16 MiB",
       [](const Scratch& d) { return d.Put("z.png", Png(Ztxt("mirelune-report", std::string(16 << 20, ' ')))); },
       2, "@: a broken PNG file (zTXt: truncated)"},
      {"an iTXt of just over 1 MiB", [](const Scratch& d) { return d.Put("i.png", Png(Itxt("x", std::string(1 << 20, 'x')))); },
       2, "@: a broken PNG file (iTXt: chunk data is too large)"},
      {"200 text chunks of 7.9 MB",
       [](const Scratch& d) {
         const std::string path = d.Put("many.png", "\x89PNG\r\n\x1a\n" + Ihdr(2, 1));
         for (int k = 0; k < 200; ++k)
           std::ofstream(path, std::ios::app | std::ios::binary) << Chunk("tEXt", "k", 7900000);
         ::truncate(path.c_str(), 8 + 25 + 200L * 7900012);  // the texts as holes: nothing written
         return path;
       },
       2, "@ is larger than a card file can be (64 MiB)"},
      {"17 text chunks", [](const Scratch& d) { return d.Put("17.png", Png(Texts(17) + Report("Mary"))); },
       2, "@: a broken PNG file (iTXt: no space in chunk cache)"},
      {"a report after 15 other texts", [](const Scratch& d) { return d.Put("16.png", Png(Texts(15) + Report("Mary"))); },
       0, ""},
      {"a 20000 x 20000 picture", [&](const Scratch& d) { return d.Put("huge.png", Png(report, Ihdr(20000, 20000))); }, 0, ""},
      {"a 20000 x 20000 picture made again", [&](const Scratch& d) { return d.Put("huge.png", Png(report, Ihdr(20000, 20000))); },
       0, "", "again"},
      {"the file ends in the report", [&](const Scratch& d) { return d.Put("cut.png", Png(report).substr(0, 60)); },
       2, "@: a broken PNG file (the file ends too early)"},
      {"no PNG", [](const Scratch& d) { return d.Put("x.png", "GIF89a"); }, 2, "@: not a PNG file"},
      {"/dev/zero", [](const Scratch&) { return std::string("/dev/zero"); }, 2, "@ is a device, FIFO or socket, not a PNG file"},
      {"/dev/zero made again", [](const Scratch&) { return std::string("/dev/zero"); }, 2,
       "@ is a device, FIFO or socket, not a PNG file", "again"},
      {"a FIFO no one writes to", [](const Scratch& d) {
         const std::string path = (d.path / "fifo.png").string();
         ::mkfifo(path.c_str(), 0600);
         return path;
       },
       2, "@ is a device, FIFO or socket, not a PNG file"},
      {"a folder", [](const Scratch& d) { return d.path.string(); }, 2, "@ is a folder, not a PNG file"},
      {"no file", [](const Scratch& d) { return (d.path / "none.png").string(); }, 2, "cannot read @: No such file or directory"},
      {"a report 32 levels deep", [](const Scratch& d) { return d.Put("32.png", Png(Itxt("mirelune-report", Nested(32)))); },
       0, ""},
      {"a report 33 levels deep", [](const Scratch& d) { return d.Put("33.png", Png(Itxt("mirelune-report", Nested(33)))); },
       2, "@: the card's report is nested more than 32 levels deep"},
      {"a report 20000 levels deep",
       [](const Scratch& d) { return d.Put("deep.png", Png(Itxt("mirelune-report", Nested(20000)))); }, 2,
       "@: the card's report is nested more than 32 levels deep"},
      {"a report 20000 levels deep as JSON",
       [](const Scratch& d) { return d.Put("deep.png", Png(Itxt("mirelune-report", Nested(20000)))); }, 2,
       "@: the card's report is nested more than 32 levels deep", "json"},
      {"a report 20000 levels deep made again",
       [](const Scratch& d) { return d.Put("deep.png", Png(Itxt("mirelune-report", Nested(20000)))); }, 2,
       "@: the card's report is nested more than 32 levels deep", "again"},
      {"a report of 30000 keys inside 30 long ones",
       [](const Scratch& d) {
         std::string j = R"({"friend": "Mary", "sender": "Bob", )" + std::string(kSettings) + ", ";
         for (int k = 0; k < 30; ++k) j += "\"" + std::string(20000, 'k') + "\": {";
         for (int k = 0; k < 30000; ++k) j.append("\"").append(std::to_string(k)).append("\": 1,");
         j.back() = '}';
         return d.Put("wide.png", Png(Itxt("mirelune-report", j + std::string(29, '}') + "}")));
       },
       2, "@: the card's report is too large to show line by line; try --json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Scratch dir;
    const std::string file = c.make(dir);
    const std::string command = c.command;
    const std::vector<std::string> args =
        command == "again"  ? std::vector<std::string>{"card", "--again", file, "--out", (dir.path / "c.bmp").string()}
        : command == "json" ? std::vector<std::string>{"info", "--json", file}
                            : std::vector<std::string>{"info", file};
    const Ran r = Cli(args, dir);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_LT(r.peak_kib, kMemoryKib);
    if (c.status == 0 && command == "again") {
      EXPECT_TRUE(fs::exists(dir.path / "c.bmp"));
    } else if (c.status == 0) {
      EXPECT_EQ(r.err, "");
      EXPECT_NE(r.out.find("friend: Mary\nsender: Bob\n"), std::string::npos) << r.out;
    } else {
      std::string err = c.err;
      err.replace(err.find('@'), 1, file);
      EXPECT_EQ(r.err, "mirelune-cli: " + err + "\nTry 'mirelune-cli --help'.\n");
      EXPECT_EQ(r.out, "");
    }
  }
}

// Names and keys from a report reach the terminal as escapes: no colour, no
// title, no cursor moves, no text reordered, no fake second line.
TEST(CardFiles, ReportTextIsShownWithItsControlCharactersEscaped) {
  const Scratch dir;
  const std::string file = dir.Put(
      "a.png", Png(Report(R"(\u001b]0;owned\u0007M\u009bary\u202e\u2066\\\n)",
                          R"(, "ve\u007frsion": "x\u001b[2J", "list": ["\r", 7])")));
  const Ran flat = Cli({"info", file}, dir);
  EXPECT_EQ(flat.status, 0) << flat.err;
  EXPECT_EQ(flat.out,
            "friend: \\u001b]0;owned\\u0007M\\u009bary\\u202e\\u2066\\\\\\u000a\n"
            "sender: Bob\n"
            "settings.max_styles: 3\nsettings.mode: line\nsettings.palette: 5\nsettings.year: 2031\n"
            "ve\\u007frsion: x\\u001b[2J\n"
            "list: \\u000d, 7\n");
  const Ran json = Cli({"info", "--json", file}, dir);
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out.find_first_of("\x1b\x7f\r\a"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find(R"("friend": "\u001b]0;owned\u0007M\u009bary\u202e\u2066\\\n",)"), std::string::npos)
      << json.out;
  EXPECT_EQ(nlohmann::json::parse(json.out)["friend"], "\x1b]0;owned\aM\xC2\x9b" "ary\xE2\x80\xAE\xE2\x81\xA6\\\n");
}

// --- the encoders ---

TEST(CardFiles, EncodersFailWithTheLibrarysReasonAndNeverExit) {
  const Image empty{}, wide{70000, 1, PixelBuffer(70000, 0x123456)}, card{3, 2, PixelBuffer(6, 0x00FF00)};
  struct Case {
    const char* what;
    const Image* img;
    ImageFormat format;
    std::string why;  // "" for a picture made
  } cases[] = {
      {"an empty PNG", &empty, ImageFormat::kPng, "cannot encode PNG: Invalid IHDR data"},
      {"an empty JPEG", &empty, ImageFormat::kJpeg, "cannot encode JPEG: Empty JPEG image (DNL not supported)"},
      {"a JPEG 70000 wide", &wide, ImageFormat::kJpeg, "cannot encode JPEG: Maximum supported image dimension is 65500 pixels"},
      {"a PNG 70000 wide", &wide, ImageFormat::kPng, ""},
      {"a small PNG", &card, ImageFormat::kPng, ""},
      {"a small JPEG", &card, ImageFormat::kJpeg, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string why;
    const Bytes bytes = EncodeImage(*c.img, c.format, nullptr, &why);
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(bytes.empty(), !c.why.empty());
  }
  const Scratch dir;
  const Result saved = SaveImage(empty, dir.path / "e.png");
  EXPECT_EQ(saved.message, (dir.path / "e.png").string() + ": cannot encode PNG: Invalid IHDR data");
  EXPECT_FALSE(fs::exists(dir.path / "e.png"));
}

// A PNG's own texts come back as written, each kind, up to the limits.
TEST(CardFiles, TextsComeBackAsWrittenUpToTheLimits) {
  const std::string big(kMaxPngTextBytes - 20, 'b');
  std::vector<std::uint8_t> png;
  PngText text{.software = "Mirelune", .title = "Zoë", .description = "", .keyed = {{"mirelune-report", big}}};
  ASSERT_TRUE(EncodePng(Image{1, 1, PixelBuffer(1, 0)}, &png, &text));
  const PngTextRead read = ReadPngText(png, "a.png");
  ASSERT_TRUE(read) << read.message;
  EXPECT_EQ(read.text, (decltype(read.text){{"Software", "Mirelune"}, {"Title", "Zoë"}, {"mirelune-report", big}}));
  const std::string z = Png(Chunk("tEXt", std::string("k\0v", 3)) + Ztxt("z", std::string(kMaxPngTextBytes - 4, 'z')));
  const PngTextRead zread = ReadPngText(std::span(reinterpret_cast<const std::uint8_t*>(z.data()), z.size()), "z.png");
  ASSERT_TRUE(zread) << zread.message;
  EXPECT_EQ(zread.text, (decltype(zread.text){{"k", "v"}, {"z", std::string(kMaxPngTextBytes - 4, 'z')}}));
}

}  // namespace
}  // namespace mirelune
