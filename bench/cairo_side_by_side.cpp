// The drawing primitives of one real card, replayed through our raster and
// through Cairo (antialiasing off, 1-pixel lines) in one run, alternating, and
// the ratio of the times per kind of primitive and overall (ours / Cairo).
//
//   build/bench/mirelune-bench-cairo [rounds] [friend sender]
//
// Times are CPU time of this thread, medians over the rounds; each round runs
// every group once through each raster, the order swapped every other round.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "card/card.h"
#include "commands/commands.h"
#include "palette/palette.h"

namespace mirelune {
namespace {

using Stream = std::vector<DrawnPrimitive>;

double ThreadMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Everything the card's canvas-sized surfaces draw while "new" makes it.
Stream RecordCard(const std::string& friend_name, const std::string& sender) {
  Stream log;
  Generator g;
  SeedGenerator(g, SeedFromNames(friend_name, sender));
  auto strip = std::make_unique<Surface>(NewStrip()), canvas = std::make_unique<Surface>(NewCanvas()),
       card = std::make_unique<Surface>(NewCanvas());
  auto buffers = std::make_unique<EffectBuffers>();
  for (Surface* p : {canvas.get(), card.get()}) p->primitive_log = &log;
  DrawPaletteStrip(*strip, 0, g);
  Fonts fonts(FontFolder());
  PassOutput pass = RunGenerationPass(*canvas, *strip, 15, g, fonts);
  EffectCarry distances;
  const Image picture = canvas->Snapshot();
  static_cast<void>(ApplyDisplacementEffect({picture, *canvas, *card}, pass.effect, pass.effect_offset_mode,
                                            EffectMode::kLine, distances, g, *buffers, {}, BestSimdLevel()));
  DrawOrnamentTree(*card, *canvas, pass.effect, g);
  DrawGreeting(*card, {friend_name, sender, 2017, ""}, fonts);
  return log;
}

void ReplayOurs(Surface& r, const Stream& stream) {
  for (const DrawnPrimitive& p : stream) {
    switch (p.kind) {
      case DrawnPrimitive::kPixel: r.set_pixel(p.x0, p.y0, p.colour); break;
      case DrawnPrimitive::kLine: r.draw_line(p.x0, p.y0, p.x1, p.y1, p.colour); break;
      case DrawnPrimitive::kBox: r.draw_rect(p.x0, p.y0, p.x1, p.y1, p.colour); break;
      case DrawnPrimitive::kBoxFill: r.fill_rect(p.x0, p.y0, p.x1, p.y1, p.colour); break;
      case DrawnPrimitive::kEllipse: r.draw_ellipse(p.x0, p.y0, p.rx, p.ry, p.colour); break;
      case DrawnPrimitive::kEllipseFill: r.fill_ellipse(p.x0, p.y0, p.rx, p.ry, p.colour); break;
    }
  }
}

// The same shapes as a Cairo user draws them: pixel centres at +0.5, a 1-pixel
// pen with square caps so that lines include both ends, fills of whole pixels.
void ReplayCairo(cairo_t* cr, const Stream& stream) {
  for (const DrawnPrimitive& p : stream) {
    cairo_set_source_rgb(cr, (p.colour & 0xFF) / 255.0, ((p.colour >> 8) & 0xFF) / 255.0,
                         ((p.colour >> 16) & 0xFF) / 255.0);
    const double x0 = std::min(p.x0, p.x1), y0 = std::min(p.y0, p.y1);
    const double w = std::labs(p.x1 - p.x0), h = std::labs(p.y1 - p.y0);
    switch (p.kind) {
      case DrawnPrimitive::kPixel:
        cairo_rectangle(cr, p.x0, p.y0, 1, 1);
        cairo_fill(cr);
        break;
      case DrawnPrimitive::kLine:
        cairo_move_to(cr, p.x0 + 0.5, p.y0 + 0.5);
        cairo_line_to(cr, p.x1 + 0.5, p.y1 + 0.5);
        cairo_stroke(cr);
        break;
      case DrawnPrimitive::kBox:
        cairo_rectangle(cr, x0 + 0.5, y0 + 0.5, w, h);
        cairo_stroke(cr);
        break;
      case DrawnPrimitive::kBoxFill:
        cairo_rectangle(cr, x0, y0, w + 1, h + 1);
        cairo_fill(cr);
        break;
      case DrawnPrimitive::kEllipse:
      case DrawnPrimitive::kEllipseFill:
        if (!(p.rx > 0.5 && p.ry > 0.5)) {  // a dot or a flat line: its box
          cairo_rectangle(cr, p.x0 - std::round(p.rx), p.y0 - std::round(p.ry), 2 * std::round(p.rx) + 1,
                          2 * std::round(p.ry) + 1);
          cairo_fill(cr);
          break;
        }
        cairo_save(cr);
        cairo_translate(cr, p.x0 + 0.5, p.y0 + 0.5);
        cairo_scale(cr, p.rx, p.ry);
        cairo_new_path(cr);
        cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(cr);  // the pen stays 1 pixel wide
        if (p.kind == DrawnPrimitive::kEllipse)
          cairo_stroke(cr);
        else
          cairo_fill(cr);
        break;
    }
  }
}

struct Group {
  const char* name;
  Stream stream;
  std::vector<double> ours, cairo;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int Run(int rounds, const std::string& friend_name, const std::string& sender) {
  const Stream all = RecordCard(friend_name, sender);
  std::vector<Group> groups = {{"pixels", {}, {}, {}},     {"lines", {}, {}, {}},         {"boxes", {}, {}, {}},
                               {"box fills", {}, {}, {}},  {"ellipses", {}, {}, {}},      {"ellipse fills", {}, {}, {}},
                               {"all, in order", all, {}, {}}};
  for (const DrawnPrimitive& p : all) groups[p.kind].stream.push_back(p);

  Surface ours(kCanvasPixelsW, kCanvasPixelsH, kCanvasPixelsW, kCanvasPixelsH);
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kCanvasPixelsW, kCanvasPixelsH);
  cairo_t* cr = cairo_create(target);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, 1.0);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);

