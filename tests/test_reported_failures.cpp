// Failures that do not stop the work are reported once, through the host.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "commands/commands.h"
#include "surface/text.h"
#include "test_util.h"

namespace mirelune {
namespace fs = std::filesystem;

// Each run twice: the second takes the font answers the first kept, and must
// tell the same, once, and make the same card.
TEST(ReportedFailures, FontsTheCardCannotHaveAreNamedOnceOnStandardError) {
  const fs::path dir = fs::temp_directory_path() / ("mirelune-fonts-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const auto read = [](const fs::path& p) {
    return std::string{std::istreambuf_iterator<char>(std::ifstream(p, std::ios::binary).rdbuf()), {}};
  };
  for (const auto& [fonts, said] : {std::pair{"", "no font is installed for \"DejaVu Sans\", so its text is not"},
                                    {"<dir>/usr/share/fonts/truetype/liberation</dir>",
                                     "the font \"DejaVu Sans\" is not installed; its text is drawn in"}}) {
    std::ofstream(dir / "fonts.conf") << "<?xml version=\"1.0\"?>\n<fontconfig>" << fonts << "</fontconfig>\n";
    std::string first;
    for (int run = 0; run < 2; ++run) {
      const int status = std::system(("cd '" + dir.string() + "' && FONTCONFIG_FILE=\"$PWD/fonts.conf\" " +
                                      "XDG_CACHE_HOME=\"$PWD/cache\" MIRELUNE_ROOT=. timeout 60 '" MIRELUNE_CLI
                                      "' card --friend Mary --sender Bob --out card.png >/dev/null 2>err")
                                         .c_str());
      const std::string err = read(dir / "err"), card = read(dir / "card.png");
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::remove(dir / "card.png")) << fonts;
      EXPECT_NE(err.find(said), std::string::npos) << "run " << run << ": " << err;
      EXPECT_EQ(err.find(said), err.rfind(said)) << "told twice: " << err;
      if (run == 0) first = card;
      EXPECT_EQ(card, first) << "run " << run;
    }
  }
  EXPECT_TRUE(fs::exists(dir / "cache/mirelune/font-answers"));
  fs::remove_all(dir);
}

// The libraries loaded when first needed, broken (files that are no libraries
// found first): a right-to-left name is still drawn, unshaped, and that is said
// once; a batch, which cannot name its cards without digests, stops before it
// makes anything.
TEST(ReportedFailures, LibrariesLoadedWhenNeededThatCannotBeLoadedAreNamed) {
  const fs::path dir = fs::temp_directory_path() / ("mirelune-libs-" + std::to_string(getpid()));
  fs::create_directories(dir / "lib");
  for (const char* name : {"libharfbuzz.so.0", "libfribidi.so.0", "libcrypto.so.3"})
    std::ofstream(dir / "lib" / name) << "not a library";
  std::ofstream(dir / "list.csv") << "friend,sender\nMary,Bob\n";
  const struct {
    std::string args, said;
    int status;
  } cases[] = {
      {"card --friend '\xD9\x85\xD8\xB1\xD9\x8A\xD9\x85' --sender Bob --out card.png",
       "the text-shaping libraries libharfbuzz.so.0 and libfribidi.so.0 could not be loaded", 0},
      {"batch list.csv --out-dir cards", "the digest library libcrypto.so.3 could not be loaded", 1},
  };
  for (const auto& c : cases) {
    const int status = std::system(("cd '" + dir.string() + "' && LD_LIBRARY_PATH=\"$PWD/lib\" " +
                                    "XDG_CACHE_HOME=\"$PWD/cache\" MIRELUNE_ROOT=. timeout 60 '" MIRELUNE_CLI "' " +
                                    c.args + " >/dev/null 2>err")
                                       .c_str());
    const std::string err{std::istreambuf_iterator<char>(std::ifstream(dir / "err").rdbuf()), {}};
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.args << ": " << err;
    EXPECT_NE(err.find(c.said), std::string::npos) << err;
    EXPECT_EQ(err.find(c.said), err.rfind(c.said)) << "told twice: " << err;
  }
  EXPECT_TRUE(fs::exists(dir / "card.png"));
  EXPECT_FALSE(fs::exists(dir / "cards"));
  fs::remove_all(dir);
}

TEST(ReportedFailures, AnOutputFolderThatCannotBeMadeIsReportedAtStartUp) {
  const fs::path file = fs::temp_directory_path() / ("mirelune-root-" + std::to_string(getpid()));
  std::ofstream(file) << "a file where the root folder should be";
  setenv("MIRELUNE_ROOT", file.c_str(), 1);
  TakeTextFailures();  // whatever earlier tests left
  testing::Fixture s;
  StartUp(*s);
  unsetenv("MIRELUNE_ROOT");
  fs::remove(file);
  ASSERT_EQ(s.host.reported.size(), 1u);
  EXPECT_EQ(s.host.reported[0].rfind("cannot make the folder " + (file / "wimgx").string() + ": ", 0), 0u);
}

}  // namespace mirelune
