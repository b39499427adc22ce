// effects.h — the displacement effect that brings every picture onto the card,
// its per-pixel rule, and the ornament tree.
//
//   ApplyDisplacementEffect(s);  // canvas -> (effect_source snapshot) -> card
//   DrawOrnamentTree(s.card, s.canvas, s.pass, s.settings, s.rng, s.host);  // 400 baubles
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

// 400 baubles on `card` inside a fir-tree triangle, each coloured from a random
// point of `canvas`; `host` lets window events in before every try of a position.
// The triangle's left corner and right x become anchor 1 and anchor 2's x of
// `pass`, where "def +" finds them.
void DrawOrnamentTree(Surface& card, const Surface& canvas, PassParameters& pass, const Settings& settings, Generator& g,
                      Host* host);

}  // namespace mirelune
