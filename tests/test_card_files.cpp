// Card files come from anywhere: `info` and `card --again` read them within limits
// (hostile PNGs built here, a few hundred bytes each), show their text safely on a
// terminal, and the encoders fail with a reason instead of ending the process.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "../fuzz/png_chunks.h"
#include "files/files.h"
#include "test_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;

using namespace png_chunks;
using testing::TempDir;

// Signature, header, `chunks`, a row of image data and the end.
std::string Png(const std::string& chunks, const std::string& header = Ihdr(2, 1)) {
  return kSignature + header + chunks + Chunk("IDAT", Deflated(std::string(7, '\0'))) + Chunk("IEND", "");
}

const std::string kSettings = R"("settings": {"max_styles": 3, "mode": "line", "palette": 5, "year": 2031})";

std::string Report(const std::string& more = "", const std::string& friend_name = "Mary") {
  return Itxt("mirelune-report", R"({"friend": ")" + friend_name + R"(", "sender": "Bob", )" + kSettings + more + "}");
}

std::string Nested(int n) { return Report(R"(, "deep": )" + std::string(n - 1, '[') + std::string(n - 1, ']')); }

// `n` small texts keyed k0, k1, ...
std::string Texts(int n) { return n ? Texts(n - 1) + Itxt(std::string("k").append(std::to_string(n - 1)), "x") : ""; }

std::string Times(long n, const std::string& piece) {
  std::string out;
  while (n-- > 0) out += piece;
  return out;
}

// `n` more keys in a report: , "0": 1, "1": 1, ...
std::string Keys(int n) {
  std::string out;
  for (int k = 0; k < n; ++k) out += ", \"" + std::to_string(k) + "\": 1";
  return out;
}

