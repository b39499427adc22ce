// The card's faces are files opened by path: no fontconfig setup changes a card,
// every script is drawn from the listed faces, a face file that cannot be used
// stops the card with its path and the reason, and the report names the faces.
// Each Fonts value is its own: two draw at once, and a record is one card's.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "base/digest.h"
#include "commands/card_report.h"
#include "commands/commands.h"
#include "raster/surface.h"
#include "text/text.h"
#include "test_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

const std::string kSans = "truetype/dejavu/DejaVuSans.ttf", kSerif = "truetype/liberation/LiberationSerif-Regular.ttf";

// The command line in `dir` under the environment `env` (shell words).
testing::Ran Cli(const fs::path& dir, const std::string& env, const std::string& args) {
  return testing::Shell(dir, "env " + env + " '" MIRELUNE_CLI "' " + args);
}

bool FacesInstalled() {
  Fonts fonts(FontFolder());
  return fonts.PrepareFace(Typeface::kSans) && fonts.PrepareFace(Typeface::kSerif);
}

// The files of the record's faces, with their notes.
std::vector<std::string> Files(const TextRecord& r) {
  std::vector<std::string> files;
  for (const FaceUsed& f : r.faces) files.push_back(f.file + " " + std::to_string(f.index) + " " + f.note);
  return files;
}

TEST(Faces, HostileFontconfigSetupsChangeNoCard) {
  if (!FacesInstalled()) GTEST_SKIP() << "the card's faces are not installed";
  // The golden digest of Mary and Bob's finished card: the last of its line.
  const std::string table = ReadText(fs::path(MIRELUNE_TEST_DIR) / "golden_digests.inc");
  const std::string golden = table.substr(table.find("\"}},  // \"Mary\"/\"Bob\" max-styles 15 palette 0 line") - 64, 64);
  TempDir dir;
  // Every family asked for becomes another face; or the system's faces are refused
  // and the user's own folder offers DejaVu's bold cut and Liberation Sans in their place.
  WriteText(dir.path / "alias.conf", "<fontconfig><dir>/usr/share/fonts</dir><match><edit name=\"family\" mode=\"assign\" "
                                     "binding=\"strong\"><string>AR PL UMing CN</string></edit></match></fontconfig>");
  for (const char* sub : {"home/.fonts", "home/.config/fontconfig"}) fs::create_directories(dir.path / sub);
  fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", dir.path / "home/.fonts/DejaVuSans.ttf");
  fs::copy_file("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf", dir.path / "home/.fonts/times.ttf");
  WriteText(dir.path / "home/.config/fontconfig/fonts.conf",
            "<fontconfig><selectfont><rejectfont><glob>/usr/share/fonts/" + kSans + "</glob><glob>/usr/share/fonts/" +
                kSerif + "</glob></rejectfont></selectfont></fontconfig>");
  for (const std::string env : {"HOME=\"$PWD\"", "FONTCONFIG_FILE=\"$PWD/alias.conf\" XDG_CACHE_HOME=\"$PWD/cache\"",
                                "HOME=\"$PWD/home\" XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_CACHE_HOME=\"$PWD/cache\"",
                                "FONTCONFIG_FILE=/nonexistent/fonts.conf HOME=\"$PWD\""}) {
    const testing::Ran r = Cli(dir.path, env, "card --friend Mary --sender Bob --year 2017 --out card.bmp");
    EXPECT_EQ(r.status, 0) << env;
    EXPECT_EQ(r.err, "") << env;  // fontconfig never starts: not even its warnings
    // The pixels' digest as the golden digests take it, read by tests/picture_facts.py.
    const testing::Ran facts = testing::Shell(dir.path, "python3 '" MIRELUNE_TEST_DIR "/picture_facts.py' card.bmp");
    EXPECT_NE(facts.out.find(golden), std::string::npos) << env << facts.err;
  }
}

// Every script of the names tests is drawn without fontconfig (test_names.cpp); a
// character no listed face has (Runic) is fontconfig's to find, once, and the face
// that draws it says so (where no installed font has it, a box: no such face),
// in the next card too, which asks fontconfig no more.
TEST(Faces, ACharacterNoListedFaceHasIsFontconfigsAndItsFaceSaysSo) {
  Fonts fonts(FontFolder());
  if (fonts.ListedFaceHas(Typeface::kSans, U'\u16A0')) GTEST_SKIP() << "a listed face has Runic";
  fonts.TakeRecord();
  Surface s(400, 40, 400, 40);
  for (const char* text : {"A\u16A0\u16A0", "\u16A0"}) {
    DrawText(fonts, s, Typeface::kSans, 14, 0, 0, text, 0xFF0000);
    const std::vector<FaceUsed> used = fonts.TakeRecord().faces;
    EXPECT_EQ(fonts.FontconfigLookups(), 1);
    for (const FaceUsed& f : used)  // fontconfig's face, unless a box was drawn in the typeface's own
      EXPECT_EQ(f.note.find("drew U+16A0, which no listed face has") == 0, f.file != FontFolder() + "/" + kSans);
  }
}

