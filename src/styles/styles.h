// styles.h — the 23 drawing styles the generation pass layers on the canvas.
//
// A style draws only on the canvas, samples colours only from the strip (column 10)
// and takes every draw from the one generator; what it leaves for later is the
// offset mode and the canvas's own settings. Everything else is its own.
//
//   double offset_mode = 2;
//   StyleContext c{canvas, strip, rng, 900, 675, offset_mode, fonts};
//   DrawRoses(c);                         // one style
//   kStyles[k].draw(c);                   // style k + 1, by its flag
//   std::puts(kStyles[k].name);           // "roses"
#pragma once

#include "core/card_parts.h"
#include "generator/generator.h"
#include "text/fonts.h"

namespace mirelune {

// Everything a style may read or write.
struct StyleContext {
  Surface& canvas;        // draws here; its fill, pen and font settings carry on to the next style
  const Surface& strip;   // samples colours from column 10
  Generator& rng;
  double width, height;   // the canvas in drawing units
  double& offset_mode;    // what the effect will read as its offset mode; the square clusters set it
  Fonts& fonts;           // the faces letters are drawn with
};

void DrawStripeBands(StyleContext& c);  // style 1
void DrawRayFans(StyleContext& c);  // style 2
void DrawConcentricEllipses(StyleContext& c);  // style 3
void DrawFanTriangles(StyleContext& c);  // style 4
void DrawDiscFans(StyleContext& c);  // style 5
void DrawRingClusters(StyleContext& c);  // style 6
void DrawBarCombs(StyleContext& c);  // style 7
void DrawExtrudedLetters(StyleContext& c);  // style 8
void DrawDotDiscs(StyleContext& c);  // style 9
void DrawColourWheels(StyleContext& c);  // style 10
void DrawRoses(StyleContext& c);  // style 11
void DrawStarbursts(StyleContext& c);  // style 12
void DrawSquareClusters(StyleContext& c);  // style 13
void DrawCrossStrokes(StyleContext& c);  // style 14
void DrawLissajousSpirals(StyleContext& c);  // style 15
void DrawRandomWalks(StyleContext& c);  // style 16
void DrawRaggedBands(StyleContext& c);  // style 17
void DrawShadedBars(StyleContext& c);  // style 18
void DrawShadedBalls(StyleContext& c);  // style 19
void DrawShadedPyramids(StyleContext& c);  // style 20
void DrawFacetedPyramids(StyleContext& c);  // style 21
void DrawShadedCones(StyleContext& c);  // style 22
void DrawCircleTrails(StyleContext& c);  // style 23

struct StyleInfo {
  const char* name;   // short name, as the command line shows it
  void (*draw)(StyleContext&);
};

// Styles 1..23 in flag order (index 0 is style 1).
extern const StyleInfo kStyles[kStyleCount];

}  // namespace mirelune
