// mail_mime.h — checking a mail item and the header lines of its message.
//
//   PreparedMail m;
//   std::string err;
//   Result<PreparedMail> m = PrepareMail(item);   // on failure nothing has been sent
//   auto headers = MailHeaders(from, m, MailDate(now), NewMessageId(domain));
//
// Only checked addresses, the subject and our own file names reach a header:
// every text the user typed is refused when it holds a line break or any other
// control character, and non-ASCII text becomes RFC 2047 encoded words, so no
// input can add a header or a MIME part. The parts themselves (the body as
// quoted-printable, the card as base64) are put together and encoded by libcurl's
// MIME API.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mail.h"

namespace mirelune {

struct MailAddress {
  std::string name;     // display name, UTF-8; may be empty
  std::string address;  // the bare address, ASCII: local@domain
};

// Parses "local@domain" or "Name <local@domain>" (the name may be in double quotes),
// blanks around it ignored. A failure's message completes the sentence "The address ...":
// "is empty", "contains a line break or another control character", ...
Result<MailAddress> ParseMailAddress(std::string_view text);

// The value of a To/From/Cc header: the address alone, or the name (quoted, or as
// UTF-8 encoded words) followed by <address>.
std::string AddressHeaderValue(const MailAddress& a);

struct MailAttachment {
  std::filesystem::path path;
  std::string filename;      // the name in the message: the file's own name
  std::string content_type;  // from the extension: image/bmp for cards
};

// A mail item that passed every check.
struct PreparedMail {
  MailAddress to;
  std::optional<MailAddress> cc;  // none when the copy line is blank
  std::string subject;
  std::string body;
  std::vector<MailAttachment> attachments;
};

// Checks everything the user typed and every attachment; a failure is one
// sentence for the user saying what to correct.
Result<PreparedMail> PrepareMail(const MailItem& item);

// Date, From, To, Cc (when there is one), Subject and Message-ID, each one
// "Name: value" line without its CRLF; a long encoded name or subject is folded
// with CRLF + blank inside the value.
std::vector<std::string> MailHeaders(const MailAddress& from, const PreparedMail& m, const std::string& date,
                                     const std::string& message_id);

// Line breaks of any kind (CRLF, LF, CR) as CRLF, the form of a mail's lines.
std::string CrlfLines(std::string_view text);

// "Mon, 02 Jan 2017 09:05:03 +0100" in local time, English names whatever the locale.
std::string MailDate(std::time_t t);

// "<...@domain>", different at every call.
std::string NewMessageId(std::string_view domain);

}  // namespace mirelune
