// loops.cpp — the loop with saving: anonymous cards one after another, each
// saved under a fresh name as soon as it is made.
#include "commands/commands.h"

#include "files/files.h"
#include "palette/palette.h"

namespace mirelune {

LoopSaveResult CommandLoopAndSave(State& s, SavedCards& saved,
                                  const std::function<void(const SaveResult&, int cards)>& on_saved, int limit) {
  s.names.own_name.clear();
  s.settings.loop_running = 1;
  s.settings.images_saved = 0;
  LoopSaveResult last;
  for (;;) {
    s.settings.images_saved = s.settings.images_saved + 1;
    // The count is tested before the stop flag: a stop during the last card
    // still ends the program.
    if (s.settings.images_saved > limit) {
      last.next = Next::kEndProgram;
      return last;
    }
    if (s.settings.loop_running == 0) return last;
    if (s.settings.colour_mode == 0) DrawPaletteStrip(s);
    MakeCard(s);
    if (!MakeFreshImageName(s, saved)) {
      s.settings.loop_running = 0;
      last.ok = false;
      last.path = CardPath(s);
      last.message = "The loop with saving stopped: the clock does not move on, so the next card "
                     "would replace " + last.path.string() + ".";
      return last;
    }
    const SaveResult r = SaveNamedCard(s, saved);
    static_cast<SaveResult&>(last) = r;
    if (!r) {
      s.settings.loop_running = 0;
      last.message = "The loop with saving stopped: " + r.message;
      return last;
    }
    ++last.cards;
    if (on_saved) on_saved(r, last.cards);
  }
}

}  // namespace mirelune
