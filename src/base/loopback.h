// loopback.h — whether a host is this very machine.
#pragma once

#include <string_view>

namespace mirelune {

// 127.0.0.0/8, ::1 (also in brackets), ::ffff:127.x.y.z and "localhost": nothing
// sent there leaves the machine.
bool IsLoopbackHost(std::string_view host);

}  // namespace mirelune
