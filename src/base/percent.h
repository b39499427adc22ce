// percent.h — percent-encoding, byte by byte.
//
//   PercentEncode("Mary & Bob")            // "Mary%20%26%20Bob": a URL's query value
//   PercentEncode(path, "-._~@/")          // letters, digits and these stay as they are
#pragma once

#include <string>
#include <string_view>

namespace mirelune {

// Every byte but ASCII letters, digits and those in `kept` as %XX (upper-case hex).
// The default keeps RFC 3986's unreserved characters.
std::string PercentEncode(std::string_view text, std::string_view kept = "-._~");

}  // namespace mirelune
