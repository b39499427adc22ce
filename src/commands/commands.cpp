// commands.cpp — the button commands over the shared state.
#include "commands/commands.h"

#include <cmath>
#include <cstdio>

#include "card/card.h"
#include "effects/effects.h"
#include "files/files.h"
#include "palette/palette.h"
#include "text/text.h"

namespace mirelune {
namespace {

constexpr double kMaxStyles = 24;
constexpr double kColourModes = 27;  // 0 (a random palette per strip) and palettes 1..26

}  // namespace

void StartUp(State& s) {
  // Cards are saved here. Without it every save fails, so say so now; each save
  // tries again and says why it failed.
  if (const Result<> made = MakeFolder(OutputFolder()); !made && s.host) s.host->Report(made.message);
  // A face file that cannot be used is noted among the text failures, said below.
  static_cast<void>(PrepareFaces(s.fonts));
  ReportTextFailures(s);

  SetStartValues(s);
}

std::string ColourModeCaption(const Settings& settings) { return "ba=" + NumberText(settings.colour_mode); }

std::string MaxStylesCaption(const Settings& settings) { return NumberText(settings.max_styles); }

std::string EffectModeCaption(const Settings& settings) { return settings.effect_mode == 2 ? "pix" : "line"; }

std::optional<NewCard> CommandNew(State& s) {
  NewCard made;
  CardSettings& c = made.settings;
  if (!AskNames(s.host, &c.friend_name, &c.sender)) return std::nullopt;
  // The workbench's style limit and effect mode stay; the colour mode goes back to 0.
  c.max_styles = static_cast<int>(s.settings.max_styles);
  c.pix = s.settings.effect_mode == 2;
  made.stats = MakeCardFromNames(s, c);
  return made;
}

void CommandNewImage(State& s) {
  s.settings.with_names = 0;
  s.names.own_name.clear();
  SeedNewImage(s);
  if (s.settings.colour_mode == 0) DrawPaletteStrip(s);
  MakeCard(s);
}

void CommandLoop(State& s) {
  s.names.own_name.clear();
  s.settings.loop_running = 1;
  while (s.settings.loop_running != 0) {
    // Mode 0 gets a fresh strip per card; a fixed mode keeps the one there.
    if (s.settings.colour_mode == 0) DrawPaletteStrip(s);
    MakeCard(s);
  }
}

void CommandStop(State& s) { s.settings.loop_running = 0; }

Next CommandExit(State& s) {
  s.settings.loop_running = 0;
  return Next::kEndProgram;
}

void CommandNewPalette(State& s) { DrawPaletteStrip(s); }

void CommandColor(State& s) {
  s.settings.colour_mode = s.settings.colour_mode + 1;
  if (s.settings.colour_mode > kColourModes - 1) s.settings.colour_mode = 0;
  DrawPaletteStrip(s);
}

void CommandMoreStyles(State& s) {
  s.settings.max_styles = s.settings.max_styles + 1;
  if (s.settings.max_styles > kMaxStyles) s.settings.max_styles = kMaxStyles;
}

void CommandFewerStyles(State& s) {
  s.settings.max_styles = s.settings.max_styles - 1;
  if (s.settings.max_styles == 0) s.settings.max_styles = 1;
}

void CommandLinePix(State& s) {
  if (s.settings.effect_mode == 1) {
    s.settings.effect_mode = 2;
  } else if (s.settings.effect_mode == 2) {
    s.settings.effect_mode = 1;
  }
}

void CommandPlainPicture(State& s) { s.plain_picture.visible = !s.plain_picture.visible; }

void CommandDefPlus(State& s) {
  s.canvas.SetBackgroundPicture(s.card.Snapshot());
  ApplyDisplacementEffect(s);
}

std::optional<std::string> CommandPalette(State& s) {
  const std::optional<std::string> answer = ChoosePalette(s);
  // The swatches' numbers are no card's text: said now, and s.text stays the card's.
  TellTextProblems(s, s.fonts.TakeRecord().problems);
  if (!answer) return std::nullopt;
  return "ba=" + *answer;
}

void CommandFlipHorizontal(State& s) { FlipHorizontal(s.card); }

void CommandFlipVertical(State& s) { FlipVertical(s.card); }

SaveResult CommandSaveCard(State& s, SavedCards& saved) { return SaveCard(s, saved); }

std::vector<std::filesystem::path> CommandArchiveSave(State& s) { return ArchiveSave(s); }

}  // namespace mirelune
