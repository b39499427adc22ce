// card.h — from two names to a finished card.
//
//   AskNamesAndSeed(s);    // asks the host for the names, reseeds the generator
//   DrawPaletteStrip(s);   // palette/palette.h
//   RunGenerationPass(s);  // the picture on canvas, a copy on plain_picture
//   DrawCardText(s);       // the band and the greeting on card
#pragma once

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
// while longer), computes `seed`, resets the generator and reseeds it.
void AskNamesAndSeed(State& s);

// Reseeds from the clock (for "new img"; no reset before).
void SeedNewImage(State& s);

// Stores the names as typed and seeds exactly as AskNamesAndSeed does, without dialogs.
void SetNamesAndSeed(State& s, const std::string& friend_utf8, const std::string& own_utf8);

// Clears the canvas and paints it in the colour of a random row of the strip
// (one draw); returns the row.
double PaintBackground(State& s);

// What "new" resets before it seeds from names: no brightness drift, text on.
void ResetForNames(State& s);

// Clears the canvas, draws the shared parameters, chooses and runs the styles,
// and keeps the plain picture on plain_picture.
void RunGenerationPass(State& s);

// The pale band and the blue greeting line, when the own name is set.
void DrawCardText(State& s);

// The greeting line for the current names and `year`: "dear Mary, I wish you a
// happy new year 2017! Bob" + eleven blanks + the web address + one blank.
std::string GreetingLine(const State& s);

// The year a greeting wishes for unless told otherwise, and the years it may take.
inline constexpr int kDefaultYear = 2017;
inline constexpr int kFirstYear = 1, kLastYear = 9999;

// The program's web address printed at the end of the greeting line.
inline constexpr const char* kWebAddress = "mirelune.art";

// The strip for `seed`, then style `number` (1..23) alone, twice, on the
// background colour the pass would take, without the effect. Leaves it on canvas.
void PaintStyleAlone(State& s, int number, double seed);

}  // namespace mirelune
