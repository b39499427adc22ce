// card_parts.h — the sizes of a card and the small values its stages hand on:
// what the generation pass draws for the effect, what the effect carries from
// card to card, and how a card under way is watched (stopped, shown growing).
//
//   CardWatch watch{stop_source.get_token(), [](const ProgressMark& m) { show(m); }};
//   if (watch.Stopped()) return;           // a stage checks between steps
//   watch.Mark(ProgressMark::kPass, 40);   // "lllll" down the window's edge
//
// Each value names who makes it and who reads it; nothing here is shared or kept.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <utility>
#include <vector>

#include "raster/surface.h"

namespace mirelune {

inline constexpr int kCanvasUnitsW = 900, kCanvasUnitsH = 675;  // drawing units
inline constexpr int kCanvasPixelsW = 896, kCanvasPixelsH = 671;
inline constexpr int kStripPixelsW = 21, kStripPixelsH = 671;
inline constexpr int kStyleCount = 23;
inline constexpr int kMaxStyleLimit = 24;  // the style limit runs 1..24

// How the effect brings the picture onto the card: line by line, or pixel by
// pixel in random order.
enum class EffectMode { kLine, kPix };

struct Point {
  double x = 0, y = 0;
};

// A card's canvas (900 x 675 drawing units on 896 x 671 pixels, or `scale` times
// as many each way for print) and its palette strip.
inline constexpr int kMaxScale = 4;
inline constexpr int kPrintPpi = 300;  // the pixel density a card drawn larger is made for
inline Surface NewCanvas(int scale = 1, PixelBuffer memory = {}) {
  return Surface(kCanvasPixelsW * scale, kCanvasPixelsH * scale, kCanvasUnitsW, kCanvasUnitsH, scale,
                 std::move(memory));
}
inline Surface NewStrip() { return Surface(kStripPixelsW, kStripPixelsH, kStripPixelsW, kStripPixelsH); }

// Drawn by the generation pass for the displacement effect, fixed for the card.
// The ornament tree then moves the first two anchors to its own corners, and
// "def +" runs the effect again with those.
struct EffectParameters {
  int rule = 0;                         // displacement rule 1..13
  std::array<double, 7> divisors{};     // what the rules divide lengths and colours by
  std::array<Point, 3> anchors{};       // where the three vectors are measured from
};

// What the effect carries from one card to the next ("new img", "def +" and the
// loops); a card made from names starts from zero.
struct EffectCarry {
  std::array<double, 3> distances{};  // last measured from the three anchors
};

// The effect's working memory in "pix" mode, owned by whoever calls it and reused
// from card to card: the displaced colour of every position (x 0..900, y 0..675,
// row by row, 0x00BBGGRR, made on first use) and the reveal's marks, one bit per
// position. Nothing is read across cards.
struct EffectBuffers {
  PixelBuffer colour_store;
  std::vector<std::uint64_t> reveal_marks;
};

// A step of a card under way. `card` is the surface being painted, valid during
// the call only: a window may copy it to show the card growing, an animation
// takes it as a frame.
struct ProgressMark {
  enum Kind {
    kStrip,    // the palette strip is painted (`card` is the strip)
    kStart,    // the canvas has its background
    kPass,     // a pass of styles on the canvas
    kColumns,  // 30 more columns of the effect's first sweep, on the canvas
    kRows,     // more rows of its second sweep on the card, line mode: `rows` of pixels are done
    kBaubles,  // 50 more baubles on the card
    kDone      // the greeting is written
  } kind;
  int percent = 0;  // of the whole card, 0..100
  const Surface* card = nullptr;
  int rows = 0;
};
using ProgressFn = std::function<void(const ProgressMark&)>;

// How a card under way is watched: a stop request ends it at the next step
// (within a few milliseconds), and every step is told to `progress`. Both are
// optional; a default watch never stops and tells nobody.
struct CardWatch {
  std::stop_token stop;
  ProgressFn progress;

  bool Stopped() const { return stop.stop_requested(); }
  void Mark(ProgressMark::Kind kind, int percent, const Surface* card = nullptr, int rows = 0) const {
    if (progress) progress(ProgressMark{kind, percent, card, rows});
  }
};

}  // namespace mirelune
