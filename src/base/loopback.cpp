// loopback.cpp — loopback addresses.
#include "base/loopback.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <string>

namespace mirelune {

bool IsLoopbackHost(std::string_view host) {
  if (host == "localhost") return true;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string h(host);
  in_addr v4{};
  in6_addr v6{};
  if (::inet_pton(AF_INET, h.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  return ::inet_pton(AF_INET6, h.c_str(), &v6) == 1 &&
         (IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127));
}

}  // namespace mirelune
