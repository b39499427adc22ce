// limits.h — what `serve` refuses before the HTTP library sees a request, and
// how it counts clients: the strict check of a request head, the address group a
// client is counted in, and the rate limit's bounded table.
//
//   HeadCheck h = CheckRequestHead(peeked);    // the bytes so far, not consumed
//   if (h.verdict == HeadVerdict::kIncomplete) wait for more;
//   else if (h.status != 0) answer h.status with h.reason, and close;
//   else hand the connection to the library, which reads the same bytes.
//
//   RateLimit rate(30, 100000);                // 30 cards a minute, 100,000 clients kept
//   int wait = rate.Take(ClientGroup(address), now_seconds);   // 0: go ahead
#pragma once

#ifdef _WIN32
#include <winsock2.h>  // sockaddr
#else
#include <sys/socket.h>
#endif

#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/loopback.h"  // IsLoopbackHost
#include "base/rate_limit.h"

namespace mirelune::web {

// The longest request head taken, request line and headers together: twice what
// a browser sends with a long query, well inside what the library's connection
// memory holds. Past it the answer is 431.
inline constexpr std::size_t kMaxRequestHead = 8 * 1024;

enum class HeadVerdict { kIncomplete, kAccept, kRefuse };
struct HeadCheck {
  HeadVerdict verdict = HeadVerdict::kIncomplete;
  int status = 0;            // with kRefuse: 400, 405, 431 or 505
  std::string reason;        // with kRefuse: one line for the answer's body
  std::size_t head_size = 0; // with kAccept and kRefuse: bytes up to the blank line (0 when too long)
};
// Reads the start of a connection's bytes. Refused, each at once: a head over
// kMaxRequestHead; NUL anywhere; a request line that is not METHOD /path HTTP/1.x;
// `%00` in the path; a folded or malformed header line; more than one
// Content-Length or Host; Content-Length with Transfer-Encoding; a Transfer-Encoding
// other than chunked; HTTP/1.1 without Host; a body (nothing here reads one);
// a method other than GET and HEAD (405).
HeadCheck CheckRequestHead(std::string_view bytes);

// The group a client is counted in, for the connection cap and the rate limit:
// an IPv4 address as it is, an IPv6 address by its /64 (one subscriber's
// network: "2001:db8:1:2::/64"), an IPv4-mapped IPv6 address as the IPv4 one.
// Text that is no address is its own group.
std::string ClientGroup(std::string_view address);
// The same for a peer's socket address; "unix" for a Unix socket's peer.
std::string PeerAddress(const sockaddr* a);

// Cards a client group may have made a minute: a bucket of `per_minute` tokens
// refilled evenly. At most `capacity` groups are kept; past that the one seen
// least recently is forgotten, so a flood of new addresses forgets only the
// quietest clients, never everyone at once.
class RateLimit {
 public:
  RateLimit(int per_minute, std::size_t capacity) : rate_(per_minute), capacity_(capacity) {}
  // 0 when the group may have a card now (and a token is spent), else the whole
  // seconds until it may. `now` is in seconds on a steady clock.
  int Take(const std::string& group, double now);
  std::size_t Size();

 private:
  struct Bucket {
    std::string group;
    TokenBucket tokens;
  };
  int rate_;
  std::size_t capacity_;
  std::mutex m_;
  std::list<Bucket> order_;  // most recently seen first
  std::unordered_map<std::string, std::list<Bucket>::iterator> index_;
};

}  // namespace mirelune::web
