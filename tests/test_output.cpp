// Image names and files: the bitmap read back by an independent reader, PNG
// through libpng's reader, and the failure paths of saving.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "files/files.h"
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
    std::string err;
    ASSERT_TRUE(SaveImage(img, p, &err)) << err;
    const auto bytes = ReadAll(p);
    EXPECT_EQ(bytes.size(), 54 + (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4 * h);
    EXPECT_EQ(Le32(bytes, 2), bytes.size());
    EXPECT_EQ(ReadBmp(bytes), img) << w << "x" << h;
  }
}

TEST(Png, RoundTripsThroughLibpng) {
  TempDir dir;
  const Image img = Pattern(896, 671);
  std::string err;
  ASSERT_TRUE(SaveImage(img, dir.path / "card.PNG", &err)) << err;
  EXPECT_EQ(ReadPng(dir.path / "card.PNG"), img);
  const auto bytes = ReadAll(dir.path / "card.PNG");
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(bytes[1], 'P');
}

TEST(Saving, FailuresExplainThemselvesAndLeaveNothingBehind) {
  TempDir dir;
  const Image img = Pattern(4, 4);
  std::string err;
  // A folder that does not exist.
  EXPECT_FALSE(SaveImage(img, dir.path / "missing" / "card.bmp", &err));
  EXPECT_NE(err.find("missing/card.bmp"), std::string::npos) << err;
  // A name taken by a folder: the folder and what is in it survive.
  fs::create_directories(dir.path / "taken" / "inside");
  err.clear();
  EXPECT_FALSE(SaveImage(img, dir.path / "taken", &err));
  EXPECT_FALSE(err.empty());
  EXPECT_TRUE(fs::is_directory(dir.path / "taken" / "inside"));
  // No temporary files anywhere.
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir.path)) files += e.is_regular_file();
  EXPECT_EQ(files, 0);
}

TEST(Saving, ReplacesAnOlderFileWhole) {
  TempDir dir;
  const fs::path p = dir.path / "card.bmp";
  std::string err;
  ASSERT_TRUE(SaveImage(Pattern(30, 20), p, &err));
  ASSERT_TRUE(SaveImage(Pattern(3, 2), p, &err));
  EXPECT_EQ(ReadBmp(ReadAll(p)), Pattern(3, 2));
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.path)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace mirelune
