// mail.cpp — the "send greetings to friend" command and the choice of sender.
#include "mail/mail.h"

#include "mail/mail_desktop.h"
#include "mail/mail_smtp.h"

namespace mirelune {

Result<> SendMailItem(const MailItem& item, const std::atomic<bool>* cancel) {
  SmtpSettings cfg;
  const bool smtp = SmtpSettingsFromEnvironment(&cfg);
  cfg.cancel = cancel;
  Result<> r = smtp ? SmtpConnection(cfg).Send(item) : ComposeInMailProgram(item);
  if (!r.ok && !item.attachments.empty())
    r.message += " The card is saved as " + item.attachments.front().string() + ".";
  return r;
}

Result<MailItem> AskGreetings(const std::filesystem::path& card, const AskLine& ask) {
  constexpr int kDialogX = 300, kDialogY = 333;  // where the dialogs open, in screen pixels
  if (!ask) return Error{"There is no window to ask for the address; nothing was sent."};
  // Recipient, a blank copy line, subject, body, card; a braced list asks in its order.
  return MailItem{ask("FRIEND'S E-MAIL ADDRESS", kDialogX, kDialogY), " ", "greetings", ask("MESSAGE TO FRIEND", kDialogX, kDialogY), {card}};
}

Result<> SendGreetingsToFriend(const std::filesystem::path& card, const AskLine& ask) {
  MIRELUNE_TRY_ASSIGN(const MailItem item, AskGreetings(card, ask));
  return SendMailItem(item);
}

Result<> MailCard(const std::filesystem::path& card, const std::string& to, const std::string& message) {
  return SendMailItem({to, " ", "greetings", message, {card}});
}

}  // namespace mirelune
