// mail.cpp — the "send greetings to friend" command and the choice of sender.
#include "mail/mail.h"

#include "files/files.h"
#include "files/saving.h"
#include "mail/mail_desktop.h"
#include "mail/mail_smtp.h"

namespace mirelune {
namespace {

// Where the dialogs for the friend's address and message open, in screen pixels.
constexpr int kDialogX = 300, kDialogY = 333;

// Saves card under the current image name (a name is formed only when no card
// has been named yet); the folder is made when it is missing.
Result<> SaveCardForMail(State& s, std::filesystem::path* path) {
  if (s.names.image_name.empty()) MakeImageName(s);
  if (Result<> made = MakeFolder(OutputFolder()); !made)
    return Result<>::Failed("The card could not be saved, so nothing was sent (" + made.message + ").", made.code);
  const SaveResult saved = SaveCurrentCard(s);
  *path = saved.path;
  if (!saved.ok) return Result<>::Failed(saved.message + " Nothing was sent.", saved.code);
  return Result<>::Done();
}

// The steps of the mail client's automation, in its order, with any sender behind them.
// (The copy line is assigned, not `= " "`: GCC 12 warns falsely about that.)
MailItem GreetingsItem(const State& s, const std::filesystem::path& card) {
  MailItem item;                     // 2: a new mail item
  item.to = s.names.friend_address;                  // 3: recipient
  item.cc.assign(1, ' ');            // 4: a blank copy line
  item.subject = "greetings";        // 5
  item.body = s.names.message;               // 6
  item.attachments.push_back(card);  // 7: the saved card
  return item;
}

}  // namespace

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

Result<> AskGreetings(State& s, MailItem* item) {
  std::filesystem::path card;
  if (Result<> saved = SaveCardForMail(s, &card); !saved) return saved;
  if (!s.host) return Result<>::Failed("There is no window to ask for the address; nothing was sent.");
  s.names.friend_address = s.host->InputBox(" ", "FRIEND'S E-MAIL ADDRESS", kDialogX, kDialogY);
  s.names.message = s.host->InputBox(" ", "MESSAGE TO FRIEND", kDialogX, kDialogY);
  *item = GreetingsItem(s, card);
  return Result<>::Done();
}

Result<> SendGreetingsToFriend(State& s) {
  MailItem item;
  if (Result<> asked = AskGreetings(s, &item); !asked) return asked;
  return SendMailItem(item);
}

Result<> MailCard(State& s, const std::string& to, const std::string& message) {
  std::filesystem::path card;
  if (Result<> saved = SaveCardForMail(s, &card); !saved) return saved;
  s.names.friend_address = to;
  s.names.message = message;
  return SendMailItem(GreetingsItem(s, card));
}

}  // namespace mirelune
