// state.h — the window's shared state: every variable the procedures share, under
// its own name, and the six drawing surfaces.
//
//   State s;                 // start values as after start-up
//   s.host = &my_host;       // dialogs, clock, message pump
//   AskNamesAndSeed(s); DrawPaletteStrip(s); MakeCard(s);  // card/, commands/
//
// Procedures take the state and nothing else, and talk to each other only through
// it, as the drawing code was designed: a working value one procedure leaves (`d`,
// `barva`, `i1` ...) is what the next one finds. Dynamically typed variables are
// doubles; whole numbers are held exactly as doubles.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/host.h"
#include "generator/generator.h"
#include "raster/surface.h"

namespace mirelune {

inline constexpr int kCanvasUnitsW = 900, kCanvasUnitsH = 675;  // drawing units
inline constexpr int kCanvasPixelsW = 896, kCanvasPixelsH = 671;
inline constexpr int kStripPixelsW = 21, kStripPixelsH = 671;
inline constexpr int kStyleCount = 23;

// How many draws of the generator each stage of the last card took.
struct CardStats {
  std::uint64_t strip = 0;      // the palette strip (cards made from names)
  std::uint64_t pass = 0;       // the generation pass's own draws
  std::uint64_t styles = 0;     // all style calls together
  std::uint64_t effect = 0;     // both sweeps and the reveal
  std::uint64_t ornaments = 0;  // the ornament tree
  std::uint64_t total = 0;      // strip to text (cards made from names)
  double background_row = 0;    // L
  double offset_mode = 0;       // d as the pass drew it
  double effect_offset_mode = 0;  // d as the effect used it, after the styles
  std::array<int, kStyleCount> flags{};
};

struct State {
  State();

  Host* host = nullptr;
  Generator rng;

  // --- surfaces ---
  Surface Picture1{kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH};  // canvas
  Surface Picture2{kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH};  // effect snapshot
  Surface Picture3{kStripPixelsW, kStripPixelsH, kStripPixelsW, kStripPixelsH};    // palette strip
  Surface Picture4{kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH};  // the card
  Surface Picture6{kCanvasPixelsW, kCanvasPixelsH, kCanvasPixelsW, kCanvasPixelsH};  // plain picture
  // Picture5 has no role; nothing draws on it, so it is left out.

  // --- palette table: (palette 0..30, colour 0..10, component 0..3) ---
  std::int16_t table[31][11][4] = {};

  // --- window state and settings (start values: SetStartValues) ---
  double sir = 0, vis = 0, sir1 = 0, vis1 = 0;
  double rr = 0;
  double delaj = 0, tekst = 0, colorr = 0, nnn = 0;
  std::int16_t linepix = 0;
  double nz = 0;
  std::string caption11, caption12, caption18;

  // --- texts ---
  std::string t, tt;
  int year = 2017;  // the year the greeting wishes a happy new year for
  std::string t1, t2, t3;
  std::string t1a, t2a, t3a;
  std::string znak, imeslike, mail, sporo;

  // --- personalisation ---
  double seed = 0, dolz = 0;

  // --- generation pass ---
  double barva = 0;
  double bb1 = 0, bb2 = 0, bb3 = 0, bb4 = 0, bb5 = 0, bb6 = 0, bb7 = 0;
  double i1 = 0, j1 = 0, i2 = 0, j2 = 0, i3 = 0, j3 = 0;
  double kksk = 0, no = 0, n = 0, f = 0, d = 0;

  // --- palette strip ---
  double re = 0, gr = 0, bl = 0, tipp = 0, kn = 0, oz = 0, el = 0, i = 0, j = 0, nn = 0;

  // --- styles ---
  double x = 0, y = 0, r = 0, r1 = 0, r2 = 0, r3 = 0, fi = 0, fi1 = 0, fit = 0;
  double nacin = 0, fii = 0, fij = 0, kk = 0, i0 = 0, j0 = 0;
  double di1 = 0, di2 = 0, dj1 = 0, dj2 = 0;
  double barvap = 0, re1 = 0, gr1 = 0, bl1 = 0;

  // --- effects ---
  double fi2 = 0, fi3 = 0, dfi1 = 0, dfi2 = 0, dfi3 = 0, cikel = 0;
  double d1 = 0, d2 = 0, d3 = 0;
  double ret = 0, grt = 0, blt = 0, rk = 0;
  double drgb = 0, ddrgb = 0;
  double id = 0, jd = 0, re3 = 0, gr3 = 0, bl3 = 0;
  // "pix" mode: the displaced colour of every position (x 0..900, y 0..675, row
  // by row, 0x00BBGGRR, made on first use) and the reveal marks, one bit each.
  PixelBuffer colour_store;
  std::vector<std::uint64_t> reveal_marks;

  // --- bookkeeping for reports and tests ---
  CardStats stats;
};

// The start values of the window's state, its prompt texts and its captions, and
// the plain picture hidden: every State starts so, and start-up sets them again.
void SetStartValues(State& s);

// Fills s.table with the 26 built-in palettes; every other entry is 0. Every
// State does this when it is made.
void InitPaletteTable(State& s);

}  // namespace mirelune
