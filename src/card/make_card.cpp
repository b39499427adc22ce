// make_card.cpp — one card, stage after stage: the road every card takes, from
// the window, the command line, a batch and the web service alike.
#include <algorithm>

#include "card/card.h"
#include "effects/effects.h"
#include "palette/palette.h"
#include "text/text.h"

namespace mirelune {

void CardMemory::Keep(Card&& done) {
  PixelBuffer kept[] = {std::move(done.plain_picture.pixels), std::move(done.card).TakePixels(),
                        std::move(done.carry.canvas).TakePixels()};
  for (PixelBuffer& p : kept)
    if (p.capacity()) rasters.push_back(std::move(p));
}

PixelBuffer CardMemory::Take() {
  if (rasters.empty()) return {};
  PixelBuffer p = std::move(rasters.back());
  rasters.pop_back();
  return p;
}

Painting PaintCard(CardCarry& carry, int max_styles, EffectMode mode, CardMemory& memory, Fonts& fonts,
                   const CardWatch& watch) {
  Painting out{.card = NewCanvas(carry.canvas.brush(), memory.Take()), .plain_picture = {}, .stats = {}, .stopped = false};
  CardStats& stats = out.stats;
  Generator& g = carry.rng;

  // strip, style limit -> canvas, effect parameters, offset mode
  const PassOutput pass = RunGenerationPass(carry.canvas, carry.strip, max_styles, g, fonts, watch);
  stats.background_row = pass.background_row;
  stats.offset_mode = pass.offset_mode;
  stats.effect_offset_mode = pass.effect_offset_mode;
  stats.styles_chosen = pass.styles_chosen;
  stats.passes = pass.passes;
  stats.rule = pass.effect.rule;
  stats.flags = pass.flags;
  stats.pass = pass.draws;
  stats.styles = pass.style_draws;
  out.plain_picture = carry.canvas.Snapshot(memory.Take());
  carry.effect = pass.effect;
  carry.offset_mode = pass.effect_offset_mode;
  if ((out.stopped = pass.stopped)) return out;

  // canvas, effect parameters, offset mode, distances -> card
  std::uint64_t before = g.draws();
  // The best level is always available, so the effect cannot be refused here.
  static_cast<void>(ApplyDisplacementEffect({out.plain_picture, carry.canvas, out.card}, carry.effect, carry.offset_mode,
                                            mode, carry.effect_carry, g, memory.effect, watch, BestSimdLevel()));
  stats.effect = g.draws() - before;
  if ((out.stopped = watch.Stopped())) return out;

  // canvas (sampled) -> card; the tree moves two anchors for "def +"
  before = g.draws();
  DrawOrnamentTree(out.card, carry.canvas, carry.effect, g, watch);
  stats.ornaments = g.draws() - before;
  out.stopped = watch.Stopped();
  return out;
}

Result<> PrepareFaces(Fonts& fonts) {
  for (Typeface face : {Typeface::kSans, Typeface::kSerif})
    MIRELUNE_TRY(fonts.PrepareFace(face));
  return {};
}

Result<> PrepareFaces(const std::string& folder) {
  Fonts fonts(folder);
  return PrepareFaces(fonts);
}

Card MakeCard(const CardSpec& spec, const CardWatch& watch) {
  Fonts fonts(FontFolder());
  return MakeCard(spec, watch, fonts);
}

Card PaintPicture(const CardSpec& spec, const CardWatch& watch, Fonts& fonts, CardMemory& memory) {
  CardCarry carry{.rng = {},
                  .canvas = NewCanvas(std::clamp(spec.scale, 1, kMaxScale), memory.Take()),
                  .strip = NewStrip(),
                  .effect = {},
                  .offset_mode = 0,
                  .effect_carry = {}};
  const double seed = SeedFromNames(spec.friend_name, spec.sender);
  SeedGenerator(carry.rng, seed);
  const std::uint64_t start = carry.rng.draws();
  const int palette = DrawPaletteStrip(carry.strip, spec.palette, carry.rng, watch);
  const std::uint64_t strip_draws = carry.rng.draws() - start;
  if (watch.Stopped()) {
    Card r;
    r.seed = seed;
    r.stopped = true;
    r.carry = std::move(carry);
    return r;
  }
  watch.Mark(ProgressMark::kStrip, 2, &carry.strip);

  fonts.TakeRecord();  // the card's record holds only what this card's text used and met
  Painting painted = PaintCard(carry, spec.max_styles, spec.mode, memory, fonts, watch);
  CardStats stats = painted.stats;
  stats.palette = palette;
  stats.strip = strip_draws;
  stats.total = carry.rng.draws() - start;  // the greeting draws nothing
  // Made from the painting's card and the carry, not as a default card whose
  // rasters are then replaced: each fresh raster costs its pages and a fill.
  return Card{.card = std::move(painted.card),
              .plain_picture = std::move(painted.plain_picture),
              .seed = seed,
              .stats = stats,
              .text = fonts.TakeRecord(),
              .stopped = painted.stopped,
              .carry = std::move(carry)};
}

void GreetingStage(Surface& card, TextRecord& text, const Greeting& g, Fonts& fonts) {
  DrawGreeting(card, g, fonts);
  // As one record of both stages: each face once, in the order first used, with its note.
  TextRecord more = fonts.TakeRecord();
  for (FaceUsed& f : more.faces) {
    const auto same = std::find_if(text.faces.begin(), text.faces.end(),
                                   [&](const FaceUsed& u) { return u.file == f.file && u.index == f.index; });
    if (same == text.faces.end()) text.faces.push_back(std::move(f));
    else if (same->note.empty()) same->note = std::move(f.note);
  }
  for (std::string& why : more.problems)
    if (std::find(text.problems.begin(), text.problems.end(), why) == text.problems.end())
      text.problems.push_back(std::move(why));
}

Card MakeCard(const CardSpec& spec, const CardWatch& watch, Fonts& fonts) {
  CardMemory fresh;
  return MakeCard(spec, watch, fonts, fresh);
}

Card MakeCard(const CardSpec& spec, const CardWatch& watch, Fonts& fonts, CardMemory& memory) {
  Card r = PaintPicture(spec, watch, fonts, memory);
  if (r.stopped) return r;
  GreetingStage(r.card, r.text, {spec.friend_name, spec.sender, spec.year, spec.wish}, fonts);
  watch.Mark(ProgressMark::kDone, 100, &r.card);
  return r;
}

}  // namespace mirelune
