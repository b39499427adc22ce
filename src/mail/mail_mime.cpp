// mail_mime.cpp — checking a mail item; the header lines of its message.
#include "mail/mail.h"

#include <nettle/base64.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <regex>

#include "base/utf8.h"

namespace mirelune {
namespace {

bool HasControl(std::string_view s) { return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; }); }
bool IsAscii(std::string_view s) { return std::all_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x80; }); }

bool IsUtf8(std::string_view s) { std::u32string ignored; return DecodeUtf8(s, &ignored); }

std::string_view Trim(std::string_view s) {
  const std::size_t start = s.find_first_not_of(' ');
  return start == s.npos ? std::string_view() : s.substr(start, s.find_last_not_of(' ') - start + 1);
}

bool IsAlnum(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

// RFC 5322 atext: what may stand in a dot-atom without quoting.
bool IsAtext(unsigned char c) { return IsAlnum(c) || (c && std::strchr("!#$%&'*+-/=?^_`{|}~", c)); }

// A dot-atom local part of at most 64 characters at a domain of letters, digits and
// inner dashes, labels of at most 63, 253 in all.
bool ValidAddress(std::string_view a) {
  static const std::regex kAddress(
      R"([-A-Za-z0-9!#$%&'*+/=?^_`{|}~]+(\.[-A-Za-z0-9!#$%&'*+/=?^_`{|}~]+)*@)"
      R"(([A-Za-z0-9]([-A-Za-z0-9]{0,61}[A-Za-z0-9])?\.)*[A-Za-z0-9]([-A-Za-z0-9]{0,61}[A-Za-z0-9])?)");
  const std::size_t at = a.find('@');
  return at <= 64 && a.size() - at - 1 <= 253 && std::regex_match(a.begin(), a.end(), kAddress);
}

// Unstructured header text: short plain ASCII as it is; anything else (other
// characters, a line that would pass 78, text a reader would take for an encoded
// word) as UTF-8 "B" encoded words of at most 64 characters, cut between
// characters, one a line ("Subject: " takes 9 of the first).
std::string HeaderText(std::string_view text) {
  if (IsAscii(text) && text.find("=?") == text.npos && text.size() <= 78 - 9) return std::string(text);
  constexpr std::size_t kBytes = 39;  // 52 of base64: with "Subject: " a line of 73, within 76
  std::string out;
  for (std::size_t k = 0, n; k < text.size(); k += n) {
    n = std::min(kBytes, text.size() - k);
    while (k + n < text.size() && (static_cast<unsigned char>(text[k + n]) & 0xC0) == 0x80) --n;  // valid UTF-8: n > 35
    char word[BASE64_ENCODE_RAW_LENGTH(kBytes)];
    base64_encode_raw(word, n, reinterpret_cast<const std::uint8_t*>(text.data() + k));
    out += (out.empty() ? "=?UTF-8?B?" : "\r\n =?UTF-8?B?") + std::string(word, BASE64_ENCODE_RAW_LENGTH(n)) + "?=";
  }
  return out;
}

// Our own file names go into the headers unencoded, so only plain ones are allowed.
bool PlainFileName(std::string_view name) {
  return !name.empty() && name.front() != '.' &&
         std::all_of(name.begin(), name.end(), [](unsigned char c) { return IsAlnum(c) || (c && std::strchr("._-", c)); });
}

}  // namespace

Result<MailAddress> ParseMailAddress(std::string_view text) {
  const auto fail = [](const char* reason) { return Result<MailAddress>(Error{reason}); };
  if (HasControl(text)) return fail("contains a line break or another control character");
  if (!IsUtf8(text)) return fail("is not valid UTF-8 text");
  text = Trim(text);
  if (text.empty()) return fail("is empty");
  if (text.size() > 320) return fail("is too long");  // keeps the header line far below 998 characters
  MailAddress a;
  std::string_view addr = text;
  if (text.back() == '>') {
    const std::size_t open = text.rfind('<');
    if (open == std::string_view::npos) return fail("is not of the form name@example.org");
    addr = text.substr(open + 1, text.size() - open - 2);
    std::string_view name = Trim(text.substr(0, open));
    const bool quoted = name.size() >= 2 && name.front() == '"' && name.back() == '"';
    if (quoted) name = name.substr(1, name.size() - 2);
    for (std::size_t k = 0; k < name.size(); ++k) {
      if (quoted && name[k] == '\\' && k + 1 < name.size()) ++k;  // a quoted pair: the character after
      a.name += name[k];
    }
  }
  if (!IsAscii(addr)) return fail("contains letters outside plain ASCII, which mail servers may not accept");
  if (!ValidAddress(addr)) return fail("is not of the form name@example.org");
  a.address = std::string(addr);
  return a;
}

