// seed.cpp — the names become the seed; the generator is reset and reseeded.
#include <cstdint>

#include "base/utf8.h"
#include "card/card.h"

namespace mirelune {

// The code a character adds to the seed. A character Windows-1252 holds counts by
// its code there, as it always has, so those cards never change. Any other
// character of the Basic Multilingual Plane counts by its code point (Cyrillic
// "Н" 1053, "李" 26446), so names in other scripts give distinct cards; a
// character beyond it (most emoji) counts as "?", 63.
long SeedCode(char32_t ch) {
  const int code = Windows1252Code(ch);
  if (code >= 0) return code;
  return ch <= 0xFFFF ? static_cast<long>(ch) : '?';
}

std::size_t CharCount(const std::string& utf8) {
  std::u32string u;
  DecodeUtf8(utf8, &u);
  return u.size();
}

namespace {

// Sum of the codes and the character count of the joined names.
struct Joined {
  std::u32string chars;
  std::int64_t code_sum = 0;  // up to 200 * 65535
};

Joined Join(const std::string& friend_utf8, const std::string& own_utf8) {
  Joined j;
  DecodeUtf8(friend_utf8 + own_utf8, &j.chars);
  for (char32_t c : j.chars) j.code_sum += SeedCode(c);
  return j;
}

// 4396645 + n * (sum of codes) + n^3, at most about 2.6e9 for 200 characters: whole
// numbers, exact in 64 bits and in the double the generator takes.
double SeedOf(const Joined& j) {
  const auto n = static_cast<std::int64_t>(j.chars.size());
  const std::int64_t sum = j.code_sum + n * n;  // each pass of the loop adds the length once
  return static_cast<double>(4396645 + sum * n);
}

}  // namespace

double SeedFromNames(const std::string& friend_utf8, const std::string& own_utf8) {
  return SeedOf(Join(friend_utf8, own_utf8));
}

void SeedGenerator(Generator& g, double seed) {
  g.Restart(-1);
  g.FoldIn(seed);
}

}  // namespace mirelune
