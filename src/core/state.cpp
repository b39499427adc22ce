#include "core/state.h"

namespace mirelune {

State::State() {
  // The engine's share of start-up: the plain picture is hidden, the table filled.
  Picture6.Visible = false;
  InitPaletteTable(*this);
}

}  // namespace mirelune
