// The window's commands without the window, driven by a scripted host: start-up,
// counters and their bounds, the names and their length limit, loops, mirroring,
// and saving with its failures.
#include <gtest/gtest.h>

#include <set>

#include "card/card.h"
#include "commands/commands.h"
#include "files/files.h"
#include "test_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using testing::Fixture;

// MIRELUNE_ROOT pointed at a scratch folder for the life of one test.
struct TempRoot : testing::TempDir {
  testing::ScopedEnv env{{"MIRELUNE_ROOT", path.string()}};
  fs::path Folder() const { return path / "wimgx"; }
};

// A scripted host whose clock moves on one second at every `every`-th reading,
// and which runs a hook at every LetEventsIn (a press arriving mid-card).
class DrivenHost : public ScriptedHost {
 public:
  int every = 0, readings = 0;  // every 0: the clock stands still
  std::function<void()> on_events;

  std::tm Now() override {
    const std::time_t t = timegm(&now) + (every > 0 && ++readings % every == 0);
    gmtime_r(&t, &now);
    return now;
  }
  void LetEventsIn() override {
    ScriptedHost::LetEventsIn();
    if (on_events) on_events();
  }
};

// A started program under a scratch root, its clock ticking every `every` readings.
struct Program {
  TempRoot root;
  DrivenHost host;
  std::unique_ptr<State> s = std::make_unique<State>();
  SavedCards saved;
  explicit Program(int every = 0) { host.every = every, s->host = &host, StartUp(*s); }
};

Bytes ReadAll(const fs::path& p) { const std::string b = testing::ReadText(p); return {b.begin(), b.end()}; }

std::size_t FileCount(const fs::path& dir) { return std::distance(fs::directory_iterator(dir), {}); }

// Every pixel of the card a different colour, so that any misplaced pixel shows.
void PaintPattern(State& s) {
  std::uint32_t* p = s.card.pixels();
  for (int k = 0; k < kCanvasPixelsW * kCanvasPixelsH; ++k) p[k] = static_cast<std::uint32_t>(k % 896 + 1000 * (k / 896));
}

// (A folder it cannot make is reported: see test_saving_safety.cpp.)
TEST(Commands, StartUpStoresTheStartValuesAndMakesTheFolder) {
  TempRoot root;
  Fixture f;
  f->settings.colour_mode = 9, f->settings.max_styles = 3, f->settings.effect_mode = 2, f->settings.loop_running = 1, f->settings.with_names = 0, f->plain_picture.visible = true;
  StartUp(*f);
  EXPECT_TRUE(fs::is_directory(root.Folder()));
  EXPECT_EQ(ColourModeCaption(f->settings) + MaxStylesCaption(f->settings) + EffectModeCaption(f->settings), "ba=015line");
  EXPECT_EQ(std::vector<double>({f->settings.colour_mode, f->settings.max_styles, double(f->settings.effect_mode), f->settings.loop_running, f->settings.with_names, f->settings.canvas_width, f->settings.canvas_height}),
            std::vector<double>({0, 15, 1, 0, 1, 900, 675}));
  EXPECT_FALSE(f->plain_picture.visible);
  EXPECT_EQ(f->rng.draws(), 0u);
}

TEST(Commands, ColourModesCycleThroughTwentySevenWithAStripEach) {
  Fixture f;
  StartUp(*f);
  for (int press = 1; press <= 28; ++press) {
    const std::uint64_t before = f->rng.draws();
    CommandColor(*f);
    const int mode = press % 27;
    EXPECT_EQ(ColourModeCaption(f->settings), "ba=" + std::to_string(mode));
    EXPECT_EQ(f->rng.draws() - before, mode == 0 ? 401u : 400u) << "press " << press;
  }
}

// Both sides of both bounds of the style limit 1..24, from its start value 15.
TEST(Commands, StyleLimitStaysWithinOneToTwentyFour) {
  const struct { int more, fewer; double max_styles; } cases[] = {
      {0, 13, 2}, {0, 14, 1}, {0, 15, 1}, {0, 30, 1}, {8, 0, 23}, {9, 0, 24}, {10, 0, 24},
               {20, 23, 1}, {20, 22, 2}, {0, 0, 15}};
  Fixture f;
  for (const auto& c : cases) {
    StartUp(*f);
    for (int k = 0; k < c.more; ++k) CommandMoreStyles(*f);
    for (int k = 0; k < c.fewer; ++k) CommandFewerStyles(*f);
    EXPECT_EQ(f->settings.max_styles, c.max_styles) << c.more << " +, " << c.fewer << " --";
    EXPECT_EQ(MaxStylesCaption(f->settings), NumberText(c.max_styles));
  }
}

const std::string kFriendPrompt = "ENTER YOUR FRIEND'S NAME\rCASE SENSITIVE (Mary not equal mary)";
const std::string kOwnPrompt = "ENTER YOUR NAME\rCASE SENSITIVE (Mary not equal mary)";

std::string Times(int n, const std::string& ch) { return n ? ch + Times(n - 1, ch) : ""; }

