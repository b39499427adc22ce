// The card painting itself (card --animate), read back by readers of its own:
// libwebp's animation decoder, giflib's DGifSlurp, libpng and a walk of the APNG chunks.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <webp/demux.h>
#include <zlib.h>

#include <cstdlib>

#include "test_util.h"

namespace mirelune {
namespace {

using testing::Cli;
using testing::ReadText;

const std::string kCard = "card --friend Mary --sender Bob --year 2017 --palette 7 ";

// A PNG's default image as R, G, B bytes.
std::vector<std::uint8_t> Rgb(const std::string& png) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, png.data(), png.size())) return {};
  img.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> out(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, out.data(), 0, nullptr)) return {};
  return out;
}

std::uint32_t Be32(const std::string& s, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

TEST(Motion, WebpAndApngAtFullSizeEndOnTheStillCard) {
  testing::TempDir dir;
  for (const char* name : {"a.webp", "a.png"})
    ASSERT_EQ(Cli(dir.path, kCard + "--out c.png --animate-width 896 --animate " + name).status, 0) << name;
  const std::vector<std::uint8_t> card = Rgb(ReadText(dir.path / "c.png"));
  ASSERT_EQ(card.size(), 896u * 671 * 3);

  const std::string webp = ReadText(dir.path / "a.webp");
  const WebPData data{reinterpret_cast<const std::uint8_t*>(webp.data()), webp.size()};
  WebPAnimDecoderOptions options;
  ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
  options.color_mode = MODE_RGBA;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  ASSERT_TRUE(decoder);
  WebPAnimInfo info;
  ASSERT_TRUE(WebPAnimDecoderGetInfo(decoder, &info));
  EXPECT_GE(info.frame_count, 24u);
  EXPECT_EQ(info.loop_count, 0u);
  std::uint8_t* rgba = nullptr;
  int ms = 0;
  while (WebPAnimDecoderHasMoreFrames(decoder)) ASSERT_TRUE(WebPAnimDecoderGetNext(decoder, &rgba, &ms));
  std::size_t same = 0;
  for (std::size_t k = 0; k < card.size(); ++k) same += rgba[k / 3 * 4 + k % 3] == card[k];
  EXPECT_EQ(same, card.size()) << "the last frame is the card";
  WebPAnimDecoderDelete(decoder);

  // The APNG: every chunk's checksum, acTL before the image data, its count of
  // frames, sequence numbers 0, 1, 2, ... over fcTL and fdAT, the default image the card.
  const std::string apng = ReadText(dir.path / "a.png");
  ASSERT_EQ(apng.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  long declared = -1, controls = 0, idat = 0;
  std::uint32_t sequence = 0;
  for (std::size_t at = 8; at + 12 <= apng.size();) {
    const std::uint32_t length = Be32(apng, at);
    const std::string type = apng.substr(at + 4, 4);
    ASSERT_LE(at + 12 + length, apng.size()) << type;
    EXPECT_EQ(Be32(apng, at + 8 + length),
              crc32(0, reinterpret_cast<const Bytef*>(apng.data() + at + 4), static_cast<uInt>(length + 4)))
        << type << " at " << at;
    if (type == "acTL") declared = idat ? -2 : Be32(apng, at + 8);
    if (type == "fcTL" || type == "fdAT") {
      EXPECT_EQ(Be32(apng, at + 8), sequence++) << type << " at " << at;
    }
    controls += type == "fcTL";
    idat += type == "IDAT";
    at += 12 + length;
  }
  EXPECT_GE(controls, 24);
  EXPECT_EQ(declared, controls);
  EXPECT_EQ(Rgb(apng), card);
}

TEST(Motion, GifOpensOnTheCardWithinItsSizeAndBadRequestsFail) {
  testing::TempDir dir;
  ASSERT_EQ(Cli(dir.path, kCard + "--animate a.gif").status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.path / "Mary-from-Bob.png")) << "no still card without --out";
  ASSERT_EQ(Cli(dir.path, kCard + "--out c.png").status, 0);
  EXPECT_LE(std::filesystem::file_size(dir.path / "a.gif"), 4u << 20);
  int error = 0;
  GifFileType* gif = DGifOpenFileName((dir.path / "a.gif").c_str(), &error);
  ASSERT_TRUE(gif) << GifErrorString(error);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  EXPECT_EQ(std::pair(gif->SWidth, gif->SHeight), std::pair(450, 337));
  EXPECT_GE(gif->ImageCount, 25);  // the card, then the painting
  int total_cs = 0;
  for (int k = 0; k < gif->ImageCount; ++k) {
    GraphicsControlBlock control;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &control), GIF_OK);
    total_cs += control.DelayTime;
  }
  EXPECT_TRUE(total_cs >= 100 + 300 + 200 && total_cs <= 100 + 600 + 200) << "card, 3-6 s painting, hold: " << total_cs;
  const SavedImage& first = gif->SavedImages[0];
  ASSERT_EQ(first.ImageDesc.Width * first.ImageDesc.Height, 450 * 337);
  const ColorMapObject* map = first.ImageDesc.ColorMap ? first.ImageDesc.ColorMap : gif->SColorMap;
  ASSERT_TRUE(map);
  // The first frame against the still card, block by block: 16 x 16 of the GIF's
  // pixels, and the card's pixels that fall on them.
  const std::vector<std::uint8_t> card = Rgb(ReadText(dir.path / "c.png"));
  ASSERT_EQ(card.size(), 896u * 671 * 3);
  constexpr int kAcross = (450 + 15) / 16, kDown = (337 + 15) / 16;
  std::vector<double> sums(2 * kAcross * kDown * 4);  // GIF then card: red, green, blue, count
  const auto add = [&](int which, int gx, int gy, const std::uint8_t* rgb) {
    double* s = &sums[((which * kDown + gy / 16) * kAcross + gx / 16) * 4];
    for (int c = 0; c < 3; ++c) s[c] += rgb[c];
    ++s[3];
  };
  for (int y = 0; y < 337; ++y)
    for (int x = 0; x < 450; ++x) {
      const GifColorType& c = map->Colors[first.RasterBits[y * 450 + x]];
      const std::uint8_t rgb[3] = {c.Red, c.Green, c.Blue};
      add(0, x, y, rgb);
    }
  for (int y = 0; y < 671; ++y)
    for (int x = 0; x < 896; ++x) add(1, x * 450 / 896, y * 337 / 671, &card[(y * 896 + x) * 3]);
  double worst = 0;
  for (int b = 0; b < kAcross * kDown; ++b)
    for (int c = 0; c < 3; ++c)
      worst = std::max(worst, std::abs(sums[b * 4 + c] / sums[b * 4 + 3] -
                                       sums[(kAcross * kDown + b) * 4 + c] / sums[(kAcross * kDown + b) * 4 + 3]));
  EXPECT_LE(worst, 30) << "the worst block's channel, of 255";
  DGifCloseFile(gif, &error);

  const std::string nowhere = (dir.path / "none" / "a.gif").string();
  EXPECT_EQ(Cli(dir.path, kCard + "--animate a.mp4").status, 2);
  EXPECT_EQ(Cli(dir.path, kCard + "--animate a.gif --animate-width 897").status, 2);
  const testing::Ran unwritable = Cli(dir.path, kCard + "--animate " + nowhere);
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find(nowhere), std::string::npos) << unwritable.err;
}

}  // namespace
}  // namespace mirelune
