// Names to seed: any bytes, any length. For names that are text (what the window
// and the command line let through) swapping them gives the same seed.
#include "base/utf8.h"
#include "card/card.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  const auto f = fuzz::Fields(data, size, '\0', 2);
  const std::string a = f[0], b = f.size() > 1 ? f[1] : "";
  const double seed = SeedFromNames(a, b);
  fuzz::Require(seed == seed);  // never NaN
  std::u32string ignored;
  if (DecodeUtf8(a, &ignored) && DecodeUtf8(b, &ignored)) fuzz::Require(seed == SeedFromNames(b, a));
  return 0;
}
