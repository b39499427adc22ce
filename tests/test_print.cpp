// Cards drawn larger for print: the same draws and the same picture with more
// pixels, the density and scale recorded, and made again from the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "card/card.h"
#include "test_util.h"

namespace mirelune {
namespace {

// The larger card and the card, each averaged over the squares that stand for
// 16 x 16 pixels of the card: per channel, the mean absolute difference of the
// squares' averages (the worst square's goes to `worst`).
double BlockDifference(const Image& small, const Image& large, int* worst) {
  const int n = large.width / small.width;
  const auto mean = [](const Image& img, int x0, int y0, int side, int c) {
    long sum = 0;
    for (int y = y0; y < y0 + side; ++y)
      for (int x = x0; x < x0 + side; ++x) sum += (img.at(x, y) >> (8 * c)) & 0xFF;
    return static_cast<double>(sum) / (side * side);
  };
  double total = 0, most = 0;
  int blocks = 0;
  for (int by = 0; by + 16 <= small.height; by += 16)
    for (int bx = 0; bx + 16 <= small.width; bx += 16, ++blocks)
      for (int c = 0; c < 3; ++c) {
        const double d = std::abs(mean(small, bx, by, 16, c) - mean(large, bx * n, by * n, 16 * n, c));
        total += d, most = std::max(most, d);
      }
  *worst = static_cast<int>(most);
  return total / (3.0 * blocks);
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
    const double mean = BlockDifference(small.card.image(), large.card.image(), &worst);
    EXPECT_LE(mean, 10) << spec.friend_name;
    std::printf("%s from %s at scale %d: %.2f of 255 in the mean, %d in the worst square\n", spec.friend_name.c_str(),
                spec.sender.c_str(), scale, mean, worst);
  }
}

}  // namespace
}  // namespace mirelune
