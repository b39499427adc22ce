// The window's commands without the window: start-up, counters, cards, loops,
// the palette chooser, mirroring and saving, driven by a scripted host.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "commands/commands.h"
#include "card/card.h"
#include "files/files.h"
#include "test_util.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;
using testing::CountColour;
using testing::Fixture;

// MIRELUNE_ROOT pointed at a scratch folder for the life of one test.
struct TempRoot {
  fs::path path;
  std::string old;
  bool had_old = false;
  TempRoot() {
    std::string t = (fs::temp_directory_path() / "mirelune-commands-XXXXXX").string();
    path = mkdtemp(t.data());
    if (const char* o = std::getenv("MIRELUNE_ROOT")) {
      had_old = true;
      old = o;
    }
    setenv("MIRELUNE_ROOT", path.c_str(), 1);
  }
  ~TempRoot() {
    if (had_old) {
      setenv("MIRELUNE_ROOT", old.c_str(), 1);
    } else {
      unsetenv("MIRELUNE_ROOT");
    }
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
  }
};

// A scripted host whose clock moves on one second at every `every`-th reading,
// and which runs a hook at every DoEvents (a press arriving mid-card).
class DrivenHost : public ScriptedHost {
 public:
  int every = 0;  // 0: the clock stands still
  int readings = 0;
  std::function<void()> on_events;

  std::tm Now() override {
    if (every > 0 && ++readings % every == 0) {
      std::time_t t = timegm(&now) + 1;
      gmtime_r(&t, &now);
    }
    return now;
  }
  void DoEvents() override {
    ScriptedHost::DoEvents();
    if (on_events) on_events();
  }
};

