// styles.h — the 23 drawing styles the generation pass layers on the canvas.
//
// Each style draws only on canvas, reads colours only from strip (column 10),
// and keeps its working values in the shared state, where the next style finds them.
//
//   DrawRoses(s);                          // one style, as the pass calls it
//   kStyles[k].draw(s);                    // style k + 1, by its flag
//   std::puts(kStyles[k].name);            // "roses"
#pragma once

#include "core/state.h"

namespace mirelune {

void DrawStripeBands(State& s);  // style 1
void DrawRayFans(State& s);  // style 2
void DrawConcentricEllipses(State& s);  // style 3
void DrawFanTriangles(State& s);  // style 4
void DrawDiscFans(State& s);  // style 5
void DrawRingClusters(State& s);  // style 6
void DrawBarCombs(State& s);  // style 7
void DrawExtrudedLetters(State& s);  // style 8
void DrawDotDiscs(State& s);  // style 9
void DrawColourWheels(State& s);  // style 10
void DrawRoses(State& s);  // style 11
void DrawStarbursts(State& s);  // style 12
void DrawSquareClusters(State& s);  // style 13
void DrawCrossStrokes(State& s);  // style 14
void DrawLissajousSpirals(State& s);  // style 15
void DrawRandomWalks(State& s);  // style 16
void DrawRaggedBands(State& s);  // style 17
void DrawShadedBars(State& s);  // style 18
void DrawShadedBalls(State& s);  // style 19
void DrawShadedPyramids(State& s);  // style 20
void DrawFacetedPyramids(State& s);  // style 21
void DrawShadedCones(State& s);  // style 22
void DrawCircleTrails(State& s);  // style 23

struct StyleInfo {
  const char* name;   // short name, as the command line shows it
  void (*draw)(State&);
};

// Styles 1..23 in flag order (index 0 is style 1).
extern const StyleInfo kStyles[kStyleCount];

}  // namespace mirelune
