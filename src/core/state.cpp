#include "core/state.h"

namespace mirelune {

State::State() { SetStartValues(*this); }

void SetStartValues(State& s) {
  s.settings.canvas_width = 900;
  s.settings.canvas_height = 675;
  s.settings.tree_width = s.settings.canvas_width;
  s.settings.tree_height = s.settings.canvas_height;
  s.settings.loop_running = 0;
  s.settings.with_names = 1;
  s.settings.colour_mode = 0;
  s.settings.max_styles = 15;
  s.settings.effect_mode = 1;
  s.plain_picture.visible = false;
}

}  // namespace mirelune