TEST(CardFiles, HostileFilesAreRefusedQuicklyAndInLittleMemory) {
  const std::string too_deep = "the card's report is nested more than 32 levels deep";
  const std::string escapes = Report(R"(, "ve\u007frsion": "x\u001b[2J", "list": ["\r", 7])",
                                     R"(\u001b]0;owned\u0007M\u009bary\u202e\u2066\\\n)");
  std::string wide;  // 100 short keys inside 30 long ones, one inside the other (closed below)
  for (int k = 0; k < 100; ++k) wide.append(k ? ",\"" : "{\"").append(std::to_string(k)).append("\": 1");
  for (int k = 0; k < 30; ++k) wide = "{\"" + std::string(20000, 'k') + "\": " + wide + "}";
  // file: its bytes, or the path of a device, a FIFO or a folder; err: what the message says after
  // "mirelune-cli: c.png" ("" for success); shown: in the output of a success.
  const struct {
    std::string what, file; int status; std::string err, command = "info", shown = "friend: Mary\nsender: Bob\n";
  } cases[] = {
      {"zTXt declaring 1.9 GB", Png(Chunk("zTXt", std::string("k\0\0x", 4), 1900000000)), 2,
       ": a broken PNG file (zTXt: chunk data is too large)"},
      {"zTXt inflating to 16 MiB", Png(Ztxt("k", std::string(16 << 20, ' '))), 2,
       ": a broken PNG file (zTXt: truncated)"},
      {"zTXt inflating to the limit", Png(Ztxt("k", std::string(kMaxPngTextBytes - 4, ' ')) + Report()), 0, ""},
      {"iTXt of the limit", Png(Itxt("k", std::string(kMaxPngTextBytes - 6, 'x')) + Report()), 0, ""},
      {"iTXt over the limit", Png(Itxt("k", std::string(kMaxPngTextBytes - 5, 'x')) + Report()), 2,
       ": a broken PNG file (iTXt: chunk data is too large)"},
      {"200 chunks of 7.9 MB", kSignature + Ihdr(2, 1) + Chunk("tEXt", "k", 7900000), 2,
       " is larger than a card file can be (64 MiB)"},
      {"the report after 15 texts", Png(Texts(15) + Report()), 0, ""},
      {"the report after 16 texts", Png(Texts(16) + Report()), 2,
       ": a broken PNG file (iTXt: no space in chunk cache)"},
      {"the report after 1000 chunks", Png(Times(998, Chunk("abCd", "")) + Report()), 0, ""},
      {"1001 chunks", Png(Times(999, Chunk("abCd", "")) + Report()), 2,
       ": a PNG file with more than 1000 chunks before its picture, which no card has"},
      {"1001 comments", "\xFF\xD8" + Times(1001, std::string("\xFF\xFE\0\x02", 4)), 2,
       ": a JPEG file with more than 1000 segments before its picture, which no card has"},
      {"4096 keys", Png(Report(Keys(4089))), 0, ""},
      {"4097 keys", Png(Report(Keys(4090))), 2, ": the card's report has more than 4096 keys"},
      {"20000 x 20000", Png(Report(), Ihdr(20000, 20000)), 0, ""},
      {"20000 x 20000 made again", Png(Report(), Ihdr(20000, 20000)), 0, "", "card --out c.bmp --again"},
      {"cut in the report", Png(Report()).substr(0, 60), 2, ": a broken PNG file (the file ends too early)"},
      {"no PNG", "GIF89a", 2, ": not a PNG file"},
      {"a BMP", "BM\x36\0", 2, " is a BMP file, which carries no card report; make the card as PNG or JPEG to keep it"},
      {"a cut JPEG", "\xFF\xD8\xFF\xFE\xFF\xFFmirelune-report\n{", 2, " is not a readable JPEG file (JPEG datastream contains no image)"},
      {"/dev/zero", "/dev/zero", 2, " is a device, FIFO or socket, not a PNG file"},
      {"/dev/zero made again", "/dev/zero", 2, " is a device, FIFO or socket, not a PNG file", "card --again"},
      {"a FIFO no one writes to", "fifo", 2, " is a device, FIFO or socket, not a PNG file"},
      {"a folder", ".", 2, " is a folder, not a PNG file"},
      {"32 levels", Png(Nested(32)), 0, ""},
      {"33 levels", Png(Nested(33)), 2, ": " + too_deep},
      {"20000 levels", Png(Nested(20000)), 2, ": " + too_deep},
      {"20000 levels as JSON", Png(Nested(20000)), 2, ": " + too_deep, "info --json"},
      {"lines of long keys", Png(Report(", \"wide\": " + wide + "}")), 2,
       ": the card's report is too large to show line by line; try --json"},
      // Names and keys reach the terminal as escapes: no colour, title, cursor move, reordering or fake line.
      {"escapes", Png(escapes), 0, "", "info",
       "friend: \\u001b]0;owned\\u0007M\\u009bary\\u202e\\u2066\\\\\\u000a\nsender: Bob\nyear: 2031\n"
       "palette: 5, chosen\nagain: mirelune-cli card --again c.png\n\nve\\u007frsion: x\\u001b[2J\nlist: \\u000d, 7\n"},
      {"escapes as JSON", Png(escapes), 0, "", "info --json",
       R"("friend": "\u001b]0;owned\u0007M\u009bary\u202e\u2066\\\n",)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir dir;
    const bool named = c.file.starts_with("/dev/") || c.file == ".";
    const std::string file = named ? c.file : "c.png";
    if (c.file == "fifo") ::mkfifo((dir.path / file).c_str(), 0600);
    else if (!named) std::ofstream(dir.path / file, std::ios::binary) << c.file;
    if (c.what.starts_with("200 chunks")) fs::resize_file(dir.path / file, 33 + 200 * 7900012L);  // holes: no writes
    const testing::Ran r = testing::Cli(dir.path, c.command + " " + file);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.status != 0) {
      EXPECT_EQ(r.err, "mirelune-cli: " + file + c.err + "\nRun 'mirelune-cli " + c.command.substr(0, c.command.find(' ')) + " --help' for its options.\n");
    } else if (c.command.starts_with("info")) {
      EXPECT_EQ(r.err, "");
      EXPECT_NE(r.out.find(c.shown), std::string::npos) << r.out;
    }
  }
  // The largest of every run: far below what the bombs declare (sanitizers add their shadow).
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(usage.ru_maxrss, 256 * 1024);
#else
  EXPECT_LT(usage.ru_maxrss, 64 * 1024);
#endif
}

// The chunks or segments before the picture are counted by their lengths alone
// before libpng or libjpeg reads them, in blocks: 100,000 empty ones cost a read.
TEST(CardFiles, ChunksAndSegmentsBeforeThePictureAreCappedUnread) {
  const TempDir dir;
  const auto read = [&](const std::string& bytes, ReadEffort* effort) {
    std::ofstream(dir.path / "c", std::ios::binary) << bytes;
    return ReadCardTextFile(dir.path / "c", effort);
  };
  const PngText text{"", "", "", {{"mirelune-report", "{}"}}};
  const Bytes jpeg = *EncodeJpeg(Image{3, 2, PixelBuffer(6, 0x00FF00)}, &text);
  for (const std::string& file : {Png(Report()), std::string(jpeg.begin(), jpeg.end())}) {
    const std::size_t at = file[0] == '\xFF' ? 2 : 33;  // after the start of image, or the header
    const std::string empty = at == 2 ? std::string("\xFF\xFE\0\x02", 4) : Chunk("abCd", "");
    const auto with = [&](long n) { return file.substr(0, at) + Times(n, empty) + file.substr(at); };
    ReadEffort card, full_effort, over_effort;
    ASSERT_TRUE(read(file, &card));
    const auto full = read(with(kMaxCardChunks - card.chunks), &full_effort), over = read(with(100000), &over_effort);
    ASSERT_TRUE(full) << full.error().message;
    EXPECT_TRUE(full_effort.chunks == kMaxCardChunks && full_effort.reads <= 2);
    EXPECT_EQ(full->back().first, "mirelune-report");
    EXPECT_TRUE(!over && over_effort.chunks == kMaxCardChunks + 1 && over_effort.reads == 1);
  }
}

