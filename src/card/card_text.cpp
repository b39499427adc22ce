// card_text.cpp — the pale band and the blue greeting at the card's foot.
#include <algorithm>

#include "base/utf8.h"
#include "card/card.h"
#include "text/text.h"

namespace mirelune {
namespace {

constexpr double kPoints = 14, kFloorPoints = 10, kLeastPoints = 6;
constexpr int kMaxLines = 6;
constexpr double kLeft = 11, kTop = 638, kBandTop = 635, kBandBottom = 665;  // drawing units
constexpr const char* kGap = "           ";  // eleven blanks between the sender and the web address
// The text must end this many pixels short of the card's right edge.
constexpr long kRightMargin = 8;

// kLeft in pixels as a canvas maps it (Surface::PixelX), without making one.
long Room() { return kCanvasPixelsW - kRightMargin - static_cast<long>(RoundEven(kLeft * kCanvasPixelsW / kCanvasUnitsW)); }

// The greeting's words, the web address last; a word wider than a line is cut
// between characters.
std::string Encoded(const std::u32string& chars) {
  std::string out;
  for (char32_t c : chars) out += EncodeUtf8(c);
  return out;
}

std::vector<std::string> Words(const Greeting& g) {
  std::vector<std::string> words;
  const std::string text = "dear " + g.friend_name + ", " + GreetingMiddle(g) + " " + g.sender;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  words.push_back(kWebAddress);
  return words;
}

bool Fits(Fonts& fonts, Typeface face, double points, const std::string& line) {
  return MeasureText(fonts, face, points, line).width <= Room();
}

// The words laid into lines at `points`, greedily; the web address keeps its gap
// when it shares the sender's line. Empty when more than kMaxLines are needed.
std::vector<std::string> Wrap(Fonts& fonts, Typeface face, double points, const std::vector<std::string>& words) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t k = 0; k < words.size(); ++k) {
    const bool last = k + 1 == words.size();
    const std::string joined = line.empty() ? words[k] : line + (last ? kGap : " ") + words[k];
    if (Fits(fonts, face, points, joined + " ")) {
      line = joined;
      continue;
    }
    if (!line.empty()) lines.push_back(line);
    line.clear();
    // The word alone, cut where it no longer fits.
    std::u32string rest;
    DecodeUtf8(words[k], &rest);
    while (!rest.empty()) {
      std::size_t n = 1;  // the longest start that fits, found by halving: a word may be a hundred letters
      for (std::size_t hi = rest.size(); n < hi;) {
        const std::size_t mid = (n + hi + 1) / 2;
        if (Fits(fonts, face, points, Encoded(rest.substr(0, mid)) + " ")) n = mid;
        else hi = mid - 1;
      }
      line = Encoded(rest.substr(0, n));
      rest.erase(0, n);
      if (!rest.empty()) lines.push_back(line);
    }
  }
  if (!line.empty()) lines.push_back(line);
  for (std::string& l : lines) l += " ";
  if (lines.size() > static_cast<std::size_t>(kMaxLines)) return {};
  return lines;
}

}  // namespace

int ComingYear(std::time_t now) {
  std::tm t{};
  gmtime_r(&now, &t);
  return t.tm_year + 1900 + (t.tm_mon >= 9 ? 1 : 0);
}

std::string GreetingMiddle(const Greeting& g) {
  return g.wish.empty() ? "I wish you a happy new year " + std::to_string(g.year) + "!" : g.wish;
}

std::string GreetingLine(const Greeting& g) {
  return "dear " + g.friend_name + ", " + GreetingMiddle(g) + " " + g.sender + kGap + kWebAddress + " ";
}

GreetingFit FitGreeting(const Greeting& g, Fonts& fonts) {
  const Typeface face = Surface::kDefaultTypeface;
  const std::string line = GreetingLine(g);
  for (double points = kPoints; points >= kFloorPoints; points -= 1)
    if (Fits(fonts, face, points, line)) return {points, {line}};
  // Past the floor, lines; past kMaxLines lines (names of a hundred wide letters
  // each), smaller lines still.
  for (double points = kFloorPoints; points >= kLeastPoints; points -= 1)
    if (std::vector<std::string> wrapped = Wrap(fonts, face, points, Words(g)); !wrapped.empty())
      return {points, std::move(wrapped)};
  return {kFloorPoints, {line}};  // no face to measure with: drawn as it comes, cut at the edge
}

void DrawGreeting(Surface& card, const Greeting& g, Fonts& fonts) {
  card.font_points = kPoints;
  if (CharCount(g.sender) == 0) return;
  const GreetingFit fit = FitGreeting(g, fonts);
  // A taller band for each further line, growing upwards from the card's foot.
  // Measured on the card's own raster, so that a card drawn larger lays out the same.
  const auto line_units = [&](double points) {
    return static_cast<double>(MeasureText(fonts, card.typeface, points, "A").line_height) * kCanvasUnitsH /
           kCanvasPixelsH;
  };
  const double extra = fit.lines.size() > 1 ? static_cast<double>(fit.lines.size() - 1) * line_units(fit.points) : 0;
  // A smaller single line sits in the middle of the band.
  const double lower = fit.lines.size() == 1 && fit.points < kPoints ? (line_units(kPoints) - line_units(fit.points)) / 2 : 0;
  const Colour band = RGB(250, 250, 150);
  for (double x = 5; x <= 895; x += 1) card.Line(x, kBandTop - extra, x, kBandBottom, band);
  card.pen_colour = RGB(0, 0, 255);
  card.font_points = fit.points;
  card.cursor_y = kTop - extra + lower;
  for (const std::string& line : fit.lines) {
    card.cursor_x = kLeft;
    PrintText(fonts, card, line);
  }
  card.font_points = kPoints;
}

}  // namespace mirelune