std::string AddressHeaderValue(const MailAddress& a) {
  if (a.name.empty()) return a.address;
  if (!IsAscii(a.name)) return HeaderText(a.name) + " <" + a.address + ">";
  // A name that looks like an encoded word is quoted, where readers leave it alone.
  const bool atoms = Trim(a.name) == a.name && a.name.find("=?") == std::string::npos &&
                     std::all_of(a.name.begin(), a.name.end(), [](unsigned char c) { return IsAtext(c) || c == ' '; });
  if (atoms) return a.name + " <" + a.address + ">";
  std::string quoted = "\"";
  for (char c : a.name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\" <" + a.address + ">";
}

Result<PreparedMail> PrepareMail(const MailItem& item) {
  const auto fail = [](std::string message) { return Result<PreparedMail>(Error{std::move(message)}); };
  PreparedMail m;
  if (Trim(item.to).empty() && !HasControl(item.to))
    return fail("No e-mail address was given, so nothing was sent. Type your friend's address, such as name@example.org.");
  const Result<MailAddress> to = ParseMailAddress(item.to);
  if (!to) {
    // The text is repeated only when it cannot break the message line.
    const std::string shown = HasControl(item.to) ? "" : " \"" + std::string(Trim(item.to)) + "\"";
    return fail("The e-mail address" + shown + " " + to.error().message + ", so nothing was sent. Check the address.");
  }
  m.to = *to;
  if (!Trim(item.cc).empty() || HasControl(item.cc)) {
    const Result<MailAddress> cc = ParseMailAddress(item.cc);
    if (!cc) return fail("The copy address " + cc.error().message + ", so nothing was sent. Check the copy address.");
    m.cc = *cc;
  }
  if (HasControl(item.subject))
    return fail("The subject contains a line break or another control character, so nothing was sent.");
  if (!IsUtf8(item.subject)) return fail("The subject is not valid UTF-8 text, so nothing was sent.");
  if (!IsUtf8(item.body)) return fail("The message is not valid UTF-8 text, so nothing was sent. Check the message.");
  m.subject = item.subject;
  m.body = item.body;
  for (const auto& p : item.attachments) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(p, ec))
      return fail("The card file " + p.string() + " is missing, so nothing was sent. Save the card again.");
    const std::string name = p.filename().string();
    if (!PlainFileName(name))
      return fail("The file name \"" + name + "\" cannot be used for an attachment, so nothing was sent.");
    m.attachments.push_back(p);
  }
  return m;
}

std::vector<std::string> MailHeaders(const MailAddress& from, const PreparedMail& m, const std::string& date,
                                     const std::string& message_id) {
  std::vector<std::string> h = {"Date: " + date, "From: " + AddressHeaderValue(from), "To: " + AddressHeaderValue(m.to)};
  if (m.cc) h.push_back("Cc: " + AddressHeaderValue(*m.cc));
  h.insert(h.end(), {"Subject: " + HeaderText(m.subject), "Message-ID: " + message_id});
  return h;
}

std::string CrlfLines(std::string_view s) {
  static const std::regex kBreak("\r\n|\r|\n");
  return std::regex_replace(std::string(s), kBreak, "\r\n");
}

std::string MailDate(std::time_t t) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  localtime_r(&t, &tm);
  char day[8], rest[40];  // strftime's numbers and %z (from tm_gmtoff) do not depend on the locale
  std::strftime(day, sizeof day, "%d", &tm);
  std::strftime(rest, sizeof rest, "%Y %H:%M:%S %z", &tm);
  return std::string(kDays[tm.tm_wday % 7]) + ", " + day + " " + kMonths[tm.tm_mon % 12] + " " + rest;
}

std::string NewMessageId(std::string_view domain) {
  static std::atomic<unsigned> counter{0};
  const auto ns = std::chrono::system_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
  char buf[96];
  std::snprintf(buf, sizeof buf, "<mirelune.%llx.%lx.%u@", static_cast<unsigned long long>(ns), static_cast<long>(::getpid()),
                counter.fetch_add(1) + 1);
  return buf + std::string(domain.empty() ? std::string_view("localhost") : domain) + ">";
}

}  // namespace mirelune
