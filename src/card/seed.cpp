// seed.cpp — the names become the seed; the generator is reset and reseeded.
#include "card/card.h"
#include "surface/text.h"

namespace mirelune {
namespace {

constexpr std::size_t kMaxNameChars = 100;

// Windows-1252 bytes 0x80..0x9F and the characters they hold.
constexpr char32_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

}  // namespace

int AnsiCode(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<int>(ch);
  for (int k = 0; k < 32; ++k)
    if (kHigh[k] == ch) return 0x80 + k;
  return '?';
}

std::size_t CharCount(const std::string& utf8) {
  std::u32string u;
  DecodeUtf8(utf8, &u);
  return u.size();
}

namespace {

// Sum of the Windows-1252 codes and the character count of the joined names.
struct Joined {
  std::u32string chars;
  double code_sum = 0;
};

Joined Join(const std::string& friend_utf8, const std::string& own_utf8) {
  Joined j;
  DecodeUtf8(friend_utf8 + own_utf8, &j.chars);
  for (char32_t c : j.chars) j.code_sum += AnsiCode(c);
  return j;
}

double SeedOf(const Joined& j) {
  const double n = static_cast<double>(j.chars.size());
  const double sum = j.code_sum + n * n;  // each pass of the loop adds the length once
  return 4396645 + sum * n;
}

void Seed(State& s) {
  const Joined joined = Join(s.tt, s.t);
  s.dolz = static_cast<double>(joined.chars.size());
  // The table has room for 100 codes; the seed needs only their sum.
  for (std::size_t k = 1; k <= joined.chars.size() && k <= 100; ++k)
    s.codes[k] = static_cast<std::int16_t>(AnsiCode(joined.chars[k - 1]));
  if (!joined.chars.empty()) s.znak = EncodeUtf8(joined.chars.back());
  s.seed = SeedOf(joined);
  s.rng.Rnd(-1);
  s.rng.Randomize(s.seed);
}

std::string AskName(State& s, const std::string& first_line, int y_twips) {
  for (;;) {
    std::string name = s.host ? s.host->InputBox(first_line + "\r" + s.t2, "", 500 / 15, y_twips / 15) : "";
    if (CharCount(name) <= kMaxNameChars) return name;
  }
}

}  // namespace

double SeedFromNames(const std::string& friend_utf8, const std::string& own_utf8) {
  return SeedOf(Join(friend_utf8, own_utf8));
}

void SetNamesAndSeed(State& s, const std::string& friend_utf8, const std::string& own_utf8) {
  s.tt = friend_utf8;
  s.t = own_utf8;
  Seed(s);
}

void AskNamesAndSeed(State& s) {
  s.tt = AskName(s, s.t3, 3000);
  s.t = AskName(s, s.t1, 6000);
  Seed(s);
}

void SeedNewImage(State& s) {
  if (s.tekst == 0) s.rng.Randomize(s.host ? s.host->Timer() : 0);
}

}  // namespace mirelune
