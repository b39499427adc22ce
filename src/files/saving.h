// saving.h — writing the card to disk: the save command, fresh names for a
// series of cards, and the archive copies.
//
//   SavedCards saved;                  // one per program run
//   SaveResult r = SaveCard(s, saved); // <root>/wimgx/GR-20170102090503.bmp
//   if (!r) show(r.message);
//
// A time-stamped card never replaces another: its name is created exclusively,
// and when it is taken (a save in the same second, here or in another process)
// the card takes the next second's name, as many seconds ahead as names are taken.
// Names keep their "GR-" + 14 digits form.
// A series of cards (the loop with saving) waits on the host's clock until a name
// comes up that no card of this run was saved under, so its names follow the clock.
#pragma once

#include <chrono>
#include <filesystem>
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

struct SaveResult : Result<> {
  using Result<>::Result;
  std::filesystem::path path;  // the file written, or the one that could not be
};

// Names the card by the time of saving and writes card as a bitmap into the
// output folder as a new file (SaveNewCard).
SaveResult SaveCard(State& s, SavedCards& saved);

// The same under the name the card already has (see MakeFreshImageName).
SaveResult SaveNamedCard(State& s, SavedCards& saved);

// Writes card as <output folder>/<image name>.bmp, never over an existing file:
// while the name is taken the card moves on by a second, and `names.image_name` follows.
SaveResult SaveNewCard(State& s);
// The same with the card already encoded, under `extension` (".png", ".jpg").
SaveResult SaveNewCardAs(State& s, std::span<const std::uint8_t> bytes, const std::string& extension);

// Writes card under the current name: a card this program saved under that
// name is rewritten, any other name is saved as by SaveNewCard. Sending uses it.
SaveResult SaveCurrentCard(State& s);

// The card as mail takes it: under the current name (formed when the card has none
// yet), the folder made when missing; a failure's message ends "Nothing was sent."
SaveResult SaveCardForMail(State& s);

// The name one second after `name` ("GR-20171231235959" -> "GR-20180101000000");
// empty when `name` is not a card name or is the last one ("GR-99991231235959").
std::string NextSecondName(const std::string& name);

// Forms a name no card of this run was saved under, letting the window's events
// run while it waits for the clock's next second. False when the clock has not
// moved on within `patience`.
bool MakeFreshImageName(State& s, const SavedCards& saved,
                        std::chrono::milliseconds patience = std::chrono::seconds(3));

// Writes the card to the two archive files whose folders exist; failures are
// skipped silently. Returns the files written.
std::vector<std::filesystem::path> ArchiveSave(State& s);

}  // namespace mirelune
