// effects.h — the displacement effect that brings every picture onto the card,
// its per-pixel rule, and the ornament tree.
//
//   ApplyDisplacementEffect(s);  // canvas -> (effect_source snapshot) -> card
//   DrawOrnamentTree(s);         // 400 baubles on card, coloured from canvas
#pragma once

#include "core/state.h"

namespace mirelune {

// Draws the angles, lengths and steps, then sweeps the canvas twice: down the
// columns into canvas, then along the rows onto card ("line") or into the
// colour store followed by the random reveal ("pix").
void ApplyDisplacementEffect(State& s);
// The same with the sweeps' arithmetic on one instruction set; kScalar works one
// position at a time, as DisplacePixel does. Every level gives the same card.
void ApplyDisplacementEffect(State& s, SimdLevel level);

// One pixel (`i`, `j`) of the current sweep (`cikel`) by rule `f` and offset
// mode `d`. The sweeps run the same computation inline.
void DisplacePixel(State& s);

// Shows the colour store on card one pixel at a time, in random order; the
// draws are made on `level`'s instruction set, the same on every one.
void RevealPixelsAtRandom(State& s, SimdLevel level = BestSimdLevel());

void DrawOrnamentTree(State& s);
void DrawOrnament(State& s);

}  // namespace mirelune
