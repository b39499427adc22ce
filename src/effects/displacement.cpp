// displacement.cpp — every pixel replaced by the colour found at a position moved
// by three slowly turning vectors whose lengths follow one of 13 rules.
//
// Everything the effect works with is its own: the turning vectors it draws,
// the sweeps' per-line tables, the caller's buffers. It hands back only what the
// next card reads: the distances last measured, and the brightness it drifted.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>

#include "effects/displacement_kernels.h"
#include "effects/effects.h"
#include "palette/palette.h"

namespace mirelune {
namespace {

constexpr int kPosW = 901, kPosH = 676;  // positions 0..900 x 0..675

// Pixel of a whole drawing-unit coordinate on a canvas surface, -1 off the raster.
// last_x / last_y: the last position that maps onto each pixel column / row.
struct UnitMap {
  int x[kPosW];
  int y[kPosH];
  int last_x[kCanvasPixelsW] = {};
  int last_y[kCanvasPixelsH] = {};
  // Surface::PixelX and PixelY for the canvas, without a raster of its own.
  UnitMap() {
    for (int k = 0; k < kPosW; ++k) {
      const double p = RoundEven(static_cast<double>(k) * kCanvasPixelsW / static_cast<double>(kCanvasUnitsW));
      x[k] = p < kCanvasPixelsW ? static_cast<int>(p) : -1;
      if (x[k] >= 0) last_x[x[k]] = k;
    }
    for (int k = 0; k < kPosH; ++k) {
      const double p = RoundEven(static_cast<double>(k) * kCanvasPixelsH / static_cast<double>(kCanvasUnitsH));
      y[k] = p < kCanvasPixelsH ? static_cast<int>(p) : -1;
      if (y[k] >= 0) last_y[y[k]] = k;
    }
  }
};

struct Components {
  double r, g, b;
};

// SplitColour for a colour as Point returns it; -1 gives 0, 0, 0.
[[gnu::always_inline]] inline Components Split(Colour c) {
  if (c < 0) return {0, 0, 0};
  return {static_cast<double>(c & 0xFF), static_cast<double>((c >> 8) & 0xFF),
          static_cast<double>((c >> 16) & 0xFF)};
}

using displacement::EffectKernels;
using displacement::kLine;
using displacement::LineAngles;
using displacement::SourceOf;
static_assert(kLine == kPosW, "a line holds a row");

// The effect's kernels on `level`, nullptr where this program has none; one file
// per level (displacement_kernels.h).
const EffectKernels* EffectKernelsFor(SimdLevel level) {
  switch (level) {
    case SimdLevel::kScalar: return &displacement::ScalarKernels();
    case SimdLevel::kAvx2: return displacement::Avx2Kernels();
    case SimdLevel::kAvx512: return displacement::Avx512Kernels();
  }
  return nullptr;
}

// Everything a level offers the effect.
struct Lanes {
  const VectorKernels& numbers;
  const EffectKernels& effect;
};

// The colour at a source position on the snapshot, -1 off the picture.
[[gnu::always_inline]] inline Colour ColourAt(double si, double sj, const std::uint32_t* src, const UnitMap& map) {
  if (si >= 0 && si <= 900 && sj >= 0 && sj <= 675) {
    const int px = map.x[static_cast<int>(si)], py = map.y[static_cast<int>(sj)];
    if (px >= 0 && py >= 0) return static_cast<Colour>(src[py * kCanvasPixelsW + px]);
  }
  return -1;
}

// A position's own colour on the snapshot, as ColourAt gives it (-1 off the raster).
inline std::uint32_t OwnAt(const std::uint32_t* src, const UnitMap& map, int i, int j) {
  const int px = map.x[i], py = map.y[j];
  return (px >= 0 && py >= 0) ? src[py * kCanvasPixelsW + px] : 0xFFFFFFFFu;
}

// What one card's sweeps read, and what they carry from one position to the next.
struct Sweep {
  // parameters (read only)
  int rule, mode;
  double length[3], step[3], brightness;
  std::array<double, 7> divisors;
  std::array<Point, 3> anchors;
  // carried from position to position
  double angle[3], distance[3];

  Sweep(const EffectParameters& p, double offset_mode, const TurningVectors& v, const EffectCarry& carry,
        double start_brightness)
      : rule(p.rule), mode(static_cast<int>(RoundEven(offset_mode))),
        length{v.length[0], v.length[1], v.length[2]}, step{v.step[0], v.step[1], v.step[2]},
        brightness(start_brightness), divisors(p.divisors), anchors(p.anchors),
        angle{v.angle[0], v.angle[1], v.angle[2]},
        distance{carry.distances[0], carry.distances[1], carry.distances[2]} {
    if (rule == 7) Tabulate(divisors[3], 256);
    if (rule >= 8 && rule <= 10) Tabulate(divisors[4], 256);
    if (rule == 11) Tabulate(divisors[5], 766);
    if (rule == 12) Tabulate(100, 1200);
  }
  Sweep(const Sweep&) = delete;  // `table` points into its own sine_of
  Sweep& operator=(const Sweep&) = delete;

