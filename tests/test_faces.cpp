// The card's faces are files opened by path: no fontconfig setup changes a card,
// every script is drawn from the listed faces, a face file that cannot be used
// stops the card with its path and the reason, and the report names the faces.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "surface/digest.h"
#include "surface/surface.h"
#include "surface/text.h"
#include "test_mail_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

struct Ran {
  int status = -1;
  std::string out, err;
};

// The command line in `dir` with `env` before it (shell words), output kept.
Ran Cli(const fs::path& dir, const std::string& env, const std::string& args) {
  const int raw = std::system(("cd '" + dir.string() + "' && " + env + " MIRELUNE_ROOT=. timeout 60 '" MIRELUNE_CLI +
                               "' " + args + " >out 2>err")
                                  .c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir / "out"), ReadText(dir / "err")};
}

// SHA-256 of a 24-bit BMP's pixels as the golden digests take them: r, g, b, top row first.
std::string PixelDigest(const std::string& bmp) {
  if (bmp.size() < 54) return "not a BMP";
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at + 3])) << 24;
  };
  const std::size_t offset = u32(10), w = u32(18), h = u32(22), stride = (w * 3 + 3) / 4 * 4;
  if (bmp.size() < offset + stride * h) return "a short BMP";
  std::string rgb;
  for (std::size_t y = h; y-- > 0;)
    for (std::size_t x = 0; x < w; ++x) {
      const char* p = bmp.data() + offset + y * stride + x * 3;
      rgb += {p[2], p[1], p[0]};
    }
  return Sha256Hex(rgb.data(), rgb.size());
}

// The golden digest of Mary and Bob's finished card (its text stage).
std::string MaryAndBobDigest() {
  std::istringstream table(ReadText(fs::path(MIRELUNE_TEST_DIR) / "golden_digests.inc"));
  for (std::string line; std::getline(table, line);)
    if (line.find("// \"Mary\"/\"Bob\" max-styles 15 palette 0 line") != std::string::npos) {
      const std::size_t end = line.rfind("\"}}");
      return line.substr(end - 64, 64);
    }
  return "no such golden card";
}

bool PinnedFacesInstalled() { return PrepareFace(Typeface::kSans).empty() && PrepareFace(Typeface::kSerif).empty(); }

