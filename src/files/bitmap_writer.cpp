// bitmap_writer.cpp — BMP and PNG files of a raster.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/files.h"

namespace mirelune {
namespace {

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(x & 0xFF);
  v.push_back((x >> 8) & 0xFF);
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

bool EndsWithPng(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".png";
}

struct PngBuffer {
  std::vector<std::uint8_t>* out;
};

void PngWrite(png_structp png, png_bytep data, png_size_t len) {
  auto* buf = static_cast<PngBuffer*>(png_get_io_ptr(png));
  buf->out->insert(buf->out->end(), data, data + len);
}
void PngFlush(png_structp) {}

bool EncodePng(const Image& img, std::vector<std::uint8_t>* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(img.width) * 3);
  PngBuffer buf{out};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &buf, PngWrite, PngFlush);
  png_set_IHDR(png, info, img.width, img.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      const std::uint32_t c = img.at(x, y);
      row[x * 3] = c & 0xFF;
      row[x * 3 + 1] = (c >> 8) & 0xFF;
      row[x * 3 + 2] = (c >> 16) & 0xFF;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const Image& img) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(img.width) * 3 + 3) & ~3u;
  const std::uint32_t data = stride * static_cast<std::uint32_t>(img.height);
  std::vector<std::uint8_t> v;
  v.reserve(54 + data);
  v.push_back('B');
  v.push_back('M');
  Put32(v, 54 + data);
  Put32(v, 0);
  Put32(v, 54);
  Put32(v, 40);  // BITMAPINFOHEADER
  Put32(v, static_cast<std::uint32_t>(img.width));
  Put32(v, static_cast<std::uint32_t>(img.height));  // positive: bottom-up
  Put16(v, 1);
  Put16(v, 24);
  Put32(v, 0);  // BI_RGB
  Put32(v, data);
  Put32(v, 3780);  // 96 dpi
  Put32(v, 3780);
  Put32(v, 0);
  Put32(v, 0);
  for (int y = img.height - 1; y >= 0; --y) {
    for (int x = 0; x < img.width; ++x) {
      const std::uint32_t c = img.at(x, y);
      v.push_back((c >> 16) & 0xFF);  // blue first
      v.push_back((c >> 8) & 0xFF);
      v.push_back(c & 0xFF);
    }
    for (std::uint32_t k = static_cast<std::uint32_t>(img.width) * 3; k < stride; ++k) v.push_back(0);
  }
  return v;
}

Result SaveImage(const Image& img, const std::filesystem::path& path) {
  std::vector<std::uint8_t> bytes;
  if (EndsWithPng(path)) {
    if (!EncodePng(img, &bytes)) return Result::Failed("cannot encode PNG for " + path.string());
  } else {
    bytes = EncodeBmp(img);
  }
  return WriteFileSafely(path, bytes);
}

}  // namespace mirelune