// A started program under a scratch drive root, its clock ticking every
// `every` readings, for the loop with saving.
struct LoopRun {
  TempRoot root;
  DrivenHost host;
  std::unique_ptr<State> s = std::make_unique<State>();
  SavedCards saved;
  explicit LoopRun(int every) {
    host.every = every;
    s->host = &host;
    StartUp(*s);
  }
};

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Files(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The card "new" makes for these names in a freshly started program, made the
// way the command line makes it.
Image CardFor(const std::string& friend_name, const std::string& own) {
  ScriptedHost host;
  auto s = std::make_unique<State>();
  s->host = &host;
  SetNamesAndSeed(*s, friend_name, own);
  DrawPaletteStrip(*s);
  MakeCard(*s);
  return s->Picture4.GetImage();
}

// The first card of a loop in a freshly started program: no reseeding, no names.
const Image& FirstLoopCard() {
  static const Image card = [] {
    ScriptedHost host;
    auto s = std::make_unique<State>();
    s->host = &host;
    DrawPaletteStrip(*s);
    MakeCard(*s);
    return s->Picture4.GetImage();
  }();
  return card;
}

// Every pixel of the card a different colour, so that any misplaced pixel shows.
void PaintPattern(State& s) {
  std::uint32_t* p = s.Picture4.pixels();
  for (int y = 0; y < kCanvasPixelsH; ++y)
    for (int x = 0; x < kCanvasPixelsW; ++x) p[y * kCanvasPixelsW + x] = static_cast<std::uint32_t>(x + 1000 * y);
}

const std::string kFriendPrompt = "ENTER YOUR FRIEND'S NAME\rCASE SENSITIVE (Mary not equal mary)";
const std::string kOwnPrompt = "ENTER YOUR NAME\rCASE SENSITIVE (Mary not equal mary)";

// --- start-up ---------------------------------------------------------------

TEST(CommandsStartUp, StoresStartValuesCaptionsAndMakesTheFolder) {
  TempRoot root;
  Fixture f;
  EXPECT_TRUE(f->t.empty());
  EXPECT_TRUE(f->tt.empty());
  // Whatever a state held, start-up puts the start values back.
  f->colorr = 9;
  f->nnn = 3;
  f->linepix = 2;
  f->delaj = 1;
  f->tekst = 0;
  f->rr = 1;
  f->sir = f->vis = 1;
  f->t1 = f->t2 = f->t3 = f->t1a = f->t2a = f->t3a = "x";
  f->caption11 = f->caption12 = f->caption18 = "?";
  f->Picture6.Visible = true;
  const std::uint64_t draws = f->rng.draws();
  StartUp(*f);
  EXPECT_TRUE(fs::is_directory(root.path / "wimgx"));
  EXPECT_EQ(f->caption11, "ba=0");
  EXPECT_EQ(f->caption12, "15");
  EXPECT_EQ(f->caption18, "line");
  EXPECT_EQ(f->colorr, 0);
  EXPECT_EQ(f->nnn, 15);
  EXPECT_EQ(f->linepix, 1);
  EXPECT_EQ(f->delaj, 0);
  EXPECT_EQ(f->tekst, 1);
  EXPECT_EQ(f->rr, 10);
  EXPECT_EQ(f->sir, 900);
  EXPECT_EQ(f->vis, 675);
  EXPECT_EQ(f->sir1, 900);
  EXPECT_EQ(f->vis1, 675);
  EXPECT_EQ(f->t1, "ENTER YOUR NAME");
  EXPECT_EQ(f->t2, "CASE SENSITIVE (Mary not equal mary)");
  EXPECT_EQ(f->t3, "ENTER YOUR FRIEND'S NAME");
  EXPECT_EQ(f->t1a, "vnesi \xC5\xA1tevilko palete");
  EXPECT_EQ(f->t2a, "0 za izhod");
  EXPECT_EQ(f->t3a, "IZBOR PALETE");
  EXPECT_FALSE(f->Picture6.Visible);
  EXPECT_EQ(f->rng.draws(), draws);
  EXPECT_TRUE(f.host.asked.empty());

  // A second start with the folder present behaves the same.
  std::ofstream(root.path / "wimgx" / "keep.bmp") << "x";
  StartUp(*f);
  EXPECT_EQ(Files(root.path / "wimgx"), std::vector<std::string>{"keep.bmp"});
}

TEST(CommandsStartUp, AFolderThatCannotBeMadeIsPassedOver) {
  TempRoot root;
  // The drive root is a file: nothing can be made under it.
  std::ofstream(root.path / "file") << "x";
  setenv("MIRELUNE_ROOT", (root.path / "file").c_str(), 1);
  Fixture f;
  f->colorr = 4;
  EXPECT_NO_THROW(StartUp(*f));
  EXPECT_EQ(f->colorr, 0);
  EXPECT_EQ(f->caption18, "line");
}

// --- counters and toggles ---------------------------------------------------

TEST(CommandsCounters, ColourModesCycleThroughTwentySevenWithAStripEach) {
  Fixture f;
  StartUp(*f);
  for (int press = 1; press <= 27; ++press) {
    const std::uint64_t before = f->rng.draws();
    CommandColor(*f);
    const int mode = press % 27;
    EXPECT_EQ(f->colorr, mode);
    EXPECT_EQ(f->caption11, "ba=" + std::to_string(mode));
    // A strip is 100 blobs of 4 draws; mode 0 first draws its palette.
    EXPECT_EQ(f->rng.draws() - before, mode == 0 ? 401u : 400u) << "press " << press;
    if (mode != 0) {
      EXPECT_EQ(f->tipp, mode);
    }
  }
}

TEST(CommandsCounters, StyleLimitStaysWithinOneToTwentyFour) {
  struct Case {
    int more, fewer;  // presses of "+" then "--" from the start value 15
    double nnn;
  } cases[] = {{0, 11, 4}, {0, 14, 1}, {0, 30, 1}, {9, 0, 24}, {20, 0, 24}, {20, 23, 1}, {0, 0, 15}, {3, 5, 13}};
  Fixture f;
  for (const Case& c : cases) {
    StartUp(*f);
    for (int k = 0; k < c.more; ++k) CommandMoreStyles(*f);
    for (int k = 0; k < c.fewer; ++k) CommandFewerStyles(*f);
    EXPECT_EQ(f->nnn, c.nnn) << c.more << " +, " << c.fewer << " --";
    EXPECT_EQ(f->caption12, NumberText(c.nnn));
    EXPECT_EQ(f->rng.draws(), 0u);
  }
}

TEST(CommandsCounters, LinePixAndPlainPictureToggleForEver) {
  Fixture f;
  StartUp(*f);
  const std::pair<std::int16_t, const char*> expected[] = {{2, "pix"}, {1, "line"}, {2, "pix"}, {1, "line"}};
  bool shown = false;
  for (const auto& [linepix, caption] : expected) {
    CommandLinePix(*f);
    EXPECT_EQ(f->linepix, linepix);
    EXPECT_EQ(f->caption18, caption);
    CommandPlainPicture(*f);
    shown = !shown;
    EXPECT_EQ(f->Picture6.Visible, shown);
  }
  EXPECT_EQ(f->rng.draws(), 0u);
}

TEST(CommandsCounters, StopWhenIdleOnlyClearsTheFlag) {
  Fixture f;
  StartUp(*f);
  f->delaj = 1;
  CommandStop(*f);
  EXPECT_EQ(f->delaj, 0);
  EXPECT_EQ(f->rng.draws(), 0u);
  EXPECT_THROW(CommandExit(*f), EndProgram);
}

// --- cards ------------------------------------------------------------------

TEST(CommandsNew, AsksBothNamesAndMakesTheCardOfThoseNames) {
  Fixture f;
  StartUp(*f);
  // Left over from workbench commands; "new" resets them.
  f->colorr = 7;
  f->drgb = 5;
  f->ddrgb = 1;
  f->tekst = 0;
  f.host.answers = {"Mary", "Bob"};
  CommandNew(*f);
  ASSERT_EQ(f.host.asked.size(), 2u);
  EXPECT_EQ(f.host.asked[0].prompt, kFriendPrompt);
  EXPECT_EQ(f.host.asked[0].title, "");
  EXPECT_EQ(f.host.asked[0].x, 33);
  EXPECT_EQ(f.host.asked[0].y, 200);
  EXPECT_EQ(f.host.asked[1].prompt, kOwnPrompt);
  EXPECT_EQ(f.host.asked[1].x, 33);
  EXPECT_EQ(f.host.asked[1].y, 400);
  EXPECT_EQ(f->tt, "Mary");
  EXPECT_EQ(f->t, "Bob");
  EXPECT_EQ(f->seed, 4396645 + 733 * 7);
  EXPECT_EQ(f->colorr, 0);
  EXPECT_EQ(f->tekst, 1);
  EXPECT_EQ(f->imeslike, "GR-20170102090503");
  EXPECT_TRUE(f->Picture4.image() == CardFor("Mary", "Bob"));
  // Progress: one "lllll" per pass, then 31 "#" of the first sweep.
  std::vector<std::string> marks(static_cast<std::size_t>(f->no), "lllll");
  marks.insert(marks.end(), 31, "#");
  EXPECT_EQ(f.host.progress, marks);
}

// The displacement distances of an earlier card must not reach the next card
// seeded from names, whether "new" or the command line's way makes it.
TEST(CommandsNew, TheSameNamesGiveTheSameCardAfterAnotherCard) {
  const Image fresh = CardFor("Mary", "Bob");
  const std::function<void(Fixture&, const char*, const char*)> ways[] = {
      [](Fixture& f, const char* a, const char* b) {
        f.host.answers = {a, b};
        CommandNew(*f);
      },
      [](Fixture& f, const char* a, const char* b) { MakeCardFromNames(*f, {a, b}); },
  };
  for (const auto& make : ways) {
    Fixture f;
    StartUp(*f);
    make(f, "Ana", "Marko");
    ASSERT_NE(f->d1, 0);  // the first card left distances behind
    make(f, "Mary", "Bob");
    EXPECT_TRUE(f->Picture4.image() == fresh);
  }
}

TEST(CommandsNew, ANameOverAHundredCharactersIsAskedForAgain) {
  Fixture f;
  StartUp(*f);
  const std::string b100(100, 'b');
  f.host.answers = {std::string(101, 'a'), b100, std::string(150, 'c'), ""};
  CommandNew(*f);
  ASSERT_EQ(f.host.asked.size(), 4u);
  for (int k : {0, 1}) {
    EXPECT_EQ(f.host.asked[k].prompt, kFriendPrompt);
    EXPECT_EQ(f.host.asked[k].y, 200);
  }
  for (int k : {2, 3}) {
    EXPECT_EQ(f.host.asked[k].prompt, kOwnPrompt);
    EXPECT_EQ(f.host.asked[k].y, 400);
  }
  EXPECT_EQ(f->tt, b100);
  EXPECT_EQ(f->t, "");  // Cancel counts as an empty name
  // No own name: no greeting band.
  EXPECT_LT(CountColour(f->Picture4.image(), RGB(250, 250, 150)), 20000);
}

TEST(CommandsNewImage, ReseedsFromTheClockAndDropsTheGreeting) {
  Fixture f;
  StartUp(*f);
  f->t = "Bob";
  f->tt = "Mary";
  f.host.timer = 1234.5;
  const std::uint64_t state = f->rng.state();
  CommandNewImage(*f);
  EXPECT_EQ(f->tekst, 0);
  EXPECT_TRUE(f->t.empty());
  EXPECT_TRUE(f.host.asked.empty());

  // The same without the command: the clock folded in, no reset, a strip (mode 0), the card.
  ScriptedHost host;
  auto r = std::make_unique<State>();
  r->host = &host;
  r->rng.set_state(state);
  r->rng.Randomize(1234.5);
  DrawPaletteStrip(*r);
  MakeCard(*r);
  EXPECT_TRUE(f->Picture4.image() == r->Picture4.image());
  EXPECT_LT(CountColour(f->Picture4.image(), RGB(250, 250, 150)), 20000);
}

TEST(CommandsNewImage, AFixedColourModeKeepsTheStrip) {
  Fixture f;
  StartUp(*f);
  for (int k = 0; k < 5; ++k) CommandColor(*f);
  const Image strip = f->Picture3.GetImage();
  CommandNewImage(*f);
  EXPECT_TRUE(f->Picture3.image() == strip);
  EXPECT_EQ(f->tipp, 5);
}

TEST(CommandsLoop, StopEndsTheLoopAfterTheCardUnderWay) {
  DrivenHost host;
  auto s = std::make_unique<State>();
  s->host = &host;
  StartUp(*s);
  s->t = "Bob";  // the loop's cards are anonymous
  int stops = 0;
  host.on_events = [&] {
    if (stops++ == 0) CommandStop(*s);
  };
  CommandLoop(*s);
  EXPECT_EQ(s->delaj, 0);
  EXPECT_TRUE(s->t.empty());
  // Exactly one card, complete: the first card of a fresh program.
  EXPECT_TRUE(s->Picture4.image() == FirstLoopCard());
  EXPECT_EQ(std::count(host.progress.begin(), host.progress.end(), "#"), 31);
}

TEST(CommandsLoop, ExitEndsAtOnceWithoutFinishingTheCard) {
  DrivenHost host;
  auto s = std::make_unique<State>();
  s->host = &host;
  StartUp(*s);
  std::uint64_t draws_at_exit = 0;
  host.on_events = [&] {
    draws_at_exit = s->rng.draws();
    CommandExit(*s);
  };
  EXPECT_THROW(CommandLoop(*s), EndProgram);
  EXPECT_EQ(s->rng.draws(), draws_at_exit);
  EXPECT_EQ(host.events, 1);
  EXPECT_EQ(s->delaj, 1);
}

TEST(CommandsDefPlus, PutsTheCardOnTheCanvasAndRunsTheEffectAgain) {
  Fixture f;
  StartUp(*f);
  PaintPattern(*f);
  const Image card = f->Picture4.GetImage();
  const std::uint64_t before = f->rng.draws();
  CommandDefPlus(*f);
  // Three angles, three lengths, three steps of two draws; "line" mode draws no more.
  EXPECT_EQ(f->rng.draws() - before, 12u);
  EXPECT_FALSE(f->Picture4.image() == card);
  f->Picture1.Cls();  // back to the background picture
  EXPECT_TRUE(f->Picture1.image() == card);
}

// --- palette chooser --------------------------------------------------------

TEST(PaletteChooser, AsksUntilAWholeNumberFromZeroToTwentySix) {
  struct Case {
    std::vector<std::string> answers;
    double colorr;
    const char* caption;
    std::size_t dialogs;
    bool strip;  // a strip in the chosen palette is drawn
  } cases[] = {
      {{"5"}, 5, "ba=5", 1, true},
      {{"26"}, 26, "ba=26", 1, true},
      {{"27", "0"}, 0, "ba=3", 2, false},
      {{"30", "26.4", "abc", "-3", "", "5x", "0x1A", "1e1", "7"}, 7, "ba=7", 9, true},
      {{" 7 "}, 7, "ba= 7 ", 1, true},
      {{"5.0"}, 5, "ba=5.0", 1, true},
      {{"0"}, 0, "ba=3", 1, false},
  };
  for (const Case& c : cases) {
    Fixture f;
    StartUp(*f);
    for (int k = 0; k < 3; ++k) CommandColor(*f);
    const Image strip = f->Picture3.GetImage();
    f.host.answers.assign(c.answers.begin(), c.answers.end());
    const std::uint64_t before = f->rng.draws();
    CommandPalette(*f);
    const std::string label = c.answers.front();
    EXPECT_EQ(f->colorr, c.colorr) << label;
    EXPECT_EQ(f->caption11, c.caption) << label;
    ASSERT_EQ(f.host.asked.size(), c.dialogs) << label;
    for (const auto& d : f.host.asked) {
      EXPECT_EQ(d.prompt, "vnesi \xC5\xA1tevilko palete\r0 za izhod");
      EXPECT_EQ(d.title, "IZBOR PALETE");
      EXPECT_EQ(d.x, 300);
      EXPECT_EQ(d.y, 333);
    }
    // The swatches draw nothing random; the strip draws 400.
    EXPECT_EQ(f->rng.draws() - before, c.strip ? 400u : 0u) << label;
    EXPECT_EQ(f->Picture3.image() == strip, !c.strip) << label;
    if (c.strip) {
      EXPECT_EQ(f->tipp, c.colorr);
    }
  }
}

TEST(PaletteChooser, ShowsEveryPaletteAsARowOfSwatches) {
  Fixture f;
  StartUp(*f);
  PaintPattern(*f);
  f.host.answers = {"0"};
  CommandPalette(*f);
  const Surface& card = f->Picture4;
  // Row k at j = 5 + 22 (k - 1); colour c covers x = 31 + 10 (c - 1) .. 40 + 10 (c - 1).
  for (int row : {1, 3, 26}) {
    const double j = 5 + 22 * (row - 1);
    for (int c = 1; c <= 10; ++c) {
      const Colour want = RGB(f->table[row][c][1], f->table[row][c][2], f->table[row][c][3]);
      for (double x : {31.0 + 10 * (c - 1), 35.0 + 10 * (c - 1), 40.0 + 10 * (c - 1)})
        for (double y : {j - 2, j + 8, j + 18})
          EXPECT_EQ(card.Point(x, y), want) << row << "/" << c << " at " << x << "," << y;
    }
  }
  // Palette 3, colour 2 shows blue 255.
  EXPECT_EQ(card.Point(45, 5 + 44 + 8) >> 16 & 0xFF, 255);
  // Rows 27 to 30 are empty palettes: black; row 30 is the last.
  EXPECT_EQ(card.Point(80, 643 + 8), 0);
  EXPECT_EQ(card.Point(80, 665 + 8), RGB(0xF0, 0xF0, 0xF0));
  // The card was cleared first, and the swatches end at x = 130.
  EXPECT_EQ(card.Point(131, 57), RGB(0xF0, 0xF0, 0xF0));
  EXPECT_EQ(card.Point(600, 300), RGB(0xF0, 0xF0, 0xF0));
  // The numbers stand left of the swatches, in the surface's fore colour.
  int number_pixels = 0;
  for (double x = 10; x < 30; ++x)
    for (double y = 5; y < 20; ++y) number_pixels += card.Point(x, y) != RGB(0xF0, 0xF0, 0xF0);
  EXPECT_GT(number_pixels, 5);
  EXPECT_EQ(f->n, 30);
  EXPECT_EQ(f->j, 665);
  EXPECT_EQ(f->i, 130);
  EXPECT_EQ(f->nn, 11);
}

// --- mirroring --------------------------------------------------------------

TEST(Mirroring, FlipsMapEveryPixelAndUndoThemselves) {
  Fixture f;
  PaintPattern(*f);
  const Image card = f->Picture4.GetImage();
  const int W = kCanvasPixelsW, H = kCanvasPixelsH;
  struct Case {
    const char* name;
    std::vector<void (*)(State&)> flips;
    int (*sx)(int x, int W);
    int (*sy)(int y, int H);
  } cases[] = {
      {"hor", {FlipHorizontal}, [](int x, int w) { return w - 1 - x; }, [](int y, int) { return y; }},
      {"ver", {FlipVertical}, [](int x, int) { return x; }, [](int y, int h) { return h - 1 - y; }},
      {"hor+ver", {FlipHorizontal, FlipVertical}, [](int x, int w) { return w - 1 - x; },
       [](int y, int h) { return h - 1 - y; }},
      {"hor twice", {FlipHorizontal, FlipHorizontal}, [](int x, int) { return x; }, [](int y, int) { return y; }},
      {"ver twice", {FlipVertical, FlipVertical}, [](int x, int) { return x; }, [](int y, int) { return y; }},
  };
  for (const Case& c : cases) {
    f->Picture4.SetBackColor(0);
    std::copy(card.pixels.begin(), card.pixels.end(), f->Picture4.pixels());
    for (auto flip : c.flips) flip(*f);
    const Image& got = f->Picture4.image();
    int wrong = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) wrong += got.at(x, y) != card.at(c.sx(x, W), c.sy(y, H));
    EXPECT_EQ(wrong, 0) << c.name;
  }
}