  // Sines of whole-number arguments over a fixed divisor, looked up instead of
  // computed: the colour rules see only 0..255 (or a sum up to 765), the ring
  // rule distances up to 1124. Same values as Sin itself, a fraction of the work.
  std::vector<double> sine_of;
  double divisor = 1;
  // The table's start and length as SineOver reads them, once per lookup: plain
  // values, not the vector's own pointers and a conversion of its size.
  const double* table = nullptr;
  double table_size = 0;

  void Tabulate(double div, int count) {
    divisor = div;
    if (div == 0) return;  // the division fails: every length stays 0
    sine_of.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) sine_of[static_cast<std::size_t>(k)] = Sin(k / div);
    table = sine_of.data();
    table_size = count;
  }

  // Inline, since every position of the colour and ring rules looks up: only
  // the rare argument beyond the table (none on a card's own grid) pays a call.
  [[gnu::always_inline]] double SineOver(double whole) const {
    if (whole >= 0 && whole < table_size) return table[static_cast<int>(whole)];  // int: size_t costs a branch
    return SineBeyondTable(whole);
  }
  [[gnu::noinline]] double SineBeyondTable(double whole) const {
    if (divisor == 0) return 0;  // no table was made: every length stays 0
    return Sin(whole / divisor);
  }

  // What a sweep leaves for the next: the distances of its last position, k of
  // the line a was last prepared for (as Pixel<F, true> keeps them).
  void KeepDistances(const LineAngles& a, int k) {
    for (int m = 0; m < 3; ++m) distance[m] = a.d[m][k];
  }

  void Store(TurningVectors& v, EffectCarry& carry) const {
    v.angle[0] = angle[0], v.angle[1] = angle[1], v.angle[2] = angle[2];
    carry.distances = {distance[0], distance[1], distance[2]};
  }

  // Advances the angles over n positions, the k-th at (i0 + k di, j0 + k dj), and
  // fills a with what those positions need of them and of the generator.
  template <int F>
  void Prepare(LineAngles& a, int n, double i0, double j0, double di, double dj, Generator& g,
               const Lanes& lanes) {
    for (int k = 0; k < n; ++k) {
      angle[0] += step[0];
      angle[1] += step[1];
      angle[2] += step[2];
      a.angle[0][k] = angle[0];
      a.angle[1][k] = angle[1];
      a.angle[2][k] = angle[2];
    }
    for (int m = 0; m < 3; ++m) lanes.numbers.sin_cos(a.angle[m], a.s[m], a.c[m], static_cast<std::size_t>(n));
    if constexpr (F == 1 || F == 6) {
      for (int m = 0; m < 3; ++m) {
        if constexpr (F == 1) {
          lanes.effect.wavy(a.angle[m], m, 0, n, i0, j0, di, dj, a.arg);
        } else {
          const double times = m == 0 ? 2.1 : m == 1 ? 1.8 : 1.5;
          for (int k = 0; k < n; ++k) a.arg[k] = times * a.angle[m][k];
        }
        lanes.numbers.sin(a.arg, a.e[m], static_cast<std::size_t>(n));
      }
    }
    if constexpr (F != 12 && F != 13) {  // every position sees the distances last measured
      for (int k = 0; k < n; ++k) a.d[0][k] = distance[0], a.d[1][k] = distance[1], a.d[2][k] = distance[2];
    } else {
      for (int m = 0; m < 3; ++m) {
        for (int k = 0; k < n; ++k) {
          const double i = i0 + k * di, j = j0 + k * dj;
          const double ei = i - anchors[m].x, ej = j - anchors[m].y;
          a.arg[k] = ei * ei + ej * ej;
        }
        lanes.numbers.floor_sqrt(a.arg, a.d[m], static_cast<std::size_t>(n));
      }
    }
    if constexpr (F == 3) {
      // Two draws per vector per position, in that order, made at once in vector
      // lanes; Uniform() is draw * 2^-24 exactly.
      const std::size_t count = static_cast<std::size_t>(6 * n);
      lanes.numbers.next24(g.state(), a.draws, count);
      g.Skip(count);
      lanes.effect.ratios(a.draws, a.q, 3 * n);
    }
    (void)i0, (void)j0, (void)di, (void)dj, (void)g;
  }

  struct Lengths {
    double a1, a2, a3;
  };

