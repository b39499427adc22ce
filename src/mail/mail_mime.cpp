// mail_mime.cpp — address checks and the MIME writer.
#include "base/utf8.h"
#include "mail/mail_mime.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>


namespace mirelune {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool HasControl(std::string_view s) {
  for (unsigned char c : s)
    if (IsControl(c)) return true;
  return false;
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsAlnum(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

// RFC 5322 atext: what may stand in a dot-atom without quoting.
bool IsAtext(unsigned char c) { return IsAlnum(c) || (c && std::strchr("!#$%&'*+-/=?^_`{|}~", c)); }

bool ValidLocalPart(std::string_view s) {
  if (s.empty() || s.size() > 64 || s.front() == '.' || s.back() == '.') return false;
  for (std::size_t k = 0; k < s.size(); ++k) {
    const unsigned char c = s[k];
    if (c == '.') {
      if (s[k + 1] == '.') return false;  // k + 1 < size: the last character is no dot
    } else if (!IsAtext(c)) {
      return false;
    }
  }
  return true;
}

bool ValidDomain(std::string_view s) {
  if (s.empty() || s.size() > 253) return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = s.find('.', start);
    const std::string_view label = s.substr(start, dot == std::string_view::npos ? s.npos : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (unsigned char c : label)
      if (!IsAlnum(c) && c != '-') return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

// What may stand unencoded in an encoded word of a phrase (RFC 2047, 5 (3)).
bool QLiteral(unsigned char c) { return IsAlnum(c) || (c && std::strchr("!*+-/", c)); }

// Plain ASCII header text folded before a blank wherever a line would pass 78
// characters (the field name takes up to 9); empty when some word is too long for
// the 998 characters a line may hold at most.
std::string FoldedPlainText(std::string_view text) {
  constexpr std::size_t kSoft = 78, kHard = 998;
  std::string out;
  std::size_t line = 9;  // "Subject: "
  for (std::size_t k = 0; k < text.size();) {
    // A piece runs from one blank that follows a word to the next one.
    std::size_t e = k + 1;
    while (e < text.size() && !(text[e] == ' ' && text[e - 1] != ' ')) ++e;
    const std::string_view piece = text.substr(k, e - k);
    // A line of nothing but blanks would vanish on unfolding.
    if (k > 0 && line + piece.size() > kSoft && piece.find_first_not_of(' ') != piece.npos) {
      out += "\r\n";
      line = 0;
    }
    out += piece;
    line += piece.size();
    if (line > kHard) return {};
    k = e;
  }
  return out;
}

// Unstructured header text: plain ASCII as it is, folded at blanks; anything else
// (other characters, a word too long for a line, text a reader would take for an
// encoded word) as UTF-8 "Q" encoded words of at most 75 characters, cut between
// characters, folded.
std::string HeaderText(std::string_view text) {
  if (IsAscii(text) && text.find("=?") == text.npos) {
    std::string folded = FoldedPlainText(text);
    if (!folded.empty() || text.empty()) return folded;
  }
  constexpr std::size_t kWordText = 75 - 12;  // "=?UTF-8?Q?" ... "?="
  std::string out, word;
  auto flush = [&] {
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?Q?" + word + "?=";
    word.clear();
  };
  for (std::size_t k = 0; k < text.size();) {
    std::size_t len = 1;
    while (k + len < text.size() && (static_cast<unsigned char>(text[k + len]) & 0xC0) == 0x80) ++len;
    std::string enc;
    for (std::size_t b = k; b < k + len; ++b) {
      const unsigned char c = text[b];
      if (c == ' ') {
        enc += '_';
      } else if (QLiteral(c)) {
        enc += static_cast<char>(c);
      } else {
        enc += '=';
        enc += kHex[c >> 4];
        enc += kHex[c & 15];
      }
    }
    if (!word.empty() && word.size() + enc.size() > kWordText) flush();
    word += enc;
    k += len;
  }
  if (!word.empty()) flush();
  return out;
}

std::string ContentTypeFor(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".bmp") return "image/bmp";
  if (ext == ".png") return "image/png";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  return "application/octet-stream";
}

// Our own file names go into the headers unencoded, so only plain ones are allowed.
bool PlainFileName(std::string_view name) {
  if (name.empty() || name.front() == '.') return false;
  for (unsigned char c : name)
    if (!IsAlnum(c) && c != '.' && c != '_' && c != '-') return false;
  return true;
}

}  // namespace

Result<MailAddress> ParseMailAddress(std::string_view text) {
  auto fail = [](const char* reason) { return Result<MailAddress>(Error{reason}); };
  if (HasControl(text)) return fail("contains a line break or another control character");
  std::u32string ignored;
  if (!DecodeUtf8(text, &ignored)) return fail("is not valid UTF-8 text");
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
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
      name = name.substr(1, name.size() - 2);
      for (std::size_t k = 0; k < name.size(); ++k) {
        if (name[k] == '\\' && k + 1 < name.size()) ++k;
        a.name += name[k];
      }
    } else {
      a.name = std::string(name);
    }
  }
  if (!IsAscii(addr)) return fail("contains letters outside plain ASCII, which mail servers may not accept");
  const std::size_t at = addr.find('@');
  if (at == std::string_view::npos || addr.find('@', at + 1) != std::string_view::npos ||
      !ValidLocalPart(addr.substr(0, at)) || !ValidDomain(addr.substr(at + 1)))
    return fail("is not of the form name@example.org");
  a.address = std::string(addr);
  return a;
}

std::string AddressHeaderValue(const MailAddress& a) {
  if (a.name.empty()) return a.address;
  std::string name;
  if (!IsAscii(a.name)) {
    name = HeaderText(a.name);
  } else {
    // A name that looks like an encoded word is quoted, where readers leave it alone.
    bool atoms = Trim(a.name) == a.name && a.name.find("=?") == std::string::npos;
    for (unsigned char c : a.name) atoms = atoms && (IsAtext(c) || c == ' ');
    if (atoms) {
      name = a.name;
    } else {
      name = "\"";
      for (char c : a.name) {
        if (c == '"' || c == '\\') name += '\\';
        name += c;
      }
      name += '"';
    }
  }
  return name + " <" + a.address + ">";
}

Result<PreparedMail> PrepareMail(const MailItem& item) {
  auto fail = [](std::string message) { return Result<PreparedMail>(Error{std::move(message)}); };
  PreparedMail m;
  if (Trim(item.to).empty() && !HasControl(item.to))
    return fail(
        "No e-mail address was given, so nothing was sent. Type your friend's address, such as "
        "name@example.org.");
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
  std::u32string ignored;
  if (!DecodeUtf8(item.subject, &ignored))
    return fail("The subject is not valid UTF-8 text, so nothing was sent.");
  if (!DecodeUtf8(item.body, &ignored))
    return fail("The message is not valid UTF-8 text, so nothing was sent. Check the message.");
  m.subject = item.subject;
  m.body = item.body;
  for (const auto& p : item.attachments) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(p, ec))
      return fail("The card file " + p.string() + " is missing, so nothing was sent. Save the card again.");
    const std::string name = p.filename().string();
    if (!PlainFileName(name))
      return fail("The file name \"" + name + "\" cannot be used for an attachment, so nothing was sent.");
    m.attachments.push_back({p, name, ContentTypeFor(p)});
  }
  return m;
}