TEST(Mirroring, ABlankCardStaysBlank) {
  Fixture f;
  const Image blank = f->Picture4.GetImage();
  CommandFlipHorizontal(*f);
  EXPECT_TRUE(f->Picture4.image() == blank);
  CommandFlipVertical(*f);
  EXPECT_TRUE(f->Picture4.image() == blank);
}

// --- saving -----------------------------------------------------------------

TEST(CardSaving, WritesTheCardUnderTheTimeOfSaving) {
  TempRoot root;
  Fixture f;
  StartUp(*f);
  PaintPattern(*f);
  f->imeslike = "GR-20160101000000";  // the name the card was begun under
  SavedCards saved;
  const SaveResult r = CommandSaveCard(*f, saved);
  const fs::path want = root.path / "wimgx" / "GR-20170102090503.bmp";
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.path, want);
  EXPECT_NE(r.message.find(want.string()), std::string::npos) << r.message;
  EXPECT_EQ(ReadAll(want), EncodeBmp(f->Picture4.image()));
  EXPECT_EQ(saved.names, std::set<std::string>{"GR-20170102090503"});

  // A second save in the same second takes the next second's name: no card is replaced.
  const auto first = ReadAll(want);
  f->Picture4.PSet(0, 0, RGB(1, 2, 3));
  const SaveResult second = CommandSaveCard(*f, saved);
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(Files(root.path / "wimgx"),
            (std::vector<std::string>{"GR-20170102090503.bmp", "GR-20170102090504.bmp"}));
  EXPECT_EQ(ReadAll(want), first);
  EXPECT_EQ(ReadAll(second.path), EncodeBmp(f->Picture4.image()));
}

