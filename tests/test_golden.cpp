// Golden digests: what cards and styles look like, pinned byte for byte.
//
// Every case below is made in-process and each stage (strip, pass, effect,
// ornaments, text) is digested as it ends, so a failure names the first stage
// that changed. Together the cases reach every style, every displacement rule,
// every offset mode, both effect modes, fixed palettes and colour mode 0, the
// extreme style limits, empty names and long names.
//
// A card that changes is a broken promise within a major version. To change
// cards on purpose, run scripts/regen-golden.sh and say why in the commit.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "card/card.h"
#include "commands/commands.h"
#include "styles/styles.h"
#include "test_util.h"

namespace mirelune {
namespace {

// SHA-256 of an image's pixels as the files hold them: r, g, b per pixel, row by row.
std::string Digest(const Image& img) {
  std::string bytes;
  bytes.reserve(img.pixels.size() * 3);
  for (std::uint32_t p : img.pixels) {
    bytes.push_back(static_cast<char>(p & 0xFF));
    bytes.push_back(static_cast<char>((p >> 8) & 0xFF));
    bytes.push_back(static_cast<char>((p >> 16) & 0xFF));
  }
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha256(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned k = 0; k < len; ++k) {
    out.push_back(hex[md[k] >> 4]);
    out.push_back(hex[md[k] & 15]);
  }
  return out;
}

const std::string kLong(100, 'w');  // the longest name allowed

// The cases: name pairs found to reach the rules, offset modes and styles noted.
const CardSettings kCases[] = {
    {"Luka", "Petra"},                   // rule 1
    {"Mary", "Mila"},                    // rule 2
    {"Bob", "Petra"},                    // rule 3
    {"Bob", "Alice"},                    // rule 4
    {"Marko", "Bob"},                    // rule 5, offset mode 2
    {"Ana", "Mila"},                     // rule 6
    {"Bob", "Jure"},                     // rule 7, offset mode 3
    {"Mary", "Oskar"},                   // rule 8
    {"Mary", "Tea"},                     // rule 9
    {"Luka", "Jure"},                    // rule 10
    {"Mary", "Bob"},                     // rule 11, offset mode 3
    {"Mary", "Alice"},                   // rule 12
    {"Marko", "Petra"},                  // rule 13
    {"Kim", "Alice"},                    // a style overwrites the offset mode before the effect
    {"Mary", "Bob", 15, 0, true},        // pix: the reveal, rule 11
    {"Bob", "Petra", 15, 0, true},       // pix under rule 3, which draws per pixel
    {"Marko", "Bob", 15, 0, true},       // pix, offset mode 2
    {"Mary", "Bob", 15, 1},              // fixed palettes: the first, ...
    {"Mary", "Bob", 15, 13},
    {"Mary", "Bob", 15, 26},             // ... and the last
    {"Mary", "Bob", 1},                  // one style at most
    {"Mary", "Bob", 24},                 // the highest style limit
    {"", ""},                            // no names: no band, no greeting
    {"Mary", ""},                        // no own name: no band
    {"", "Bob"},
    {"mary", "Bob"},                     // case matters
    {"Zo\xc3\xab", "J\xc3\xbcrgen"},     // Windows-1252 letters beyond ASCII
    {kLong, kLong},                      // the longest names
    {"\xd0\x9d\xd0\xb0\xd1\x82\xd0\xb0\xd0\xbb\xd1\x8c\xd1\x8f",
     "\xd0\x94\xd0\xbc\xd0\xb8\xd1\x82\xd1\x80\xd0\xb8\xd0\xb9"},  // Cyrillic: seeded by code point, shaped
    {"Ana\tMarija", "Bob"},             // a control character in a name
};

// One stage's digest per stage name, in the order they run.
using StageDigests = std::vector<std::pair<std::string, std::string>>;

StageDigests MakeAndDigest(const CardSettings& c) {
  testing::Fixture f;
  StageDigests out;
  MakeCardFromNames(*f, c, [&](CardStage stage, const State& s) {
    const Image& img = stage == CardStage::kStrip  ? s.Picture3.image()
                       : stage == CardStage::kPass ? s.Picture6.image()
                                                   : s.Picture4.image();
    out.emplace_back(StageName(stage), Digest(img));
  });
  return out;
}

std::string CaseName(const CardSettings& c) {
  std::ostringstream o;
  o << "\"" << (c.friend_name.size() > 12 ? c.friend_name.substr(0, 8) + "..." : c.friend_name) << "\"/\""
    << (c.sender.size() > 12 ? c.sender.substr(0, 8) + "..." : c.sender) << "\" max-styles " << c.max_styles
    << " palette " << c.palette << (c.pix ? " pix" : " line");
  return o.str();
}

struct GoldenCard {
  const char* stage[5];  // strip, pass, effect, ornaments, text
};
struct GoldenStyle {
  int style;
  const char* digest;
};

#include "golden_digests.inc"

constexpr double kStyleSeed(int style) { return 2000 + style; }

// MIRELUNE_GOLDEN_WRITE=FILE writes the table anew instead of checking it.
const char* WritePath() { return std::getenv("MIRELUNE_GOLDEN_WRITE"); }

TEST(Golden, CardsKeepTheirPixelsStageByStage) {
  constexpr std::size_t n = std::size(kCases);
  std::ostringstream table;
  table << "// Made by scripts/regen-golden.sh: SHA-256 of each stage of each case in test_golden.cpp.\n"
           "const GoldenCard kGoldenCards[] = {\n";
  for (std::size_t k = 0; k < n; ++k) {
    const StageDigests got = MakeAndDigest(kCases[k]);
    ASSERT_EQ(got.size(), 5u);
    if (WritePath()) {
      table << "    {{";
      for (std::size_t st = 0; st < got.size(); ++st) table << (st ? ", " : "") << "\"" << got[st].second << "\"";
      table << "}},  // " << CaseName(kCases[k]) << "\n";
      continue;
    }
    ASSERT_EQ(std::size(kGoldenCards), n) << "the table is out of date: run scripts/regen-golden.sh";
    for (std::size_t st = 0; st < got.size(); ++st)
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
    testing::Fixture f;
    PaintStyleAlone(*f, style, kStyleSeed(style));
    table << "    {" << style << ", \"" << Digest(f->Picture1.image()) << "\"},  // " << kStyles[style - 1].name
          << "\n";
  }
  table << "};\n";
  std::ofstream(WritePath()) << table.str();
}

TEST(Golden, EachStyleAloneKeepsItsPixels) {
  if (WritePath()) GTEST_SKIP() << "writing the table";
  ASSERT_EQ(std::size(kGoldenStyles), static_cast<std::size_t>(kStyleCount));
  for (const GoldenStyle& g : kGoldenStyles) {
    testing::Fixture f;
    PaintStyleAlone(*f, g.style, kStyleSeed(g.style));
    EXPECT_EQ(Digest(f->Picture1.image()), g.digest) << "style " << g.style << " " << kStyles[g.style - 1].name;
  }
}

}  // namespace
}  // namespace mirelune