// A problem is in the record of each card it belongs to: not lost after the
// first, not carried into a card without it; the user is told it once.
TEST(Faces, AProblemIsRecordedInEveryCardItBelongsToAndNoOther) {
  TempDir dir;
  Fonts none(dir.path.string());  // no face file at all
  const std::string missing = "the font file " + (dir.path / kSans).string() + " is missing; install the package fonts-dejavu-core";
  Surface s(100, 30, 100, 30);
  for (int card = 0; card < 2; ++card) {
    EXPECT_EQ(DrawText(none, s, Typeface::kSans, 14, 0, 0, "A", 0xFF0000).width, 0);
    const TextRecord r = none.TakeRecord();
    EXPECT_EQ(r.problems, std::vector<std::string>{missing});
    EXPECT_TRUE(r.faces.empty());
  }
  EXPECT_TRUE(none.TakeRecord().problems.empty());
  for (int card = 0; card < 2; ++card) {  // every card's record has it, once, however many cards came before
    const Card made = MakeCard({"Mary", "Bob"}, {}, none);
    EXPECT_EQ(std::count(made.text.problems.begin(), made.text.problems.end(), missing), 1);
  }
  Fonts fonts(FontFolder());
  if (!fonts.PrepareFace(Typeface::kSans)) GTEST_SKIP() << "DejaVu Sans is not installed";
  for (const char* text : {"A\u0378", "A", "\u0378"}) {  // U+0378: no character, so in no font
    SCOPED_TRACE(text);
    DrawText(fonts, s, Typeface::kSans, 14, 0, 0, text, 0xFF0000);
    const TextRecord r = fonts.TakeRecord();
    EXPECT_EQ(r.problems.size(), std::string_view(text).find("\u0378") == std::string_view::npos ? 0u : 1u);
    for (const std::string& why : r.problems) EXPECT_EQ(why.find("a character of the text (first U+0378) has no"), 0u);
    EXPECT_EQ(Files(r), std::vector<std::string>{FontFolder() + "/" + kSans + " 0 "});
  }
}

// Two values on two threads at once draw what one value draws alone, and each
// records the same faces: nothing of a value is shared.
TEST(Faces, TwoValuesOnTwoThreadsDrawTheSamePixelsAtOnce) {
  if (!FacesInstalled()) GTEST_SKIP() << "the card's faces are not installed";
  const auto draw = [](Fonts& fonts, std::vector<Image>* images) {
    for (double points : {14.0, 90.0, 14.0})
      for (const char* text : {"dear Mary, I wish", "\u0641\u0627\u0637\u0645\u0629 3", "\u674E\u5C0F\u9F99 \u3055",
                               "Anna \U0001F389\uFE0F", "WM"})
        for (Typeface face : {Typeface::kSans, Typeface::kSerif}) {
          Surface s(400, 130, 400, 130);
          DrawText(fonts, s, face, points, 2, 2, text, 0xFFFFFF);
          images->push_back(s.image());
        }
    return Files(fonts.TakeRecord());
  };
  Fonts alone(FontFolder()), a(FontFolder()), b(FontFolder());
  std::vector<Image> expected, on_a, on_b;
  const std::vector<std::string> faces = draw(alone, &expected);
  std::vector<std::string> faces_a, faces_b;
  std::thread one([&] { faces_a = draw(a, &on_a); }), two([&] { faces_b = draw(b, &on_b); });
  one.join(), two.join();
  EXPECT_TRUE(on_a == expected);
  EXPECT_TRUE(on_b == expected);
  EXPECT_EQ(faces_a, faces);
  EXPECT_EQ(faces_b, faces);
}