TEST(CardSaving, AFailedSaveSaysWhyAndKeepsTheCard) {
  TempRoot root;
  Fixture f;
  StartUp(*f);
  PaintPattern(*f);
  const Image card = f->Picture4.GetImage();
  fs::remove_all(root.path / "wimgx");
  SavedCards saved;
  const SaveResult r = CommandSaveCard(*f, saved);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find((root.path / "wimgx" / "GR-20170102090503.bmp").string()), std::string::npos)
      << r.message;
  EXPECT_NE(r.message.find("still on screen"), std::string::npos) << r.message;
  EXPECT_TRUE(f->Picture4.image() == card);
  EXPECT_TRUE(saved.names.empty());
  EXPECT_FALSE(fs::exists(root.path / "wimgx"));  // nothing is made behind the user's back
}

// A card maker that costs nothing: each card differs in its first pixel.
void CheapCard(State& s) {
  MakeImageName(s);
  s.Picture4.SetBackColor(RGB(10, 20, 30));
  s.Picture4.PSet(0, 0, static_cast<Colour>(s.nz));
}

// The colour a saved bitmap holds at the card's top-left pixel (the last row of
// a bottom-up file).
Colour TopLeftOfBmp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  in.seekg(54 + static_cast<std::streamoff>(kCanvasPixelsH - 1) * kCanvasPixelsW * 3);
  unsigned char bgr[3] = {};
  in.read(reinterpret_cast<char*>(bgr), 3);
  return RGB(bgr[2], bgr[1], bgr[0]);
}

