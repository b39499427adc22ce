// make_card.cpp — one card, stage after stage: the road every card takes, from
// the button "new", the loops and the command line alike.
#include "card/card.h"
#include "commands/commands.h"
#include "effects/effects.h"
#include "files/files.h"
#include "palette/palette.h"
#include "text/text.h"

namespace mirelune {

const char* StageName(CardStage stage) {
  switch (stage) {
    case CardStage::kStrip: return "strip";
    case CardStage::kPass: return "pass";
    case CardStage::kEffect: return "effect";
    case CardStage::kOrnaments: return "ornaments";
    case CardStage::kText: return "text";
  }
  return "?";
}

void MakeCard(State& s) { MakeCard(s, {}); }

void MakeCard(State& s, const StageHook& after) {
  const auto done = [&](CardStage stage) {
    if (after) after(stage, s);
  };
  Generator& g = s.rng;
  ForgetFacesUsed();  // the card's report lists the faces this card was drawn with
  MakeImageName(s);
  RunGenerationPass(s);
  done(CardStage::kPass);
  s.stats.effect_offset_mode = s.left.offset_mode;  // a style may have overwritten the pass's draw
  std::uint64_t before = g.draws();
  ApplyDisplacementEffect({s.canvas, s.effect_source, s.card}, s.pass, s.left.offset_mode, s.settings, s.carry, s.rng,
                          s.host, s.effect_buffers, BestSimdLevel());  // the best level always runs
  s.stats.effect = g.draws() - before;
  done(CardStage::kEffect);
  before = g.draws();
  DrawOrnamentTree(s);
  s.stats.ornaments = g.draws() - before;
  done(CardStage::kOrnaments);
  DrawCardText(s);
  done(CardStage::kText);
  ReportTextFailures(s);
}

Result PrepareFaces() {
  for (Typeface face : {Typeface::kSans, Typeface::kSerif})
    if (std::string why = PrepareFace(face); !why.empty()) return Result::Failed(why);
  return Result::Done();
}

void ReportTextFailures(State& s) {
  for (const std::string& why : TakeTextFailures())
    if (s.host) s.host->Report(why);
}

void MakeCardFromNames(State& s, const CardSettings& c, const StageHook& after) {
  s.settings.max_styles = c.max_styles;
  s.settings.effect_mode = c.pix ? 2 : 1;
  s.settings.colour_mode = c.palette;
  ResetForNames(s);
  // A card seeded from names depends on nothing else: the displacement distances
  // start again from their start-up values ("new img" and the loops carry them on).
  s.carry.distance1 = s.carry.distance2 = s.carry.distance3 = 0;
  SetNamesAndSeed(s, c.friend_name, c.sender);
  const std::uint64_t start = s.rng.draws();
  DrawPaletteStrip(s);
  s.stats.strip = s.rng.draws() - start;
  if (after) after(CardStage::kStrip, s);
  MakeCard(s, after);
  s.stats.total = s.rng.draws() - start;
}

}  // namespace mirelune