// Names are counted in characters: 100 pass and 101 bring the same dialog back,
// whatever the bytes per character; Cancel (the empty text) is an empty name.
TEST(Commands, NamesOfUpToAHundredCharactersAreTaken) {
  const struct { std::vector<std::string> answers; std::size_t friend_dialogs; std::string friend_name, own; } cases[] = {
      {{Times(100, "a"), Times(100, "b")}, 1, Times(100, "a"), Times(100, "b")},
      {{Times(101, "a"), Times(100, "\xC5\xBE"), Times(101, "\xE2\x82\xAC"), Times(100, "\xE2\x82\xAC")}, 2,
       Times(100, "\xC5\xBE"), Times(100, "\xE2\x82\xAC")},
      {{Times(101, "\xC5\xBE"), Times(150, "c"), "Mary", ""}, 3, "Mary", ""},
  };
  for (const auto& c : cases) {  // friend_dialogs: the rest ask for the own name
    Fixture f;
    StartUp(*f);
    f.host.answers.assign(c.answers.begin(), c.answers.end());
    AskNamesAndSeed(*f);
    EXPECT_EQ(f->names.friend_name, c.friend_name);
    EXPECT_EQ(f->names.own_name, c.own);
    ASSERT_EQ(f.host.asked.size(), c.answers.size());
    for (std::size_t k = 0; k < c.answers.size(); ++k) {
      const bool own = k >= c.friend_dialogs;
      EXPECT_EQ(f.host.asked[k].prompt, own ? kOwnPrompt : kFriendPrompt) << k;
      EXPECT_EQ(std::pair(f.host.asked[k].x, f.host.asked[k].y), std::pair(33, own ? 400 : 200));
    }
    EXPECT_EQ(f->names.seed, SeedFromNames(c.friend_name, c.own));
  }
}

// "new img": the clock folded into the generator as it stands, no names, no band.
TEST(Commands, NewImageReseedsFromTheClock) {
  Fixture f;
  StartUp(*f);
  f.host.answers = {"Mary", "Bob"};
  CommandNew(*f);
  f.host.timer = 1234.5;
  Fixture r;
  r->rng.set_state(f->rng.state());
  r->rng.FoldIn(1234.5);
  DrawPaletteStrip(*r);
  MakeCard(*r);
  CommandNewImage(*f);
  EXPECT_TRUE(f->names.own_name.empty());
  EXPECT_EQ(f->settings.with_names, 0);
  EXPECT_EQ(f->card.image(), r->card.image());
  EXPECT_EQ(f.host.asked.size(), 2u);
}

// The displacement distances and workbench settings of an earlier card must not reach
// the next card seeded from names, whether "new" (asking both names) or the command line's way makes it.
TEST(Commands, TheSameNamesGiveTheSameCardAfterAnotherCard) {
  Fixture fresh;
  MakeCardFromNames(*fresh, {"Mary", "Bob"});
  for (bool by_dialog : {true, false}) {
    Fixture f;
    StartUp(*f);
    const auto make = [&](const char* a, const char* b) {
      if (by_dialog) {
        f.host.answers = {a, b};
        CommandNew(*f);
      } else {
        MakeCardFromNames(*f, {a, b});
      }
    };
    make("Ana", "Marko");
    ASSERT_NE(f->carry.distance1, 0);  // the first card left distances behind
    f->settings.colour_mode = 7, f->settings.brightness = 5, f->settings.with_names = 0;
    make("Mary", "Bob");
    EXPECT_EQ(f->card.image(), fresh->card.image()) << by_dialog;
    EXPECT_EQ(f.host.asked.size(), by_dialog ? 4u : 0u);
    EXPECT_EQ(f->names.image_name, "GR-20170102090503");
  }
}

TEST(Commands, StopAndExitEndTheLoopAfterTheCardUnderWay) {
  Fixture first;  // exactly one card, complete: the first of a freshly started program, no reseeding, no names
  DrawPaletteStrip(*first);
  MakeCard(*first);
  for (const bool exit : {false, true}) {
    Program run;
    State& s = *run.s;
    int presses = 0;
    Next next = Next::kGoOn;
    run.host.on_events = [&] {
      if (presses++ == 0) exit ? static_cast<void>(next = CommandExit(s)) : CommandStop(s);
    };
    s.names.own_name = "Bob";  // the loop's cards are anonymous
    CommandLoop(s);
    EXPECT_TRUE(s.names.own_name.empty());
    EXPECT_EQ(s.card.image(), first->card.image()) << exit;
    EXPECT_EQ(next, exit ? Next::kEndProgram : Next::kGoOn);
  }
}

TEST(Commands, DefPlusPutsTheCardOnTheCanvasAndRunsTheEffectAgain) {
  Fixture f;
  StartUp(*f);
  PaintPattern(*f);
  const Image card = f->card.Snapshot();
  CommandDefPlus(*f);
  EXPECT_EQ(f->rng.draws(), 12u);  // the effect's parameters; "line" mode draws no more
  EXPECT_NE(f->card.image(), card);
  f->canvas.Clear();  // back to the background picture
  EXPECT_EQ(f->canvas.image(), card);
}

