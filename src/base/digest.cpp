#include "base/digest.h"

#include <nettle/sha2.h>

namespace mirelune {

// Nettle: a small library, so every card's process loads it cheaply (a card's
// report carries the digests of its face files).
std::string Sha256Hex(const void* bytes, std::size_t size) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, size, static_cast<const std::uint8_t*>(bytes));
  std::uint8_t md[SHA256_DIGEST_SIZE];
  sha256_digest(&ctx, sizeof md, md);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t b : md) {
    hex.push_back(kHex[b >> 4]);
    hex.push_back(kHex[b & 15]);
  }
  return hex;
}

}  // namespace mirelune
