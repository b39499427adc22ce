// effects.h — the displacement effect that brings every picture onto the card,
// its per-pixel rule, and the ornament tree.
//
//   ApplyDisplacementEffect({canvas, source, card}, pass, offset_mode, settings,
//                           carry, rng, host, buffers, level);  // canvas -> card
//   DrawOrnamentTree(s.card, s.canvas, s.pass, s.settings, s.rng, s.host);  // 400 baubles
#pragma once

#include "base/result.h"
#include "core/state.h"

namespace mirelune {

// The surfaces the displacement effect touches: `source` takes a snapshot of
// `canvas` before each sweep; the first sweep redraws `canvas`, the second
// paints `card`.
struct EffectSurfaces {
  Surface& canvas;
  Surface& source;
  Surface& card;
};

// The effect's three vectors: where each angle starts, how far it turns per
// position, and its base length.
struct TurningVectors {
  double angle[3] = {}, step[3] = {}, length[3] = {};
};

// Draws the vectors, then sweeps the canvas twice: down the columns into canvas,
// then along the rows onto card ("line", settings.effect_mode 1) or into the
// buffers' colour store followed by the random reveal ("pix", 2). Reads the
// pass's rule, divisors and anchors, the offset mode (1..3, or what a style left
// there) and carry's distances; leaves the last measured distances in carry and
// drifts settings.brightness by brightness_step per row. The arithmetic runs on
// `level`'s instruction set, every level giving the same card; a level the
// processor lacks is refused (LevelAvailable), and then nothing is drawn.
Result<> ApplyDisplacementEffect(EffectSurfaces surfaces, const PassParameters& pass, double offset_mode,
                                 Settings& settings, EffectCarry& carry, Generator& rng, Host* host,
                               EffectBuffers& buffers, SimdLevel level);
// The same on the state's surfaces and groups, on the best level.
void ApplyDisplacementEffect(State& s);

// Where a position reads its colour on the source, and the colour there (-1
// off the picture).
struct DisplacedPosition {
  double source_x, source_y;
  Colour colour;
};

// One position (x, y) as the sweeps work it out, after turning the vectors by
// one step: rule pass.rule, offset mode `offset_mode`, the distances in carry.
// Rule 3 draws its factors from rng.
DisplacedPosition DisplacePixel(const Surface& source, const PassParameters& pass, double offset_mode,
                                TurningVectors& vectors, const EffectCarry& carry, Generator& rng, double x,
                                double y);

// 400 baubles on `card` inside a fir-tree triangle, each coloured from a random
// point of `canvas`; `host` lets window events in before every try of a position.
// The triangle's left corner and right x become anchor 1 and anchor 2's x of
// `pass`, where "def +" finds them.
void DrawOrnamentTree(Surface& card, const Surface& canvas, PassParameters& pass, const Settings& settings, Generator& g,
                      Host* host);

}  // namespace mirelune
