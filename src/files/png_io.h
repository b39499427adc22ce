// png_io.h — libpng's callbacks for the encoders in this folder: bytes appended
// to a Bytes, and a failure's message kept for the caller.
#pragma once

#include <png.h>

#include <cstdio>
#include <new>

#include "raster/surface.h"

namespace mirelune::png_io {

// What a libpng (or libjpeg) call reported before it gave up: a plain buffer, so
// that keeping the message allocates nothing inside the library's callbacks.
struct Failure {
  char message[200] = "";
  void Keep(const char* text) { std::snprintf(message, sizeof message, "%s", text ? text : "unknown error"); }
};

// The io pointer is the Bytes being written.
inline void Write(png_structp png, png_bytep data, png_size_t len) {
  bool full = false;
  try {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + len);
  } catch (const std::bad_alloc&) {
    full = true;  // no exception may cross libpng's C frames
  }
  if (full) png_error(png, "out of memory");
}
inline void Flush(png_structp) {}

// libpng reports through longjmp; the error pointer is the Failure that keeps its message.
inline void Fail(png_structp png, png_const_charp message) {
  static_cast<Failure*>(png_get_error_ptr(png))->Keep(message);
  png_longjmp(png, 1);
}
inline void Warn(png_structp, png_const_charp) {}

}  // namespace mirelune::png_io
