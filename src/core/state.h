// state.h — what lives as long as the window: the five surfaces, the settings,
// the names, and the few values one stage of a card leaves for the next.
//
//   State s;                 // start values as after start-up
//   s.host = &my_host;       // dialogs, clock, progress, events
//   MakeCardFromNames(s, settings);   // commands/commands.h
//
// Each group says who writes it and who reads it. A working value that only one
// procedure uses is that procedure's local, not a field here.
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

// What the user (window, command line, batch row) chose; start values: SetStartValues.
struct Settings {
  double canvas_width = 0, canvas_height = 0;  // drawing units the pass, the styles and the effect cover
  double tree_width = 0, tree_height = 0;      // the same, as the ornament tree reads them
  double max_styles = 0;      // at most this many styles a pass (1..24)
  double colour_mode = 0;     // 0: a fresh strip before every card; 1..26 a fixed palette
  std::int16_t effect_mode = 0;  // 1 line by line, 2 pixel by pixel in random order
  double with_names = 0;      // 1: a card for two names; 0: a picture without names ("new img")
  double loop_running = 0;    // 1 while a loop runs; "stop" sets 0
  double images_saved = 0;    // cards the loop with saving has written
  double brightness = 0, brightness_step = 0;  // the effect's brightness offsets; "new" sets 0
};

// Whom the card is for and what it is called.
struct CardNames {
  std::string own_name, friend_name;
  int year = 2017;  // the year the greeting wishes a happy new year for
  double seed = 0;
  std::string image_name;  // GR-<yyyymmddhhmmss>
  std::string friend_address, message;  // for mail
};

// What the generation pass draws for the effect and the ornaments, fixed for the card.
struct PassParameters {
  double rule = 0;  // displacement rule 1..13
  double divisor1 = 0, divisor2 = 0, divisor3 = 0, divisor4 = 0, divisor5 = 0, divisor6 = 0, divisor7 = 0;
  double anchor1_x = 0, anchor1_y = 0, anchor2_x = 0, anchor2_y = 0, anchor3_x = 0, anchor3_y = 0;
  double styles_chosen = 0, passes = 0;
};

// Values one stage leaves that a later stage reads: the only working values that
// cross from one procedure to the next, and so part of every card.
struct Leftovers {
  double colour = 0;          // the strip colour last sampled: the background, then each style's
  double cluster_radius = 0;  // each strip blob and some styles set it; clusters that do not, read it
  double offset_mode = 0;     // the pass draws 1..3; a style may overwrite it; the effect reads it
};

// What the effect carries from one card to the next ("new img", "def +" and the
// loops; a card made from names starts them at 0).
struct EffectCarry {
  double distance1 = 0, distance2 = 0, distance3 = 0;  // distances last measured from the anchors
};

// The displacement effect's working memory in "pix" mode, owned by whoever
// calls it and reused from card to card: the displaced colour of every
// position (x 0..900, y 0..675, row by row, 0x00BBGGRR, made on first use) and
// the reveal's marks, one bit per position. Nothing is read across cards.
struct EffectBuffers {
  PixelBuffer colour_store;
  std::vector<std::uint64_t> reveal_marks;
};

struct State {
  State();

  Host* host = nullptr;
  Generator rng;

  // --- surfaces ---
  // the styles draw here; the effect redraws it
  Surface canvas{kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH};
  // the canvas as it was before a sweep of the effect: what the sweep reads
  Surface effect_source{kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH};
  // the palette strip every colour is sampled from (column 10)
  Surface strip{kStripPixelsW, kStripPixelsH, kStripPixelsW, kStripPixelsH};
  // the finished card: shown, saved, mirrored, mailed
  Surface card{kCanvasPixelsW, kCanvasPixelsH, kCanvasUnitsW, kCanvasUnitsH};
  // the picture before the effect, ornaments and greeting
  Surface plain_picture{kCanvasPixelsW, kCanvasPixelsH, kCanvasPixelsW, kCanvasPixelsH};

  // --- palette table: (palette 0..30, colour 0..10, component 0..3) ---
  std::int16_t palette_table[31][11][4] = {};

  // --- window-only texts: the workbench captions and the dialogs' prompts ---
  std::string colour_mode_caption, max_styles_caption, effect_mode_caption;
  std::string own_name_prompt, case_prompt, friend_name_prompt;
  std::string palette_prompt, palette_exit_prompt, palette_prompt_title;

  Settings settings;
  CardNames names;
  PassParameters pass;
  Leftovers left;
  EffectCarry carry;

  // --- working values, to become each procedure's own ---
  std::string character;
  double text_length = 0;
  double n = 0;

  // --- palette strip ---
  double re = 0, gr = 0, bl = 0, tipp = 0, kn = 0, oz = 0, el = 0, i = 0, j = 0, nn = 0;

  // --- styles ---
  double x = 0, y = 0, r = 0, r1 = 0, r2 = 0, r3 = 0, fi = 0, fi1 = 0, fit = 0;
  double nacin = 0, fii = 0, fij = 0, kk = 0, i0 = 0, j0 = 0;
  double di1 = 0, di2 = 0, dj1 = 0, dj2 = 0;
  double barvap = 0, re1 = 0, gr1 = 0, bl1 = 0;

  // --- effects ---
  double ret = 0, grt = 0, blt = 0, rk = 0;
  EffectBuffers effect_buffers;  // the displacement effect's "pix" mode memory, reused by every card

  // --- bookkeeping for reports and tests ---
  CardStats stats;
};

// The start values of the window's state, its prompt texts and its captions, and
// the plain picture hidden: every State starts so, and start-up sets them again.
void SetStartValues(State& s);

// Fills s.palette_table with the 26 built-in palettes; every other entry is 0. Every
// State does this when it is made.
void InitPaletteTable(State& s);

}  // namespace mirelune
