// mail.h — sending the card to a friend.
#pragma once

#include <string>

#include "app/state.h"

namespace mirelune {

// The "send greetings to friend" command: saves the card under the current image
// name, asks for the address and the message, and sends. Returns false with one
// clear sentence for the user when anything fails; the card stays on disk.
bool SendGreetingsToFriend(State& s, std::string* message_for_user);

}  // namespace mirelune
