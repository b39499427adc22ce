// mail.cpp — the choice of sender: the mail server when one is set, else the desktop mail program.
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

Result<> MailCard(const std::filesystem::path& card, const std::string& to, const std::string& message) {
  return SendMailItem({to, " ", "greetings", message, {card}});
}

}  // namespace mirelune
