// shaping.h — inside text/: any text as one left-to-right line: bidirectional
// levels (FriBidi), runs of one level, script and face, each shaped by HarfBuzz
// (so Arabic letters join), runs put in visual order.
#pragma once

#include "text/layout.h"

namespace mirelune::text {

// Appends the text's glyphs to the line; every face it needs is sized to `points`.
void LayOutShaped(FaceSet& faces, Typeface typeface, Face* primary, double points, const std::u32string& text,
                  const std::vector<std::size_t>& origin, Line* line);

}  // namespace mirelune::text
