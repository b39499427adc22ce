// The command line's names: what its argument checks rest on. The parser itself
// lives in main() and cannot be reached from here; every name argument goes
// through DecodeUtf8 and the character count, which must agree and round-trip.
#include "base/utf8.h"
#include "card/card.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  for (const std::string& arg : fuzz::Fields(data, size, '\0', 64)) {
    std::u32string chars;
    if (!DecodeUtf8(arg, &chars)) continue;
    fuzz::Require(CharCount(arg) == chars.size());
    std::string again;
    for (char32_t c : chars) again += EncodeUtf8(c);
    fuzz::Require(again == arg);
    // Every code point seeds with a bounded, non-negative code.
    for (char32_t c : chars) {
      const long code = SeedCode(c);
      fuzz::Require(code >= 0 && code <= 0xFFFF);
    }
  }
  return 0;
}
