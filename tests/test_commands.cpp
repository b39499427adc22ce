// The window's commands without the window, over a session: counters and their
// bounds, cards that go on from the last one, stopping, mirroring, and saving
// with its failures.
#include <gtest/gtest.h>

#include <set>
#include <stop_token>

#include "card/card.h"
#include "commands/commands.h"
#include "files/files.h"
#include "test_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;

// MIRELUNE_ROOT pointed at a scratch folder for the life of one test.
struct TempRoot : testing::TempDir {
  testing::ScopedEnv env{{"MIRELUNE_ROOT", path.string()}};
  fs::path Folder() const { return path / "wimgx"; }
};

// 2 January 2017, 09:05:03, moved on by `seconds`.
std::tm Clock(int seconds = 0) {
  std::tm t{};
  t.tm_year = 2017 - 1900, t.tm_mon = 0, t.tm_mday = 2, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 3 + seconds;
  const std::time_t at = timegm(&t);
  gmtime_r(&at, &t);
  return t;
}

Bytes ReadAll(const fs::path& p) { const std::string b = testing::ReadText(p); return {b.begin(), b.end()}; }

std::size_t FileCount(const fs::path& dir) { return std::distance(fs::directory_iterator(dir), {}); }

// Every pixel of the card a different colour, so that any misplaced pixel shows.
void PaintPattern(Session& s) {
  std::uint32_t* p = s.card.pixels();
  for (int k = 0; k < kCanvasPixelsW * kCanvasPixelsH; ++k) p[k] = static_cast<std::uint32_t>(k % 896 + 1000 * (k / 896));
}

TEST(Commands, ColourModesCycleThroughTwentySevenWithAStripEach) {
  Session s;
  EXPECT_EQ(ColourModeCaption(s.settings) + MaxStylesCaption(s.settings) + EffectModeCaption(s.settings), "ba=015line");
  for (int press = 1; press <= 28; ++press) {
    const std::uint64_t before = s.carry.rng.draws();
    CommandColor(s);
    const int mode = press % 27;
    EXPECT_EQ(ColourModeCaption(s.settings), "ba=" + std::to_string(mode));
    EXPECT_EQ(s.carry.rng.draws() - before, mode == 0 ? 401u : 400u) << "press " << press;
  }
}

// The displacement distances and workbench settings of an earlier card must not
// reach the next card seeded from names: "new" gives the command line's card.
TEST(Commands, TheSameNamesGiveTheSameCardAfterOtherCards) {
  const Card fresh = MakeCard({"Mary", "Bob"});
  Session s;
  CommandNew(s, NewCardSpec(s.settings, "Ana", "Marko", 2017));
  ASSERT_NE(s.carry.effect_carry.distances[0], 0);  // the first card left distances behind
  CommandColor(s), CommandLinePix(s), CommandLinePix(s);
  ASSERT_TRUE(CommandNewImage(s, 99));
  CommandNew(s, NewCardSpec(s.settings, "Mary", "Bob", 2017));
  EXPECT_EQ(s.card.image(), fresh.card.image());
  EXPECT_EQ(s.settings.colour_mode, 0);
}

// Another greeting on the card "new" made is MakeCard's card for the new
// settings, pixels and faces: a wish in another script, one that takes two lines
// (its taller band must not stay behind), and back to the first greeting.
// Only that card takes one: not another pair of names, nor a mirrored card.
TEST(Commands, GreetAgainGivesTheCardOfTheNewSettings) {
  Session s;
  const CardSpec first = NewCardSpec(s.settings, "Mary", "Bob", 2017);
  CommandNew(s, first);
  const Image shown = s.card.Snapshot();
  CardSpec other = first;
  for (const auto& [year, wish] : {std::pair{2031, std::string("Frohes neues Jahr, \u674e\u96f7!")},
                                   std::pair{2031, std::string(96, 'w').insert(40, " ")},
                                   std::pair{2017, std::string()}}) {
    other.year = year, other.wish = wish;
    ASSERT_TRUE(CommandGreetAgain(s, {"Mary", "Bob", year, wish}));
    const Card made = MakeCard(other);
    EXPECT_EQ(s.card.image(), made.card.image()) << wish;
    ASSERT_EQ(s.text.faces.size(), made.text.faces.size()) << wish;
    for (std::size_t k = 0; k < made.text.faces.size(); ++k) EXPECT_EQ(s.text.faces[k].file, made.text.faces[k].file);
    EXPECT_EQ(s.names.wish, wish);
  }
  EXPECT_EQ(s.card.image(), shown);
  EXPECT_FALSE(CommandGreetAgain(s, {"Ann", "Bob", 2017, ""}));
  CommandFlipVertical(s);
  EXPECT_FALSE(CommandGreetAgain(s, {"Mary", "Bob", 2017, ""}));
}

// A stop ends the card under way within a step; the card shown stays as it was.
TEST(Commands, AStopEndsTheCardUnderWayAndTheLoop) {
  Session s;
  CommandNew(s, NewCardSpec(s.settings, "Mary", "Bob", 2017));
  const Image shown = s.card.Snapshot();
  std::stop_source stop;
  int marks = 0, cards = 0;
  const CardWatch watch{stop.get_token(), [&](const ProgressMark& m) {
                          if (m.kind == ProgressMark::kColumns && ++marks == 3) stop.request_stop();
                        }};
  EXPECT_FALSE(CommandNewImage(s, 5, watch));
  EXPECT_EQ(marks, 3);  // no column more after the stop
  EXPECT_EQ(s.card.image(), shown);
  EXPECT_EQ(s.names.sender, "Bob");

  std::stop_source loop;
  CommandLoop(s, {loop.get_token(), {}}, [&](const Session& after) {
    EXPECT_TRUE(after.names.sender.empty());
    if (++cards == 2) loop.request_stop();
  });
  EXPECT_EQ(cards, 2);
  EXPECT_TRUE(MakeCard({"Mary", "Bob"}, {loop.get_token(), {}}).stopped);
}

