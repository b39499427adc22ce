#include "raster/surface.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif


namespace mirelune {

namespace {
#ifndef _WIN32
std::uintptr_t RoundUp(std::uintptr_t v, std::uintptr_t to) { return (v + to - 1) & ~(to - 1); }
bool PowerOfTwo(std::uintptr_t v) { return v != 0 && (v & (v - 1)) == 0; }

// The system's page size, asked once.
std::uintptr_t PageSize() {
  static const std::uintptr_t page = [] {
    const long n = sysconf(_SC_PAGESIZE);
    return n > 0 && PowerOfTwo(static_cast<std::uintptr_t>(n)) ? static_cast<std::uintptr_t>(n) : 4096;
  }();
  return page;
}

// The size of a transparent huge page as the kernel says it; the page size when
// it does not (no huge pages, or /sys not mounted), and then nothing is aligned.
std::uintptr_t HugePageSize() {
  static const std::uintptr_t huge = [] {
    unsigned long long n = 0;
    if (FILE* f = std::fopen("/sys/kernel/mm/transparent_hugepage/hpage_pmd_size", "re")) {
      if (std::fscanf(f, "%llu", &n) != 1) n = 0;
      std::fclose(f);
    }
    const auto v = static_cast<std::uintptr_t>(n);
    return PowerOfTwo(v) && v > PageSize() && v <= (std::uintptr_t{1} << 30) ? v : PageSize();
  }();
  return huge;
}
}  // namespace

void* MapRaster(std::size_t bytes) {
  const std::uintptr_t page = PageSize(), huge = HugePageSize();
  const std::uintptr_t len = RoundUp(bytes, page);
  // One huge page more than needed, so that a huge-page boundary falls inside.
  const std::uintptr_t slack = huge > page ? huge : 0;
  void* raw = mmap(nullptr, len + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  // Keep the part from the first huge-page boundary on.
  const auto at = reinterpret_cast<std::uintptr_t>(raw), start = slack ? RoundUp(at, huge) : at;
  if (start > at) munmap(raw, start - at);
  if (at + slack > start) munmap(reinterpret_cast<void*>(start + len), at + slack - start);
  void* p = reinterpret_cast<void*>(start);
  // Both best effort: a kernel without them faults the pages in as usual.
#ifdef MADV_HUGEPAGE
  if (slack) madvise(p, len, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
  madvise(p, len, MADV_POPULATE_WRITE);
#endif
  return p;
}

void UnmapRaster(void* p, std::size_t bytes) { munmap(p, RoundUp(bytes, PageSize())); }
#else
}  // namespace

// Whole pages, zeroed, committed at once, as the POSIX mapping gives them.
void* MapRaster(std::size_t bytes) {
  void* p = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!p) throw std::bad_alloc();
  return p;
}

void UnmapRaster(void* p, std::size_t) { VirtualFree(p, 0, MEM_RELEASE); }
#endif

Surface::Surface(int pixel_width, int pixel_height, double scale_width, double scale_height, int brush,
                 PixelBuffer memory)
    : w_(pixel_width), h_(pixel_height), sw_(scale_width), sh_(scale_height), brush_(std::max(brush, 1)) {
  img_.width = w_;
  img_.height = h_;
  img_.pixels = std::move(memory);
  img_.pixels.assign(static_cast<std::size_t>(w_) * h_, Drawn(back_));  // within its capacity: no new memory
}

Image Surface::Snapshot(PixelBuffer memory) const {
  Image out{w_, h_, std::move(memory)};
  out.pixels.assign(img_.pixels.begin(), img_.pixels.end());
  return out;
}

void Surface::SetBackground(Colour c) {
  back_ = c;
  std::fill(img_.pixels.begin(), img_.pixels.end(), Drawn(c));
}

void Surface::SetBackgroundPicture(const Image& img) {
  picture_ = img;
  if (img.width == w_ && img.height == h_) {
    img_.pixels = img.pixels;
  } else {
    std::fill(img_.pixels.begin(), img_.pixels.end(), Drawn(back_));
    DrawImageScaled(img, 0, 0, sw_, sh_);
  }
}

void Surface::SetBackgroundPicture(const Surface& from) {
  if (&from == this) return SetBackgroundPicture(Image(img_));
  if (!picture_) picture_.emplace();
  // Copy-assignment keeps the vectors' storage: no fresh pages per snapshot.
  *picture_ = from.img_;
  if (from.w_ == w_ && from.h_ == h_) {
    img_.pixels = from.img_.pixels;
  } else {
    std::fill(img_.pixels.begin(), img_.pixels.end(), Drawn(back_));
    DrawImageScaled(*picture_, 0, 0, sw_, sh_);
  }
}

void Surface::Clear() {
  if (picture_ && picture_->width == w_ && picture_->height == h_) {
    img_.pixels = picture_->pixels;
  } else if (picture_) {
    SetBackgroundPicture(Image(*picture_));
  } else {
    std::fill(img_.pixels.begin(), img_.pixels.end(), Drawn(back_));
  }
  cursor_x = 0;
  cursor_y = 0;
}

void Surface::Plot(double x, double y, Colour c) {
  const long px = PixelX(x), py = PixelY(y);
  if (primitive_log) [[unlikely]]
    primitive_log->push_back({DrawnPrimitive::kPixel, px, py, px, py, 0, 0, Drawn(c)});
  if (brush_ > 1) return fill_rect(px, py, px + brush_ - 1, py + brush_ - 1, Drawn(c));
  set_pixel(px, py, Drawn(c));
}

Colour Surface::ColourAt(double x, double y) const {
  long px = PixelX(x), py = PixelY(y);
  if (brush_ > 1) {  // the middle of the square the card's own raster has there
    px = ToPixel(x * (w_ / brush_) / sw_) * brush_ + brush_ / 2;
    py = ToPixel(y * (h_ / brush_) / sh_) * brush_ + brush_ / 2;
  }
  if (!OnRaster(px, py)) return -1;
  return static_cast<Colour>(img_.pixels[static_cast<std::size_t>(py) * w_ + px]);
}

void Surface::Line(double x1, double y1, double x2, double y2, Colour c) {
  Line(PixelsOfLine(x1, y1, x2, y2), c);
}

void Surface::Line(const PixelLine& ends, Colour c) {
  const long px1 = ends.x0, py1 = ends.y0, px2 = ends.x1, py2 = ends.y1;
  if (primitive_log) [[unlikely]]
    primitive_log->push_back({DrawnPrimitive::kLine, px1, py1, px2, py2, 0, 0, Drawn(c)});
  if (brush_ > 1) return draw_wide_line(px1, py1, px2, py2, brush_, Drawn(c));
  draw_line(px1, py1, px2, py2, Drawn(c));
}

void Surface::Box(double x1, double y1, double x2, double y2, Colour c) {
  const long px1 = PixelX(x1), py1 = PixelY(y1), px2 = PixelX(x2), py2 = PixelY(y2);
  if (primitive_log) [[unlikely]] {
    if (fill_solid)
      primitive_log->push_back({DrawnPrimitive::kBoxFill, px1, py1, px2, py2, 0, 0, Drawn(fill_colour)});
    primitive_log->push_back({DrawnPrimitive::kBox, px1, py1, px2, py2, 0, 0, Drawn(c)});
  }
  if (brush_ > 1) {  // the box of squares: each side a band brush_ wide
    const long b = brush_ - 1, x0 = std::min(px1, px2), x1 = std::max(px1, px2) + b;
    const long y0 = std::min(py1, py2), y1 = std::max(py1, py2) + b;
    if (fill_solid) fill_rect(x0, y0, x1, y1, Drawn(fill_colour));
    fill_rect(x0, y0, x1, y0 + b, Drawn(c));
    fill_rect(x0, y1 - b, x1, y1, Drawn(c));
    fill_rect(x0, y0, x0 + b, y1, Drawn(c));
    fill_rect(x1 - b, y0, x1, y1, Drawn(c));
    return;
  }
  if (fill_solid) fill_rect(px1, py1, px2, py2, Drawn(fill_colour));
  if (!fill_solid || fill_colour != c) draw_rect(px1, py1, px2, py2, Drawn(c));  // its edge, filled already
}

void Surface::Circle(double x, double y, double r, Colour c, double aspect) {
  if (!std::isfinite(r) || !std::isfinite(aspect)) return;
  r = std::fabs(r);
  aspect = std::fabs(aspect);
  double rx, ry;  // in drawing units
  if (aspect < 1) {
    rx = r;
    ry = r * aspect;
  } else {
    ry = r;
    rx = aspect > 0 ? r / aspect : 0;
  }
  const long cx = PixelX(x), cy = PixelY(y);
  const double prx = rx * w_ / sw_, pry = ry * h_ / sh_;
  if (primitive_log) [[unlikely]] {
    if (fill_solid)
      primitive_log->push_back({DrawnPrimitive::kEllipseFill, cx, cy, cx, cy, prx, pry, Drawn(fill_colour)});
    primitive_log->push_back({DrawnPrimitive::kEllipse, cx, cy, cx, cy, prx, pry, Drawn(c)});
  }
  if (brush_ > 1) {  // centred on the square a point would be
    const long mid = (brush_ - 1) / 2;
    if (fill_solid) fill_ellipse(cx + mid, cy + mid, prx + mid, pry + mid, Drawn(fill_colour));
    return draw_wide_ellipse(cx + mid, cy + mid, prx, pry, brush_, Drawn(c));
  }
  if (fill_solid) fill_ellipse(cx, cy, prx, pry, Drawn(fill_colour));
  // Each row of the outline lies within the same row of the fill: in the fill's
  // colour it would change no pixel (the random walks' 60,000 dots are such).
  if (!fill_solid || fill_colour != c) draw_ellipse(cx, cy, prx, pry, Drawn(c));
}

void Surface::DrawImageScaled(const Image& img, double x, double y, double w, double h) {
  if (img.width <= 0 || img.height <= 0) return;
  const long xa = PixelX(std::min(x, x + w)), xb = PixelX(std::max(x, x + w));
  const long ya = PixelY(std::min(y, y + h)), yb = PixelY(std::max(y, y + h));
  const long dw = xb - xa, dh = yb - ya;
  if (dw <= 0 || dh <= 0) return;
  WriteRows(xa, ya, xb - 1, yb - 1, [&](std::uint32_t* row, long py, long x0, long x1) {
    // Nearest source pixel for the centre of each destination pixel.
    long sy = ((py - ya) * 2 + 1) * img.height / (2 * dh);
    if (h < 0) sy = img.height - 1 - sy;
    for (long px = x0; px <= x1; ++px) {
      long sx = ((px - xa) * 2 + 1) * img.width / (2 * dw);
      if (w < 0) sx = img.width - 1 - sx;
      row[px] = img.at(static_cast<int>(sx), static_cast<int>(sy));
    }
  });
}

void Surface::draw_line(long x0, long y0, long x1, long y1, std::uint32_t c) { trace_line<false>(x0, y0, x1, y1, c, 0); }

template <bool kExtended>
void Surface::trace_line(long x0, long y0, long x1, long y1, std::uint32_t c, long extend) {
  if (y0 == y1 || x0 == x1) return span_box(std::min(x0, x1), y0, std::max(x0, x1) + extend, y1, c);
  // The minor coordinate is the exact rounding of the ideal line (halves rounded
  // up), so a clipped line covers the same pixels as its unclipped self.
  const bool steep = std::labs(y1 - y0) > std::labs(x1 - x0);
  long a0 = steep ? y0 : x0, b0 = steep ? x0 : y0, a1 = steep ? y1 : x1, b1 = steep ? x1 : y1;
  if (a0 > a1) {
    std::swap(a0, a1);
    std::swap(b0, b1);
  }
  const long da = a1 - a0, db = b1 - b0, two_da = 2 * da;
  // b(a) = b0 + floor(((a - a0) 2 db + da) / (2 da)), as a quotient and a remainder in [0, 2 da).
  // In 64 bits when the product fits, as it does for every line in units (their
  // pixels are clamped to 1e8): a 128-bit division costs a library call.
  const bool narrow = da < (1L << 30) && std::labs(db) < (1L << 30);
  const auto minor_at = [&](long a, long* rem) {
    long q, r;
    if (narrow) {
      // 64 bits on Windows too, where long has 32.
      const std::int64_t num = std::int64_t{a - a0} * (2 * db) + da;
      q = num / two_da, r = num % two_da;
    } else {
      const __int128 num = static_cast<__int128>(a - a0) * (2 * db) + da;
      q = static_cast<long>(num / two_da), r = static_cast<long>(num % two_da);
    }
    if (r < 0) {
      r += two_da;
      --q;
    }
    if (rem) *rem = r;
    return b0 + q;
  };
  // Clip once: b(a) is monotonic, so the part on the raster is one interval of a,
  // found by bisection within the part whose major coordinate is on it.
  const long minor_last = (steep ? w_ : h_) - 1;
  const auto first = [&](long lo, long hi, auto&& past) {  // first a in [lo, hi) with past(b(a)), else hi
    while (lo < hi) {
      const long mid = lo + (hi - lo) / 2;
      if (past(minor_at(mid, nullptr)))
        hi = mid;
      else
        lo = mid + 1;
    }
    return lo;
  };
  long start = std::max(a0, 0L), end = std::min<long>(a1, (steep ? h_ : w_) - 1);
  if (start > end) return;
  if (std::min(b0, b1) < 0 || std::max(b0, b1) > minor_last) {
    const bool rising = db >= 0;
    start = first(start, end + 1, [&](long b) { return rising ? b >= 0 : b <= minor_last; });
    end = first(start, end + 1, [&](long b) { return rising ? b > minor_last : b < 0; }) - 1;
    if (start > end) return;
  }
  long r;
  long b = minor_at(start, &r);
  const long step = 2 * db;  // |step| <= two_da, so one correction at most keeps r in [0, two_da)
  std::uint32_t* const px = img_.pixels.data();
  // The minor coordinate moves one way only, so each loop tests one bound.
  // Both outcomes are worked out from r at once and one is picked: two steps of
  // latency a pixel where testing the sum first takes three.
  const long step_over = db >= 0 ? step - two_da : step + two_da;
  const auto advance = [&](auto rising) {
    const long plain = r + step, over = r + step_over;
    if constexpr (rising) {
      const bool carry = over >= 0;
      r = carry ? over : plain;
      b += carry;
    } else {
      const bool borrow = plain < 0;
      r = borrow ? over : plain;
      b -= borrow;
    }
  };
  const long w = w_, last_x = w - 1;  // a local: a pixel's store might change w_ for all the compiler knows
  const auto walk = [&](auto rising) {
    if (steep) {  // one pixel a row
      std::uint32_t* p = px + start * w;
      for (long a = start; a <= end; ++a, p += w) {
        if constexpr (kExtended)
          FillRow(p, b, std::min(b + extend, last_x), c);
        else
          p[b] = c;
        advance(rising);
      }
    } else {  // a run of pixels a row
      long run = start;
      for (long a = start; a <= end; ++a) {
        const long here = b;
        advance(rising);
        if (b != here || a == end) {
          FillRow(px + here * w, run, kExtended ? std::min(a + extend, last_x) : a, c);
          run = a + 1;
        }
      }
    }
  };
  if (db >= 0)
    walk(std::true_type{});
  else
    walk(std::false_type{});
}

void Surface::draw_wide_line(long x0, long y0, long x1, long y1, long width, std::uint32_t c) {
  // The square's sweep: the line moved down by 0..width - 1 rows, each row's run
  // continued width - 1 pixels to the right (a run meets the next row's, so the
  // continuation is all a square adds across). Runs cut at the raster's left
  // edge lose their continuation: at most width - 1 pixels there.
  for (long k = 0; k < width; ++k) trace_line<true>(x0, y0 + k, x1, y1 + k, c, width - 1);
}

void Surface::draw_rect(long x0, long y0, long x1, long y1, std::uint32_t c) {
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  span(y0, x0, x1, c);
  span(y1, x0, x1, c);
  span_box(x0, y0, x0, y1, c);
  span_box(x1, y0, x1, y1, c);
}

void Surface::fill_rect(long x0, long y0, long x1, long y1, std::uint32_t c) { span_box(x0, y0, x1, y1, c); }

namespace {

// Half-widths of an ellipse, one per row offset k = 0..K from the centre row.
// The outline of row k runs from min(w(k), w(k+1) + 1) to w(k) on either side,
// which joins every row to the next into one 8-connected ring.
struct EllipseRows {
  long K;
  double rx, ry;
  long width(long k) const {
    if (k > K) return -1;
    if (ry <= 0) return static_cast<long>(RoundEven(rx));
    const double t = static_cast<double>(k) / ry;
    const double u = 1.0 - t * t;
    return u > 0 ? static_cast<long>(RoundEven(rx * std::sqrt(u))) : 0;
  }
  // width(k), width(k - 1), ... width(k - n + 1): apart from the spans, whose
  // branches would keep each row's division and square root waiting on the last.
  void widths(long k, long n, long* out) const {
    long j = 0;
#if defined(__SSE2__)
    if (ry > 0 && k <= K) {  // two rows at a time, each lane the same operations as width()
      const __m128d r = _mm_set1_pd(ry), x = _mm_set1_pd(rx), one = _mm_set1_pd(1.0), zero = _mm_setzero_pd();
      const __m128d magic = _mm_set1_pd(6755399441055744.0);  // RoundEven's, |rx| <= 1e7 being below 2^51
      for (; j + 1 < n; j += 2) {
        const __m128d t = _mm_div_pd(_mm_set_pd(static_cast<double>(k - j - 1), static_cast<double>(k - j)), r);
        const __m128d u = _mm_sub_pd(one, _mm_mul_pd(t, t));
        const __m128d inside = _mm_cmpgt_pd(u, zero);  // else the width is 0
        const __m128d v = _mm_mul_pd(x, _mm_sqrt_pd(_mm_and_pd(u, inside)));
        double lanes[2];
        _mm_storeu_pd(lanes, _mm_and_pd(_mm_sub_pd(_mm_add_pd(v, magic), magic), inside));
        out[j] = static_cast<long>(lanes[0]);
        out[j + 1] = static_cast<long>(lanes[1]);
      }
    }
#endif
    for (; j < n; ++j) out[j] = width(k - j);
  }
};

constexpr long kRowBlock = 16;  // rows whose widths are worked out together

EllipseRows MakeRows(double rx, double ry) {
  if (rx > 1e7) rx = 1e7;
  if (ry > 1e7) ry = 1e7;
  return EllipseRows{static_cast<long>(RoundEven(ry)), rx, ry};
}

}  // namespace

const long* Surface::small_ellipse_widths(double rx, double ry) {
  SmallEllipse& small = small_ellipse_;
  if (small.rx != rx || small.ry != ry) {
    const EllipseRows rows = MakeRows(rx, ry);
    rows.widths(rows.K, rows.K + 1, small.widths);
    small.rx = rx, small.ry = ry;
  }
  return small.widths;
}

void Surface::draw_ellipse(long cx, long cy, double rx, double ry, std::uint32_t c) {
  if (!(rx >= 0) || !(ry >= 0)) return;
  const EllipseRows rows = MakeRows(rx, ry);
  // Walk from the caps towards the middle row: the outline only widens that way,
  // so once a row's outline lies left and right of the raster, so do all the rest
  // (most rows of the big blobs on the narrow palette strip).
  const long k_lo = std::max({0L, -cy, cy - (h_ - 1)});
  const long reach = std::max(cx, (w_ - 1) - cx);
  const long k_hi = std::min(rows.K, std::max(cy, (h_ - 1) - cy));  // past it both rows are off
  long wn = rows.width(k_hi + 1);  // width of row k + 1
  // Rows k above and below the middle, wk wide; false once the rest are off the raster.
  const auto outline_rows = [&](long k, long wk) {
    const long lo = std::min(wk, wn + 1);
    wn = wk;
    if (lo > reach) return false;
    const long top = cy - k, bottom = cy + k;
    if (top < 0 && bottom >= h_) return true;
    span(top, cx + lo, cx + wk, c);
    span(top, cx - wk, cx - lo, c);
    if (k != 0) {
      span(bottom, cx + lo, cx + wk, c);
      span(bottom, cx - wk, cx - lo, c);
    }
    return true;
  };
  if (rows.K < SmallEllipse::kMaxRows) {
    const long* widths = small_ellipse_widths(rx, ry);
    for (long k = k_hi; k >= k_lo; --k)
      if (!outline_rows(k, widths[rows.K - k])) return;
    return;
  }
  long widths[kRowBlock];
  for (long first = k_hi; first >= k_lo; first -= kRowBlock) {
    const long n = std::min(kRowBlock, first - k_lo + 1);
    rows.widths(first, n, widths);
    for (long j = 0; j < n; ++j)
      if (!outline_rows(first - j, widths[j])) return;
  }
}

void Surface::draw_wide_ellipse(long cx, long cy, double rx, double ry, long width, std::uint32_t c) {
  if (!(rx >= 0) || !(ry >= 0)) return;
  // Every row: the outer ellipse's span less the inner one's.
  const double half = static_cast<double>(width - 1) / 2, in_x = rx - half - 1, in_y = ry - half - 1;
  const EllipseRows outer = MakeRows(rx + half, ry + half);
  const EllipseRows inner = in_x >= 0 && in_y >= 0 ? MakeRows(in_x, in_y) : EllipseRows{-1, 0, 0};
  const long k_lo = std::max({0L, -cy, cy - (h_ - 1)});
  for (long k = k_lo; k <= outer.K; ++k) {
    const long top = cy - k, bottom = cy + k;
    if (top < 0 && bottom >= h_) break;
    const long wo = outer.width(k), wi = inner.width(k);
    for (long y : {top, bottom}) {
      if (y == bottom && k == 0) break;
      if (wi < 0) {
        span(y, cx - wo, cx + wo, c);
      } else if (wi < wo) {
        span(y, cx + wi + 1, cx + wo, c);
        span(y, cx - wo, cx - wi - 1, c);
      }
    }
  }
}

void Surface::fill_ellipse(long cx, long cy, double rx, double ry, std::uint32_t c) {
  if (!(rx >= 0) || !(ry >= 0)) return;
  const EllipseRows rows = MakeRows(rx, ry);
  const long k_lo = std::max({0L, -cy, cy - (h_ - 1)});
  const long k_hi = std::min(rows.K, std::max(cy, (h_ - 1) - cy));  // past it both rows are off
  // Rows k above and below the middle, wk wide.
  const auto disc_rows = [&](long k, long wk) {
    span(cy - k, cx - wk, cx + wk, c);
    if (k != 0) span(cy + k, cx - wk, cx + wk, c);
  };
  if (rows.K < SmallEllipse::kMaxRows) {
    const long* widths = small_ellipse_widths(rx, ry);
    for (long k = k_hi; k >= k_lo; --k) disc_rows(k, widths[rows.K - k]);
    return;
  }
  long widths[kRowBlock];
  for (long last = k_hi; last >= k_lo; last -= kRowBlock) {  // from the caps in, as the outline
    const long n = std::min(kRowBlock, last - k_lo + 1);
    rows.widths(last, n, widths);
    for (long j = 0; j < n; ++j) disc_rows(last - j, widths[j]);
  }
}

}  // namespace mirelune
