// card_text.cpp — the pale band and the blue greeting line at the card's foot.
#include "card/card.h"
#include "text/text.h"

namespace mirelune {

std::string GreetingLine(const State& s) {
  return "dear " + s.names.friend_name + ", I wish you a happy new year " + std::to_string(s.names.year) + "! " + s.names.own_name +
         std::string(11, ' ') + kWebAddress + " ";
}

void DrawCardText(State& s) {
  Surface& card = s.card;
  card.font_points = 14;
  s.text_length = static_cast<double>(CharCount(s.names.own_name));
  if (s.text_length == 0) return;
  const Colour band = RGB(250, 250, 150);
  for (s.i = 5; s.i <= 895; s.i += 1) card.Line(s.i, 635, s.i, 665, band);
  card.pen_colour = RGB(0, 0, 255);
  card.cursor_x = 11;
  card.cursor_y = 638;
  PrintText(card, GreetingLine(s));
}

}  // namespace mirelune