  // The three vectors' lengths at place k of the line a was prepared for;
  // `own` is the position's own colour on the snapshot, which only the colour
  // rules read.
  template <int F>
  [[gnu::always_inline]] Lengths LengthsAt(const LineAngles& a, int k, Colour own) const {
    const double angle1 = a.angle[0][k], angle2 = a.angle[1][k], angle3 = a.angle[2][k];
    Components c{0, 0, 0};
    if constexpr (F == 5 || (F >= 7 && F <= 11)) c = Split(own);
    (void)own;
    double a1 = 0, a2 = 0, a3 = 0;
    if constexpr (F == 1) {
      a1 = length[0] * (1 + a.e[0][k]);
      a2 = length[1] * (1 + a.e[1][k]);
      a3 = length[2] * (1 + a.e[2][k]);
    } else if constexpr (F == 2) {
      a1 = length[0]; a2 = length[1]; a3 = length[2];
    } else if constexpr (F == 3) {
      a1 = length[0] * a.q[3 * k]; a2 = length[1] * a.q[3 * k + 1]; a3 = length[2] * a.q[3 * k + 2];
    } else if constexpr (F == 4) {
      a1 = length[0] * (1 + 0.04 * angle3);
      a2 = length[1] * (1 + 0.04 * angle2);
      a3 = length[2] * (1 + 0.04 * angle1);
    } else if constexpr (F == 5) {
      // A division by zero fails and leaves the length at 0.
      if (divisors[0] != 0) a1 = length[0] * c.r / divisors[0];
      if (divisors[1] != 0) a2 = length[1] * c.g / divisors[1];
      if (divisors[2] != 0) a3 = length[2] * c.b / divisors[2];
    } else if constexpr (F == 6) {
      a1 = length[0] * a.e[0][k];
      a2 = length[1] * a.e[1][k];
      a3 = length[2] * a.e[2][k];
    } else if constexpr (F == 7) {
      a1 = length[0] * SineOver(c.r);
      a2 = length[1] * SineOver(c.g);
      a3 = length[2] * SineOver(c.b);
    } else if constexpr (F >= 8 && F <= 10) {
      const double sv = SineOver(F == 8 ? c.r : F == 9 ? c.g : c.b);
      a1 = length[0] * sv; a2 = length[1] * sv; a3 = length[2] * sv;
    } else if constexpr (F == 11) {
      const double sv = SineOver(c.r + c.g + c.b);
      a1 = length[0] * sv; a2 = length[1] * sv; a3 = length[2] * sv;
    } else if constexpr (F == 12) {
      a1 = length[0] * SineOver(a.d[0][k]);
      a2 = length[1] * SineOver(a.d[1][k]);
      a3 = length[2] * SineOver(a.d[2][k]);
    } else if constexpr (F == 13) {
      a1 = (a.d[0][k] / divisors[6]) * (1 + a.s[0][k]) * a.c[0][k];
      a2 = (a.d[1][k] / divisors[6]) * (1 + a.s[1][k]) * a.c[1][k];
      a3 = (a.d[2][k] / divisors[6]) * (1 + a.s[2][k]) * a.c[2][k];
    }
    return {a1, a2, a3};
  }

  // a.len for the first n positions of a line, the k-th at (i0 + k di, j0 + k dj).
  template <int F>
  void LineLengths(LineAngles& a, int n, int i0, int j0, int di, int dj, const std::uint32_t* src,
                   const UnitMap& map) const {
    if constexpr (F == 13) {  // the same operations as LengthsAt, one vector at a time so they run in lanes
      for (int m = 0; m < 3; ++m)
        for (int k = 0; k < n; ++k) a.len[m][k] = (a.d[m][k] / divisors[6]) * (1 + a.s[m][k]) * a.c[m][k];
      return;
    }
    for (int k = 0; k < n; ++k) {
      Colour own = 0;
      if constexpr (F == 5 || (F >= 7 && F <= 11)) own = static_cast<Colour>(OwnAt(src, map, i0 + k * di, j0 + k * dj));
      const Lengths l = LengthsAt<F>(a, k, own);
      a.len[0][k] = l.a1;
      a.len[1][k] = l.a2;
      a.len[2][k] = l.a3;
    }
  }

  // One position up to the colour read at the source: where it reads and what.
  // `own` is the position's own colour on the snapshot, `src` the snapshot
  // raster, k its place in the line a was prepared for. A kept position leaves
  // its distances for what follows (each sweep keeps its last one; for the
  // positions in between they would be overwritten unread).
  template <int F, bool kKeep = false>
  [[gnu::always_inline]] DisplacedPosition Pixel(const LineAngles& a, int k, double i, double j, Colour own,
                                                 const std::uint32_t* src, const UnitMap& map) {
    const Lengths l = LengthsAt<F>(a, k, own);
    const double vi[3] = {l.a1 * a.c[0][k], l.a2 * a.c[1][k], l.a3 * a.c[2][k]};
    const double vj[3] = {l.a1 * a.s[0][k], l.a2 * a.s[1][k], l.a3 * a.s[2][k]};
    const double e1 = a.d[0][k], e2 = a.d[1][k], e3 = a.d[2][k];
    const auto [si, sj] = SourceOf(mode, i, j, vi, vj, e1, e2, e3);
    if constexpr (kKeep) distance[0] = e1, distance[1] = e2, distance[2] = e3;
    return {si, sj, ColourAt(si, sj, src, map)};
  }

