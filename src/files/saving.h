// saving.h — writing the card to disk: the save command, the loop with saving
// and the archive copies.
//
//   SavedCards saved;                  // one per program run
//   SaveResult r = SaveCard(s, saved); // <root>/wimgx/GR-20170102090503.bmp
//   if (!r) show(r.message);
//
// A time-stamped card never replaces another: its name is created exclusively,
// and when it is taken (a save in the same second, here or in another process)
// the card takes the next second's name, as many seconds ahead as names are taken.
// Names keep their "GR-" + 14 digits form.
// The loop with saving also waits on the host's clock until a name comes up that
// no card of this run was saved under, so its names follow the clock.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/state.h"
#include "base/result.h"

namespace mirelune {

// Names of the cards saved in this run.
struct SavedCards {
  std::set<std::string> names;
};

struct SaveResult : Result {
  std::filesystem::path path;  // the file written, or the one that could not be
  int cards = 0;               // cards the loop with saving wrote
};

// The loop with saving ends the program after this many cards.
inline constexpr int kLoopSaveLimit = 50;

// Names the card by the time of saving and writes card as a bitmap into the
// output folder as a new file (SaveNewCard).
SaveResult SaveCard(State& s, SavedCards& saved);

// Writes card as <output folder>/<imeslike>.bmp, never over an existing file:
// while the name is taken the card moves on by a second, and `imeslike` follows.
SaveResult SaveNewCard(State& s);
// The same with the card already encoded, under `extension` (".png", ".jpg").
SaveResult SaveNewCardAs(State& s, std::span<const std::uint8_t> bytes, const std::string& extension);

// Writes card under the current name: a card this program saved under that
// name is rewritten, any other name is saved as by SaveNewCard. Sending uses it.
SaveResult SaveCurrentCard(State& s);

// The name one second after `name` ("GR-20171231235959" -> "GR-20180101000000");
// empty when `name` is not a card name or is the last one ("GR-99991231235959").
std::string NextSecondName(const std::string& name);

// Forms a name no card of this run was saved under, letting the window's events
// run while it waits for the clock's next second. False when the clock has not
// moved on within `patience`.
bool MakeFreshImageName(State& s, const SavedCards& saved,
                        std::chrono::milliseconds patience = std::chrono::seconds(3));

// The loop with saving, with the card maker as a parameter so that tests can run
// its fifty rounds quickly. Stops at `delaj` = 0 after a saved card, on a failed
// save (with `delaj` = 0 and the card left on screen) and ends the program
// through the host after card kLoopSaveLimit.
SaveResult LoopAndSave(State& s, SavedCards& saved, const std::function<void(State&)>& make_card,
                       const std::function<void(const SaveResult&)>& on_saved);

// Writes the card to the two archive files whose folders exist; failures are
// skipped silently. Returns the files written.
std::vector<std::filesystem::path> ArchiveSave(State& s);

}  // namespace mirelune
