// utf8.h — text as bytes and as characters: UTF-8 both ways, and the
// Windows-1252 code page the seed counts in.
//
//   std::u32string chars;
//   if (!DecodeUtf8(name, &chars)) refuse(name);   // malformed bytes became U+FFFD
//   int code = Windows1252Code(U'\u20AC');         // 0x80; -1 when the page lacks it
#pragma once

#include <string>
#include <string_view>

namespace mirelune {

// The Windows-1252 code of a character, or -1 when that code page cannot hold it.
int Windows1252Code(char32_t c);

// Decodes UTF-8; malformed bytes give U+FFFD. Returns false if any were malformed.
bool DecodeUtf8(std::string_view s, std::u32string* out);
std::string EncodeUtf8(char32_t c);

}  // namespace mirelune