TEST(LoopWithSaving, FiftyCardsUnderFiftyNamesThenTheProgramEnds) {
  LoopRun run(3);  // the clock moves on slower than cards are made: names repeat
  auto& [root, host, s, saved] = run;
  CommandColor(*s);  // a fixed palette: the strip is kept
  s->t = "Bob";
  std::vector<std::pair<fs::path, Colour>> written;  // each file and its card's mark
  const auto on_saved = [&](const SaveResult& r) {
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.cards, static_cast<int>(written.size()) + 1);
    written.emplace_back(r.path, s->Picture4.Point(0, 0));
    // A stop during the last card does not keep the program alive.
    if (r.cards == kLoopSaveLimit) CommandStop(*s);
  };
  EXPECT_THROW(LoopAndSave(*s, saved, CheapCard, on_saved), EndProgram);
  EXPECT_TRUE(s->t.empty());
  EXPECT_EQ(s->nz, 51);
  ASSERT_EQ(written.size(), 50u);
  EXPECT_EQ(Files(root.path / "wimgx").size(), 50u);
  EXPECT_EQ(saved.names.size(), 50u);
  for (const auto& [path, mark] : written) EXPECT_EQ(TopLeftOfBmp(path), mark) << path;  // none overwritten
  EXPECT_GT(host.events, 0);  // it waited for the clock, with the window alive
}

