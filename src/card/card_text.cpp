// card_text.cpp — the pale band and the blue greeting line at the card's foot.
#include "card/card.h"
#include "effects/effects.h"
#include "output/output.h"
#include "palette/palette.h"
#include "styles/styles.h"

namespace mirelune {

std::string GreetingLine(const State& s) {
  return "dear " + s.tt + ", I wish you a happy new year 2017! " + s.t + std::string(11, ' ') + kWebAddress + " ";
}

void DrawCardText(State& s) {
  Surface& card = s.Picture4;
  card.FontSize = 14;
  s.dolz = static_cast<double>(CharCount(s.t));
  if (s.dolz == 0) return;
  const Colour band = RGB(250, 250, 150);
  for (s.i = 5; s.i <= 895; s.i += 1) card.Line(s.i, 635, s.i, 665, band);
  card.ForeColor = RGB(0, 0, 255);
  card.CurrentX = 11;
  card.CurrentY = 638;
  card.Print(GreetingLine(s));
}

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
  MakeImageName(s);
  RunGenerationPass(s);
  done(CardStage::kPass);
  std::uint64_t before = g.draws();
  ApplyDisplacementEffect(s);
  s.stats.effect = g.draws() - before;
  done(CardStage::kEffect);
  before = g.draws();
  DrawOrnamentTree(s);
  s.stats.ornaments = g.draws() - before;
  done(CardStage::kOrnaments);
  DrawCardText(s);
  done(CardStage::kText);
}

void MakeCardFromNames(State& s, const CardSettings& c, const StageHook& after) {
  s.nnn = c.max_styles;
  s.linepix = c.pix ? 2 : 1;
  s.colorr = c.palette;
  ResetForNames(s);
  SetNamesAndSeed(s, c.friend_name, c.sender);
  const std::uint64_t start = s.rng.draws();
  DrawPaletteStrip(s);
  s.stats.strip = s.rng.draws() - start;
  if (after) after(CardStage::kStrip, s);
  MakeCard(s, after);
  s.stats.total = s.rng.draws() - start;
}

void PaintStyleAlone(State& s, int number, double seed) {
  s.rng.Rnd(-1);
  s.rng.Randomize(seed);
  DrawPaletteStrip(s);
  PaintBackground(s);
  for (s.n = 1; s.n <= 2; s.n += 1) kStyles[number - 1].draw(s);
}

}  // namespace mirelune
