// saving.cpp — the save command, the loop with saving and the archive copies.
#include "files/saving.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "card/card.h"
#include "files/files.h"
#include "palette/palette.h"

namespace mirelune {
namespace {

SaveResult WriteCard(State& s, SavedCards& saved) {
  SaveResult r;
  r.path = CardPath(s);
  std::string err;
  if (!SaveImage(s.Picture4.image(), r.path, &err)) {
    r.ok = false;
    r.message = "The card could not be saved (" + err + "); it is still on screen.";
    return r;
  }
  saved.names.insert(s.imeslike);
  r.message = "Saved " + r.path.string();
  return r;
}

}  // namespace

SaveResult SaveCard(State& s, SavedCards& saved) {
  MakeImageName(s);
  return WriteCard(s, saved);
}

bool MakeFreshImageName(State& s, const SavedCards& saved, std::chrono::milliseconds patience) {
  MakeImageName(s);
  const auto start = std::chrono::steady_clock::now();
  while (saved.names.count(s.imeslike)) {
    if (std::chrono::steady_clock::now() - start > patience) return false;
    if (s.host) s.host->DoEvents();
    // Nothing to do until the clock moves on; do not spin a core meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    MakeImageName(s);
  }
  return true;
}

SaveResult LoopAndSave(State& s, SavedCards& saved, const std::function<void(State&)>& make_card,
                       const std::function<void(const SaveResult&)>& on_saved) {
  s.t.clear();
  s.delaj = 1;
  s.nz = 0;
  SaveResult last;
  for (;;) {
    s.nz = s.nz + 1;
    // The count is tested before the stop flag: a stop during the last card
    // still ends the program.
    if (s.nz > kLoopSaveLimit) {
      if (s.host) s.host->End();
      throw EndProgram{};
    }
    if (s.delaj == 0) return last;
    if (s.colorr == 0) DrawPaletteStrip(s);
    make_card(s);
    if (!MakeFreshImageName(s, saved)) {
      s.delaj = 0;
      last.ok = false;
      last.path = CardPath(s);
      last.message = "The loop with saving stopped: the clock does not move on, so the next card "
                     "would replace " + last.path.string() + ".";
      return last;
    }
    const int cards = last.cards;
    last = WriteCard(s, saved);
    if (!last.ok) {
      s.delaj = 0;
      last.cards = cards;
      last.message = "The loop with saving stopped: " + last.message;
      return last;
    }
    last.cards = cards + 1;
    if (on_saved) on_saved(last);
  }
}

std::vector<std::filesystem::path> ArchiveSave(State& s) {
  std::vector<std::filesystem::path> written;
  for (const std::filesystem::path& path : {ArchivePathGroup(), ArchivePathArtist()}) {
    // No folder is made for the archive: where it is missing the copy is skipped.
    std::error_code ec;
    if (!std::filesystem::is_directory(path.parent_path(), ec)) continue;
    if (SaveImage(s.Picture4.image(), path, nullptr)) written.push_back(path);
  }
  return written;
}

}  // namespace mirelune
