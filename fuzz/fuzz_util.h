// Helpers of the fuzz targets: cutting the input into fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mirelune::fuzz {

// The input cut at every `sep`, at most `max` fields (the last takes the rest).
inline std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size, char sep, std::size_t max) {
  std::vector<std::string> out(1);
  for (std::size_t k = 0; k < size; ++k) {
    if (static_cast<char>(data[k]) == sep && out.size() < max) {
      out.emplace_back();
    } else {
      out.back() += static_cast<char>(data[k]);
    }
  }
  return out;
}

// Stops the run with a crash libFuzzer reports, when a promise is broken.
inline void Require(bool promise) {
  if (!promise) __builtin_trap();
}

}  // namespace mirelune::fuzz
