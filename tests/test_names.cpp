// Names in every script: distinct seeds, every glyph from a listed face that has
// it (fontconfig never asked), right-to-left names in visual order, colour emoji.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "base/utf8.h"
#include "card/card.h"
#include "raster/surface.h"
#include "text/text.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::TempDir;
using testing::WriteText;

// The greeting's band after DrawGreeting for these names.
Image Band(Fonts& fonts, const std::string& friend_name, const std::string& own) {
  Surface s = NewCanvas();
  s.SetBackground(0);
  DrawGreeting(s, {friend_name, own, 2017, ""}, fonts);
  const Image& card = s.image();
  const auto top = card.pixels.begin() + s.PixelY(635) * card.width;
  return Image{card.width, 30, {top, top + 30 * card.width}};
}

TEST(Names, EveryScriptIsDrawnFromAFaceThatHasItInVisualOrder) {
  Fonts fonts(FontFolder());
  // name, other: the same number of characters; same_seed: characters beyond the BMP all count as '?'.
  const struct { const char *script, *name, *other; bool rtl = false, same_seed = false; } cases[] = {
      {"Latin", "Łukasz", "Dvořák"},
      {"Cyrillic", "Наталья", "Татьяна"},
      {"Greek", "Ελένη", "Μαρία"},
      {"Hebrew", "דוד 3", "שרה 5", true},  // the number sits left of the name
      {"Arabic", "فاطمة", "خديجة", true},
      {"Devanagari", "प्रिया", "अर्जुन"},
      {"Thai", "สมชาย", "สมศรี"},
      {"Chinese", "李小龙", "王芳华"},
      {"Japanese", "さくら", "ひなた"},
      {"Korean", "김민준", "이서연"},
      {"emoji", "Anna 🎉", "Anna 😀", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const int lookups = fonts.FontconfigLookups();
    std::u32string name, other;
    DecodeUtf8(c.name, &name), DecodeUtf8(c.other, &other);
    ASSERT_EQ(name.size(), other.size());
    EXPECT_EQ(SeedFromNames(c.name, "Bob") == SeedFromNames(c.other, "Bob"), c.same_seed);
    EXPECT_NE(Band(fonts, c.name, "Bob"), Band(fonts, c.other, "Bob"));
    if (!std::all_of(name.begin(), name.end(), [&](char32_t c) { return fonts.ListedFaceHas(Typeface::kSans, c); })) {
      // Where every recommended face package is installed (as in CI), no script may be missing.
      EXPECT_FALSE(std::filesystem::exists("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc") &&
                   std::filesystem::exists("/usr/share/fonts/truetype/noto/NotoSansThai-Regular.ttf"));
      std::printf("the faces for %s are not installed: glyphs not checked\n", c.script);
      continue;
    }
    // In the greeting, "dear " then the name: characters 5 .. 5 + length.
    const std::vector<PlacedGlyph> line = LayOutText(fonts, Typeface::kSans, 14, "dear " + std::string(c.name) + ", I wish");
    std::vector<std::size_t> clusters;
    for (const PlacedGlyph& g : line) {
      EXPECT_NE(g.glyph, 0u) << "missing glyph for character " << g.cluster << " from " << g.font_file;
      if (g.cluster >= 5 && g.cluster < 5 + name.size()) clusters.push_back(g.cluster);
    }
    // Left to right on the card, the name's characters come last to first when it is
    // written right to left; the words around it stay in reading order.
    EXPECT_TRUE(c.rtl ? std::is_sorted(clusters.rbegin(), clusters.rend()) : std::is_sorted(clusters.begin(), clusters.end()));
    EXPECT_EQ(std::pair(line.front().cluster, line.back().cluster), std::pair(std::size_t{0}, 5 + name.size() + 7));
    EXPECT_EQ(fonts.FontconfigLookups(), lookups) << "the listed faces have every character, yet fontconfig was asked";
  }
}

TEST(Names, EmojiAreDrawnInTheirColoursAndControlCharactersNotAtAll) {
  Fonts fonts(FontFolder());
  Surface s(200, 40, 200, 40);
  s.SetBackground(0xFFFFFF);
  s.pen_colour = 0xFF0000, s.font_points = 14;  // blue: every blend of it with white has red == green
  PrintText(fonts, s, "\xF0\x9F\x8E\x89");  // party popper
  int coloured = 0;
  for (std::uint32_t p : s.image().pixels) coloured += (p & 0xFF) != ((p >> 8) & 0xFF);
  EXPECT_GT(coloured, fonts.ListedFaceHas(Typeface::kSans, U'\U0001F389') ? 20 : -1);
  Surface a(200, 40, 200, 40), b(200, 40, 200, 40);
  PrintText(fonts, a, "AB");
  PrintText(fonts, b, "A\t\x01\x7F" "B");
  EXPECT_EQ(a.image(), b.image());
}

// Phones put U+FE0F ("show as emoji") after many emoji; with joiners, skin tones,
// flags and keycaps these are the sequences real names carry. Each is drawn in a
// card and in a batch, and a selector or joiner never draws anything of its own.
struct EmojiCase { const char *what, *text, *same_as = nullptr; };  // same_as: a twin with the same pixels
const EmojiCase kEmoji[] = {
    {"selector alone", "\uFE0F", ""},
    {"smiley + selector", "\U0001F600\uFE0F"},
    {"heart + selector", "\u2764\uFE0F"},
    {"text selector", "\u2764\uFE0E"},
    {"family of four (ZWJ)", "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"},
    {"joiner alone", "\u200D", ""},
    {"trailing joiner", "Ann\u200D"},
    {"flag", "\U0001F1F8\U0001F1EE"},
    {"lone regional indicator", "\U0001F1F8"},
    {"keycap", "1\uFE0F\u20E3"},
    {"skin tone", "\U0001F44B\U0001F3FD"},
    {"skin tone alone", "\U0001F3FD"},
    {"rainbow flag", "\U0001F3F3\uFE0F\u200D\U0001F308"},
    {"tag sequence", "\U0001F3F4\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F"},
    {"combining marks", "e\u0301\u0302\u0303\u0304\u0305"},
    {"marks alone", "\u0301\u0302"},
    {"Arabic + selector", "\u0641\uFE0F\u0627"},
};

TEST(Names, EmojiSequencesAreDrawnAndSelectorsDrawNothingOfTheirOwn) {
  Fonts fonts(FontFolder());
  for (const EmojiCase& c : kEmoji) {
    SCOPED_TRACE(c.what);
    const Image band = Band(fonts, c.text, "Bob");
    EXPECT_EQ(band, c.same_as ? Band(fonts, c.same_as, "Bob") : band);
    // As the sender's name too: the greeting's last piece.
    Band(fonts, "Mary", std::string("Bob ") + c.text);
  }
  // Every emoji of the common block followed by the selector, in one line at
  // several sizes: colour glyphs scaled down and up, blank glyphs among them.
  std::string all;
  for (char32_t e = 0x1F300; e <= 0x1F64F; ++e) all += EncodeUtf8(e) + "\uFE0F";
  Surface s(300, 60, 300, 60);
  for (double points : {1.0, 14.0, 90.0}) DrawText(fonts, s, Typeface::kSans, points, 0, 0, all, 0xFF0000);
}

TEST(Names, EmojiNamesMakeCardsAndBatches) {
  TempDir dir;
  std::string csv = "friend,sender\n";
  for (const EmojiCase& c : kEmoji) csv += std::string("\"") + c.text + "\",Bob\n";
  WriteText(dir.path / "list.csv", csv);
  EXPECT_EQ(testing::Cli(dir.path, "card --friend '\U0001F600\uFE0F' --sender Bob --out one.png").status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir.path / "one.png"));
  EXPECT_EQ(testing::Cli(dir.path, "batch list.csv --out-dir cards --jobs 2").status, 0);
  std::size_t cards = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path / "cards"))
    cards += e.path().extension() == ".png";
  EXPECT_EQ(cards, std::size(kEmoji));
}


