// Cards drawn larger for print: the same draws and the same picture with more
// pixels, the density and scale recorded, and made again from the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <png.h>

#include "card/card.h"
#include "files/print.h"
#include "test_util.h"

namespace mirelune {
namespace {

// Per channel, the mean over the 16 x 16 squares of `w` x `h` pixels of `a` from
// (ax, ay) of the difference between a square's average and that of the square
// standing for it in `b`, `n` times larger, from (bx, by); the worst square's to `worst`.
double BlockDifference(const Image& a, int ax, int ay, const Image& b, int bx, int by, int n, int w, int h,
                       int* worst) {
  const auto mean = [](const Image& img, int x0, int y0, int side, int c) {
    long sum = 0;
    for (int y = y0; y < y0 + side; ++y)
      for (int x = x0; x < x0 + side; ++x) sum += (img.at(x, y) >> (8 * c)) & 0xFF;
    return static_cast<double>(sum) / (side * side);
  };
  double total = 0, most = 0;
  int blocks = 0;
  for (int y = 0; y + 16 <= h; y += 16)
    for (int x = 0; x + 16 <= w; x += 16, ++blocks)
      for (int c = 0; c < 3; ++c) {
        const double d = std::abs(mean(a, ax + x, ay + y, 16, c) - mean(b, bx + x * n, by + y * n, 16 * n, c));
        total += d, most = std::max(most, d);
      }
  *worst = static_cast<int>(most);
  return total / (3.0 * blocks);
}

// A PNG read by libpng, as an Image.
Image ReadPng(const std::filesystem::path& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  Image img;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return img;
  png.format = PNG_FORMAT_RGBA;
  std::vector<std::uint32_t> rgba(PNG_IMAGE_SIZE(png) / 4);
  if (!png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr)) return img;
  img.width = static_cast<int>(png.width), img.height = static_cast<int>(png.height);
  img.pixels.assign(rgba.begin(), rgba.end());
  for (std::uint32_t& p : img.pixels) p &= 0xFFFFFF;  // R, G, B in memory order: the card's 0x00BBGGRR
  return img;
}

// Three times larger, Mary/Bob is 2688 x 2013 and, square by square, within 10
// of 255 of the card; a card in "pix" mode under the rule that draws per
// position, twice as large, too. Each takes exactly the draws of its small self.
TEST(Scale, ALargerCardIsTheSamePictureWithMorePixels) {
  for (const auto& [spec, scale] : {std::pair{CardSpec{"Mary", "Bob"}, 3},
                                    std::pair{CardSpec{"Bob", "Petra", 2017, "", 15, 0, EffectMode::kPix}, 2}}) {
    const Card small = MakeCard(spec);
    CardSpec larger = spec;
    larger.scale = scale;
    const Card large = MakeCard(larger);
    ASSERT_EQ(large.card.image().width, 896 * scale);
    ASSERT_EQ(large.card.image().height, 671 * scale);
    EXPECT_EQ(large.stats.total, small.stats.total) << spec.friend_name;
    EXPECT_EQ(large.stats.effect, small.stats.effect) << spec.friend_name;
    EXPECT_EQ(large.carry.rng.state(), small.carry.rng.state()) << spec.friend_name;
    int worst = 0;
    const double mean = BlockDifference(small.card.image(), 0, 0, large.card.image(), 0, 0, scale, 896, 671, &worst);
    EXPECT_LE(mean, 10) << spec.friend_name;
    std::printf("%s from %s at scale %d: %.2f of 255 in the mean, %d in the worst square\n", spec.friend_name.c_str(),
                spec.sender.c_str(), scale, mean, worst);
  }
}

// A batch drawn larger, or animated on two threads at once, holds the very files
// `card --scale` and `card --animate` write.
TEST(Scale, ABatchHoldsTheFilesOfItsCards) {
  const testing::TempDir dir;
  testing::WriteText(dir.path / "l.csv", "friend,sender,year\nAnn,Eve,2031\nMary,Bob,2017\nZoÃ«,Li,2030\n");
  testing::WriteText(dir.path / "one.csv", "friend,sender,year\nAnn,Eve,2031\n");
  ASSERT_EQ(testing::Cli(dir.path, "batch one.csv --out-dir d --scale 2 --jobs 1").status, 0);
  ASSERT_EQ(testing::Cli(dir.path, "card --friend Ann --sender Eve --year 2031 --scale 2 --out c.png").status, 0);
  EXPECT_TRUE(testing::ReadText(dir.path / "d" / "000001-Ann-Eve.png") == testing::ReadText(dir.path / "c.png"));
  ASSERT_EQ(testing::Cli(dir.path, "batch l.csv --out-dir m --animate gif --jobs 2").status, 0);
  ASSERT_EQ(testing::Cli(dir.path, "card --friend Mary --sender Bob --year 2017 --animate m.gif").status, 0);
  EXPECT_TRUE(testing::ReadText(dir.path / "m" / "000002-Mary-Bob.animated.gif") == testing::ReadText(dir.path / "m.gif"));
}

// An A6 card: one landscape page of 148 x 105 mm and 3 mm of bleed each way,
// which poppler reads; rendered, the trimmed page is the card standing on its
// foot, spanning its width. Crop marks widen the page by their margin.
TEST(Print, APdfPageThatHoldsTheCard) {
  const testing::TempDir dir;
  ASSERT_EQ(testing::Cli(dir.path, "card --friend Mary --sender Bob --year 2017 --out c.png").status, 0);
  ASSERT_EQ(testing::Cli(dir.path, "card --friend Mary --sender Bob --year 2017 --print a6 --out p.pdf").status, 0);
  ASSERT_EQ(testing::Cli(dir.path, "card --friend Mary --sender Bob --year 2017 --print a6 --crop-marks --out m.pdf").status, 0);
  const auto page_size = [&](const char* file) {
    const testing::Ran r = testing::Shell(dir.path, std::string("pdfinfo ") + file);
    EXPECT_NE(r.out.find("Pages:           1\n"), std::string::npos) << r.out;
    const std::size_t at = r.out.find("Page size:");
    return at == std::string::npos ? std::string() : r.out.substr(at, r.out.find('\n', at) - at);
  };
  EXPECT_EQ(page_size("p.pdf"), "Page size:       436.535 x 314.646 pts");  // 154 x 111 mm
  const PrintLayout marked = LayOutPrint(PaperSize::kA6, true);
  EXPECT_NEAR(marked.PageWidth(), 148 + 6 + 2 * marked.marks_margin, 1e-9);
  EXPECT_NE(page_size("m.pdf").find(std::to_string(static_cast<int>(marked.PageWidth() * 72 / 25.4))), std::string::npos);
  // At 896 pixels over the trimmed width: the trim 3 mm in, the card's top cut off.
  const double ppi = 896 / (148 / 25.4), bleed = 3 / 25.4 * ppi, cut = 671 - 105 / 25.4 * ppi;
  ASSERT_EQ(testing::Shell(dir.path, "pdftoppm -singlefile -png -r " + std::to_string(ppi) + " p.pdf r").status, 0);
  const Image card = ReadPng(dir.path / "c.png"), shown = ReadPng(dir.path / "r.png");
  ASSERT_NEAR(shown.width, (148 + 6) / 25.4 * ppi, 1);
  int worst = 0;
  const int top = static_cast<int>(std::ceil(cut)) + 16;
  const double mean = BlockDifference(card, 0, top, shown, static_cast<int>(std::lround(bleed)),
                                      static_cast<int>(std::lround(top - cut + bleed)), 1, 896, 671 - top, &worst);
  EXPECT_LE(mean, 10);
  // The same page of 5 x 7 inches as a PNG: 300 ppi over the page and its bleed.
  ASSERT_EQ(testing::Cli(dir.path, "card --friend Mary --sender Bob --print 5x7 --out s.png").status, 0);
  const Image png = ReadPng(dir.path / "s.png");
  EXPECT_EQ(std::pair(png.width, png.height), std::pair(2171, 1571));
  std::printf("the rendered page against the card: %.2f of 255 in the mean, %d in the worst square\n", mean, worst);
}

}  // namespace
}  // namespace mirelune
