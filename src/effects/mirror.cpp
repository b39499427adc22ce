// mirror.cpp — a snapshot of the card painted back with a negative width or height.
#include "effects/mirror.h"

namespace mirelune {
namespace {

// The snapshot is taken whole before the card is cleared, so the redraw never
// reads pixels it has already written.
void Repaint(Surface& card, bool left_right) {
  const Image snapshot = card.Snapshot();
  card.Clear();
  const double w = card.scale_width(), h = card.scale_height();
  if (left_right) {
    card.DrawImageScaled(snapshot, w, 0, -w, h);
  } else {
    card.DrawImageScaled(snapshot, 0, h, w, -h);
  }
}

}  // namespace

void FlipHorizontal(Surface& card) { Repaint(card, true); }

void FlipVertical(Surface& card) { Repaint(card, false); }

}  // namespace mirelune
