// card.h — a card from its spec, stage by stage, as a value.
//
//   Card r = MakeCard({.friend_name = "Mary", .sender = "Bob", .year = 2017});
//   Fonts fonts(FontFolder());             // a caller making many cards keeps its faces open:
//   Card next = MakeCard(spec, {}, fonts);
//   SaveImage(r.card.image(), "card.png");        // files/files.h
//
// The road every card takes, top-down:
//   seed      names -> SeedFromNames -> SeededGenerator
//   strip     palette, generator -> DrawPaletteStrip -> strip (palette/palette.h)
//   pass      strip, style limit, generator -> RunGenerationPass -> canvas, EffectParameters, offset mode
//   effect    canvas, parameters, offset mode, carry, generator -> ApplyDisplacementEffect -> card (effects.h)
//   tree      card, canvas, generator -> DrawOrnamentTree -> card, the tree's anchors (effects.h)
//   greeting  names, year -> DrawGreeting -> card
// The random sequence is handed from stage to stage; nothing is kept between
// calls, so the same settings give the same card on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "base/result.h"
#include "core/card_parts.h"
#include "effects/effects.h"
#include "generator/generator.h"
#include "palette/palette.h"
#include "raster/surface.h"
#include "text/fonts.h"

namespace mirelune {

// The year of a CardSpec made without one, and the years a greeting may take.
// Front ends wish for ComingYear(now) unless told otherwise.
inline constexpr int kDefaultYear = 2017;
inline constexpr int kFirstYear = 1, kLastYear = 9999;

// The new year a greeting made at `now` wishes for: from October on the next
// year, before that this one (by the calendar in UTC).
int ComingYear(std::time_t now);

// The program's web address printed at the end of the greeting line.
inline constexpr const char* kWebAddress = "mirelune.art";

// Everything a card is made from.
struct CardSpec {
  std::string friend_name, sender;  // UTF-8, at most 100 characters each; no sender: a picture without greeting
  int year = kDefaultYear;
  std::string wish{};   // the greeting's own words instead of "I wish you a happy new year YEAR!"; empty: those
  int max_styles = 15;  // 1..24
  int palette = 0;      // 0 a palette drawn at random, else 1..26
  EffectMode mode = EffectMode::kLine;
  int scale = 1;        // 1..kMaxScale: the same card drawn that many times larger each way, for print
};

// How many draws each stage took, and what the pass chose.
struct CardStats {
  int palette = 0;              // the strip's palette
  std::uint64_t strip = 0;      // the palette strip
  std::uint64_t pass = 0;       // the generation pass's own draws
  std::uint64_t styles = 0;     // all style calls together
  std::uint64_t effect = 0;     // both sweeps and the reveal
  std::uint64_t ornaments = 0;  // the ornament tree
  std::uint64_t total = 0;      // strip to greeting
  double background_row = 0;    // the strip row the background took
  double offset_mode = 0;       // as the pass drew it
  double effect_offset_mode = 0;  // as the effect used it, after the styles
  int styles_chosen = 0, passes = 0;
  int rule = 0;                         // the displacement rule
  std::array<int, kStyleCount> flags{};  // 1 for each style chosen
};

// Where one card leaves the sequence, for a card that goes on from it (the
// window's "new img", loops and "def +"): the generator, the canvas with its pen
// and fill settings, the strip, what the effect measured last and the parameters
// after the tree moved its anchors.
struct CardCarry {
  Generator rng;
  Surface canvas = NewCanvas(), strip = NewStrip();
  EffectParameters effect;
  double offset_mode = 0;
  EffectCarry effect_carry;
};

struct Greeting;

struct Card {
  Surface card = NewCanvas();
  Image plain_picture;  // the picture before the effect, ornaments and greeting
  double seed = 0;
  CardStats stats;
  TextRecord text;  // the faces that drew the text, and why text was not drawn as asked
  bool stopped = false;                    // the watch's stop came first: the card is unfinished
  CardCarry carry;
};

// The memory finished cards leave for the next ones: their rasters, the
// effect's working memory and the rows their PNGs were compressed from. A batch
// paints and encodes each card in the memory of the one before, pages already
// made: a fresh raster costs its pages on first touch, on a virtual machine more
// than the drawing on it. A card made in it is the card made without.
struct CardMemory {
  std::vector<PixelBuffer> rasters;
  EffectBuffers effect;
  PixelBuffer png_rows;  // for EncodePng
  void Keep(Card&& done);
  PixelBuffer Take();  // a kept raster's memory, or none
};

// The whole card. Stops at the watch's request (then `stopped`, and the card is
// not to be shown as finished). The first opens the faces for this card alone;
// the second draws with `fonts`, whose record then holds nothing else.
Card MakeCard(const CardSpec& spec, const CardWatch& watch = {});
Card MakeCard(const CardSpec& spec, const CardWatch& watch, Fonts& fonts);
Card MakeCard(const CardSpec& spec, const CardWatch& watch, Fonts& fonts, CardMemory& memory);

// MakeCard in its two halves, for a front end that writes another greeting on
// the card it shows without painting the picture again: every stage up to the
// greeting (`text` then holds the picture's own), and the greeting stage on
// that picture, its faces added to `text` as one record of both would list them.
Card PaintPicture(const CardSpec& spec, const CardWatch& watch, Fonts& fonts, CardMemory& memory);
void GreetingStage(Surface& card, TextRecord& text, const Greeting& g, Fonts& fonts);

// Opens the card's own face files (the greeting's and the extruded letters'), so
// that a missing or damaged one stops a card before it is drawn without its
// text: the message names the file and the reason (or the package to install).
Result<> PrepareFaces(Fonts& fonts);
Result<> PrepareFaces(const std::string& folder);  // in a value of its own, for a front end's check at start

// --- the stages ---

// The seed of a pair of names: 4396645 + n * (sum of codes) + n^3, n characters
// (control characters included), each character's code given by SeedCode.
double SeedFromNames(const std::string& friend_utf8, const std::string& own_utf8);

// A character's code for the seed: its Windows-1252 code when that code page holds
// it, else its code point within the Basic Multilingual Plane, else 63 ('?').
long SeedCode(char32_t ch);

// Number of characters (not bytes) of a UTF-8 text.
std::size_t CharCount(const std::string& utf8);
inline constexpr std::size_t kMaxNameChars = 100;

// The generator a card from names starts from: reset, then the seed folded in.
// `g` keeps counting its draws.
void SeedGenerator(Generator& g, double seed);

// Clears `canvas` and paints it in the colour of a random row of `strip` (one
// draw); returns the row.
double PaintBackground(Surface& canvas, const Surface& strip, Generator& g);

// What a generation pass made besides the picture on the canvas.
struct PassOutput {
  EffectParameters effect;
  double offset_mode = 0;         // as the pass drew it
  double effect_offset_mode = 0;  // as the styles left it for the effect (the square clusters overwrite it)
  double background_row = 0;
  int styles_chosen = 0, passes = 0;
  std::array<int, kStyleCount> flags{};
  std::uint64_t draws = 0;        // the pass's own draws
  std::uint64_t style_draws = 0;  // all style calls together
  bool stopped = false;
};

// Clears the canvas to a background from the strip, draws the effect's
// parameters and the offset mode, chooses 1..max_styles styles by coin flips and
// runs them. The canvas's pen and fill settings go on from where the last card
// left them.
PassOutput RunGenerationPass(Surface& canvas, const Surface& strip, int max_styles, Generator& g, Fonts& fonts,
                             const CardWatch& watch = {});

// The pass, effect and tree on a strip already painted: what every card after
// the strip is, with and without names. Starts from `carry` (its generator,
// canvas, strip and distances) and leaves it where the card ends.
struct Painting {
  Surface card = NewCanvas();
  Image plain_picture;
  CardStats stats;
  bool stopped = false;
};
Painting PaintCard(CardCarry& carry, int max_styles, EffectMode mode, CardMemory& memory, Fonts& fonts,
                   const CardWatch& watch = {});

// The names and year a greeting is written for.
struct Greeting {
  std::string friend_name, sender;
  int year = kDefaultYear;
  std::string wish{};  // empty: "I wish you a happy new year YEAR!"
};

// The greeting line: "dear Mary, I wish you a happy new year 2017! Bob" + eleven
// blanks + the web address + one blank (the wish, when given, in the middle).
std::string GreetingLine(const Greeting& g);
// Its middle: the wish, or "I wish you a happy new year YEAR!" without one.
std::string GreetingMiddle(const Greeting& g);

// How the greeting sits in its band: one line at 14 points when it fits, else
// the largest size down to 10 points at which it fits, else up to six lines
// (at 10 points, or smaller for names of a hundred wide letters each).
struct GreetingFit {
  double points = 14;
  std::vector<std::string> lines;  // one, or up to six in a taller band
};
GreetingFit FitGreeting(const Greeting& g, Fonts& fonts);

// The pale band and the blue greeting on `card`, when there is a sender.
void DrawGreeting(Surface& card, const Greeting& g, Fonts& fonts);

// The strip for `seed`, then style `number` (1..23) alone, twice, on the
// background colour the pass would take, without the effect: a picture of one style.
Surface PaintStyleAlone(int number, double seed, Fonts& fonts);

}  // namespace mirelune
