// limits.cpp — the request-head check, client groups and the rate limit.
//
// The check is stricter than the HTTP library and than most servers on purpose:
// a head that two parsers could read two ways (a proxy in front and the library
// behind) is refused, never guessed at. Each connection carries one request
// (every answer closes it), so every request passes here.
#include "web/limits.h"

#ifdef _WIN32
#include <ws2tcpip.h>  // inet_pton and inet_ntop, as Winsock has them
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mirelune::web {
namespace {

HeadCheck Refuse(int status, std::string reason, std::size_t head_size = 0) {
  return {HeadVerdict::kRefuse, status, std::move(reason), head_size};
}

// RFC 9110's token characters: what a method and a header name are made of.
bool TokenChar(unsigned char c) {
  return std::isalnum(c) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}
bool Token(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return TokenChar(static_cast<unsigned char>(c)); });
}

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The next line of the head without its end (CRLF, or a bare LF as RFC 9112
// lets a server accept); a CR anywhere else makes the head malformed.
bool NextLine(std::string_view& rest, std::string_view& line) {
  const std::size_t lf = rest.find('\n');
  line = rest.substr(0, lf);
  rest.remove_prefix(lf + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line.find('\r') == std::string_view::npos;
}

}  // namespace

HeadCheck CheckRequestHead(std::string_view bytes) {
  // The end of the head: the first empty line, within the first kMaxRequestHead bytes.
  const std::string_view window = bytes.substr(0, kMaxRequestHead);
  std::size_t end = std::string_view::npos;
  for (std::size_t at = window.find('\n'); at != std::string_view::npos && end == std::string_view::npos;
       at = window.find('\n', at + 1)) {
    if (window.substr(at + 1, 1) == "\n") end = at + 2;
    if (window.substr(at + 1, 2) == "\r\n") end = at + 3;
  }
  if (end == std::string_view::npos) {
    if (bytes.size() >= kMaxRequestHead) return Refuse(431, "the request head is longer than 8 KiB");
    if (window.find('\0') != std::string_view::npos) return Refuse(400, "the request holds a NUL byte");
    return {};
  }
  std::string_view head = bytes.substr(0, end);
  if (head.find('\0') != std::string_view::npos) return Refuse(400, "the request holds a NUL byte", end);

  std::string_view line;
  if (!NextLine(head, line)) return Refuse(400, "a stray CR in the request line", end);
  const std::size_t sp1 = line.find(' ');
  const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
    return Refuse(400, "the request line is not METHOD /path HTTP/1.1", end);
  const std::string_view method = line.substr(0, sp1);
  const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string_view version = line.substr(sp2 + 1);
  if (!Token(method)) return Refuse(400, "the request's method is malformed", end);
  if (target.empty() || target.front() != '/' ||
      !std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7F; }))
    return Refuse(400, "the request's path is malformed", end);
  for (std::size_t at = target.find('%'); at != std::string_view::npos; at = target.find('%', at + 1))
    if (target.substr(at + 1, 2) == "00") return Refuse(400, "the request's path holds %00", end);
  const bool http11 = version == "HTTP/1.1";
  if (!http11 && version != "HTTP/1.0") {
    if (version.size() == 8 && version.starts_with("HTTP/") && std::isdigit(static_cast<unsigned char>(version[5])) &&
        version[6] == '.' && std::isdigit(static_cast<unsigned char>(version[7])))
      return Refuse(505, "only HTTP/1.0 and HTTP/1.1 are answered here", end);
    return Refuse(400, "the request line is not METHOD /path HTTP/1.1", end);
  }

  int lengths = 0, hosts = 0, encodings = 0;
  bool body = false, chunked_only = true;
  while (!head.empty()) {
    if (!NextLine(head, line)) return Refuse(400, "a stray CR in a header", end);
    if (line.empty()) break;
    if (line.front() == ' ' || line.front() == '\t') return Refuse(400, "a folded header line", end);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !Token(line.substr(0, colon)))
      return Refuse(400, "a malformed header line", end);
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(), [](char c) {
          const auto u = static_cast<unsigned char>(c);
          return (u < 0x20 && u != '\t') || u == 0x7F;
        }))
      return Refuse(400, "a control character in a header", end);
    if (SameWord(name, "Content-Length")) {
      ++lengths;
      if (value.empty() || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Refuse(400, "a malformed Content-Length", end);
      body = body || value.find_first_not_of('0') != std::string_view::npos;
    } else if (SameWord(name, "Transfer-Encoding")) {
      ++encodings;
      chunked_only = chunked_only && SameWord(value, "chunked");
      body = true;
    } else if (SameWord(name, "Host")) {
      ++hosts;
    }
  }
  if (lengths > 1) return Refuse(400, "more than one Content-Length", end);
  if (lengths > 0 && encodings > 0) return Refuse(400, "Content-Length and Transfer-Encoding together", end);
  if (encodings > 1 || !chunked_only) return Refuse(400, "a Transfer-Encoding other than chunked", end);
  if (hosts > 1 || (http11 && hosts == 0)) return Refuse(400, "an HTTP/1.1 request needs exactly one Host", end);
  if (method != "GET" && method != "HEAD") return Refuse(405, "only GET and HEAD are answered here", end);
  if (body) return Refuse(400, "a GET or HEAD request carries no body here", end);
  return {HeadVerdict::kAccept, 0, "", end};
}

std::string ClientGroup(std::string_view address) {
  const std::string text(address);
  in6_addr v6{};
  if (::inet_pton(AF_INET6, text.c_str(), &v6) != 1) return text;
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    char v4[INET_ADDRSTRLEN];
    return ::inet_ntop(AF_INET, &v6.s6_addr[12], v4, sizeof v4) ? v4 : text;
  }
  std::fill(v6.s6_addr + 8, v6.s6_addr + 16, 0);
  char out[INET6_ADDRSTRLEN];
  return ::inet_ntop(AF_INET6, &v6, out, sizeof out) ? std::string(out) + "/64" : text;
}

std::string PeerAddress(const sockaddr* a) {
  char text[INET6_ADDRSTRLEN] = "?";
  if (a && a->sa_family == AF_INET)
    return ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
  if (a && a->sa_family == AF_INET6)
    return ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
  return "unix";
}

int RateLimit::Take(const std::string& group, double now) {
  if (rate_ <= 0) return 0;
  std::lock_guard lock(m_);
  auto it = index_.find(group);
  if (it == index_.end()) {
    if (index_.size() >= capacity_ && !order_.empty()) {
      index_.erase(order_.back().group);
      order_.pop_back();
    }
    order_.push_front({group, TokenBucket(rate_, rate_, now)});
    it = index_.emplace(group, order_.begin()).first;
  } else {
    order_.splice(order_.begin(), order_, it->second);
  }
  return static_cast<int>(std::ceil(it->second->tokens.Take(now)));
}

std::size_t RateLimit::Size() {
  std::lock_guard lock(m_);
  return index_.size();
}

}  // namespace mirelune::web
