// commands.h — what each button of the window does, as functions over the
// session: the value that holds what the window keeps from one command to the next.
//
//   Session s;
//   CommandNew(s, "Mary", "Bob", watch);   // the card for two names
//   CommandColor(s);                       // the next colour mode and a strip in it
//   ColourModeCaption(s.settings) == "ba=1"
//
// The window owns the buttons, the dialogs and the thread a card is made on: it
// asks for the names or the palette number itself and hands the answers in. A
// command that makes a card takes a CardWatch, so the window can stop it and
// show it growing. Nothing here knows about Qt, so the tests drive every command.
#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "card/card.h"

namespace mirelune {

// What the workbench's buttons set.
struct WorkbenchSettings {
  int max_styles = 15;                  // 1..24
  int colour_mode = 0;                  // 0: a fresh random strip before every card; 1..26 a fixed palette
  EffectMode mode = EffectMode::kLine;
  bool plain_visible = false;           // the plain picture shown in front of the card
};

// What the window keeps between commands.
struct Session {
  WorkbenchSettings settings;
  Greeting names;              // of the card shown; no sender for a picture without names
  double seed = 0;             // of the card shown, when made from names
  CardStats stats;             // of the card shown
  Surface card = NewCanvas();  // the card shown: saved, mirrored, mailed
  Image plain_picture;         // the picture before the effect
  CardCarry carry;             // where the last card left the sequence: "new img", the loops and "def +" go on from it
  CardMemory memory;           // the effect's working memory, from card to card
  Fonts fonts{FontFolder()};   // the faces every card of the session is drawn with
  TextRecord text;             // of the card shown: the faces that drew it, what went wrong
  // The card "new" made, before its greeting, and the faces its picture used:
  // another greeting is written on it. None once another command changed the card.
  std::optional<Surface> ungreeted;
  TextRecord picture_text;
  std::string image_name;      // "GR-<yyyymmddhhmmss>": the name the card was last saved under
  std::set<std::string> saved_names;  // every name this run saved a card under: only these are rewritten
};

// The prompts of the two name dialogs.
inline constexpr const char* kFriendNamePrompt = "ENTER YOUR FRIEND'S NAME";
inline constexpr const char* kOwnNamePrompt = "ENTER YOUR NAME";
inline constexpr const char* kCasePrompt = "CASE SENSITIVE (Mary not equal mary)";

// The spec of the card "new" makes for these names: the workbench's style limit
// and effect mode, a random palette, the year given.
CardSpec NewCardSpec(const WorkbenchSettings& settings, const std::string& friend_name, const std::string& sender,
                     int year);

// "new": the card MakeCard makes from these settings; the colour mode goes back to 0.
// A stopped card leaves the session as it was. Returns the card's result.
Card CommandNew(Session& s, const CardSpec& spec, const CardWatch& watch = {});

// The greeting of the card "new" made written anew for `g` (other words, another
// year; the same names) on its picture as it was before its greeting, which is
// not painted again: the card MakeCard makes for those settings. False, and
// nothing changed, when the card shown is not one "new" made as it came.
bool CommandGreetAgain(Session& s, const Greeting& g);

// A card without names, going on from where the last card left the sequence:
// a fresh strip first in colour mode 0. False when stopped (the card shown stays).
bool PaintNextCard(Session& s, const CardWatch& watch = {});

// "new img": a card without names, the sequence reseeded by the clock
// (`clock_seconds`, seconds since midnight); the strip is repainted only in
// colour mode 0. False when stopped (the card shown stays).
bool CommandNewImage(Session& s, double clock_seconds, const CardWatch& watch = {});

// "loop": cards without names one after another until the watch stops;
// `shown` hears of every card finished.
void CommandLoop(Session& s, const CardWatch& watch, const std::function<void(const Session&)>& shown = {});

// "new palette": a fresh strip in the current colour mode.
void CommandNewPalette(Session& s);

// "color": the next of the 27 colour modes (0..26) and a strip in it.
void CommandColor(Session& s);

// "+" and "--": the style limit, kept within 1..24.
void CommandMoreStyles(Session& s);
void CommandFewerStyles(Session& s);

// "line" / "pix": toggles the effect's drawing mode.
void CommandLinePix(Session& s);

// "geometrijska slika": shows or hides the plain picture in front of the card.
void CommandPlainPicture(Session& s);

// "def +": the card becomes the canvas's background and goes through the effect again.
void CommandDefPlus(Session& s, const CardWatch& watch = {});

// "palette", after the swatches (DrawPaletteSwatches on the card) and the
// answer: the number becomes the colour mode and a palette (not 0) gets a strip
// at once. Returns the colour button's new caption, "ba=" and the answer as
// typed, or nothing when the answer 0 leaves it as it was.
std::optional<std::string> CommandChoosePalette(Session& s, int number, const std::string& answer);

// "flip-hor" / "flip-ver".
void CommandFlipHorizontal(Session& s);
void CommandFlipVertical(Session& s);

// The captions of the three workbench buttons that show a setting: the colour
// mode ("ba=0"; the palette chooser shows the answer as typed instead), the style
// limit ("15") and the effect's mode ("line" or "pix").
std::string ColourModeCaption(const WorkbenchSettings& settings);
std::string MaxStylesCaption(const WorkbenchSettings& settings);
std::string EffectModeCaption(const WorkbenchSettings& settings);

// --- saving (saving.cpp) ---
//
// A time-stamped card never replaces another: its name is created exclusively,
// and when it is taken (a save in the same second, here or in another process)
// the card takes the next second's name, as many seconds ahead as names are
// taken. Names keep their "GR-" + 14 digits form.

// "save on C:\wimgx": names the card by `now` and writes it as a bitmap into the
// output folder as a new file.
Result<std::filesystem::path> CommandSaveCard(Session& s, const std::tm& now);

// Writes the card under `extension` (".bmp", ".png", ".jpg") with these bytes as
// a new file named by `now` (or the name it has, when it has one).
Result<std::filesystem::path> SaveNewCardAs(Session& s, std::span<const std::uint8_t> bytes,
                                            const std::string& extension, const std::tm& now);

// Writes the card under the name it was saved under, when this run saved it so;
// otherwise as a new file named by `now`. Sending uses it.
Result<std::filesystem::path> SaveCurrentCard(Session& s, const std::tm& now);

// Saves the card for sending (SaveCurrentCard; the output folder is made when it
// is missing): the message says nothing was sent when it fails.
Result<std::filesystem::path> SaveCardForMail(Session& s, const std::tm& now);

// The name one second after `name` ("GR-20171231235959" -> "GR-20180101000000");
// empty when `name` is not a card name or is the last one ("GR-99991231235959").
std::string NextSecondName(const std::string& name);

// The loop with saving ends the program after this many cards.
inline constexpr int kLoopSaveLimit = 50;

// How a loop that saved every card ended: stopped by the watch (or a card that
// could not be painted), or with its last card, after which the program is to end.
enum class LoopEnd { kStopped, kLimitReached };

// "loop + save": cards without names, each saved under a name no earlier card of
// this run used, taken from `clock` (waiting up to three seconds for its next
// second), until the watch stops or a save fails; after card `limit` the program
// is to end. `on_saved` hears of every file with the count of cards saved so far.
Result<LoopEnd> CommandLoopAndSave(Session& s, const CardWatch& watch, const std::function<std::tm()>& clock,
                                   const std::function<void(const std::filesystem::path&, int cards)>& on_saved = {},
                                   int limit = kLoopSaveLimit);

// "sav": the two archive copies; returns the files written (missing folders are skipped).
std::vector<std::filesystem::path> CommandArchiveSave(const Session& s);

// The local time now, and seconds since local midnight: what the window hands
// the commands that name or seed by the clock.
std::tm LocalTimeNow();
double SecondsSinceMidnight();

}  // namespace mirelune
