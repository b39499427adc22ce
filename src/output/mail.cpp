#include "output/mail.h"

namespace mirelune {

bool SendGreetingsToFriend(State&, std::string* message_for_user) {
  if (message_for_user) *message_for_user = "Mail is not set up yet.";
  return false;
}

}  // namespace mirelune
