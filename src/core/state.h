// state.h — what lives as long as the window: the five surfaces, the settings,
// the names, and the values one stage of a card leaves for the next.
//
//   State s;                          // start values as after start-up
//   s.host = &my_host;                // dialogs, clock, progress, events
//   MakeCardFromNames(s, settings);   // commands/commands.h
//
// Each group says who writes it and who reads it. A working value that only one
// procedure uses is that procedure's local, not a field here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/host.h"
#include "generator/generator.h"
#include "raster/surface.h"
#include "text/text.h"

namespace mirelune {

inline constexpr int kCanvasUnitsW = 900, kCanvasUnitsH = 675;  // drawing units
inline constexpr int kCanvasPixelsW = 896, kCanvasPixelsH = 671;
inline constexpr int kStripPixelsW = 21, kStripPixelsH = 671;
inline constexpr int kStyleCount = 23;

// What the user (window, command line, batch row) chose; start values: SetStartValues.
// Written by the commands and the front ends; read by the stages of every card.
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

// Whom the card is for and what it is called. Written by the seed (the names), the
// image name and the mail dialogs; read by the greeting, saving and mail.
struct CardNames {
  std::string own_name, friend_name;
  int year = 2017;  // the year the greeting wishes a happy new year for
  double seed = 0;
  std::string image_name;  // GR-<yyyymmddhhmmss>
  std::string friend_address, message;  // for mail
};

// What the generation pass draws for the effect, fixed for the card. The pass
// writes all of it; the ornament tree then moves anchor 1 and anchor 2's x to its
// own corners, and "def +" runs the effect again with those.
struct PassParameters {
  double rule = 0;  // displacement rule 1..13
  double divisor1 = 0, divisor2 = 0, divisor3 = 0, divisor4 = 0, divisor5 = 0, divisor6 = 0, divisor7 = 0;
  double anchor1_x = 0, anchor1_y = 0, anchor2_x = 0, anchor2_y = 0, anchor3_x = 0, anchor3_y = 0;
  double styles_chosen = 0, passes = 0;
};

// Values one stage leaves that a later stage reads: the only working values that
// cross from one procedure to the next, and so part of every card.
struct Leftovers {
  // The pass draws 1..3; the square clusters overwrite it with each square's side;
  // the effect reads it as its offset mode.
  double offset_mode = 0;
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

  Host* host = nullptr;  // set by the front end; every stage asks and reports through it
  Generator rng;         // the one random sequence: every draw of every stage is part of the card

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

  Settings settings;
  CardNames names;
  PassParameters pass;
  Leftovers left;
  EffectCarry carry;

  // --- effects ---
  EffectBuffers effect_buffers;  // the displacement effect's "pix" mode memory, reused by every card

  // --- text ---
  Fonts fonts{FontFolder()};  // the faces all text is drawn with (a batch worker moves its own in)
  TextRecord text;            // the last card's: the faces that drew its text, what went wrong
  std::vector<std::string> text_told;  // the text's problems told through the host, each once
};

// The start values of the settings and the leftovers, and the plain picture
// hidden: every State starts so, and start-up sets them again.
void SetStartValues(State& s);

}  // namespace mirelune
