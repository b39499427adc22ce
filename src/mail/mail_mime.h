// mail_mime.h — checking a mail item and writing it as an Internet message.
//
//   PreparedMail m;
//   std::string err;
//   if (!PrepareMail(item, &m, &err)) return Fail(err);   // nothing has been sent
//   MimeMessage msg{from, m.to, m.cc, m.subject, m.body, attachments, MailDate(now), NewMessageId(domain)};
//   std::string wire = BuildMimeMessage(msg);            // CRLF lines, 7-bit clean
//
// Only checked addresses, the fixed subject and our own file names reach a header:
// every text the user typed is refused when it holds a line break or any other
// control character, and the body is always quoted-printable, so no input can add
// a header or a MIME part. The output depends on nothing but its input: Date and
// Message-ID are passed in.
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
// blanks around it ignored. On failure `why` completes the sentence "The address ...":
// "is empty", "contains a line break or another control character", ...
bool ParseMailAddress(std::string_view text, MailAddress* out, std::string* why);

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

// Checks everything the user typed and every attachment; on failure `error` is one
// sentence for the user saying what to correct.
bool PrepareMail(const MailItem& item, PreparedMail* out, std::string* error);

struct MimeAttachment {
  std::string filename;
  std::string content_type;
  std::vector<std::uint8_t> bytes;
};

struct MimeMessage {
  MailAddress from;
  MailAddress to;
  std::optional<MailAddress> cc;
  std::string subject;
  std::string body;  // UTF-8; line breaks of any kind become CRLF
  std::vector<MimeAttachment> attachments;
  std::string date;        // MailDate(...)
  std::string message_id;  // NewMessageId(...)
};

// multipart/mixed: a quoted-printable UTF-8 text part, then one base64 part per
// attachment. Lines end in CRLF and none is longer than 76 characters, folded
// headers aside.
std::string BuildMimeMessage(const MimeMessage& m);

// Base64 in lines of 76 characters, each ended by CRLF.
std::string EncodeBase64(const std::vector<std::uint8_t>& bytes);

// Quoted-printable (RFC 2045) with CRLF line breaks; any line break in `text`
// (CRLF, LF or CR) is a hard break.
std::string EncodeQuotedPrintable(std::string_view text);

// "Mon, 02 Jan 2017 09:05:03 +0100" in local time, English names whatever the locale.
std::string MailDate(std::time_t t);

// "<...@domain>", different at every call.
std::string NewMessageId(std::string_view domain);

}  // namespace mirelune