std::vector<std::string> MailHeaders(const MailAddress& from, const PreparedMail& m, const std::string& date,
                                     const std::string& message_id) {
  std::vector<std::string> h = {"Date: " + date, "From: " + AddressHeaderValue(from),
                                "To: " + AddressHeaderValue(m.to)};
  if (m.cc) h.push_back("Cc: " + AddressHeaderValue(*m.cc));
  h.push_back("Subject: " + HeaderText(m.subject));
  h.push_back("Message-ID: " + message_id);
  return h;
}

std::string CrlfLines(std::string_view s) {
  std::string out;
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (s[k] == '\r' || s[k] == '\n') {
      out += "\r\n";
      if (s[k] == '\r' && k + 1 < s.size() && s[k + 1] == '\n') ++k;
    } else {
      out += s[k];
    }
  }
  return out;
}

std::string MailDate(std::time_t t) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  localtime_r(&t, &tm);
  long offset = tm.tm_gmtoff / 60;
  const char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[tm.tm_wday % 7],
                tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec,
                sign, offset / 60, offset % 60);
  return buf;
}

std::string NewMessageId(std::string_view domain) {
  static std::atomic<unsigned> counter{0};
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  char buf[96];
  std::snprintf(buf, sizeof buf, "<mirelune.%llx.%lx.%u@", static_cast<unsigned long long>(ns),
                static_cast<long>(::getpid()), counter.fetch_add(1) + 1);
  return std::string(buf) + std::string(domain.empty() ? std::string_view("localhost") : domain) + ">";
}

}  // namespace mirelune