  // The colour the second sweep paints for a source colour, brightened by brightness:
  // inline for the usual case, once a pixel; a call for the rare brightened one.
  [[gnu::always_inline]] std::uint32_t Shown(Colour col) const {
    if (brightness == 0) return col < 0 ? 0u : static_cast<std::uint32_t>(col);  // always, unless drifting
    return Brightened(col);
  }
  [[gnu::noinline]] std::uint32_t Brightened(Colour col) const {
    const Components sc = Split(col);
    return static_cast<std::uint32_t>(
        RGB(Floor(std::max(0.0, sc.r + brightness)), Floor(std::max(0.0, sc.g + brightness)), Floor(std::max(0.0, sc.b + brightness))));
  }
};

// What one call of the effect works on, besides the sweep's own values.
struct EffectRun {
  EffectSurfaces surfaces;
  EffectMode mode;
  Generator& rng;
  const CardWatch& watch;
  EffectBuffers& buffers;
  Lanes lanes;
  bool one_at_a_time;  // the scalar level: every position in turn, the reference the lanes are held to
};

// Both sweeps work a line at a time: the angles, then (unless the run goes one
// position at a time) every length, then every source position in vector
// lanes, then the colours. Each way gives the same card.
template <int F>
void FirstSweep(EffectRun& run, Sweep& w, LineAngles& a, const UnitMap& map) {
  const std::uint32_t* src = run.surfaces.picture.pixels.data();
  std::uint32_t* dst = run.surfaces.canvas.pixels();
  for (int i = 0; i <= 900; ++i) {
    if (run.watch.Stopped()) return;
    const int px = map.x[i];
    w.Prepare<F>(a, kPosH, i, 0, 0, 1, run.rng, run.lanes);
    if (run.one_at_a_time) {
      for (int j = 0; j <= 675; ++j) {
        const Colour own = static_cast<Colour>(OwnAt(src, map, i, j));
        const Colour col = w.Pixel<F>(a, j, i, j, own, src, map).colour;
        const int py = map.y[j];
        // A source off the picture paints black.
        if (px >= 0 && py >= 0) dst[py * kCanvasPixelsW + px] = col < 0 ? 0u : static_cast<std::uint32_t>(col);
      }
    } else if (px >= 0 && map.last_x[px] == i) {  // a later column would paint over this one
      w.LineLengths<F>(a, kPosH, i, 0, 0, 1, src, map);
      run.lanes.effect.sources(w.mode, a, 0, kPosH, i, 0, 0, 1);
      for (int py = 0; py < kCanvasPixelsH; ++py) {
        const int j = map.last_y[py];
        const Colour col = ColourAt(a.si[j], a.sj[j], src, map);
        dst[py * kCanvasPixelsW + px] = col < 0 ? 0u : static_cast<std::uint32_t>(col);
      }
    }
    if (i % 30 == 0) run.watch.Mark(ProgressMark::kColumns, 40 + 30 * i / 900, &run.surfaces.canvas);
  }
  const Colour own = static_cast<Colour>(OwnAt(src, map, 900, 675));
  w.Pixel<F, true>(a, 675, 900, 675, own, src, map);
}

// "pix" mode: the colour each position shows when revealed, row by row (one
// 0x00BBGGRR word per position), made on first use and kept for the next card.
std::uint32_t* ColourStore(EffectBuffers& b) {
  if (b.colour_store.size() != static_cast<std::size_t>(kPosW) * kPosH)
    b.colour_store.assign(static_cast<std::size_t>(kPosW) * kPosH, 0);
  return b.colour_store.data();
}

inline std::uint32_t Stored(Colour col) { return col < 0 ? 0u : static_cast<std::uint32_t>(col); }

template <int F>
void SecondSweep(EffectRun& run, Sweep& w, LineAngles& a, const UnitMap& map) {
  const std::uint32_t* src = run.surfaces.canvas.pixels();
  std::uint32_t* card = run.surfaces.card.pixels();
  std::uint32_t* store = run.mode == EffectMode::kPix ? ColourStore(run.buffers) : nullptr;
  for (int j = 0; j <= 675; ++j) {
    if (run.watch.Stopped()) return;
    const int py = map.y[j];
    w.Prepare<F>(a, kPosW, 0, j, 1, 0, run.rng, run.lanes);
    if (run.one_at_a_time) {
      for (int i = 0; i <= 900; ++i) {
        const Colour own = static_cast<Colour>(OwnAt(src, map, i, j));
        const Colour col = w.Pixel<F>(a, i, i, j, own, src, map).colour;
        if (store) {
          store[j * kPosW + i] = Stored(col);
        } else {
          const int px = map.x[i];
          if (px >= 0 && py >= 0) card[py * kCanvasPixelsW + px] = w.Shown(col);
        }
      }
    } else if (store) {  // the store keeps every position
      w.LineLengths<F>(a, kPosW, 0, j, 1, 0, src, map);
      run.lanes.effect.sources(w.mode, a, 0, kPosW, 0, j, 1, 0);
      for (int i = 0; i <= 900; ++i) store[j * kPosW + i] = Stored(ColourAt(a.si[i], a.sj[i], src, map));
    } else if (py >= 0 && map.last_y[py] == j) {  // a later row would paint over this one
      w.LineLengths<F>(a, kPosW, 0, j, 1, 0, src, map);
      run.lanes.effect.sources(w.mode, a, 0, kPosW, 0, j, 1, 0);
      for (int px = 0; px < kCanvasPixelsW; ++px) {
        const int i = map.last_x[px];
        card[py * kCanvasPixelsW + px] = w.Shown(ColourAt(a.si[i], a.sj[i], src, map));
      }
    }
    if (!store && j % 45 == 44) run.watch.Mark(ProgressMark::kRows, 70 + 20 * j / 675, &run.surfaces.card, py + 1);
  }
  const Colour own = static_cast<Colour>(OwnAt(src, map, 900, 675));
  w.Pixel<F, true>(a, 900, 900, 675, own, src, map);
}

// --- a card drawn `scale` times larger ---
// Every pixel is worked out at its own place in drawing units. The whole
// positions of the card's grid are prepared as on the card itself (the angles
// turned, the generator's draws made, one set a position). The square of pixels
// that stands for one pixel of the card's own raster takes the position that
// pixel shows, and places spread around it: each place turns that position's
// angles on by the steps of the way there, keeps its draws, and takes its own
// colour and its own distances from the anchors; it reads its source
// unrounded. So the larger card is the same picture, supersampled, and a
// square's middle (for an odd scale) is worked out as the card's own pixel.
struct ScaledGrid {
  int scale, w, h;
  std::vector<int> whole_x, whole_y;  // the position the card's own pixel there shows
  std::vector<double> x, y;           // each pixel column's and row's place in drawing units
  ScaledGrid(int n, const UnitMap& map)
      : scale(n), w(kCanvasPixelsW * n), h(kCanvasPixelsH * n), whole_x(w), whole_y(h), x(w), y(h) {
    for (int p = 0; p < w; ++p) {
      whole_x[p] = map.last_x[p / n];
      x[p] = whole_x[p] + ((p % n + 0.5) / n - 0.5) * kCanvasUnitsW / kCanvasPixelsW;
    }
    for (int p = 0; p < h; ++p) {
      whole_y[p] = map.last_y[p / n];
      y[p] = whole_y[p] + ((p % n + 0.5) / n - 0.5) * kCanvasUnitsH / kCanvasPixelsH;
    }
  }
  // The colour at a source place, -1 off the picture: in the square of the
  // nearest whole position's pixel, the pixel nearest the place.
  Colour At(const std::uint32_t* src, double si, double sj, const UnitMap& map) const {
    if (!(si >= 0 && si <= 900 && sj >= 0 && sj <= 675)) return -1;
    const double i = RoundEven(si), j = RoundEven(sj);
    const int px = map.x[static_cast<int>(i)], py = map.y[static_cast<int>(j)];
    if (px < 0 || py < 0) return -1;
    const auto within = [n = scale](double off, double units_per_pixel) {
      return std::clamp(static_cast<int>(Floor((off / units_per_pixel + 0.5) * n)), 0, n - 1);
    };
    const int sx = px * scale + within(si - i, double(kCanvasUnitsW) / kCanvasPixelsW);
    const int sy = py * scale + within(sj - j, double(kCanvasUnitsH) / kCanvasPixelsH);
    return static_cast<Colour>(src[static_cast<std::size_t>(sy) * w + sx]);
  }
};

// Up to a line of places around the whole positions of the line `a` was
// prepared for: the k-th at (x[k], y[k]), around position whole[k] of that line,
// `along[k]` down it and `beyond` steps further (the way across lines, in
// steps); its own colour at own[k * stride], its colour written to out[k * stride].
struct Places {
  int n = 0;
  double x[kLine], y[kLine];
  const double* along;
  const int* whole;
  double beyond;
  const std::uint32_t* own;
  std::uint32_t* out;
  std::size_t stride;
};

template <int F>
void WorkPlaces(Sweep& w, const LineAngles& a, LineAngles& b, const Places& p, bool shown, const Lanes& lanes,
                const std::uint32_t* src, const ScaledGrid& grid, const UnitMap& map) {
  const int n = p.n;
  const int* whole = p.whole;
  for (int k = 0; k < n; ++k) {
    const double turn = (p.along[k] - whole[k]) + p.beyond;
    for (int m = 0; m < 3; ++m) b.angle[m][k] = a.angle[m][whole[k]] + w.step[m] * turn;
  }
  for (int m = 0; m < 3; ++m) lanes.numbers.sin_cos(b.angle[m], b.s[m], b.c[m], static_cast<std::size_t>(n));
  if constexpr (F == 1 || F == 6) {
    for (int m = 0; m < 3; ++m) {
      if constexpr (F == 1) {
        for (int k = 0; k < n; ++k) b.arg[k] = b.angle[m][k] * (m == 0 ? p.x[k] : m == 1 ? p.y[k] : p.x[k] + p.y[k]) / 500;
      } else {
        const double times = m == 0 ? 2.1 : m == 1 ? 1.8 : 1.5;
        for (int k = 0; k < n; ++k) b.arg[k] = times * b.angle[m][k];
      }
      lanes.numbers.sin(b.arg, b.e[m], static_cast<std::size_t>(n));
    }
  }
  if constexpr (F != 12 && F != 13) {
    for (int m = 0; m < 3; ++m) std::fill(b.d[m], b.d[m] + n, w.distance[m]);
  } else {
    for (int m = 0; m < 3; ++m) {
      for (int k = 0; k < n; ++k) {
        const double ei = p.x[k] - w.anchors[m].x, ej = p.y[k] - w.anchors[m].y;
        b.arg[k] = ei * ei + ej * ej;
      }
      lanes.numbers.floor_sqrt(b.arg, b.d[m], static_cast<std::size_t>(n));
    }
  }
  if constexpr (F == 3)
    for (int k = 0; k < n; ++k)
      for (int m = 0; m < 3; ++m) b.q[3 * k + m] = a.q[3 * whole[k] + m];
  for (int k = 0; k < n; ++k) {
    const auto l = w.LengthsAt<F>(b, k, static_cast<Colour>(p.own[k * p.stride]));
    const double vi[3] = {l.a1 * b.c[0][k], l.a2 * b.c[1][k], l.a3 * b.c[2][k]};
    const double vj[3] = {l.a1 * b.s[0][k], l.a2 * b.s[1][k], l.a3 * b.s[2][k]};
    const auto [si, sj] = SourceOf<false>(w.mode, p.x[k], p.y[k], vi, vj, b.d[0][k], b.d[1][k], b.d[2][k]);
    const Colour col = grid.At(src, si, sj, map);
    p.out[k * p.stride] = shown ? w.Shown(col) : Stored(col);
  }
}

template <int F>
void ScaledFirstSweep(EffectRun& run, Sweep& w, LineAngles& a, LineAngles& b, const ScaledGrid& grid,
                      const UnitMap& map) {
  const std::uint32_t* src = run.surfaces.picture.pixels.data();
  std::uint32_t* dst = run.surfaces.canvas.pixels();
  const std::size_t width = static_cast<std::size_t>(grid.w);
  Places p;
  p.stride = width;
  for (int i = 0, px = 0; i <= 900; ++i) {
    if (run.watch.Stopped()) return;
    w.Prepare<F>(a, kPosH, i, 0, 0, 1, run.rng, run.lanes);
    for (; px < grid.w && grid.whole_x[static_cast<std::size_t>(px)] == i; ++px) {
      p.beyond = (grid.x[static_cast<std::size_t>(px)] - i) * kPosH;
      for (int from = 0; from < grid.h; from += kLine) {
        p.n = std::min(kLine, grid.h - from);
        std::fill(p.x, p.x + p.n, grid.x[static_cast<std::size_t>(px)]);
        std::copy_n(grid.y.data() + from, p.n, p.y);
        p.along = p.y, p.whole = grid.whole_y.data() + from;
        p.own = src + from * width + px, p.out = dst + from * width + px;
        WorkPlaces<F>(w, a, b, p, false, run.lanes, src, grid, map);
      }
    }
    if (i % 30 == 0) run.watch.Mark(ProgressMark::kColumns, 40 + 30 * i / 900, &run.surfaces.canvas);
  }
  w.KeepDistances(a, kPosH - 1);
}

template <int F>
void ScaledSecondSweep(EffectRun& run, Sweep& w, LineAngles& a, LineAngles& b, const ScaledGrid& grid,
                       const UnitMap& map) {
  const std::uint32_t* src = run.surfaces.canvas.pixels();
  std::uint32_t* card = run.surfaces.card.pixels();
  const std::size_t width = static_cast<std::size_t>(grid.w);
  Places p;
  p.stride = 1;
  for (int j = 0, py = 0; j <= 675; ++j) {
    if (run.watch.Stopped()) return;
    w.Prepare<F>(a, kPosW, 0, j, 1, 0, run.rng, run.lanes);
    for (; py < grid.h && grid.whole_y[static_cast<std::size_t>(py)] == j; ++py) {
      p.beyond = (grid.y[static_cast<std::size_t>(py)] - j) * kPosW;
      for (int from = 0; from < grid.w; from += kLine) {
        p.n = std::min(kLine, grid.w - from);
        std::copy_n(grid.x.data() + from, p.n, p.x);
        std::fill(p.y, p.y + p.n, grid.y[static_cast<std::size_t>(py)]);
        p.along = p.x, p.whole = grid.whole_x.data() + from;
        p.own = src + py * width + from, p.out = card + py * width + from;
        WorkPlaces<F>(w, a, b, p, run.mode == EffectMode::kLine, run.lanes, src, grid, map);
      }
    }
    if (run.mode == EffectMode::kLine && j % 45 == 44)
      run.watch.Mark(ProgressMark::kRows, 70 + 20 * j / 675, &run.surfaces.card, py);
  }
  w.KeepDistances(a, kPosW - 1);
}

using SweepFn = void (*)(EffectRun&, Sweep&, LineAngles&, const UnitMap&);
using ScaledSweepFn = void (*)(EffectRun&, Sweep&, LineAngles&, LineAngles&, const ScaledGrid&, const UnitMap&);

template <int F>
constexpr std::pair<SweepFn, SweepFn> Sweeps() {
  return {&FirstSweep<F>, &SecondSweep<F>};
}

template <int F>
constexpr std::pair<ScaledSweepFn, ScaledSweepFn> ScaledSweeps() {
  return {&ScaledFirstSweep<F>, &ScaledSecondSweep<F>};
}

constexpr std::pair<ScaledSweepFn, ScaledSweepFn> kScaledSweeps[14] = {
    ScaledSweeps<0>(), ScaledSweeps<1>(), ScaledSweeps<2>(),  ScaledSweeps<3>(),  ScaledSweeps<4>(),
    ScaledSweeps<5>(), ScaledSweeps<6>(), ScaledSweeps<7>(),  ScaledSweeps<8>(),  ScaledSweeps<9>(),
    ScaledSweeps<10>(), ScaledSweeps<11>(), ScaledSweeps<12>(), ScaledSweeps<13>()};

constexpr std::pair<SweepFn, SweepFn> kSweeps[14] = {
    Sweeps<0>(), Sweeps<1>(), Sweeps<2>(),  Sweeps<3>(),  Sweeps<4>(),  Sweeps<5>(),  Sweeps<6>(),
    Sweeps<7>(), Sweeps<8>(), Sweeps<9>(), Sweeps<10>(), Sweeps<11>(), Sweeps<12>(), Sweeps<13>()};

// One position alone, as DisplacePixel works it out: a line of one.
using PositionFn = DisplacedPosition (*)(Sweep&, LineAngles&, double x, double y, Colour own, Generator&, const Lanes&,
                                         const std::uint32_t* src, const UnitMap&);

template <int F>
DisplacedPosition OnePosition(Sweep& w, LineAngles& a, double x, double y, Colour own, Generator& rng,
                              const Lanes& lanes, const std::uint32_t* src, const UnitMap& map) {
  w.Prepare<F>(a, 1, x, y, 0, 0, rng, lanes);
  return w.Pixel<F>(a, 0, x, y, own, src, map);
}

constexpr PositionFn kPositions[14] = {
    &OnePosition<0>, &OnePosition<1>, &OnePosition<2>,  &OnePosition<3>,  &OnePosition<4>,
    &OnePosition<5>, &OnePosition<6>, &OnePosition<7>,  &OnePosition<8>,  &OnePosition<9>,
    &OnePosition<10>, &OnePosition<11>, &OnePosition<12>, &OnePosition<13>};

// Rule numbers outside 1..13 give no lengths at all (the pass never makes them).
int RuleIndex(double f) {
  const double r = RoundEven(f);
  return (r >= 1 && r <= 13) ? static_cast<int>(r) : 0;
}

const UnitMap& CanvasMap() {
  static const UnitMap map;
  return map;
}

// Shows the colour store on the card one position at a time, in random order:
// each drawn position not yet shown is marked, until every one of the canvas's
// width x height positions has been. The draws are made on the run's level, the
// same on every one.
void RevealPixelsAtRandom(EffectRun& run, bool paint) {
  const std::uint32_t* store = ColourStore(run.buffers);
  // One bit per position: the collector's loop below tests about 8.4 million
  // of them, and 76 KB stay in the cache where 600 KB of bytes would not.
  std::vector<std::uint64_t>& mark_words = run.buffers.reveal_marks;
  mark_words.assign((static_cast<std::size_t>(kPosW) * kPosH + 63) / 64, 0);
  std::uint64_t* marks = mark_words.data();
  // The width and height are whole numbers (at most 900 x 675): Floor(width * Uniform)
  // is then exactly (width * k) >> 24, and the loop stays in integers. A canvas
  // the marks cannot hold has nothing to reveal.
  const std::uint64_t w = kCanvasUnitsW, h = kCanvasUnitsH;
  const std::uint64_t total = w * h;
  // The generator's draws are made a block ahead in vector lanes (each depends
  // on its place alone) and taken in order; the shared generator is advanced by
  // what was taken whenever events may run, and at the end.
  constexpr std::size_t kAhead = 2048;
  std::uint32_t ahead[kAhead];
  Generator& rng = run.rng;
  Generator base = rng;       // where the draws taken are counted from
  std::uint64_t used = 0;     // draws taken since base
  std::size_t next = kAhead;  // place in the block; kAhead: make the next block
  const auto refill = [&] {
    Generator at = base;
    at.Skip(used);
    run.lanes.numbers.next24(at.state(), ahead, kAhead);
    next = 0;
  };
  const auto draw = [&]() -> std::uint64_t {
    if (next == kAhead) refill();
    ++used;
    return ahead[next++];
  };
  // Over the last 2 % of positions well over half of all attempts are made, nearly
  // all finding theirs marked: the level's kernel skips such a run a vector of
  // attempts at a time, and the attempt it stops at is made as before. (Earlier,
  // runs are short and the kernel's start costs more than it skips.)
  const std::uint64_t skim_from = total - total / 50;
  constexpr std::size_t kSkim = 32;  // draws left in the block for a run worth skimming
  for (std::uint64_t n = 1; n <= total; ++n) {
    std::size_t at;
    do {
      if (n > skim_from) {
        if (kAhead - next < kSkim) refill();
        const std::size_t marked = run.lanes.effect.marked_run(ahead + next, (kAhead - next) / 2, marks, w, h, kPosW);
        next += 2 * marked;
        used += 2 * marked;
      }
      const std::uint64_t i = (w * draw()) >> 24;
      const std::uint64_t j = (h * draw()) >> 24;
      at = static_cast<std::size_t>(j * kPosW + i);
    } while ((marks[at >> 6] >> (at & 63)) & 1);
    marks[at >> 6] |= std::uint64_t{1} << (at & 63);
    // P = Floor(Uniform * 20000 + 20000): a draw the reveal makes and never reads.
    const std::uint64_t p = 20000 + ((20000ULL * draw()) >> 24);
    if (p % 100 == 5 && run.watch.Stopped()) break;
  }
  rng = base;
  rng.Skip(used);
  if (!paint) return;  // a card drawn larger: its second sweep painted every place
  // Every pixel has now been revealed once, so the card shows each one's colour:
  // painted in one go rather than in the random order of the reveal. Several
  // positions share a pixel; the pixel shows the position line mode paints last.
  const UnitMap& map = CanvasMap();
  std::uint32_t* card = run.surfaces.card.pixels();
  const int px_end = map.x[w - 1] + 1, py_end = map.y[h - 1] + 1;  // past the revealed pixels
  for (int py = 0; py < py_end; ++py) {
    const std::uint32_t* row = store + map.last_y[py] * kPosW;
    for (int px = 0; px < px_end; ++px) card[py * kCanvasPixelsW + px] = row[map.last_x[px]];
  }
}

// The effect's vectors, drawn afresh for every call: three starting angles,
// three base lengths 50..149, then per vector two draws for its step.
TurningVectors DrawTurningVectors(Generator& g) {
  TurningVectors v;
  for (double& angle : v.angle) angle = g.Uniform() * 6.283;
  for (double& length : v.length) length = Floor(g.Uniform() * 100 + 50);
  for (double& step : v.step) {
    const double a = g.Uniform();
    const double b = g.Uniform();
    step = (a * 9 + 5) / ((b * 10 + 1) * 500000);
  }
  return v;
}

}  // namespace

