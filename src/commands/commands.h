// commands.h — what each button of the window does, as engine functions over State.
//
//   State s; s.host = &host;
//   StartUp(s);            // folder, font, start values, captions
//   CommandNew(s);         // asks the names, paints the strip, makes the card
//   CommandColor(s);       // next colour mode; s.colour_mode_caption == "ba=1"
//
// The window owns the buttons and only mirrors what these functions leave in
// the state: the captions `caption11`, `caption12`, `caption18` and the
// visibility of plain_picture. Nothing here knows about Qt, so the tests drive every
// command with a ScriptedHost.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/state.h"
#include "effects/mirror.h"
#include "files/saving.h"

namespace mirelune {

// The stages of a card after its strip, in the order MakeCard runs them.
enum class CardStage { kStrip, kPass, kEffect, kOrnaments, kText };
const char* StageName(CardStage stage);
using StageHook = std::function<void(CardStage, const State&)>;

// Image name, generation pass, displacement effect, ornament tree, card text;
// `after` hears of each stage as it ends (tests digest every stage).
void MakeCard(State& s);
void MakeCard(State& s, const StageHook& after);

// A card from names and settings: what "new" does, with the names given instead
// of asked for and the settings of the workbench fixed.
struct CardSettings {
  std::string friend_name, sender;
  int max_styles = 15;  // nnn, 1..24
  int palette = 0;      // colorr: 0 a palette drawn at random, else 1..26
  bool pix = false;     // the effect's pixel-by-pixel reveal
};
void MakeCardFromNames(State& s, const CardSettings& c, const StageHook& after = {});


// The engine's share of start-up, in its fixed order: creates the output folder,
// opens the text font, stores the prompt texts and the start values, and sets the
// three captions. A folder that cannot be made or a font that cannot be used is
// reported through the host, and start-up goes on.
void StartUp(State& s);

// Opens the card's own face files (the greeting's and the extruded letters'), so
// that a missing or damaged one stops a card before it is drawn without its
// text: the message names the file and the reason (or the package to install).
Result<> PrepareFaces();

// Reports through the host, once each, why text was not drawn as asked since the
// last report (MakeCard calls it after every card).
void ReportTextFailures(State& s);

// "new": resets the colour mode and the brightness drift, asks for both names,
// reseeds from them, paints a fresh strip and makes the card.
void CommandNew(State& s);

// "new img": a card without names, reseeded from the clock; the strip is
// repainted only in colour mode 0.
void CommandNewImage(State& s);

// "loop": anonymous cards one after another until `delaj` drops to 0. The flag
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

// "color": the next of the 27 colour modes (0..26), shown as "ba=N", and a strip in it.
void CommandColor(State& s);

// "+" and "--": the style limit `nnn`, kept within 1..24 and shown on Command12.
void CommandMoreStyles(State& s);
void CommandFewerStyles(State& s);

// "line" / "pix": toggles the effect's drawing mode and the caption with it.
void CommandLinePix(State& s);

// "geometrijska slika": shows or hides the plain picture in front of the card.
void CommandPlainPicture(State& s);

// "def +": the card becomes the canvas's background and goes through the effect again.
void CommandDefPlus(State& s);

// "palette": the palette chooser.
void CommandPalette(State& s);

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
