#include "base/utf8.h"

namespace mirelune {

bool DecodeUtf8(std::string_view s, std::u32string* out) {
  bool ok = true;
  out->clear();
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool good = len > 0 && i + len <= s.size();
    for (int k = 1; good && k < len; ++k) {
      const unsigned char c = static_cast<unsigned char>(s[i + k]);
      if ((c >> 6) != 2) good = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (good) {
      // Overlong forms, surrogates and values past U+10FFFF are malformed too.
      static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) good = false;
    }
    if (!good) {
      ok = false;
      out->push_back(0xFFFD);
      ++i;
      continue;
    }
    out->push_back(cp);
    i += len;
  }
  return ok;
}

std::string EncodeUtf8(char32_t c) {
  std::string z;
  if (c < 0x80) {
    z.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    z.push_back(static_cast<char>(0xC0 | (c >> 6)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    z.push_back(static_cast<char>(0xE0 | (c >> 12)));
    z.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    z.push_back(static_cast<char>(0xF0 | (c >> 18)));
    z.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return z;
}

namespace {

// Windows-1252 bytes 0x80..0x9F and the characters they hold.
constexpr char32_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

}  // namespace

int Windows1252Code(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<int>(ch);
  for (int k = 0; k < 32; ++k)
    if (kHigh[k] == ch) return 0x80 + k;
  return -1;
}

}  // namespace mirelune