DisplacedPosition DisplacePixel(const Surface& source, const EffectParameters& pass, double offset_mode,
                                TurningVectors& vectors, const EffectCarry& carry, Generator& rng, double x,
                                double y) {
  const UnitMap& map = CanvasMap();
  Sweep w(pass, offset_mode, vectors, carry, 0);
  const Colour own = source.ColourAt(x, y);
  const auto a = std::make_unique<LineAngles>();
  const Lanes lanes{*KernelsFor(SimdLevel::kScalar), displacement::ScalarKernels()};
  const DisplacedPosition out = kPositions[RuleIndex(pass.rule)](w, *a, x, y, own, rng, lanes, source.pixels(), map);
  EffectCarry unused;
  w.Store(vectors, unused);
  return out;
}

Result<> ApplyDisplacementEffect(EffectSurfaces surfaces, const EffectParameters& pass, double offset_mode,
                                 EffectMode mode, EffectCarry& carry, Generator& rng, EffectBuffers& buffers,
                                 const CardWatch& watch, SimdLevel level) {
  const VectorKernels* numbers = KernelsFor(level);
  const EffectKernels* effect = EffectKernelsFor(level);
  if (!numbers || !effect)
    return Result<>::Failed(std::string("The displacement effect cannot run on ") + LevelName(level) +
                          ": this processor lacks it.");
  const Image& canvas = surfaces.canvas.image();
  if (surfaces.picture.width != canvas.width || surfaces.picture.height != canvas.height ||
      surfaces.picture.pixels.size() != canvas.pixels.size())
    return Result<>::Failed("The displacement effect needs a picture of the canvas's size.");
  EffectRun run{surfaces, mode, rng, watch, buffers, {*numbers, *effect}, level == SimdLevel::kScalar};

  TurningVectors vectors = DrawTurningVectors(rng);
  const int scale = surfaces.canvas.brush();
  Sweep w(pass, offset_mode, vectors, carry, 0);
  const auto angles = std::make_unique<LineAngles>();
  const UnitMap& map = CanvasMap();
  if (scale == 1) {
    const auto [first, second] = kSweeps[RuleIndex(pass.rule)];
    first(run, w, *angles, map);
    second(run, w, *angles, map);
  } else {
    const ScaledGrid grid(scale, map);
    const auto places = std::make_unique<LineAngles>();
    const auto [first, second] = kScaledSweeps[RuleIndex(pass.rule)];
    first(run, w, *angles, *places, grid, map);
    second(run, w, *angles, *places, grid, map);
  }
  surfaces.card.font_points = 8;
  surfaces.card.pen_colour = RGB(0, 0, 0);
  w.Store(vectors, carry);
  if (mode == EffectMode::kPix && !watch.Stopped()) RevealPixelsAtRandom(run, scale == 1);
  return {};
}

}  // namespace mirelune
