// frames.cpp — the stages of one card as an animation's frames, shrunk and timed.
#include "card/frames.h"

#include <algorithm>
#include <cstdint>

namespace mirelune {
namespace {

// How many slots of the painting's time a stage takes: the strip and the bare
// background stay a moment longer, being only one frame each.
constexpr int kStripWeight = 3, kBackgroundWeight = 2;
// One slot lasts 4..8 hundredths: 25 to 12.5 frames a second.
constexpr int kFastestCs = 4, kSlowestCs = 8;

// The source pixels under each target pixel and how much of each they cover, in
// 1/to of a source pixel: source s spans [s*to, (s+1)*to), target t spans
// [t*from, (t+1)*from), so every target's weights add up to `from`. `per` taps a
// target, the unused ones of weight 0.
struct Tap {
  int source, weight;
};
struct Taps {
  int per;
  std::vector<Tap> taps;
  const Tap* of(int t) const { return taps.data() + static_cast<std::size_t>(t) * per; }
};

Taps MakeTaps(int from, int to) {
  Taps r{from / to + 2, {}};
  r.taps.assign(static_cast<std::size_t>(to) * r.per, Tap{0, 0});
  for (int t = 0; t < to; ++t) {
    const long lo = static_cast<long>(t) * from, hi = lo + from;
    Tap* tap = r.taps.data() + static_cast<std::size_t>(t) * r.per;
    for (long s = lo / to; s * to < hi; ++s)
      *tap++ = {static_cast<int>(s), static_cast<int>(std::min(hi, (s + 1) * to) - std::max(lo, s * to))};
  }
  return r;
}

}  // namespace

PixelBox ChangedBox(const Image& before, const Image& now) {
  const int w = now.width;
  if (before.width != w || before.height != now.height) return {0, 0, w, now.height};
  PixelBox b{w, now.height, 0, 0};
  for (int y = 0; y < now.height; ++y) {
    const std::uint32_t* p = before.pixels.data() + static_cast<std::size_t>(y) * w;
    const std::uint32_t* q = now.pixels.data() + static_cast<std::size_t>(y) * w;
    if (std::equal(p, p + w, q)) continue;
    int x0 = 0, x1 = w;
    while (p[x0] == q[x0]) ++x0;
    while (p[x1 - 1] == q[x1 - 1]) --x1;
    b = {std::min(b.x0, x0), std::min(b.y0, y), std::max(b.x1, x1), y + 1};
  }
  return b.empty() ? PixelBox{} : b;
}

PixelBox ShrinkPart(const Image& img, const PixelBox& changed, Image& out) {
  if (changed.empty()) return {};
  const int width = out.width, height = out.height;
  if (width == img.width && height == img.height) {
    for (int y = changed.y0; y < changed.y1; ++y) {
      const std::size_t row = static_cast<std::size_t>(y) * width;
      std::copy(img.pixels.begin() + row + changed.x0, img.pixels.begin() + row + changed.x1,
                out.pixels.begin() + row + changed.x0);
    }
    return changed;
  }
  const Taps across = MakeTaps(img.width, width), down = MakeTaps(img.height, height);
  // The target pixels whose sources meet the box, and the source columns they read.
  const auto first = [](int s, int from, int to) { return static_cast<int>(static_cast<long>(s) * to / from); };
  const auto end = [](int s, int from, int to) {
    return std::min(to, static_cast<int>((static_cast<long>(s) * to + from - 1) / from));
  };
  const int tx0 = first(changed.x0, img.width, width), tx1 = end(changed.x1, img.width, width);
  const int ty0 = first(changed.y0, img.height, height), ty1 = end(changed.y1, img.height, height);
  const int sx0 = across.of(tx0)[0].source, sx1 = std::min(img.width, across.of(tx1 - 1)[0].source + across.per);
  std::vector<std::uint32_t> columns(static_cast<std::size_t>(sx1 - sx0) * 3);  // a target row's sources, summed down
  const std::uint64_t whole = static_cast<std::uint64_t>(img.width) * img.height;
  for (int ty = ty0; ty < ty1; ++ty) {
    std::fill(columns.begin(), columns.end(), 0u);
    for (const Tap* tap = down.of(ty); tap < down.of(ty) + down.per; ++tap) {
      if (!tap->weight) continue;
      const std::uint32_t* src = img.pixels.data() + static_cast<std::size_t>(tap->source) * img.width;
      std::uint32_t* sum = columns.data();
      for (int x = sx0; x < sx1; ++x, sum += 3) {
        const std::uint32_t c = src[x];
        sum[0] += (c & 0xFF) * tap->weight;
        sum[1] += ((c >> 8) & 0xFF) * tap->weight;
        sum[2] += ((c >> 16) & 0xFF) * tap->weight;
      }
    }
    for (int t = tx0; t < tx1; ++t) {
      std::uint64_t sum[3] = {};
      for (const Tap* tap = across.of(t); tap < across.of(t) + across.per; ++tap) {
        const std::uint32_t* column = columns.data() + static_cast<std::size_t>(std::max(0, tap->source - sx0)) * 3;
        for (int c = 0; c < 3; ++c) sum[c] += static_cast<std::uint64_t>(column[c]) * tap->weight;
      }
      std::uint32_t p = 0;
      for (int c = 0; c < 3; ++c) p |= static_cast<std::uint32_t>((sum[c] + whole / 2) / whole) << (8 * c);
      out.pixels[static_cast<std::size_t>(ty) * width + t] = p;
    }
  }
  return {tx0, ty0, tx1, ty1};
}

Image ShrinkToWidth(const Image& img, int width) {
  if (width >= img.width || width < 1 || img.height < 1) return img;
  const int height = std::max(1, static_cast<int>((static_cast<long>(img.height) * width + img.width / 2) / img.width));
  Image out{width, height, PixelBuffer(static_cast<std::size_t>(width) * height)};
  static_cast<void>(ShrinkPart(img, {0, 0, img.width, img.height}, out));
  return out;
}

void LayOn(const Frame& f, Image& shown) {
  for (int y = 0; y < f.box.height(); ++y) {
    const auto row = f.part.pixels.begin() + static_cast<std::ptrdiff_t>(y) * f.part.width;
    std::copy(row, row + f.part.width,
              shown.pixels.begin() + static_cast<std::ptrdiff_t>(f.box.y0 + y) * shown.width + f.box.x0);
  }
}

namespace {

Image Crop(const Image& img, const PixelBox& box) {
  Image part{box.width(), box.height(), PixelBuffer(static_cast<std::size_t>(box.width()) * box.height())};
  for (int y = 0; y < box.height(); ++y) {
    const auto row = img.pixels.begin() + static_cast<std::ptrdiff_t>(box.y0 + y) * img.width + box.x0;
    std::copy(row, row + box.width(), part.pixels.begin() + static_cast<std::ptrdiff_t>(y) * box.width());
  }
  return part;
}

PixelBox Union(const PixelBox& a, const PixelBox& b) {
  if (a.empty()) return b;
  return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

}  // namespace

FrameRecorder::FrameRecorder(const FramePlan& plan) : plan_(plan) {
  plan_.width = std::clamp(plan_.width, kMinAnimationWidth, kMaxAnimationWidth);
}

CardWatch FrameRecorder::Watch(std::stop_token stop, ProgressFn also) {
  return {std::move(stop), [this, also = std::move(also)](const ProgressMark& m) {
            Take(m);
            if (also) also(m);
          }};
}

void FrameRecorder::Keep(const Image& full, int weight) {
  PixelBox box;
  if (taken_.empty() || last_.pixels.size() != full.pixels.size()) {
    shrunk_ = ShrinkToWidth(full, plan_.width);
    box = {0, 0, shrunk_.width, shrunk_.height};
  } else {  // the frame before, shrunk again where this one differs
    box = ShrinkPart(full, ChangedBox(last_, full), shrunk_);
  }
  last_ = full;
  if (box.empty()) {
    taken_.back().delay_cs += weight;  // the same picture stays longer
    return;
  }
  taken_.push_back({box, Crop(shrunk_, box), weight});
}

void FrameRecorder::Take(const ProgressMark& m) {
  if (!m.card) return;
  const Image& img = m.card->image();
  switch (m.kind) {
    case ProgressMark::kStrip: {  // each column of the card shows the strip's column under it
      Image wide{kCanvasPixelsW, kCanvasPixelsH, PixelBuffer(static_cast<std::size_t>(kCanvasPixelsW) * kCanvasPixelsH)};
      for (int y = 0; y < wide.height; ++y)
        for (int x = 0; x < wide.width; ++x)
          wide.pixels[static_cast<std::size_t>(y) * wide.width + x] =
              img.at(x * img.width / wide.width, y * img.height / wide.height);
      Keep(wide, kStripWeight);
      return;
    }
    case ProgressMark::kStart:
    case ProgressMark::kPass:
    case ProgressMark::kColumns:
      canvas_ = img;
      Keep(img, m.kind == ProgressMark::kStart ? kBackgroundWeight : 1);
      return;
    case ProgressMark::kRows: {  // below the rows painted, the card is not yet the card: the canvas shows
      if (canvas_.pixels.size() != img.pixels.size()) break;
      shown_ = canvas_;
      const std::size_t painted = static_cast<std::size_t>(std::clamp(m.rows, 0, img.height)) * img.width;
      std::copy(img.pixels.begin(), img.pixels.begin() + static_cast<std::ptrdiff_t>(painted), shown_.pixels.begin());
      Keep(shown_, 1);
      return;
    }
    case ProgressMark::kBaubles:
    case ProgressMark::kDone:
      break;
  }
  Keep(img, 1);
}

Animation FrameRecorder::Finish() {
  Animation a;
  if (taken_.empty()) return a;
  a.card = shrunk_;
  // More frames than 25 a second would show: they are taken together in runs, each
  // shown as its last frame, the first and the last frames kept as they are.
  const std::size_t most = static_cast<std::size_t>(std::max(2, plan_.painting_cs / kFastestCs)), n = taken_.size();
  if (n <= most) {
    a.frames = std::move(taken_);
  } else {
    Image shown = a.card;
    Frame run;
    for (std::size_t k = 0, kept = 0; k < n; ++k) {
      LayOn(taken_[k], shown);
      run.box = Union(run.box, taken_[k].box);
      run.delay_cs += taken_[k].delay_cs;
      if (k == (kept * (n - 1) + (most - 1) / 2) / (most - 1)) {
        a.frames.push_back({run.box, Crop(shown, run.box), run.delay_cs});
        run = {};
        ++kept;
      }
    }
  }
  taken_.clear();
  int slots = 0;
  for (const Frame& f : a.frames) slots += f.delay_cs;
  // The painting's time shared out slot by slot, each frame ending where its last slot does.
  const long total = std::clamp(plan_.painting_cs, kFastestCs * slots, kSlowestCs * slots);
  int before = 0;
  for (Frame& f : a.frames) {
    const int after = before + f.delay_cs;
    f.delay_cs = static_cast<int>(after * total / slots - before * total / slots);
    before = after;
  }
  a.frames.back().delay_cs += plan_.hold_cs;
  return a;
}

RecordedCard RecordCard(const CardSpec& spec, const FramePlan& plan, Fonts& fonts) {
  FrameRecorder recorder(plan);
  RecordedCard r{MakeCard(spec, recorder.Watch(), fonts), {}};
  r.animation = recorder.Finish();
  return r;
}

}  // namespace mirelune
