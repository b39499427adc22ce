// mail.h — sending the card to a friend.
//
//   std::string msg;
//   if (!SendGreetingsToFriend(s, &msg)) ShowError(msg); else ShowInfo(msg);
//
// A message goes out in the steps a desktop mail client's automation takes: get a
// sender, create an item, set recipient, copy line, subject and body, attach the
// card, send. Two senders stand behind those steps:
//  * SMTP through libcurl whenever MIRELUNE_SMTP_URL is set (smtp://host:port uses
//    STARTTLS when the server offers it, smtps://host:port is TLS from the start),
//    with MIRELUNE_SMTP_USER, MIRELUNE_SMTP_PASSWORD and MIRELUNE_MAIL_FROM;
//  * otherwise the desktop mail program, which gets a composed message with the card
//    attached for the user to check and send.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/state.h"

namespace mirelune {

// One message as the send command fills it in, step by step. Everything here is
// checked before anything leaves the program (see PrepareMail in mail_mime.h).
struct MailItem {
  std::string to;  // one address as typed: "name@example.org" or "Name <name@example.org>"
  std::string cc;  // blank: no copy recipient and no Cc header
  std::string subject;
  std::string body;  // UTF-8 text
  std::vector<std::filesystem::path> attachments;
};

class MailSender {
 public:
  virtual ~MailSender() = default;
  // Sends the item, or hands it to the mail program. Either way `report` gets one
  // sentence for the user: what happened, or on failure what went wrong and what to
  // check. Secrets (the SMTP password) never appear in it.
  virtual bool Send(const MailItem& item, std::string* report) = 0;
};

// The SMTP sender when MIRELUNE_SMTP_URL is set, else the desktop mail program.
// The environment is read at every call, so a changed setting takes effect at once.
std::unique_ptr<MailSender> MailSenderFromEnvironment();

// The "send greetings to friend" command: saves the card under the current image
// name, asks for the address and the message, and sends. Returns false with one
// clear sentence for the user when anything fails; the card stays on disk.
bool SendGreetingsToFriend(State& s, std::string* message_for_user);

// The same without dialogs, for the command line: saves the card under the current
// image name and sends it to `to` with `message` as the body.
bool MailCard(State& s, const std::string& to, const std::string& message, std::string* message_for_user);

}  // namespace mirelune
