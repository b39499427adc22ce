// Names in every script: distinct seeds, every glyph from a face that has it,
// right-to-left names in visual order, colour emoji.
#include <gtest/gtest.h>

#include <algorithm>

#include "card/card.h"
#include "surface/surface.h"
#include "surface/text.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::Fixture;

// The greeting's band after DrawCardText for these names.
Image Band(State& s, const std::string& friend_name, const std::string& own) {
  SetNamesAndSeed(s, friend_name, own);
  s.Picture4.SetBackColor(0);
  DrawCardText(s);
  const Image card = s.Picture4.GetImage();
  Image band{card.width, 30, {}};
  const int top = s.Picture4.PixelY(635);
  band.pixels.assign(card.pixels.begin() + top * card.width, card.pixels.begin() + (top + 30) * card.width);
  return band;
}

TEST(Names, EveryScriptIsDrawnFromAFaceThatHasItInVisualOrder) {
  struct Case {
    const char* script;
    const char *name, *other;  // the same number of characters
    bool rtl = false;
    bool same_seed = false;  // characters beyond the BMP all count as '?'
  } cases[] = {
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
  Fixture f;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    std::u32string name, other;
    DecodeUtf8(c.name, &name);
    DecodeUtf8(c.other, &other);
    ASSERT_EQ(name.size(), other.size());
    EXPECT_EQ(SeedFromNames(c.name, "Bob") == SeedFromNames(c.other, "Bob"), c.same_seed);
    EXPECT_NE(Band(*f, c.name, "Bob"), Band(*f, c.other, "Bob"));
    if (!std::all_of(name.begin(), name.end(), AnyFontHas)) {
      std::printf("no font installed for %s: glyphs not checked\n", c.script);
      continue;
    }
    // In the greeting, "dear " then the name: characters 5 .. 5 + length.
    const std::vector<PlacedGlyph> line = LayOutText("DejaVu Sans", 14, "dear " + std::string(c.name) + ", I wish");
    std::vector<std::size_t> clusters;
    for (const PlacedGlyph& g : line) {
      EXPECT_NE(g.glyph, 0u) << "missing glyph for character " << g.cluster << " from " << g.font_file;
      if (g.cluster >= 5 && g.cluster < 5 + name.size()) clusters.push_back(g.cluster);
    }
    // Left to right on the card, the name's characters come last to first when it is
    // written right to left; the words around it stay in reading order.
    EXPECT_TRUE(c.rtl ? std::is_sorted(clusters.rbegin(), clusters.rend()) : std::is_sorted(clusters.begin(), clusters.end()));
    EXPECT_EQ(line.front().cluster, 0u);
    EXPECT_EQ(line.back().cluster, 5 + name.size() + 7);
  }
}

TEST(Names, EmojiAreDrawnInTheirColoursAndControlCharactersNotAtAll) {
  Surface s(200, 40, 200, 40);
  s.SetBackColor(0xFFFFFF);
  s.ForeColor = 0xFF0000;  // blue: every blend of it with white has red == green
  s.FontSize = 14;
  s.Print("\xF0\x9F\x8E\x89");  // party popper
  int coloured = 0;
  for (std::uint32_t p : s.image().pixels) coloured += (p & 0xFF) != ((p >> 8) & 0xFF);
  if (AnyFontHas(U'\U0001F389')) {
    EXPECT_GT(coloured, 20);
  }
  Surface a(200, 40, 200, 40), b(200, 40, 200, 40);
  a.Print("AB");
  b.Print("A\t\x01\x7F" "B");
  EXPECT_EQ(a.image(), b.image());
}

}  // namespace
}  // namespace mirelune