TEST(Faces, HostileFontconfigSetupsChangeNoCard) {
  if (!PinnedFacesInstalled()) GTEST_SKIP() << "the card's faces are not installed";
  TempDir dir;
  // Every family asked for becomes another face; the system's DejaVu Sans is
  // refused and the user's own folder offers its bold cut as "DejaVu Sans".
  WriteText(dir.path / "alias.conf",
            "<?xml version=\"1.0\"?>\n<fontconfig><dir>/usr/share/fonts</dir><match target=\"pattern\">"
            "<edit name=\"family\" mode=\"assign\" binding=\"strong\"><string>AR PL UMing CN</string></edit>"
            "</match></fontconfig>\n");
  fs::create_directories(dir.path / "home/.fonts");
  fs::create_directories(dir.path / "home/.config/fontconfig");
  fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", dir.path / "home/.fonts/DejaVuSans.ttf");
  fs::copy_file("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                dir.path / "home/.fonts/Times New Roman.ttf");
  WriteText(dir.path / "home/.config/fontconfig/fonts.conf",
            "<?xml version=\"1.0\"?>\n<fontconfig><selectfont><rejectfont>"
            "<glob>/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf</glob>"
            "<glob>/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf</glob>"
            "</rejectfont></selectfont></fontconfig>\n");
  const std::string home = "HOME=\"$PWD/home\" XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_CACHE_HOME=\"$PWD/cache\"";
  const struct {
    const char* setup;
    std::string env;
  } setups[] = {
      {"as installed", "HOME=\"$PWD\""},
      {"every family aliased", "FONTCONFIG_FILE=\"$PWD/alias.conf\" XDG_CACHE_HOME=\"$PWD/cache\""},
      {"the user's own DejaVu Sans", home},
      {"no fontconfig setup at all", "FONTCONFIG_FILE=/nonexistent/fonts.conf HOME=\"$PWD\""},
  };
  for (const auto& s : setups) {
    SCOPED_TRACE(s.setup);
    const Ran r = Cli(dir.path, s.env, "card --friend Mary --sender Bob --out card.bmp");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // fontconfig never starts, so not even its warnings
    EXPECT_EQ(PixelDigest(ReadText(dir.path / "card.bmp")), MaryAndBobDigest());
  }
}

TEST(Faces, EveryScriptIsDrawnFromTheListedFacesWithoutFontconfig) {
  const struct {
    const char* script;
    const char* name;
    const char* face;  // the face that draws the name, in the font folder
  } cases[] = {
      {"Cyrillic", "Наталья", "truetype/dejavu/DejaVuSans.ttf"},
      {"Greek", "Ελένη", "truetype/dejavu/DejaVuSans.ttf"},
      {"Arabic", "فاطمة", "truetype/dejavu/DejaVuSans.ttf"},
      {"Hebrew", "דוד", "truetype/dejavu/DejaVuSans.ttf"},
      {"Devanagari", "प्रिया", "truetype/noto/NotoSansDevanagari-Regular.ttf"},
      {"Thai", "สมชาย", "truetype/noto/NotoSansThai-Regular.ttf"},
      {"Chinese", "李小龙", "opentype/noto/NotoSansCJK-Regular.ttc"},
      {"Japanese", "さくら", "opentype/noto/NotoSansCJK-Regular.ttc"},
      {"Korean", "김민준", "opentype/noto/NotoSansCJK-Regular.ttc"},
      {"emoji", "\U0001F389\U0001F600\uFE0F", "truetype/noto/NotoColorEmoji.ttf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    if (!fs::exists(FontFolder() + "/" + c.face)) {
      std::printf("%s is not installed: %s not checked\n", c.face, c.script);
      continue;
    }
    const int lookups = FontconfigLookups();
    ForgetFacesUsed();
    Surface s(400, 40, 400, 40);
    DrawText(s, Typeface::kSans, 14, 0, 0, c.name, 0xFF0000);
    EXPECT_EQ(FontconfigLookups(), lookups);
    bool drawn_by_face = false;
    for (const PlacedGlyph& g : LayOutText(Typeface::kSans, 14, c.name)) {
      EXPECT_NE(g.glyph, 0u) << g.font_file;
      drawn_by_face = drawn_by_face || g.font_file == FontFolder() + "/" + c.face;
    }
    EXPECT_TRUE(drawn_by_face);
    for (const FaceUsed& f : FacesUsed()) EXPECT_EQ(f.note, "") << f.file;
  }
  // A character no listed face has (Runic) is fontconfig's to find, once, and
  // the face that draws it says so.
  if (ListedFaceHas(Typeface::kSans, U'\u16A0')) GTEST_SKIP() << "a listed face has Runic";
  const int lookups = FontconfigLookups();
  ForgetFacesUsed();
  Surface s(400, 40, 400, 40);
  DrawText(s, Typeface::kSans, 14, 0, 0, "A\u16A0\u16A0", 0xFF0000);
  EXPECT_EQ(FontconfigLookups(), lookups + 1);
  const std::vector<FaceUsed> used = FacesUsed();
  const auto noted = std::count_if(used.begin(), used.end(), [](const FaceUsed& f) {
    return f.note.find("drew U+16A0, which no listed face has") != std::string::npos;
  });
  EXPECT_EQ(noted, used.size() > 1 ? 1 : 0);  // 0 where no installed font has it: then a box
}

// A scratch font folder: the installed faces linked in, one of them replaced.
TEST(Faces, AFaceFileThatCannotBeUsedStopsTheCardWithItsPathAndTheReason) {
  if (!PinnedFacesInstalled()) GTEST_SKIP() << "the card's faces are not installed";
  TempDir dir;
  const fs::path fonts = dir.path / "fonts";
  const std::string sans = "truetype/dejavu/DejaVuSans.ttf", serif = "truetype/liberation/LiberationSerif-Regular.ttf";
  const std::string real = ReadText("/usr/share/fonts/" + sans);
  const struct {
    const char* what;
    std::string file;                      // which face file is broken
    std::function<void(const fs::path&)> make;  // makes it (after it is removed)
    std::string args, said;
  } cases[] = {
      {"missing", sans, [](const fs::path&) {}, "card --friend Mary --sender Bob --out c.png",
       "the font file " + (fonts / sans).string() + " is missing; install the package fonts-dejavu-core"},
      {"serif missing", serif, [](const fs::path&) {}, "style 8 --out s.png",
       "the font file " + (fonts / serif).string() + " is missing; install the package fonts-liberation"},
      {"serif missing, batch", serif, [](const fs::path&) {}, "batch list.csv --out-dir cards",
       "the font file " + (fonts / serif).string() + " is missing; install the package fonts-liberation"},
      {"dangling link", sans, [](const fs::path& p) { fs::create_symlink("/nonexistent.ttf", p); },
       "card --friend Mary --sender Bob --out c.png", (fonts / sans).string() + " is missing"},
      {"truncated", sans, [&](const fs::path& p) { WriteText(p, real.substr(0, real.size() / 2)); },
       "card --friend Mary --sender Bob --out c.png",
       "the font file " + (fonts / sans).string() + " is not a font FreeType can read (error "},
      {"not a font", sans, [](const fs::path& p) { WriteText(p, "<html>not found</html>\n"); },
       "card --friend Mary --sender Bob --out c.png", (fonts / sans).string() + " is not a font FreeType can read"},
      {"empty", sans, [](const fs::path& p) { WriteText(p, ""); }, "card --friend Mary --sender Bob --out c.png",
       "the font file " + (fonts / sans).string() + " is empty"},
      {"a folder", sans, [](const fs::path& p) { fs::create_directory(p); }, "card --friend Mary --sender Bob --out c.png",
       "the font file " + (fonts / sans).string() + " is not a regular file"},
      {"a FIFO", sans, [](const fs::path& p) { ::mkfifo(p.c_str(), 0600); }, "card --friend Mary --sender Bob --out c.png",
       "the font file " + (fonts / sans).string() + " is not a regular file"},
      {"unreadable", sans,
       [&](const fs::path& p) {
         WriteText(p, real);
         fs::permissions(p, fs::perms::none);
       },
       "card --friend Mary --sender Bob --out c.png",
       "cannot read the font file " + (fonts / sans).string() + ": Permission denied"},
  };
  WriteText(dir.path / "list.csv", "friend,sender\nMary,Bob\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what) == "unreadable" && ::geteuid() == 0) continue;  // root reads it anyway
    fs::remove_all(fonts);
    for (const std::string& f : {sans, serif}) {
      fs::create_directories((fonts / f).parent_path());
      fs::create_symlink("/usr/share/fonts/" + f, fonts / f);
    }
    fs::remove(fonts / c.file);
    c.make(fonts / c.file);
    const Ran r = Cli(dir.path, "MIRELUNE_FONT_DIR=\"$PWD/fonts\"", c.args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("mirelune-cli: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path / "c.png") || fs::exists(dir.path / "s.png") || fs::exists(dir.path / "cards"));
  }
  fs::remove_all(fonts);
}

TEST(Faces, TheReportNamesItsFacesAndLibrariesAndAgainSaysWhenTheyDiffer) {
  if (!PinnedFacesInstalled()) GTEST_SKIP() << "the card's faces are not installed";
  TempDir dir;
  const Ran made = Cli(dir.path, "", "card --friend Mary --sender Bob --out card.png --report -");
  ASSERT_EQ(made.status, 0) << made.err;
  const nlohmann::json report = nlohmann::json::parse(made.out);
  const auto sha = [](const std::string& file) {
    const std::string bytes = ReadText(file);
    return Sha256Hex(bytes.data(), bytes.size());
  };
  const std::string serif = "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf";
  const std::string sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  // Style 8 (the extruded letters) is among Mary and Bob's: both faces, in the order drawn.
  EXPECT_EQ(report["faces"], nlohmann::json::parse("[{\"file\": \"" + serif + "\", \"sha256\": \"" + sha(serif) +
                                                   "\"}, {\"file\": \"" + sans + "\", \"sha256\": \"" + sha(sans) + "\"}]"));
  EXPECT_EQ(report["libraries"]["freetype"], FreeTypeVersion());
  EXPECT_EQ(report["libraries"]["harfbuzz"], HarfBuzzVersion());

  // Made again: silent with the same faces; one note when a face file differs.
  fs::create_directories(dir.path / "fonts/truetype/dejavu");
  fs::create_directories(dir.path / "fonts/truetype/liberation");
  fs::create_symlink(serif, dir.path / "fonts/truetype/liberation/LiberationSerif-Regular.ttf");
  WriteText(dir.path / "fonts/truetype/dejavu/DejaVuSans.ttf", ReadText(sans) + std::string(4, '\0'));  // another build of it
  const struct {
    std::string env;
    std::size_t notes;
  } again[] = {{"", 0}, {"MIRELUNE_FONT_DIR=\"$PWD/fonts\"", 1}};
  for (const auto& a : again) {
    const Ran r = Cli(dir.path, a.env, "card --again card.png --out again.png");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string note = "may differ from this one: its faces were ";
    EXPECT_EQ(r.err.find(note) == std::string::npos ? 0u : 1u, a.notes) << r.err;
    EXPECT_EQ(r.err.find(note), r.err.rfind(note)) << "told twice: " << r.err;
    EXPECT_TRUE(fs::exists(dir.path / "again.png"));
    fs::remove(dir.path / "again.png");
  }
}

}  // namespace
}  // namespace mirelune
