#include "styles/styles.h"

namespace mirelune {

const StyleInfo kStyles[kStyleCount] = {
    {"stripe-bands", DrawStripeBands},
    {"ray-fans", DrawRayFans},
    {"concentric-ellipses", DrawConcentricEllipses},
    {"fan-triangles", DrawFanTriangles},
    {"disc-fans", DrawDiscFans},
    {"ring-clusters", DrawRingClusters},
    {"bar-combs", DrawBarCombs},
    {"extruded-letters", DrawExtrudedLetters},
    {"dot-discs", DrawDotDiscs},
    {"colour-wheels", DrawColourWheels},
    {"roses", DrawRoses},
    {"starbursts", DrawStarbursts},
    {"square-clusters", DrawSquareClusters},
    {"cross-strokes", DrawCrossStrokes},
    {"lissajous-spirals", DrawLissajousSpirals},
    {"random-walks", DrawRandomWalks},
    {"ragged-bands", DrawRaggedBands},
    {"shaded-bars", DrawShadedBars},
    {"shaded-balls", DrawShadedBalls},
    {"shaded-pyramids", DrawShadedPyramids},
    {"faceted-pyramids", DrawFacetedPyramids},
    {"shaded-cones", DrawShadedCones},
    {"circle-trails", DrawCircleTrails},
};

}  // namespace mirelune
