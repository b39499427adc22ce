// mail.cpp — the "send greetings to friend" message and the choice of sender.
#include "mail/mail.h"

#include "mail/mail_desktop.h"
#include "mail/mail_smtp.h"

namespace mirelune {

// The steps of the mail client's automation, in its order, with any sender behind them.
// (The copy line is assigned, not `= " "`: GCC 12 warns falsely about that.)
MailItem GreetingsItem(const std::string& to, const std::string& message, const std::filesystem::path& card) {
  MailItem item;                     // 2: a new mail item
  item.to = to;                      // 3: recipient
  item.cc.assign(1, ' ');            // 4: a blank copy line
  item.subject = "greetings";        // 5
  item.body = message;               // 6
  item.attachments.push_back(card);  // 7: the saved card
  return item;
}

std::unique_ptr<MailSender> MailSenderFromEnvironment(const std::atomic<bool>* cancel) {
  SmtpSettings cfg;
  if (SmtpSettingsFromEnvironment(&cfg)) {
    cfg.cancel = cancel;
    return std::make_unique<SmtpSender>(std::move(cfg));
  }
  return std::make_unique<DesktopSender>();
}

Result<> SendMailItem(const MailItem& item, const std::atomic<bool>* cancel) {
  Result<> r = MailSenderFromEnvironment(cancel)->Send(item);  // 1: the mail application; 8: send
  if (!r.ok && !item.attachments.empty())
    r.message += " The card is saved as " + item.attachments.front().string() + ".";
  return r;
}

}  // namespace mirelune
