// effects.h — the displacement effect that brings every picture onto the card,
// its per-pixel rule, and the ornament tree.
//
//   const Image picture = canvas.Snapshot();
//   ApplyDisplacementEffect({picture, canvas, card}, effect, offset_mode, EffectMode::kLine,
//                           distances, rng, buffers, watch, BestSimdLevel());  // picture -> card
//   DrawOrnamentTree(card, canvas, effect, rng, watch);                        // 400 baubles
#pragma once

#include "base/result.h"
#include "core/card_parts.h"
#include "generator/generator.h"
#include "numbers/numeric.h"

namespace mirelune {

// What the displacement effect reads and paints: the first sweep reads `picture`
// and repaints every pixel of `canvas` (a surface of the picture's size, whatever
// it held), the second reads that and paints `card`. The picture is the
// caller's snapshot of the canvas, the card's plain picture, so the effect needs
// no copy of its own.
struct EffectSurfaces {
  const Image& picture;
  Surface& canvas;
  Surface& card;
};

// The effect's three vectors: where each angle starts, how far it turns per
// position, and its base length.
struct TurningVectors {
  double angle[3] = {}, step[3] = {}, length[3] = {};
};

// Draws the vectors, then sweeps the canvas twice: down the columns into canvas,
// then along the rows onto card (kLine) or into the buffers' colour store
// followed by the random reveal (kPix). Reads the pass's rule, divisors and
// anchors, the offset mode (1..3, or what a style left there) and the distances
// `carry` holds; leaves the last measured distances there. Stops between lines
// (and every hundred revealed pixels) at the watch's request, and marks every
// 30 columns. The arithmetic runs on `level`'s instruction set, every level
// giving the same card; a level the processor lacks is refused
// (LevelAvailable), as is a picture of another size than the canvas, and then
// nothing is drawn.
Result<> ApplyDisplacementEffect(EffectSurfaces surfaces, const EffectParameters& effect, double offset_mode,
                                 EffectMode mode, EffectCarry& carry, Generator& rng, EffectBuffers& buffers,
                                 const CardWatch& watch, SimdLevel level);

// Where a position reads its colour on the source, and the colour there (-1
// off the picture).
struct DisplacedPosition {
  double source_x, source_y;
  Colour colour;
};

// One position (x, y) as the sweeps work it out, after turning the vectors by
// one step: rule effect.rule, offset mode `offset_mode`, the distances in carry.
// Rule 3 draws its factors from rng.
DisplacedPosition DisplacePixel(const Surface& source, const EffectParameters& effect, double offset_mode,
                                TurningVectors& vectors, const EffectCarry& carry, Generator& rng, double x,
                                double y);

// 400 baubles on `card` inside a fir-tree triangle, each coloured from a random
// point of `canvas`. The triangle's left corner and right x become the first
// and second anchor's x of `effect`, where "def +" finds them. Stops between
// baubles at the watch's request.
void DrawOrnamentTree(Surface& card, const Surface& canvas, EffectParameters& effect, Generator& g,
                      const CardWatch& watch = {});

}  // namespace mirelune
