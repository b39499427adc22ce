// digest.h — SHA-256 in lower-case hex (face files in a card's report, batch
// cards and row keys).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mirelune {

std::string Sha256Hex(const void* bytes, std::size_t size);

}  // namespace mirelune
