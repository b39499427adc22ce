// card.h — from two names to a card's picture and greeting.
//
//   SetNamesAndSeed(s, "Mary", "Bob");           // or AskNamesAndSeed(s), through dialogs
//   DrawPaletteStrip(s);                         // palette/palette.h
//   const PassStats pass = RunGenerationPass(s); // the picture on canvas, a copy on plain_picture
//   DrawCardText(s.fonts, s.card, s.names);      // the band and the greeting on card
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/state.h"

namespace mirelune {

// The seed of a pair of names: 4396645 + n * (sum of codes) + n^3, n characters
// (control characters included), each character's code given by SeedCode.
double SeedFromNames(const std::string& friend_utf8, const std::string& own_utf8);

// A character's code for the seed: its Windows-1252 code when that code page holds
// it, else its code point within the Basic Multilingual Plane, else 63 ('?').
long SeedCode(char32_t ch);

// Number of characters (not bytes) of a UTF-8 text.
std::size_t CharCount(const std::string& utf8);

// Asks for the friend's and the own name (each at most 100 characters, asked again
// while longer). False when either dialog was cancelled.
bool AskNames(Host* host, std::string* friend_name, std::string* own_name);

// Asks for both names, computes `seed`, resets the generator and reseeds it. On
// Cancel returns false and leaves names and generator as they were.
bool AskNamesAndSeed(State& s);

// Reseeds from the clock (for "new img"; no reset before).
void SeedNewImage(State& s);

// Stores the names as typed and seeds exactly as AskNamesAndSeed does, without dialogs.
void SetNamesAndSeed(State& s, const std::string& friend_utf8, const std::string& own_utf8);

// Clears `canvas` and paints it in the colour of a random row of `strip` (one
// draw); returns the row.
double PaintBackground(Surface& canvas, const Surface& strip, Generator& g);

// What "new" resets before it seeds from names: no brightness drift, text on.
void ResetForNames(Settings& settings);

// What a generation pass drew and how many draws it took.
struct PassStats {
  double background_row = 0;  // the strip row the background took
  double offset_mode = 0;     // as the pass drew it; a style may change it before the effect
  std::array<int, kStyleCount> flags{};  // 1 for each style chosen
  std::uint64_t draws = 0;        // the pass's own draws
  std::uint64_t style_draws = 0;  // all style calls together
};

// Clears the canvas to a background from the strip, draws the pass parameters
// (into s.pass and s.left.offset_mode), chooses the styles by coin flips and runs
// them, and keeps the plain picture on plain_picture. The styles read and write
// the state as a whole.
PassStats RunGenerationPass(State& s);

// The pale band and the blue greeting line on `card`, when the own name is set.
void DrawCardText(Fonts& fonts, Surface& card, const CardNames& names);

// The greeting line for these names and their year: "dear Mary, I wish you a
// happy new year 2017! Bob" + eleven blanks + the web address + one blank.
std::string GreetingLine(const CardNames& names);

// The year a greeting wishes for unless told otherwise, and the years it may take.
inline constexpr int kDefaultYear = 2017;
inline constexpr int kFirstYear = 1, kLastYear = 9999;

// The program's web address printed at the end of the greeting line.
inline constexpr const char* kWebAddress = "mirelune.art";

// The strip for `seed`, then style `number` (1..23) alone, twice, on the
// background colour the pass would take, without the effect. Leaves it on canvas.
void PaintStyleAlone(State& s, int number, double seed);

}  // namespace mirelune
