// make_card.cpp — one card, stage after stage: the road every card takes, from
// the button "new", the loops and the command line alike.
#include <algorithm>

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

CardStats MakeCard(State& s, const StageHook& after) {
  const auto done = [&](CardStage stage) {
    if (after) after(stage, s);
  };
  Generator& g = s.rng;
  CardStats stats;
  s.fonts.TakeRecord();  // the card's record holds only what this card's text used and met
  MakeImageName(s);

  // strip, settings -> canvas, plain_picture, pass parameters, offset mode
  const PassStats pass = RunGenerationPass(s);
  stats.background_row = pass.background_row;
  stats.offset_mode = pass.offset_mode;
  stats.flags = pass.flags;
  stats.pass = pass.draws;
  stats.styles = pass.style_draws;
  done(CardStage::kPass);

  // canvas, pass parameters, offset mode, effect carry -> card
  stats.effect_offset_mode = s.left.offset_mode;  // a style may have overwritten the pass's draw
  std::uint64_t before = g.draws();
  // The best level is always available, so the effect cannot be refused here.
  static_cast<void>(ApplyDisplacementEffect({s.canvas, s.effect_source, s.card}, s.pass, s.left.offset_mode, s.settings,
                                            s.carry, s.rng, s.host, s.effect_buffers, BestSimdLevel()));
  stats.effect = g.draws() - before;
  done(CardStage::kEffect);

  // canvas (sampled), settings -> card; the tree moves two anchors for "def +"
  before = g.draws();
  DrawOrnamentTree(s.card, s.canvas, s.pass, s.settings, g, s.host);
  stats.ornaments = g.draws() - before;
  done(CardStage::kOrnaments);

  // names -> card
  DrawCardText(s.fonts, s.card, s.names);
  done(CardStage::kText);
  ReportTextFailures(s);
  return stats;
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

void ReportTextFailures(State& s) {
  s.text = s.fonts.TakeRecord();
  TellTextProblems(s, s.text.problems);
}

void TellTextProblems(State& s, const std::vector<std::string>& problems) {
  for (const std::string& why : problems)
    if (s.host && std::find(s.text_told.begin(), s.text_told.end(), why) == s.text_told.end()) {
      s.text_told.push_back(why);
      s.host->Report(why);
    }
}

CardStats MakeCardFromNames(State& s, const CardSettings& c, const StageHook& after) {
  s.settings.max_styles = c.max_styles;
  s.settings.effect_mode = c.pix ? 2 : 1;
  s.settings.colour_mode = c.palette;
  ResetForNames(s.settings);
  // A card seeded from names depends on nothing else: the displacement distances
  // start again from their start-up values ("new img" and the loops carry them on).
  s.carry = EffectCarry{};
  SetNamesAndSeed(s, c.friend_name, c.sender);
  const std::uint64_t start = s.rng.draws();
  const int palette = DrawPaletteStrip(s.strip, c.palette, s.rng, s.host);
  const std::uint64_t strip_draws = s.rng.draws() - start;
  if (after) after(CardStage::kStrip, s);
  CardStats stats = MakeCard(s, after);
  stats.palette = palette;
  stats.strip = strip_draws;
  stats.total = s.rng.draws() - start;
  return stats;
}

}  // namespace mirelune
