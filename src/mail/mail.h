// mail.h — sending the card to a friend.
//
// The window asks for the address and the message, then sends on a thread of its
// own, so that a slow server never stops it:
//   std::atomic<bool> cancel{false};
//   Result<> r = SendMailItem({to, " ", "greetings", message, {card_path}}, &cancel);   // `cancel` stops it
//
// Every item is checked before anything leaves the program (PrepareMail). Only
// checked addresses, the subject and our own file names reach a header: typed text
// with a line break or another control character is refused, and anything but short
// plain ASCII becomes RFC 2047 encoded words, so no input can add a header or a MIME
// part. The parts themselves are libcurl's MIME API's work.
#pragma once

#include <atomic>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace mirelune {

// One message as typed.
struct MailItem {
  std::string to;  // one address as typed: "name@example.org" or "Name <name@example.org>"
  std::string cc;  // blank: no copy recipient and no Cc header
  std::string subject;
  std::string body;  // UTF-8 text
  std::vector<std::filesystem::path> attachments;
};

struct MailAddress {
  std::string name;     // display name, UTF-8; may be empty
  std::string address;  // the bare address, ASCII: local@domain
};

// Parses "local@domain" or "Name <local@domain>" (the name may be in double quotes),
// blanks around it ignored. A failure's message completes "The address ...".
Result<MailAddress> ParseMailAddress(std::string_view text);

// A To/From/Cc header's value: the address alone, or the name (as atoms, quoted, or
// as encoded words) followed by <address>.
std::string AddressHeaderValue(const MailAddress& a);

// A mail item that passed every check.
struct PreparedMail {
  MailAddress to;
  std::optional<MailAddress> cc;  // none when the copy line is blank
  std::string subject, body;
  std::vector<std::filesystem::path> attachments;  // each named in the message by its file name
};

// A connection to a mail server, kept for many messages (SmtpConnection is the one):
// Send is ok once the server accepted the message. Here without the library that
// speaks to the server, so that a program can take a connection without linking it.
class MailSender {
 public:
  virtual ~MailSender() = default;
  virtual Result<> Send(const MailItem& item, const std::string& message_key) = 0;
};

// The server a batch mails through: a new connection for each worker, and the
// sender's address, which its Message-IDs are made from.
struct MailServer {
  std::string sender;
  std::function<std::unique_ptr<MailSender>()> connect;
};

// Checks everything the user typed and every attachment; a failure is one
// sentence for the user saying what to correct.
Result<PreparedMail> PrepareMail(const MailItem& item);

// Date, From, To, Cc (when there is one), Subject and Message-ID, each "Name: value"
// without its CRLF; a long encoded value is folded with CRLF + blank.
std::vector<std::string> MailHeaders(const MailAddress& from, const PreparedMail& m, const std::string& date,
                                     const std::string& message_id);

// Line breaks of any kind (CRLF, LF, CR) as CRLF, the form of a mail's lines.
std::string CrlfLines(std::string_view text);

// "Mon, 02 Jan 2017 09:05:03 +0100" in local time, English names whatever the locale.
std::string MailDate(std::time_t t);

// "<...@domain>", different at every call.
std::string NewMessageId(std::string_view domain);

// Sends `item` through the mail server when MIRELUNE_SMTP_URL is
// set (read at every call), else hands it to the desktop mail program. The result
// is one sentence for the user, never holding the SMTP password; on failure it also
// says where the card is saved. A send in progress stops soon after `cancel` turns true.
Result<> SendMailItem(const MailItem& item, const std::atomic<bool>* cancel = nullptr);

// Without dialogs, for the command line: sends `card` to `to` with `message` as the body.
Result<> MailCard(const std::filesystem::path& card, const std::string& to, const std::string& message);

}  // namespace mirelune