  for (int round = 0; round < rounds; ++round) {
    for (Group& g : groups) {
      for (int side = 0; side < 2; ++side) {
        const bool cairo_side = (side + round) % 2 == 1;
        const double t0 = ThreadMs();
        if (cairo_side) {
          ReplayCairo(cr, g.stream);
          cairo_surface_flush(target);
        } else {
          ReplayOurs(ours, g.stream);
        }
        (cairo_side ? g.cairo : g.ours).push_back(ThreadMs() - t0);
      }
    }
  }

  // How alike the two pictures of the whole stream are: the same work, drawn
  // by two rasterisers with their own rounding at the edges.
  ours.SetBackground(0);
  ReplayOurs(ours, all);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  ReplayCairo(cr, all);
  cairo_surface_flush(target);
  const unsigned char* data = cairo_image_surface_get_data(target);
  const int stride = cairo_image_surface_get_stride(target);
  long same = 0;
  for (int y = 0; y < kCanvasPixelsH; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
    for (int x = 0; x < kCanvasPixelsW; ++x) {
      const std::uint32_t c = row[x] & 0xFFFFFF, mine = ours.image().at(x, y);
      same += c == (((mine & 0xFF) << 16) | (mine & 0xFF00) | ((mine >> 16) & 0xFF));
    }
  }
  cairo_destroy(cr);
  cairo_surface_destroy(target);

  std::printf("One card (%s, %s): %zu primitives on %dx%d pixels, %d rounds, medians of thread CPU time\n",
              friend_name.c_str(), sender.c_str(), all.size(), kCanvasPixelsW, kCanvasPixelsH, rounds);
  std::printf("%-14s %9s %10s %10s %8s\n", "kind", "count", "ours ms", "Cairo ms", "ratio");
  for (const Group& g : groups) {
    if (g.stream.empty()) {
      std::printf("%-14s %9d %10s %10s %8s\n", g.name, 0, "-", "-", "-");
      continue;
    }
    const double a = Median(g.ours), b = Median(g.cairo);
    std::printf("%-14s %9zu %10.3f %10.3f %8.3f\n", g.name, g.stream.size(), a, b, a / b);
  }
  std::printf("pixels alike after the whole stream: %.1f %%\n",
              100.0 * static_cast<double>(same) / (kCanvasPixelsW * kCanvasPixelsH));
  return 0;
}

}  // namespace
}  // namespace mirelune

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  if (rounds < 1 || rounds > 10000 || argc == 3 || argc > 4) {
    std::fprintf(stderr, "usage: mirelune-bench-cairo [rounds 1..10000] [friend sender]\n");
    return 2;
  }
  return mirelune::Run(rounds, argc == 4 ? argv[2] : "Mary", argc == 4 ? argv[3] : "Bob");
}