TEST(LoopWithSaving, StopEndsTheLoopAfterTheCardIsSaved) {
  LoopRun run(1);
  auto& [root, host, s, saved] = run;
  const SaveResult r = LoopAndSave(*s, saved, CheapCard, [&](const SaveResult& saved_card) {
    if (saved_card.cards == 3) CommandStop(*s);
  });
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.cards, 3);
  EXPECT_EQ(s->nz, 4);
  EXPECT_EQ(Files(root.path / "wimgx").size(), 3u);
  // Mode 0: a fresh strip for each card, 401 draws apiece.
  EXPECT_EQ(s->rng.draws(), 3u * 401);
}

TEST(LoopWithSaving, AFailedSaveStopsTheLoopWithTheCardOnScreen) {
  LoopRun run(1);
  auto& [root, host, s, saved] = run;
  const SaveResult r = LoopAndSave(*s, saved, CheapCard, [&](const SaveResult& saved_card) {
    if (saved_card.cards == 2) fs::remove_all(root.path / "wimgx");
  });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.cards, 2);
  EXPECT_EQ(s->delaj, 0);
  EXPECT_EQ(s->Picture4.Point(0, 0), 3);  // the third card, unsaved, is still shown
  EXPECT_NE(r.message.find("stopped"), std::string::npos) << r.message;
  EXPECT_NE(r.message.find(r.path.string()), std::string::npos) << r.message;
}

