// mail.h — sending the card to a friend.
//
//   const SaveResult saved = SaveCardForMail(session, now);         // commands/commands.h
//   std::atomic<bool> cancel{false};
//   Result<> r = SendMailItem(GreetingsItem(to, message, saved.path), &cancel);  // any thread
//   if (!r) ShowError(r.message); else ShowInfo(r.message);
//
// A message goes out in the steps a desktop mail client's automation takes: get a
// sender, create an item, set recipient, copy line, subject and body, attach the
// card, send. Two senders stand behind those steps:
//  * SMTP through libcurl whenever MIRELUNE_SMTP_URL is set (smtp://host:port uses
//    STARTTLS when the server offers it, smtps://host:port is TLS from the start),
//    with MIRELUNE_SMTP_USER, MIRELUNE_SMTP_PASSWORD and MIRELUNE_MAIL_FROM. With a
//    user name or password TLS is required (a server on a loopback address aside).
//    MIRELUNE_SMTP_CA_FILE names a PEM file of authorities trusted instead of the
//    system's, for a server with its own certificate;
//  * otherwise the desktop mail program, which gets a composed message with the card
//    attached for the user to check and send.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"

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
  // Sends the item, or hands it to the mail program. Either way the message is one
  // sentence for the user: what happened, or on failure what went wrong and what to
  // check. Secrets (the SMTP password) never appear in it.
  virtual Result<> Send(const MailItem& item) = 0;
};

// The SMTP sender when MIRELUNE_SMTP_URL is set, else the desktop mail program.
// The environment is read at every call, so a changed setting takes effect at once.
// A send in progress stops soon after `cancel` turns true.
std::unique_ptr<MailSender> MailSenderFromEnvironment(const std::atomic<bool>* cancel = nullptr);

// The message "send greetings to friend" sends: to `to`, a blank copy line, the
// subject "greetings", `message` as the body and the saved card attached.
MailItem GreetingsItem(const std::string& to, const std::string& message, const std::filesystem::path& card);

// Sends `item` with the sender the environment chooses. On failure the message
// also says where the card is saved.
Result<> SendMailItem(const MailItem& item, const std::atomic<bool>* cancel = nullptr);

}  // namespace mirelune