TEST(Commands, FlipsMapEveryPixelAndUndoThemselves) {
  Fixture f;
  PaintPattern(*f);
  const Image card = f->card.Snapshot();
  const struct { void (*command)(State&); bool hor, ver; } cases[] = {
      {CommandFlipHorizontal, true, false}, {CommandFlipVertical, true, true},
               {CommandFlipHorizontal, false, true}, {CommandFlipVertical, false, false}};
  for (const auto& c : cases) {
    c.command(*f);
    int wrong = 0;
    for (int y = 0; y < kCanvasPixelsH; ++y)
      for (int x = 0; x < kCanvasPixelsW; ++x)
        wrong += f->card.image().at(x, y) != card.at(c.hor ? 895 - x : x, c.ver ? 670 - y : y);
    EXPECT_EQ(wrong, 0) << c.hor << c.ver;
  }
}

TEST(Commands, SaveWritesTheCardUnderTheTimeOfSavingOrSaysWhyNot) {
  Program run;
  State& s = *run.s;
  PaintPattern(s);
  s.names.image_name = "GR-20160101000000";  // the name the card was begun under
  const fs::path want = run.root.Folder() / "GR-20170102090503.bmp";
  // A second save in the same second takes the next second's name: no card is replaced.
  const fs::path next = run.root.Folder() / "GR-20170102090504.bmp";
  for (const fs::path& p : {want, next}) {
    s.card.Plot(0, 0, static_cast<Colour>(p.string().size()));
    const SaveResult r = CommandSaveCard(s, run.saved);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.path, p);
    EXPECT_EQ(ReadAll(p), EncodeBmp(s.card.image()));
  }
  EXPECT_EQ(FileCount(run.root.Folder()), 2u);
  EXPECT_EQ(run.saved.names, (std::set<std::string>{"GR-20170102090503", "GR-20170102090504"}));

  fs::remove_all(run.root.Folder());
  const Image card = s.card.Snapshot();
  const SaveResult r = CommandSaveCard(s, run.saved);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find(want.string()), std::string::npos) << r.message;
  EXPECT_NE(r.message.find("still on screen"), std::string::npos) << r.message;
  EXPECT_EQ(s.card.image(), card);
  EXPECT_FALSE(fs::exists(run.root.Folder()));  // nothing is made behind the user's back
}

TEST(LoopWithSaving, EveryCardUnderItsOwnNameThenTheProgramIsToEnd) {
  Program run(3);  // the clock moves on slower than cards are made: names repeat
  State& s = *run.s;
  CommandColor(s);  // a fixed palette: the strip is kept
  std::vector<std::pair<fs::path, Bytes>> written;
  const auto on_saved = [&](const SaveResult& r, int cards) {
    EXPECT_EQ(cards, static_cast<int>(written.size()) + 1);
    written.emplace_back(r.path, EncodeBmp(s.card.image()));
    if (cards == 3) CommandStop(s);  // a stop now does not keep the program alive
  };
  const LoopSaveResult r = CommandLoopAndSave(s, run.saved, on_saved, 3);
  EXPECT_EQ(r.next, Next::kEndProgram);
  EXPECT_TRUE(r.ok) << r.message;
  ASSERT_EQ(written.size(), 3u);
  EXPECT_EQ(FileCount(run.root.Folder()), 3u);
  for (const auto& [path, bytes] : written) EXPECT_EQ(ReadAll(path), bytes) << path;  // none overwritten
}

TEST(LoopWithSaving, StopEndsTheLoopAfterTheCardIsSavedAndAFailedSaveStopsIt) {
  for (bool fail : {false, true}) {
    Program run(1);
    State& s = *run.s;
    const LoopSaveResult r = CommandLoopAndSave(s, run.saved, [&](const SaveResult&, int cards) {
      if (cards == 2 && fail) fs::remove_all(run.root.Folder());
      if (cards == 3 && !fail) CommandStop(s);
    });
    EXPECT_EQ(r.ok, !fail);
    EXPECT_EQ(r.next, Next::kGoOn);
    EXPECT_EQ(r.cards, fail ? 2 : 3);
    EXPECT_EQ(s.settings.loop_running, 0);
    EXPECT_EQ(fs::exists(r.path), !fail) << r.path;
    EXPECT_EQ(r.message.find("stopped") != std::string::npos, fail) << r.message;
  }
}

TEST(ArchiveSave, WritesWhereTheFoldersExistAndSkipsTheRest) {
  for (int folders = 0; folders < 4; ++folders) {
    TempRoot root;
    Fixture f;
    PaintPattern(*f);
    std::vector<fs::path> want;
    if (folders & 1) want.push_back(root.path / "baza-slik" / "skupina00" / "slika00.jpg");
    if (folders & 2) want.push_back(root.path / "pelkin-art" / "slika00.jpg");
    for (const auto& p : want) fs::create_directories(p.parent_path());
    EXPECT_EQ(CommandArchiveSave(*f), want);
    for (const auto& p : want) EXPECT_EQ(ReadAll(p), EncodeBmp(f->card.image())) << p;  // bitmap data as is
    EXPECT_EQ(fs::exists(root.path / "baza-slik"), (folders & 1) != 0);
  }
}

}  // namespace
}  // namespace mirelune
