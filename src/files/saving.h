// saving.h — writing the card to disk: the save command, the loop with saving
// and the archive copies.
//
//   SavedCards saved;                  // one per program run
//   SaveResult r = SaveCard(s, saved); // <root>/wimgx/GR-20170102090503.bmp
//   if (!r.ok) show(r.message);
//
// The loop with saving can finish two cards within one second. Names keep their
// "GR-" + 14 digits form, so instead of renaming, the loop waits on the host's
// clock until a name comes up that no card of this run was saved under.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/state.h"

namespace mirelune {

// Names of the cards saved in this run.
struct SavedCards {
  std::set<std::string> names;
};

struct SaveResult {
  bool ok = true;
  std::filesystem::path path;  // the file written, or the one that could not be
  std::string message;         // one sentence for the user
  int cards = 0;               // cards the loop with saving wrote
};

// The loop with saving ends the program after this many cards.
inline constexpr int kLoopSaveLimit = 50;

// Names the card by the time of saving and writes Picture4 as a bitmap into the
// output folder, replacing a file of that name (two saves in one second share it).
SaveResult SaveCard(State& s, SavedCards& saved);

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
