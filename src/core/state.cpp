#include "core/state.h"

namespace mirelune {

State::State() {
  SetStartValues(*this);
  InitPaletteTable(*this);
}

void SetStartValues(State& s) {
  s.t1a = "vnesi \xC5\xA1tevilko palete";
  s.t2a = "0 za izhod";
  s.t3a = "IZBOR PALETE";
  s.t1 = "ENTER YOUR NAME";
  s.t2 = "CASE SENSITIVE (Mary not equal mary)";
  s.t3 = "ENTER YOUR FRIEND'S NAME";
  s.sir = 900;
  s.vis = 675;
  s.sir1 = s.sir;
  s.vis1 = s.vis;
  s.rr = 10;
  s.delaj = 0;
  s.tekst = 1;
  s.colorr = 0;
  s.caption11 = "ba=" + NumberText(s.colorr);
  s.nnn = 15;
  s.caption12 = NumberText(s.nnn);
  s.linepix = 1;
  s.caption18 = "line";
  s.Picture6.visible = false;
}

}  // namespace mirelune
