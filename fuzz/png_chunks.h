// PNG chunks by hand, for the card-report fuzz target and the card-file tests:
// any length field, type and data, with a right checksum.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

namespace mirelune::png_chunks {

inline const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

inline std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::uint32_t Crc(const char* data, std::size_t size) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

// A chunk whose length field says `declared` (its real length unless given).
inline std::string Chunk(const std::string& type, const std::string& data, std::int64_t declared = -1) {
  const std::string body = type + data;
  return Be32(static_cast<std::uint32_t>(declared < 0 ? static_cast<std::int64_t>(data.size()) : declared)) + body +
         Be32(Crc(body.data(), body.size()));
}

// An 8-bit RGB picture's header.
inline std::string Ihdr(std::uint32_t width, std::uint32_t height) {
  return Chunk("IHDR", Be32(width) + Be32(height) + std::string("\x08\x02\0\0\0", 5));
}

// An uncompressed international text.
inline std::string Itxt(const std::string& key, const std::string& text) {
  return Chunk("iTXt", key + std::string("\0\0\0\0\0", 5) + text);
}

inline std::string Deflated(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
            static_cast<uLong>(text.size()), 9);
  return out.substr(0, size);
}

// Each whole chunk's checksum set to match its type and data (from byte 8 on), so
// that a fuzzer's mutation reaches behind the first mutated chunk.
inline void FixChecksums(std::string& png) {
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(png.data() + at);
    const std::size_t length = std::size_t{p[0]} << 24 | std::size_t{p[1]} << 16 | std::size_t{p[2]} << 8 | p[3];
    if (length > png.size() - at - 12) return;
    png.replace(at + 8 + length, 4, Be32(Crc(png.data() + at + 4, length + 4)));
    at += 12 + length;
  }
}

// A compressed text.
inline std::string Ztxt(const std::string& key, const std::string& text) {
  return Chunk("zTXt", key + std::string("\0\0", 2) + Deflated(text));
}

}  // namespace mirelune::png_chunks
