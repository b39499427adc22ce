// frames.h — a card painting itself: the card is made once, and every stage its
// watch is told of becomes a frame, shrunk to the animation's width and timed so
// that the painting takes about four seconds however many stages there are.
//
//   FrameRecorder recorder({.width = 450});
//   Card card = MakeCard(spec, recorder.Watch());   // or any maker that takes a watch
//   Animation a = recorder.Finish();                 // files/animation.h encodes it
//   RecordedCard r = RecordCard(spec, {.width = 896}, fonts);   // both at once
//
// The frames: the palette strip stretched across the card, the background, each
// pass of styles, the effect's first sweep in bands of 30 columns, its second
// sweep in bands of rows (line mode; "pix" reveals at once), the baubles fifty at
// a time and the greeting. The last is the finished card, held before a viewer
// starts again.
#pragma once

#include <vector>

#include "card/card.h"
#include "core/card_parts.h"
#include "raster/surface.h"

namespace mirelune {

inline constexpr int kMinAnimationWidth = 16, kDefaultAnimationWidth = 450, kMaxAnimationWidth = kCanvasPixelsW;

struct FramePlan {
  int width = kDefaultAnimationWidth;  // clamped to kMinAnimationWidth..kMaxAnimationWidth; the card's shape is kept
  int painting_cs = 400;  // hundredths of a second (GIF's unit), held to 12.5..25 frames a second
  int hold_cs = 200;      // the finished card at the end
};

// The smallest rectangle, [x0, x1) x [y0, y1), that holds every pixel in which
// two pictures of one size differ; empty when they are the same.
struct PixelBox {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int width() const { return x1 - x0; }
  int height() const { return y1 - y0; }
  bool empty() const { return x1 <= x0 || y1 <= y0; }
};
PixelBox ChangedBox(const Image& before, const Image& now);

// A frame is what changed since the one before: a box of the picture, what it
// shows there and how long it stays, in hundredths of a second. A painting keeps
// only its bands of change, and an encoder need not look for them.
struct Frame {
  PixelBox box;  // the whole picture for the first frame
  Image part;    // box.width() x box.height()
  int delay_cs = 0;
};

struct Animation {
  std::vector<Frame> frames;  // no frame equals the one before
  Image card;                 // the last frame whole: the finished card
};

// `shown` (the frame before, whole) becomes frame `f`.
void LayOn(const Frame& f, Image& shown);

// `img` shrunk to `width` by averaging the source pixels under each target pixel,
// weighted by how much of it they cover: flat colour stays exact. A width at or
// above img's returns img as it is.
Image ShrinkToWidth(const Image& img, int width);
// The same for the part of `shrunk` (of `img` shrunk before) over `changed`, a
// box of img's pixels: a frame that differs from the one before in a band costs
// only that band. Returns the box of `shrunk` made again.
PixelBox ShrinkPart(const Image& img, const PixelBox& changed, Image& shrunk);

// Takes the frames of one card from its watch. The recorder must outlive the card's
// making; besides the frames' bands of change it keeps the last frame whole and
// the last canvas (the second sweep's rows are shown over it).
class FrameRecorder {
 public:
  explicit FrameRecorder(const FramePlan& plan = {});
  FrameRecorder(const FrameRecorder&) = delete;  // its watches hold its address
  FrameRecorder& operator=(const FrameRecorder&) = delete;
  // A watch for the card's making: stops on `stop`, tells `also` of every mark too.
  CardWatch Watch(std::stop_token stop = {}, ProgressFn also = {});
  // The frames taken, timed, handed over (the recorder is left empty); none when
  // no mark came (a card stopped at once).
  Animation Finish();

 private:
  void Take(const ProgressMark& m);
  void Keep(const Image& full, int weight);

  FramePlan plan_;
  std::vector<Frame> taken_;  // delay_cs holds the frame's share of the time until Finish
  Image canvas_;              // the last canvas, for the second sweep's rows
  Image shown_;               // the card's rows over it
  Image last_;                // the last frame taken, at full size
  Image shrunk_;              // and whole at the animation's size
};

struct RecordedCard {
  Card card;
  Animation animation;
};
RecordedCard RecordCard(const CardSpec& spec, const FramePlan& plan, Fonts& fonts);

}  // namespace mirelune