TEST(Commands, DefPlusPutsTheCardOnTheCanvasAndRunsTheEffectAgain) {
  Session s;
  PaintPattern(s);
  const Image card = s.card.Snapshot();
  CommandDefPlus(s);
  EXPECT_EQ(s.carry.rng.draws(), 12u);  // the effect's parameters; "line" mode draws no more
  EXPECT_NE(s.card.image(), card);
  s.carry.canvas.Clear();  // back to the background picture
  EXPECT_EQ(s.carry.canvas.image(), card);
}

TEST(Commands, SaveWritesTheCardUnderTheTimeOfSavingOrSaysWhyNot) {
  TempRoot root;
  fs::create_directories(root.Folder());
  Session s;
  PaintPattern(s);
  s.image_name = "GR-20160101000000";  // the name the card was begun under
  const fs::path want = root.Folder() / "GR-20170102090503.bmp";
  // A second save in the same second takes the next second's name: no card is replaced.
  const fs::path next = root.Folder() / "GR-20170102090504.bmp";
  for (const fs::path& p : {want, next}) {
    s.card.Plot(0, 0, static_cast<Colour>(p.string().size()));
    const Result<fs::path> r = CommandSaveCard(s, Clock());
    ASSERT_TRUE(r) << r.error().message;
    EXPECT_EQ(*r, p);
    EXPECT_EQ(ReadAll(p), EncodeBmp(s.card.image()));
  }
  EXPECT_EQ(FileCount(root.Folder()), 2u);
  EXPECT_EQ(s.saved_names, (std::set<std::string>{"GR-20170102090503", "GR-20170102090504"}));

  fs::remove_all(root.Folder());
  const Image card = s.card.Snapshot();
  const Result<fs::path> r = CommandSaveCard(s, Clock());
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find(want.string()), std::string::npos) << r.error().message;
  EXPECT_EQ(s.card.image(), card);
  EXPECT_FALSE(fs::exists(root.Folder()));  // nothing is made behind the user's back
}

TEST(LoopWithSaving, EveryCardUnderItsOwnNameThenTheProgramIsToEnd) {
  TempRoot root;
  fs::create_directories(root.Folder());
  Session s;
  CommandColor(s);  // a fixed palette: the strip is kept
  int readings = 0;
  const auto clock = [&] { return Clock(++readings / 3); };  // slower than cards are made: names repeat
  std::vector<std::pair<fs::path, Bytes>> written;
  const auto on_saved = [&](const fs::path& file, int cards) {
    EXPECT_EQ(cards, static_cast<int>(written.size()) + 1);
    written.emplace_back(file, EncodeBmp(s.card.image()));
  };
  const Result<LoopEnd> r = CommandLoopAndSave(s, {}, clock, on_saved, 3);
  ASSERT_TRUE(r && *r == LoopEnd::kLimitReached) << (r ? "stopped early" : r.error().message);
  ASSERT_EQ(written.size(), 3u);
  EXPECT_EQ(FileCount(root.Folder()), 3u);
  for (const auto& [path, bytes] : written) EXPECT_EQ(ReadAll(path), bytes) << path;  // none overwritten
}

TEST(LoopWithSaving, StopEndsTheLoopAndAFailedSaveStopsIt) {
  for (bool fail : {false, true}) {
    TempRoot root;
    fs::create_directories(root.Folder());
    Session s;
    std::stop_source stop;
    int readings = 0, saved = 0;
    const Result<LoopEnd> r = CommandLoopAndSave(
        s, {stop.get_token(), {}}, [&] { return Clock(++readings); },
        [&](const fs::path&, int cards) {
          saved = cards;
          if (cards == 2 && fail) fs::remove_all(root.Folder());
          if (cards == 3 && !fail) stop.request_stop();
        });
    EXPECT_EQ(saved, fail ? 2 : 3);
    EXPECT_EQ(r ? *r == LoopEnd::kStopped : r.error().message.find("stopped") != std::string::npos, true);
    EXPECT_EQ(static_cast<bool>(r), !fail);
  }
}

TEST(ArchiveSave, WritesWhereTheFoldersExistAndSkipsTheRest) {
  for (int folders = 0; folders < 4; ++folders) {
    TempRoot root;
    Session s;
    PaintPattern(s);
    std::vector<fs::path> want;
    if (folders & 1) want.push_back(root.path / "baza-slik" / "skupina00" / "slika00.jpg");
    if (folders & 2) want.push_back(root.path / "pelkin-art" / "slika00.jpg");
    for (const auto& p : want) fs::create_directories(p.parent_path());
    EXPECT_EQ(CommandArchiveSave(s), want);
    for (const auto& p : want) EXPECT_EQ(ReadAll(p), EncodeBmp(s.card.image())) << p;  // bitmap data as is
    EXPECT_EQ(fs::exists(root.path / "baza-slik"), (folders & 1) != 0);
  }
}

}  // namespace
}  // namespace mirelune
