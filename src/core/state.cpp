#include "core/state.h"

namespace mirelune {

State::State() {
  SetStartValues(*this);
  InitPaletteTable(*this);
}

void SetStartValues(State& s) {
  s.palette_prompt = "vnesi \xC5\xA1tevilko palete";
  s.palette_exit_prompt = "0 za izhod";
  s.palette_prompt_title = "IZBOR PALETE";
  s.own_name_prompt = "ENTER YOUR NAME";
  s.case_prompt = "CASE SENSITIVE (Mary not equal mary)";
  s.friend_name_prompt = "ENTER YOUR FRIEND'S NAME";
  s.settings.canvas_width = 900;
  s.settings.canvas_height = 675;
  s.settings.tree_width = s.settings.canvas_width;
  s.settings.tree_height = s.settings.canvas_height;
  s.left.cluster_radius = 10;
  s.settings.loop_running = 0;
  s.settings.with_names = 1;
  s.settings.colour_mode = 0;
  s.colour_mode_caption = "ba=" + NumberText(s.settings.colour_mode);
  s.settings.max_styles = 15;
  s.max_styles_caption = NumberText(s.settings.max_styles);
  s.settings.effect_mode = 1;
  s.effect_mode_caption = "line";
  s.plain_picture.visible = false;
}

}  // namespace mirelune