TEST(Faces, AFaceFileThatCannotBeUsedStopsTheCardWithItsPathAndTheReason) {
  if (!FacesInstalled()) GTEST_SKIP() << "the card's faces are not installed";
  TempDir dir;
  const fs::path fonts = dir.path / "fonts", sans = fonts / kSans, serif = fonts / kSerif;
  const std::string real = ReadText("/usr/share/fonts/" + kSans), card = "card --friend Mary --sender Bob --out c.png";
  const std::function<void(const fs::path&)> none = [](const fs::path&) {};
  const struct {
    fs::path file;                               // the face file replaced,
    std::function<void(const fs::path&)> make;  // by what
    std::string args, said;
  } cases[] = {
      {sans, none, card, "font file " + sans.string() + " is missing; install the package fonts-dejavu-core"},
      {serif, none, "style 8 --out c.png", "font file " + serif.string() + " is missing; install the package fonts-liberation"},
      {serif, none, "batch list.csv --out-dir c.png", serif.string() + " is missing; install the package fonts-liberation"},
      {sans, [&](const fs::path& p) { WriteText(p, real.substr(0, real.size() / 2)); }, card,
       "font file " + sans.string() + " is not a font FreeType can read (error "},
      {sans, [](const fs::path& p) { WriteText(p, ""); }, card, "font file " + sans.string() + " is empty"},
      {sans, [](const fs::path& p) { fs::create_directory(p); }, card, sans.string() + " is not a regular file"},
      {sans, [](const fs::path& p) { ::mkfifo(p.c_str(), 0600); }, card, sans.string() + " is not a regular file"},
      {sans, [&](const fs::path& p) { WriteText(p, real), fs::permissions(p, fs::perms::none); }, card,
       ::geteuid() == 0 ? "" : "cannot read the font file " + sans.string() + ": Permission denied"},
  };
  WriteText(dir.path / "list.csv", "friend,sender\nMary,Bob\n");
  for (const auto& c : cases) {
    fs::remove_all(fonts);
    for (const std::string& f : {kSans, kSerif}) {
      fs::create_directories((fonts / f).parent_path());
      fs::create_symlink("/usr/share/fonts/" + f, fonts / f);
    }
    fs::remove(c.file), c.make(c.file);
    if (c.said.empty()) continue;  // root reads an unreadable file anyway
    const testing::Ran r = Cli(dir.path, "MIRELUNE_FONT_DIR=\"$PWD/fonts\"", c.args);
    EXPECT_EQ(r.status, 1) << c.said;
    EXPECT_EQ(r.err.rfind("mirelune-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path / "c.png"));
  }
  fs::remove_all(fonts);
}

TEST(Faces, TheReportNamesItsFacesAndLibrariesAndAgainSaysWhenTheyDiffer) {
  if (!FacesInstalled()) GTEST_SKIP() << "the card's faces are not installed";
  TempDir dir;
  const testing::Ran made = Cli(dir.path, "", "card --friend Mary --sender Bob --out card.png --report -");
  ASSERT_EQ(made.status, 0);
  const nlohmann::json report = nlohmann::json::parse(made.out);
  const auto face = [](const std::string& file) {
    const std::string bytes = ReadText("/usr/share/fonts/" + file);
    return nlohmann::json{{"file", "/usr/share/fonts/" + file}, {"sha256", Sha256Hex(bytes.data(), bytes.size())}};
  };
  // Style 8 (the extruded letters) is among Mary and Bob's: both faces, in the order drawn.
  EXPECT_EQ(report["faces"], nlohmann::json::array({face(kSerif), face(kSans)}));
  EXPECT_EQ(report["libraries"], nlohmann::json({{"freetype", FreeTypeVersion()}, {"harfbuzz", HarfBuzzVersion()}}));
  // Made again: silent with the same faces; one note when a face file differs (another build of it).
  for (const std::string& f : {kSans, kSerif}) fs::create_directories((dir.path / "fonts" / f).parent_path());
  fs::create_symlink("/usr/share/fonts/" + kSerif, dir.path / "fonts" / kSerif);
  WriteText(dir.path / "fonts" / kSans, ReadText("/usr/share/fonts/" + kSans) + std::string(4, '\0'));
  for (const auto& [env, notes] : {std::pair{"", 0}, {"MIRELUNE_FONT_DIR=\"$PWD/fonts\"", 1}}) {
    const testing::Ran r = Cli(dir.path, env, "card --again card.png --out again.png");
    const std::string& err = r.err, note = "may differ from this one: its faces were ";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(err.find(note) == std::string::npos ? 0 : 1, notes) << err;
    EXPECT_EQ(err.find(note), err.rfind(note)) << "told twice: " << err;
    EXPECT_TRUE(fs::remove(dir.path / "again.png"));
  }
}

// A process digests a face file once, and again when the file at its path is
// not the one it read (another modification time, size or inode).
TEST(Faces, AFaceFilesDigestIsKeptUntilTheFileChanges) {
  TempDir dir;
  const fs::path file = dir.path / "face.ttf", other = dir.path / "other.ttf";
  const auto sha = [](const std::string& s) { return Sha256Hex(s.data(), s.size()); };
  const auto set_mtime = [](const fs::path& p, const struct timespec& t) {
    const struct timespec times[2] = {t, t};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  };
  FaceDigests digests;
  WriteText(file, "first");
  const struct timespec then = {1600000000, 0}, later = {1600000100, 0};
  set_mtime(file, then);
  EXPECT_EQ(digests.Of(file), sha("first"));
  WriteText(file, "FIRST");  // the same inode and size, its time put back: the digest read before
  set_mtime(file, then);
  EXPECT_EQ(digests.Of(file), sha("first"));
  set_mtime(file, later);
  EXPECT_EQ(digests.Of(file), sha("FIRST"));
  WriteText(file, "second");
  set_mtime(file, later);
  EXPECT_EQ(digests.Of(file), sha("second"));
  WriteText(other, "SECOND");  // renamed into place: another inode, the same size and time
  set_mtime(other, later);
  fs::rename(other, file);
  EXPECT_EQ(digests.Of(file), sha("SECOND"));
  fs::remove(file);
  EXPECT_EQ(digests.Of(file), "");
}

}  // namespace
}  // namespace mirelune