TEST(LoopWithSaving, WaitsForTheClockRatherThanReuseAName) {
  Fixture f;
  SavedCards saved;
  saved.names.insert("GR-20170102090503");
  // A clock that stands still: no fresh name, after a short wait.
  EXPECT_FALSE(MakeFreshImageName(*f, saved, std::chrono::milliseconds(20)));
  EXPECT_GT(f.host.events, 0);

  DrivenHost host;
  host.every = 4;
  f->host = &host;
  ASSERT_TRUE(MakeFreshImageName(*f, saved));
  EXPECT_EQ(f->imeslike, "GR-20170102090504");
  EXPECT_EQ(host.readings, 4);
}

TEST(LoopWithSaving, TheCommandSavesAnonymousCards) {
  LoopRun run(1);
  auto& [root, host, s, saved] = run;
  s->t = "Bob";
  const SaveResult r = CommandLoopAndSave(*s, saved, [&](const SaveResult&) { CommandStop(*s); });
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.cards, 1);
  EXPECT_EQ(ReadAll(r.path), EncodeBmp(FirstLoopCard()));
}

TEST(ArchiveSave, WritesWhereTheFoldersExistAndSkipsTheRest) {
  struct Case {
    bool group, artist;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    TempRoot root;
    Fixture f;
    PaintPattern(*f);
    if (c.group) fs::create_directories(root.path / "baza-slik" / "skupina00");
    if (c.artist) fs::create_directories(root.path / "pelkin-art");
    const auto written = CommandArchiveSave(*f);
    std::vector<fs::path> want;
    if (c.group) want.push_back(root.path / "baza-slik" / "skupina00" / "slika00.jpg");
    if (c.artist) want.push_back(root.path / "pelkin-art" / "slika00.jpg");
    EXPECT_EQ(written, want);
    for (const auto& p : want) EXPECT_EQ(ReadAll(p), EncodeBmp(f->Picture4.image())) << p;  // bitmap data as is
    EXPECT_EQ(fs::exists(root.path / "baza-slik"), c.group);
    EXPECT_EQ(fs::exists(root.path / "pelkin-art"), c.artist);
  }
}

}  // namespace
}  // namespace mirelune