TEST(CardFiles, EncodersFailWithTheLibrarysReasonAndNeverExit) {
  const Image empty{}, wide{70000, 1, PixelBuffer(70000, 0x123456)}, small{3, 2, PixelBuffer(6, 0x00FF00)};
  const struct { const Image* img; ImageFormat format; std::string why; } cases[] = {  // why: "" for a picture made
      {&empty, ImageFormat::kPng, "cannot encode PNG: Invalid IHDR data"},
      {&empty, ImageFormat::kJpeg, "cannot encode JPEG: Empty JPEG image (DNL not supported)"},
      {&wide, ImageFormat::kJpeg, "cannot encode JPEG: Maximum supported image dimension is 65500 pixels"},
      {&wide, ImageFormat::kPng, ""}, {&small, ImageFormat::kPng, ""}, {&small, ImageFormat::kJpeg, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const Result<Bytes> bytes = EncodeImage(*c.img, c.format);
    EXPECT_EQ(!bytes, !c.why.empty());
    EXPECT_EQ(bytes.error().message, c.why);
  }
  const TempDir dir;
  EXPECT_EQ(SaveImage(empty, dir.path / "e.png").message,
            (dir.path / "e.png").string() + ": cannot encode PNG: Invalid IHDR data");
  EXPECT_FALSE(fs::exists(dir.path / "e.png"));
}

// A batch encodes each card in the rows memory of the one before: whatever it holds and whatever the last
// picture's size, the file is the one encoded afresh.
TEST(CardFiles, PngRowsKeptFromCardToCardGiveTheSameFile) {
  PixelBuffer pattern(900 * 675);
  for (std::size_t k = 0; k < pattern.size(); ++k) pattern[k] = static_cast<std::uint32_t>(k * 2654435761u) & 0xFFFFFF;
  const Image card{900, 675, pattern}, wide{70000, 1, PixelBuffer(70000, 0x123456)}, small{3, 2, PixelBuffer(6, 0x00FF00)};
  const PngText text{.software = "mirelune", .title = "t", .description = "d", .keyed = {{"k", "v"}}};
  PixelBuffer rows(100, 0xABABABAB);
  for (const Image* img : {&small, &card, &small, &wide, &card}) {
    const Result<Bytes> fresh = EncodePng(*img, &text), kept = EncodePng(*img, &text, rows);
    ASSERT_TRUE(fresh && kept);
    EXPECT_TRUE(*kept == *fresh) << img->width << "x" << img->height;
    std::fill(rows.begin(), rows.end(), 0xABABABAB);
  }
  EXPECT_EQ(rows.size(), ((1 + 900 * 3) * 675 + 1u + 3) / 4);  // grown to the largest, never shrunk
}

// A JPEG card carries its report in a comment another program reads (ImageMagick's identify), for `info` and
// `card --again`; the comment changes no pixel: cut out, the file is the plain encoding byte for byte.
TEST(CardFiles, JpegCardsCarryTheirReport) {
  const TempDir dir;
  ASSERT_EQ(testing::Cli(dir.path, "card --friend Mary --sender Bob --max-styles 2 --out c.jpg").status, 0);
  const std::string identified = testing::Shell(dir.path, "identify -format %c c.jpg").out;
  EXPECT_EQ(nlohmann::json::parse(identified.substr(identified.rfind("mirelune-report\n", 0) + 16)), nlohmann::json::parse(testing::Cli(dir.path, "info --json c.jpg").out));
  EXPECT_EQ(testing::Cli(dir.path, "card --again c.jpg --out d.jpg").status, 0);
  EXPECT_EQ(testing::ReadText(dir.path / "d.jpg"), testing::ReadText(dir.path / "c.jpg"));
  const Image img{3, 2, PixelBuffer(6, 0x00FF00)};
  PngText text{"", "", "", {{"k", "v"}, {"k2", std::string(65530, 'x')}}};  // the second: the most a comment holds
  Bytes with = *EncodeJpeg(img, &text);
  const Bytes first = {0xFF, 0xFE, 0, 5, 'k', '\n', 'v'};
  const auto at = std::search(with.begin(), with.end(), first.begin(), first.end());
  ASSERT_GE(with.end() - at, 7 + 4 + 65533);
  with.erase(at, at + 7 + 4 + 65533);
  EXPECT_EQ(with, *EncodeJpeg(img));
  text.keyed[1].second += 'x';
  EXPECT_EQ(EncodeJpeg(img, &text).error().message, "cannot encode JPEG: the text \"k2\" is longer than a JPEG comment holds (64 KiB)");
}

}  // namespace
}  // namespace mirelune
