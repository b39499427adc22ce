// mail_mime.cpp — address checks and the MIME writer.
#include "mail/mail_mime.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "surface/text.h"

namespace mirelune {
namespace {

constexpr char kBoundary[] = "=_mirelune_card";  // "=_" cannot occur in base64 or quoted-printable
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

// Unstructured header text: as it is when it is plain ASCII, else UTF-8 encoded
// words of at most 75 characters, cut between characters and folded.
std::string HeaderText(std::string_view text) {
  if (IsAscii(text)) return std::string(text);
  std::string out;
  std::size_t k = 0;
  while (k < text.size()) {
    std::size_t end = std::min(text.size(), k + 45);  // 45 bytes -> 60 base64 characters
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    const std::string_view chunk = text.substr(k, end - k);
    std::string b64 = EncodeBase64(std::vector<std::uint8_t>(chunk.begin(), chunk.end()));
    while (!b64.empty() && (b64.back() == '\n' || b64.back() == '\r')) b64.pop_back();
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + b64 + "?=";
    k = end;
  }
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

bool ParseMailAddress(std::string_view text, MailAddress* out, std::string* why) {
  auto fail = [&](const char* reason) {
    if (why) *why = reason;
    return false;
  };
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
  if (out) *out = std::move(a);
  return true;
}

std::string AddressHeaderValue(const MailAddress& a) {
  if (a.name.empty()) return a.address;
  std::string name;
  if (!IsAscii(a.name)) {
    name = HeaderText(a.name);
  } else {
    bool atoms = Trim(a.name) == a.name;
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

bool PrepareMail(const MailItem& item, PreparedMail* out, std::string* error) {
  auto fail = [&](std::string message) {
    if (error) *error = std::move(message);
    return false;
  };
  PreparedMail m;
  std::string why;
  if (Trim(item.to).empty() && !HasControl(item.to))
    return fail(
        "No e-mail address was given, so nothing was sent. Type your friend's address, such as "
        "name@example.org.");
  if (!ParseMailAddress(item.to, &m.to, &why)) {
    // The text is repeated only when it cannot break the message line.
    const std::string shown = HasControl(item.to) ? "" : " \"" + std::string(Trim(item.to)) + "\"";
    return fail("The e-mail address" + shown + " " + why + ", so nothing was sent. Check the address.");
  }
  if (!Trim(item.cc).empty() || HasControl(item.cc)) {
    MailAddress cc;
    if (!ParseMailAddress(item.cc, &cc, &why))
      return fail("The copy address " + why + ", so nothing was sent. Check the copy address.");
    m.cc = cc;
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
  if (out) *out = std::move(m);
  return true;
}

std::string EncodeBase64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(bytes.size() / 57 * 78 + 80);
  std::size_t line = 0;
  for (std::size_t k = 0; k < bytes.size(); k += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - k);
    const std::uint32_t v = (static_cast<std::uint32_t>(bytes[k]) << 16) |
                            (n > 1 ? static_cast<std::uint32_t>(bytes[k + 1]) << 8 : 0) |
                            (n > 2 ? static_cast<std::uint32_t>(bytes[k + 2]) : 0);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[v & 63] : '=';
    line += 4;
    if (line == 76) {
      out += "\r\n";
      line = 0;
    }
  }
  if (line) out += "\r\n";
  return out;
}

std::string EncodeQuotedPrintable(std::string_view text) {
  std::string out;
  auto encode_line = [&out](std::string_view line) {
    std::size_t column = 0;
    for (std::size_t k = 0; k < line.size(); ++k) {
      const unsigned char c = line[k];
      const bool last = k + 1 == line.size();
      char token[4] = {static_cast<char>(c), 0, 0, 0};
      std::size_t len = 1;
      // Blanks are literal except at the end of a line, where transports may strip them.
      const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
      if (!literal) {
        token[0] = '=';
        token[1] = kHex[c >> 4];
        token[2] = kHex[c & 15];
        len = 3;
      }
      // At most 76 characters a line; a line that goes on needs room for its '='.
      if (column + len > (last ? 76u : 75u)) {
        out += "=\r\n";
        column = 0;
      }
      out.append(token, len);
      column += len;
    }
  };
  std::size_t start = 0;
  for (std::size_t k = 0; k <= text.size(); ++k) {
    if (k == text.size()) {
      encode_line(text.substr(start));
      break;
    }
    if (text[k] == '\r' || text[k] == '\n') {
      encode_line(text.substr(start, k - start));
      out += "\r\n";
      if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n') ++k;
      start = k + 1;
    }
  }
  return out;
}

std::string BuildMimeMessage(const MimeMessage& m) {
  std::string out;
  out += "Date: " + m.date + "\r\n";
  out += "From: " + AddressHeaderValue(m.from) + "\r\n";
  out += "To: " + AddressHeaderValue(m.to) + "\r\n";
  if (m.cc) out += "Cc: " + AddressHeaderValue(*m.cc) + "\r\n";
  out += "Subject: " + HeaderText(m.subject) + "\r\n";
  out += "Message-ID: " + m.message_id + "\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += std::string("Content-Type: multipart/mixed; boundary=\"") + kBoundary + "\"\r\n";
  out += "\r\n";
  out += "This is a message in MIME format.\r\n";
  out += std::string("\r\n--") + kBoundary + "\r\n";
  out += "Content-Type: text/plain; charset=UTF-8\r\n";
  out += "Content-Transfer-Encoding: quoted-printable\r\n";
  out += "\r\n";
  out += EncodeQuotedPrintable(m.body);
  for (const auto& a : m.attachments) {
    out += std::string("\r\n--") + kBoundary + "\r\n";
    out += "Content-Type: " + a.content_type + "; name=\"" + a.filename + "\"\r\n";
    out += "Content-Transfer-Encoding: base64\r\n";
    out += "Content-Disposition: attachment; filename=\"" + a.filename + "\"\r\n";
    out += "\r\n";
    std::string b64 = EncodeBase64(a.bytes);
    // The line break before a boundary belongs to the boundary.
    if (b64.size() >= 2) b64.resize(b64.size() - 2);
    out += b64;
  }
  out += std::string("\r\n--") + kBoundary + "--\r\n";
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
