// card_text.cpp — the pale band and the blue greeting line at the card's foot.
#include "card/card.h"
#include "text/text.h"

namespace mirelune {

std::string GreetingLine(const Greeting& g) {
  return "dear " + g.friend_name + ", I wish you a happy new year " + std::to_string(g.year) + "! " + g.sender +
         std::string(11, ' ') + kWebAddress + " ";
}

void DrawGreeting(Surface& card, const Greeting& g, Fonts& fonts) {
  card.font_points = 14;
  if (CharCount(g.sender) == 0) return;
  const Colour band = RGB(250, 250, 150);
  for (double x = 5; x <= 895; x += 1) card.Line(x, 635, x, 665, band);
  card.pen_colour = RGB(0, 0, 255);
  card.cursor_x = 11;
  card.cursor_y = 638;
  PrintText(fonts, card, GreetingLine(g));
}

}  // namespace mirelune
