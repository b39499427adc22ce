// Golden digests: what cards and styles look like, pinned byte for byte. Each stage
// (strip, pass, effect, ornaments, text) is digested as it ends, so a failure names
// the first stage that changed. The cases reach every style, displacement rule and
// offset mode, both effect modes, fixed palettes and colour mode 0, the extreme
// style limits, empty and long names. A card that changes is a broken promise within
// a major version: to change cards on purpose, run scripts/regen-golden.sh and say why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "card/card.h"
#include "effects/effects.h"
#include "styles/styles.h"
#include "base/digest.h"
#include "test_util.h"

namespace mirelune {
namespace {

// SHA-256 of an image's pixels as the files hold them: r, g, b per pixel, row by row.
std::string Digest(const Image& img) {
  std::string bytes;
  for (std::uint32_t p : img.pixels) bytes += {char(p & 0xFF), char((p >> 8) & 0xFF), char((p >> 16) & 0xFF)};
  return Sha256Hex(bytes.data(), bytes.size());
}

const std::string kLong(100, 'w');  // the longest name allowed

// The cases: name pairs found to reach the rules, offset modes and styles noted.
const CardSpec kCases[] = {
    {"Luka", "Petra"}, {"Mary", "Mila"}, {"Bob", "Petra"}, {"Bob", "Alice"},  // rules 1 to 4
    {"Marko", "Bob"}, {"Ana", "Mila"}, {"Bob", "Jure"},  // rules 5 (offset mode 2), 6, 7 (offset mode 3)
    {"Mary", "Oskar"}, {"Mary", "Tea"}, {"Luka", "Jure"}, {"Mary", "Bob"},  // rules 8 to 11 (offset mode 3)
    {"Mary", "Alice"}, {"Marko", "Petra"},  // rules 12 and 13
    {"Kim", "Alice"},                       // a style overwrites the offset mode before the effect
    {"Mary", "Bob", 2017, "", 15, 0, EffectMode::kPix},    // pix: the reveal, rule 11
    {"Bob", "Petra", 2017, "", 15, 0, EffectMode::kPix},   // pix under rule 3, which draws per pixel
    {"Marko", "Bob", 2017, "", 15, 0, EffectMode::kPix},   // pix, offset mode 2
    {"Mary", "Bob", 2017, "", 15, 1}, {"Mary", "Bob", 2017, "", 15, 13}, {"Mary", "Bob", 2017, "", 15, 26},  // fixed palettes
    {"Mary", "Bob", 2017, "", 1}, {"Mary", "Bob", 2017, "", 24},  // one style at most, the highest style limit
    {"", ""}, {"Mary", ""}, {"", "Bob"},      // no names: no band, no greeting; no own name: no band
    {"mary", "Bob"},                          // case matters
    {"Zo\xc3\xab", "J\xc3\xbcrgen"},        // Windows-1252 letters beyond ASCII
    {kLong, kLong},                           // the longest names
    {"\xd0\x9d\xd0\xb0\xd1\x82\xd0\xb0\xd0\xbb\xd1\x8c\xd1\x8f",
     "\xd0\x94\xd0\xbc\xd0\xb8\xd1\x82\xd1\x80\xd0\xb8\xd0\xb9"},  // Cyrillic: seeded by code point, shaped
    {"Ana\tMarija", "Bob"},                   // a control character in a name
};

// One stage's digest per stage name, in the order they run.
using StageDigests = std::vector<std::pair<std::string, std::string>>;

// Each stage called with its inputs, in the order MakeCard calls them; the
// whole card MakeCard makes must be the last stage's.
StageDigests MakeAndDigest(const CardSpec& c) {
  StageDigests out;
  Generator g;
  SeedGenerator(g, SeedFromNames(c.friend_name, c.sender));
  Surface strip = NewStrip(), canvas = NewCanvas(), card = NewCanvas();
  DrawPaletteStrip(strip, c.palette, g);
  out.emplace_back("strip", Digest(strip.image()));
  Fonts fonts(FontFolder());
  PassOutput pass = RunGenerationPass(canvas, strip, c.max_styles, g, fonts);
  out.emplace_back("pass", Digest(canvas.image()));
  EffectBuffers buffers;
  EffectCarry distances;
  const Image picture = canvas.Snapshot();
  EXPECT_TRUE(ApplyDisplacementEffect({picture, canvas, card}, pass.effect, pass.effect_offset_mode, c.mode,
                                      distances, g, buffers, {}, SimdLevel::kScalar));
  out.emplace_back("effect", Digest(card.image()));
  DrawOrnamentTree(card, canvas, pass.effect, g);
  out.emplace_back("ornaments", Digest(card.image()));
  DrawGreeting(card, {c.friend_name, c.sender, c.year, c.wish}, fonts);
  out.emplace_back("text", Digest(card.image()));
  const Card whole = MakeCard(c);
  EXPECT_EQ(Digest(whole.card.image()), out.back().second) << "MakeCard differs from its stages";
  EXPECT_EQ(whole.stats.total, g.draws() - 1);  // all but the reset's own draw
  return out;
}

std::string CaseName(const CardSpec& c) {
  const auto cut = [](const std::string& n) { return "\"" + (n.size() > 12 ? n.substr(0, 8) + "..." : n) + "\""; };
  return cut(c.friend_name) + "/" + cut(c.sender) + " max-styles " + std::to_string(c.max_styles) + " palette " +
         std::to_string(c.palette) + (c.mode == EffectMode::kPix ? " pix" : " line");
}

struct GoldenCard { const char* stage[5]; };  // strip, pass, effect, ornaments, text
struct GoldenStyle { int style; const char* digest; };

#include "golden_digests.inc"

constexpr double kStyleSeed(int style) { return 2000 + style; }

// MIRELUNE_GOLDEN_WRITE=FILE writes the table anew instead of checking it.
const char* WritePath() { return std::getenv("MIRELUNE_GOLDEN_WRITE"); }

TEST(Golden, CardsKeepTheirPixelsStageByStage) {
  Fonts fonts(FontFolder());
  ASSERT_TRUE(WritePath() || std::size(kGoldenCards) == std::size(kCases))
      << "the table is out of date: run scripts/regen-golden.sh";
  std::ostringstream table;
  table << "// Made by scripts/regen-golden.sh: SHA-256 of each stage of each case in test_golden.cpp.\n"
           "const GoldenCard kGoldenCards[] = {\n";
  for (std::size_t k = 0; k < std::size(kCases); ++k) {
    const StageDigests got = MakeAndDigest(kCases[k]);
    ASSERT_EQ(got.size(), 5u);
    table << "    {{";
    for (std::size_t st = 0; st < got.size(); ++st) table << (st ? ", " : "") << "\"" << got[st].second << "\"";
    table << "}},  // " << CaseName(kCases[k]) << "\n";
    for (std::size_t st = 0; st < got.size() && !WritePath(); ++st)
      if (got[st].second != kGoldenCards[k].stage[st]) {
        ADD_FAILURE() << "case " << k << " (" << CaseName(kCases[k]) << "): the " << got[st].first
                      << " stage is the first to differ";
        break;
      }
  }
  if (!WritePath()) return;
  table << "};\n\n// SHA-256 of each style alone (mirelune-cli style N --seed 2000+N).\n"
           "const GoldenStyle kGoldenStyles[] = {\n";
  for (int style = 1; style <= kStyleCount; ++style) {
    table << "    {" << style << ", \"" << Digest(PaintStyleAlone(style, kStyleSeed(style), fonts).image()) << "\"},  // " << kStyles[style - 1].name
          << "\n";
  }
  table << "};\n";
  std::ofstream(WritePath()) << table.str();
}

TEST(Golden, EachStyleAloneKeepsItsPixels) {
  Fonts fonts(FontFolder());
  if (WritePath()) GTEST_SKIP() << "writing the table";
  ASSERT_EQ(std::size(kGoldenStyles), static_cast<std::size_t>(kStyleCount));
  for (const GoldenStyle& g : kGoldenStyles) {
    EXPECT_EQ(Digest(PaintStyleAlone(g.style, kStyleSeed(g.style), fonts).image()), g.digest) << "style " << g.style << " " << kStyles[g.style - 1].name;
  }
}

// A batch paints each card in the rasters of the one before: the cards must be
// those made fresh, whatever the memory last held (a pix card's colour store, a
// card twice as large), and the memory must really be reused.
TEST(Golden, CardsMadeInAFinishedCardsMemoryAreTheCardsMadeFresh) {
  Fonts fonts(FontFolder());
  CardMemory memory;
  const CardSpec pix{"Bob", "Petra", 2017, "", 15, 0, EffectMode::kPix};
  const CardSpec large{"Mary", "Bob", 2017, "", 15, 0, EffectMode::kLine, 2};
  for (const CardSpec& c : {kCases[10], pix, kCases[0], large, kCases[10], pix}) {
    SCOPED_TRACE(CaseName(c) + " scale " + std::to_string(c.scale));
    std::vector<const std::uint32_t*> kept;
    for (const PixelBuffer& p : memory.rasters) kept.push_back(p.data());
    Card reused = MakeCard(c, {}, fonts, memory);
    const Card fresh = MakeCard(c, {}, fonts);
    EXPECT_TRUE(reused.card.image() == fresh.card.image());
    EXPECT_TRUE(reused.plain_picture == fresh.plain_picture);
    EXPECT_TRUE(reused.carry.canvas.image() == fresh.carry.canvas.image());
    EXPECT_EQ(reused.stats.total, fresh.stats.total);
    EXPECT_TRUE(memory.rasters.empty());
    if (!kept.empty() && c.scale == 1) {  // no larger than the last: painted in its memory
      EXPECT_NE(std::find(kept.begin(), kept.end(), reused.card.image().pixels.data()), kept.end());
    }
    memory.Keep(std::move(reused));
    EXPECT_EQ(memory.rasters.size(), 3u);  // the card, its plain picture and its canvas
  }
}

}  // namespace
}  // namespace mirelune
