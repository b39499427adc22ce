// commands.cpp — the button commands over the session.
#include "commands/commands.h"

#include <chrono>

#include "effects/effects.h"
#include "effects/mirror.h"
#include "palette/palette.h"

namespace mirelune {
namespace {

constexpr int kColourModes = 27;  // 0 (a random palette per strip) and palettes 1..26

void Show(Session& s, Painting&& p, Greeting names) {
  s.card = std::move(p.card);
  s.plain_picture = std::move(p.plain_picture);
  s.stats = p.stats;
  s.names = std::move(names);
  s.seed = 0;
  s.ungreeted.reset();
}

}  // namespace

bool PaintNextCard(Session& s, const CardWatch& watch) {
  // Mode 0 gets a fresh strip per card; a fixed mode keeps the one there.
  if (s.settings.colour_mode == 0) DrawPaletteStrip(s.carry.strip, 0, s.carry.rng, watch);
  s.fonts.TakeRecord();  // the record is the card's alone
  Painting p = PaintCard(s.carry, s.settings.max_styles, s.settings.mode, s.memory, s.fonts, watch);
  if (p.stopped || watch.Stopped()) return false;
  DrawGreeting(p.card, {}, s.fonts);
  Show(s, std::move(p), {"", "", s.names.year, ""});
  s.text = s.fonts.TakeRecord();
  return true;
}

CardSpec NewCardSpec(const WorkbenchSettings& settings, const std::string& friend_name, const std::string& sender,
                     int year) {
  return {friend_name, sender, year, "", settings.max_styles, 0, settings.mode};
}

Card CommandNew(Session& s, const CardSpec& spec, const CardWatch& watch) {
  // MakeCard's card, its picture kept for another greeting.
  Card r = PaintPicture(spec, watch, s.fonts, s.memory);
  if (r.stopped) return r;
  Surface ungreeted = r.card;
  TextRecord picture_text = r.text;
  GreetingStage(r.card, r.text, {spec.friend_name, spec.sender, spec.year, spec.wish}, s.fonts);
  watch.Mark(ProgressMark::kDone, 100, &r.card);
  s.ungreeted = std::move(ungreeted);
  s.picture_text = std::move(picture_text);
  s.settings.colour_mode = spec.palette;
  s.card = r.card;
  s.plain_picture = r.plain_picture;
  s.stats = r.stats;
  s.seed = r.seed;
  s.names = {spec.friend_name, spec.sender, spec.year, spec.wish};
  s.carry = r.carry;
  s.text = r.text;
  return r;
}

bool CommandGreetAgain(Session& s, const Greeting& g) {
  if (!s.ungreeted || g.friend_name != s.names.friend_name || g.sender != s.names.sender) return false;
  s.fonts.TakeRecord();  // what other text left there is not this card's
  Surface card = *s.ungreeted;
  TextRecord text = s.picture_text;
  GreetingStage(card, text, g, s.fonts);
  s.card = std::move(card);
  s.text = std::move(text);
  s.names = g;
  return true;
}

bool CommandNewImage(Session& s, double clock_seconds, const CardWatch& watch) {
  s.carry.rng.FoldIn(clock_seconds);
  return PaintNextCard(s, watch);
}

void CommandLoop(Session& s, const CardWatch& watch, const std::function<void(const Session&)>& shown) {
  while (!watch.Stopped())
    if (PaintNextCard(s, watch) && shown) shown(s);
}

void CommandNewPalette(Session& s) { DrawPaletteStrip(s.carry.strip, s.settings.colour_mode, s.carry.rng); }

void CommandColor(Session& s) {
  s.settings.colour_mode = (s.settings.colour_mode + 1) % kColourModes;
  CommandNewPalette(s);
}

void CommandMoreStyles(Session& s) { s.settings.max_styles = std::min(s.settings.max_styles + 1, kMaxStyleLimit); }

void CommandFewerStyles(Session& s) { s.settings.max_styles = std::max(s.settings.max_styles - 1, 1); }

void CommandLinePix(Session& s) {
  s.settings.mode = s.settings.mode == EffectMode::kLine ? EffectMode::kPix : EffectMode::kLine;
}

void CommandPlainPicture(Session& s) { s.settings.plain_visible = !s.settings.plain_visible; }

void CommandDefPlus(Session& s, const CardWatch& watch) {
  CardCarry& c = s.carry;
  const Image picture = s.card.Snapshot();
  c.canvas.SetBackgroundPicture(picture);
  // The best level is always available, so the effect always runs.
  s.ungreeted.reset();
  static_cast<void>(ApplyDisplacementEffect({picture, c.canvas, s.card}, c.effect, c.offset_mode,
                                            s.settings.mode, c.effect_carry, c.rng, s.memory.effect, watch, BestSimdLevel()));
}

std::optional<std::string> CommandChoosePalette(Session& s, int number, const std::string& answer) {
  s.settings.colour_mode = number;
  if (number == 0) return std::nullopt;
  CommandNewPalette(s);
  return "ba=" + answer;
}

void CommandFlipHorizontal(Session& s) {
  FlipHorizontal(s.card);
  s.ungreeted.reset();
}

void CommandFlipVertical(Session& s) {
  FlipVertical(s.card);
  s.ungreeted.reset();
}

std::string ColourModeCaption(const WorkbenchSettings& settings) { return "ba=" + std::to_string(settings.colour_mode); }

std::string MaxStylesCaption(const WorkbenchSettings& settings) { return std::to_string(settings.max_styles); }

std::string EffectModeCaption(const WorkbenchSettings& settings) {
  return settings.mode == EffectMode::kPix ? "pix" : "line";
}

std::tm LocalTimeNow() {
  const std::time_t t = std::time(nullptr);
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

double SecondsSinceMidnight() {
  const std::tm t = LocalTimeNow();
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const double frac =
      static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 1000) / 1000.0;
  return t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec + frac;
}

}  // namespace mirelune
