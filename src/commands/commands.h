// commands.h — what each button of the window does, as engine functions over State,
// and the card's road from names to the finished card.
//
//   State s; s.host = &host;
//   StartUp(s);                  // folder, faces, start values
//   CommandNew(s);               // asks the names, paints the strip, makes the card
//   CommandColor(s);             // the next colour mode and a strip in it
//   ColourModeCaption(s.settings) == "ba=1"
//   const CardStats stats = MakeCardFromNames(s, {"Mary", "Bob"});  // the command line's card
//
// The window owns the buttons: it shows the settings through the caption
// functions below, the chooser's answer on the colour button, and plain_picture
// while it is visible. Nothing here knows about Qt, so the tests drive every
// command with a ScriptedHost.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/state.h"
#include "effects/mirror.h"
#include "files/saving.h"

namespace mirelune {

// The stages of a card, in the order they run.
enum class CardStage { kStrip, kPass, kEffect, kOrnaments, kText };
const char* StageName(CardStage stage);
using StageHook = std::function<void(CardStage, const State&)>;

// What a card was made from and how many draws of the generator each stage took.
struct CardStats {
  int palette = 0;              // the strip's palette (cards made from names)
  std::uint64_t strip = 0;      // the palette strip (cards made from names)
  std::uint64_t pass = 0;       // the generation pass's own draws
  std::uint64_t styles = 0;     // all style calls together
  std::uint64_t effect = 0;     // both sweeps and the reveal
  std::uint64_t ornaments = 0;  // the ornament tree
  std::uint64_t total = 0;      // strip to text (cards made from names)
  double background_row = 0;    // the strip row the background took
  double offset_mode = 0;       // as the pass drew it
  double effect_offset_mode = 0;  // as the effect used it, after the styles
  std::array<int, kStyleCount> flags{};  // 1 for each style chosen
};

// Image name, generation pass, displacement effect, ornament tree, card text, on
// the strip already painted; `after` hears of each stage as it ends (tests digest
// every stage). Returns the stages' draws and what the pass drew.
CardStats MakeCard(State& s, const StageHook& after = {});

// A card from names and settings: what "new" does, with the names given instead
// of asked for and the settings of the workbench fixed.
struct CardSettings {
  std::string friend_name, sender;
  int max_styles = 15;  // 1..24
  int palette = 0;      // 0 a palette drawn at random, else 1..26
  bool pix = false;     // the effect's pixel-by-pixel reveal
};
CardStats MakeCardFromNames(State& s, const CardSettings& c, const StageHook& after = {});

// The captions of the three workbench buttons that show a setting: the colour
// mode ("ba=0"; the palette chooser shows the answer as typed instead), the style
// limit ("15") and the effect's mode ("line" or "pix").
std::string ColourModeCaption(const Settings& settings);
std::string MaxStylesCaption(const Settings& settings);
std::string EffectModeCaption(const Settings& settings);

// The engine's share of start-up, in its fixed order: creates the output folder,
// opens the text font and stores the start values. A folder that cannot be made or a font that cannot be used is
// reported through the host, and start-up goes on.
void StartUp(State& s);

// Opens the card's own face files (the greeting's and the extruded letters'), so
// that a missing or damaged one stops a card before it is drawn without its
// text: the message names the file and the reason (or the package to install).
// The second opens them in a value of its own, for a front end's check at start.
Result<> PrepareFaces(Fonts& fonts);
Result<> PrepareFaces(const std::string& folder);

// Takes the record of the text drawn since the last take into s.text (MakeCard
// calls it after every card, so it is the card's) and tells its problems.
void ReportTextFailures(State& s);
// Reports through the host why text was not drawn as asked, each reason once in
// the state's life: every card's record has it, the user hears it once.
void TellTextProblems(State& s, const std::vector<std::string>& problems);

// "new": asks for both names, then makes the card MakeCardFromNames makes for
// them with the current style limit and effect mode (colour mode 0, no brightness
// drift). Cancel on either dialog leaves everything as it was: nothing returned.
struct NewCard {
  CardSettings settings;
  CardStats stats;
};
std::optional<NewCard> CommandNew(State& s);

// "new img": a card without names, reseeded from the clock; the strip is
// repainted only in colour mode 0.
void CommandNewImage(State& s);

// "loop": anonymous cards one after another until "stop" clears loop_running. The flag
// is tested between cards only, so the card under way is always finished.
void CommandLoop(State& s);

// "stop": ends a running loop after its current card.
void CommandStop(State& s);

// What a command leaves the front end to do once it returns.
enum class [[nodiscard]] Next { kGoOn, kEndProgram };

// "exit": stops a running loop after its card and asks the front end to end the
// program. (The window ends a card under way too: its host stops the command at
// its next LetEventsIn once the program is ending.)
Next CommandExit(State& s);

// "new palette": a fresh strip in the current colour mode.
void CommandNewPalette(State& s);

// "color": the next of the 27 colour modes (0..26) and a strip in it.
void CommandColor(State& s);

// "+" and "--": the style limit, kept within 1..24.
void CommandMoreStyles(State& s);
void CommandFewerStyles(State& s);

// "line" / "pix": toggles the effect's drawing mode.
void CommandLinePix(State& s);

// "geometrijska slika": shows or hides the plain picture in front of the card.
void CommandPlainPicture(State& s);

// "def +": the card becomes the canvas's background and goes through the effect again.
void CommandDefPlus(State& s);

// "palette": the palette chooser. Returns the colour button's new caption, "ba="
// and the answer as typed, or nothing when the answer 0 leaves it as it was.
std::optional<std::string> CommandPalette(State& s);

// "flip-hor" / "flip-ver".
void CommandFlipHorizontal(State& s);
void CommandFlipVertical(State& s);

// "save on C:\wimgx": names the card by the time of saving and writes it to the
// output folder. The result carries the path written, or why not.
SaveResult CommandSaveCard(State& s, SavedCards& saved);

// The loop with saving ends the program after this many cards.
inline constexpr int kLoopSaveLimit = 50;

struct LoopSaveResult : SaveResult {
  using SaveResult::SaveResult;
  int cards = 0;                  // cards saved by this loop
  Next next = Next::kGoOn;        // kEndProgram once `limit` cards are saved
};

// "loop + save" (loops.cpp): anonymous cards, each saved under a name no earlier
// card of this run used, until `loop_running` drops to 0 after a saved card or a
// save fails (the failing card stays on screen, `loop_running` is 0); after card
// `limit` the program is to end, even when a stop came during that card.
// `on_saved` hears of every file with the count of cards saved so far.
LoopSaveResult CommandLoopAndSave(State& s, SavedCards& saved,
                                  const std::function<void(const SaveResult&, int cards)>& on_saved = {},
                                  int limit = kLoopSaveLimit);

// "sav": the two archive copies; returns the files written (missing folders are skipped).
std::vector<std::filesystem::path> CommandArchiveSave(State& s);

}  // namespace mirelune