// Where ink lies on a black canvas after DrawGreeting: neither black nor the band.
struct Ink {
  int right = -1, top = 1 << 30;
};
Ink InkOf(Fonts& fonts, const Greeting& g) {
  Surface s = NewCanvas();
  s.SetBackground(0);
  DrawGreeting(s, g, fonts);
  const Image& card = s.image();
  std::map<Colour, int> counts;  // the band: the commonest colour but black
  for (const Colour c : card.pixels) counts[c] += c != 0;
  const Colour band = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
  Ink ink;
  for (int y = 0; y < card.height; ++y)
    for (int x = 0; x < card.width; ++x)
      if (const Colour c = card.pixels[static_cast<std::size_t>(y) * card.width + x]; c != 0 && c != band)
        ink.right = std::max(ink.right, x), ink.top = std::min(ink.top, y);
  return ink;
}

// A greeting wider than the card shrinks, then wraps, so that the last word, the
// web address, always shows; one that fits keeps its size and its single line.
TEST(Greeting, EveryGreetingFitsItsBandAndOnlyLongOnesChange) {
  Fonts fonts(FontFolder());
  const int width = NewCanvas().image().width;
  const Greeting mary{"Mary", "Bob", 2027}, long_names{"Alexandra Papadopoulou", "Konstantinos Georgiou", 2027};
  const Greeting long_wish{"Mary", "Bob", 2027, "Möge das neue Jahr dir Licht, Ruhe und viele gute Bücher bringen, "
                                                 "und dazu noch ein wenig Schnee im Garten"};
  const Greeting one_word{std::string(100, 'w'), std::string(100, 'm'), 2027};
  const GreetingFit fit_mary = FitGreeting(mary, fonts), fit_long = FitGreeting(long_names, fonts);
  EXPECT_EQ(fit_mary.points, 14);
  EXPECT_EQ(fit_mary.lines.size(), 1u);
  EXPECT_LT(fit_long.points, 14);
  EXPECT_GE(fit_long.points, 10);
  EXPECT_EQ(fit_long.lines.size(), 1u);
  const GreetingFit fit_wish = FitGreeting(long_wish, fonts), fit_word = FitGreeting(one_word, fonts);
  EXPECT_EQ(fit_wish.points, 10);
  EXPECT_EQ(fit_wish.lines.size(), 2u);
  EXPECT_NE(fit_wish.lines.back().find("mirelune.art"), std::string::npos) << fit_wish.lines.back();
  EXPECT_LE(fit_word.lines.size(), 6u);
  EXPECT_NE(fit_word.lines.back().find("mirelune.art"), std::string::npos);
  const Ink ink_mary = InkOf(fonts, mary), ink_long = InkOf(fonts, long_names), ink_wish = InkOf(fonts, long_wish);
  for (const Ink& ink : {ink_mary, ink_long, ink_wish, InkOf(fonts, one_word)}) {
    EXPECT_GT(ink.right, 0);
    EXPECT_LE(ink.right, width - 1 - 6) << "the text reaches the card's right edge";
  }
  EXPECT_EQ(ink_long.top, ink_mary.top + 1) << "a smaller single line sits in the middle of the same band";
  EXPECT_LT(ink_wish.top, ink_mary.top - 10) << "two lines need a taller band";
}

}  // namespace
}  // namespace mirelune
