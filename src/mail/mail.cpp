// mail.cpp — the "send greetings to friend" command and the choice of sender.
#include "mail/mail.h"

#include "mail/mail_desktop.h"
#include "mail/mail_smtp.h"
#include "files/files.h"

namespace mirelune {
namespace {

// Where the friend's answers are asked, in pixels (4500 and 5000 twips).
constexpr int kDialogX = 300, kDialogY = 333;

// Saves Picture4 as the bitmap of the current image name; no new name is formed
// unless no card has been named yet.
bool SaveCardForMail(State& s, std::filesystem::path* path, std::string* message) {
  if (s.imeslike.empty()) MakeImageName(s);
  *path = CardPath(s);
  std::error_code ec;
  std::filesystem::create_directories(path->parent_path(), ec);
  std::string err;
  if (!SaveImage(s.Picture4.image(), *path, &err)) {
    if (message) *message = "The card could not be saved, so nothing was sent (" + err + ").";
    return false;
  }
  return true;
}

// The steps of the mail client's automation, in its order, with any sender behind them.
// (The copy line is assigned, not `= " "`: GCC 12 warns falsely about that.)
bool Deliver(const State& s, const std::filesystem::path& card, std::string* message) {
  std::unique_ptr<MailSender> sender = MailSenderFromEnvironment();  // 1: the mail application
  MailItem item;                                                     // 2: a new mail item
  item.to = s.mail;                                                  // 3: recipient
  item.cc.assign(1, ' ');                                            // 4: a blank copy line
  item.subject = "greetings";                                        // 5
  item.body = s.sporo;                                               // 6
  item.attachments.push_back(card);                                  // 7: the saved card
  std::string report;
  const bool sent = sender->Send(item, &report);  // 8: send
  if (!sent) report += " The card is saved as " + card.string() + ".";
  if (message) *message = report;
  return sent;
}

}  // namespace

std::unique_ptr<MailSender> MailSenderFromEnvironment() {
  SmtpSettings cfg;
  if (SmtpSettingsFromEnvironment(&cfg)) return std::make_unique<SmtpSender>(std::move(cfg));
  return std::make_unique<DesktopSender>();
}

bool SendGreetingsToFriend(State& s, std::string* message_for_user) {
  std::filesystem::path card;
  if (!SaveCardForMail(s, &card, message_for_user)) return false;
  if (!s.host) {
    if (message_for_user) *message_for_user = "There is no window to ask for the address; nothing was sent.";
    return false;
  }
  s.mail = s.host->InputBox(" ", "FRIEND'S E-MAIL ADDRESS", kDialogX, kDialogY);
  s.sporo = s.host->InputBox(" ", "MESSAGE TO FRIEND", kDialogX, kDialogY);
  return Deliver(s, card, message_for_user);
}

bool MailCard(State& s, const std::string& to, const std::string& message, std::string* message_for_user) {
  std::filesystem::path card;
  if (!SaveCardForMail(s, &card, message_for_user)) return false;
  s.mail = to;
  s.sporo = message;
  return Deliver(s, card, message_for_user);
}

}  // namespace mirelune
