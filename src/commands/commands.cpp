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
  if (const Result made = MakeFolder(OutputFolder()); !made && s.host) s.host->Report(made.message);
  PrepareFaces();  // a face file that cannot be used is said with the failures below
  ReportTextFailures(s);

  SetStartValues(s);
  // The palette table was filled when the state was made.
}

void CommandNew(State& s) {
  ResetForNames(s);
  // A card seeded from names depends on nothing else: the displacement distances
  // start again from their start-up values ("new img" and the loops carry them on).
  s.d1 = s.d2 = s.d3 = 0;
  s.colorr = 0;
  AskNamesAndSeed(s);
  DrawPaletteStrip(s);
  MakeCard(s);
}

void CommandNewImage(State& s) {
  s.tekst = 0;
  s.t.clear();
  SeedNewImage(s);
  if (s.colorr == 0) DrawPaletteStrip(s);
  MakeCard(s);
}

void CommandLoop(State& s) {
  s.t.clear();
  s.delaj = 1;
  while (s.delaj != 0) {
    // Mode 0 gets a fresh strip per card; a fixed mode keeps the one there.
    if (s.colorr == 0) DrawPaletteStrip(s);
    MakeCard(s);
  }
}

void CommandStop(State& s) { s.delaj = 0; }

void CommandExit(State& s) {
  if (s.host) s.host->End();
  throw EndProgram{};
}

void CommandNewPalette(State& s) { DrawPaletteStrip(s); }

void CommandColor(State& s) {
  s.colorr = s.colorr + 1;
  if (s.colorr > kColourModes - 1) s.colorr = 0;
  s.caption11 = "ba=" + NumberText(s.colorr);
  DrawPaletteStrip(s);
}

void CommandMoreStyles(State& s) {
  s.nnn = s.nnn + 1;
  if (s.nnn > kMaxStyles) s.nnn = kMaxStyles;
  s.caption12 = NumberText(s.nnn);
}

void CommandFewerStyles(State& s) {
  s.nnn = s.nnn - 1;
  if (s.nnn == 0) s.nnn = 1;
  s.caption12 = NumberText(s.nnn);
}

void CommandLinePix(State& s) {
  if (s.linepix == 1) {
    s.linepix = 2;
    s.caption18 = "pix";
  } else if (s.linepix == 2) {
    s.linepix = 1;
    s.caption18 = "line";
  }
}

void CommandPlainPicture(State& s) { s.Picture6.visible = !s.Picture6.visible; }

void CommandDefPlus(State& s) {
  s.Picture1.SetBackgroundPicture(s.Picture4.Snapshot());
  ApplyDisplacementEffect(s);
}

void CommandPalette(State& s) { ChoosePalette(s); }

void CommandFlipHorizontal(State& s) { FlipHorizontal(s); }

void CommandFlipVertical(State& s) { FlipVertical(s); }

SaveResult CommandSaveCard(State& s, SavedCards& saved) { return SaveCard(s, saved); }

SaveResult CommandLoopAndSave(State& s, SavedCards& saved,
                              const std::function<void(const SaveResult&)>& on_saved) {
  return LoopAndSave(s, saved, [](State& st) { MakeCard(st); }, on_saved);
}

std::vector<std::filesystem::path> CommandArchiveSave(State& s) { return ArchiveSave(s); }

}  // namespace mirelune
