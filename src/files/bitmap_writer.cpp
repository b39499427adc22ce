// bitmap_writer.cpp — BMP, PNG and JPEG files of a raster.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "files/files.h"

namespace mirelune {
namespace {

void Put16(std::uint8_t* p, std::uint32_t x) {
  p[0] = x & 0xFF;
  p[1] = (x >> 8) & 0xFF;
}
void Put32(std::uint8_t* p, std::uint32_t x) {
  Put16(p, x & 0xFFFF);
  Put16(p + 2, x >> 16);
}

// One row of the raster (0x00BBGGRR) as R, G, B bytes.
void RgbRow(const Image& img, int y, std::uint8_t* row) {
  const std::uint32_t* src = img.pixels.data() + static_cast<std::size_t>(y) * img.width;
  for (int x = 0; x < img.width; ++x) {
    const std::uint32_t c = src[x];
    row[x * 3] = c & 0xFF;
    row[x * 3 + 1] = (c >> 8) & 0xFF;
    row[x * 3 + 2] = (c >> 16) & 0xFF;
  }
}

// 96 dots per inch, in dots per metre as BMP and PNG state it.
constexpr std::uint32_t kDotsPerMetre = 3780;

void PngWrite(png_structp png, png_bytep data, png_size_t len) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + len);
}
void PngFlush(png_structp) {}

struct PngReadCursor {
  const std::vector<std::uint8_t>* in;
  std::size_t at = 0;
};

void PngRead(png_structp png, png_bytep data, png_size_t len) {
  auto* c = static_cast<PngReadCursor*>(png_get_io_ptr(png));
  if (len > c->in->size() - c->at) png_error(png, "the file ends too early");
  std::memcpy(data, c->in->data() + c->at, len);
  c->at += len;
}

// libpng reports through longjmp; keep its message for the caller.
void PngFail(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}
void PngWarn(png_structp, png_const_charp) {}

png_text TextChunk(int compression, const std::string& key, const std::string& text) {
  png_text t{};
  t.compression = compression;
  t.key = const_cast<char*>(key.c_str());
  t.text = const_cast<char*>(text.c_str());
  if (compression == PNG_TEXT_COMPRESSION_NONE) t.text_length = text.size();
  else t.itxt_length = text.size();
  return t;
}

}  // namespace

NameFormat FormatOfName(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  if (ext.empty()) return NameFormat::kNone;
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".bmp") return NameFormat::kBmp;
  if (ext == ".png") return NameFormat::kPng;
  if (ext == ".jpg" || ext == ".jpeg") return NameFormat::kJpeg;
  return NameFormat::kUnknown;
}

bool EncodePng(const Image& img, std::vector<std::uint8_t>* out, const PngText* text) {
  std::string failure;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, PngFail, PngWarn);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(img.width) * 3);
  // Cards are flat areas and one-pixel figures, which zlib's fastest level packs
  // well unfiltered: over eight cards 18 ms and 376 kB a card, against 98 ms and
  // 403 kB with libpng's default (level 6, adaptive filters).
  out->reserve(out->size() + img.pixels.size());
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, PngWrite, PngFlush);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, img.width, img.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, kDotsPerMetre, kDotsPerMetre, PNG_RESOLUTION_METER);
  std::vector<png_text> chunks;
  if (text) {
    static const std::string kSoftware = "Software", kTitle = "Title", kDescription = "Description";
    if (!text->software.empty()) chunks.push_back(TextChunk(PNG_TEXT_COMPRESSION_NONE, kSoftware, text->software));
    if (!text->title.empty()) chunks.push_back(TextChunk(PNG_ITXT_COMPRESSION_NONE, kTitle, text->title));
    if (!text->description.empty())
      chunks.push_back(TextChunk(PNG_ITXT_COMPRESSION_NONE, kDescription, text->description));
    for (const auto& [key, value] : text->keyed) chunks.push_back(TextChunk(PNG_ITXT_COMPRESSION_NONE, key, value));
    if (!chunks.empty()) png_set_text(png, info, chunks.data(), static_cast<int>(chunks.size()));
  }
  png_write_info(png, info);
  for (int y = 0; y < img.height; ++y) {
    RgbRow(img, y, row.data());
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool ReadPngText(const std::vector<std::uint8_t>& bytes, std::vector<std::pair<std::string, std::string>>* text,
                 std::string* error) {
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
    if (error) *error = "not a PNG file";
    return false;
  }
  std::string failure;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, PngFail, PngWarn);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  PngReadCursor cursor{&bytes};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    if (error) *error = "a broken PNG file (" + failure + ")";
    return false;
  }
  png_set_read_fn(png, &cursor, PngRead);
  // The whole file, so that text after the picture is found too.
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_textp chunks = nullptr;
  const int count = png_get_text(png, info, &chunks, nullptr);
  text->clear();
  for (int k = 0; k < count; ++k) {
    const std::size_t len =
        chunks[k].compression >= PNG_ITXT_COMPRESSION_NONE ? chunks[k].itxt_length : chunks[k].text_length;
    text->emplace_back(chunks[k].key, std::string(chunks[k].text ? chunks[k].text : "", len));
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

Bytes EncodeJpeg(const Image& img) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);  // only memory can fail here; libjpeg then exits
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(img.width);
  cinfo.image_height = static_cast<JDIMENSION>(img.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kJpegQuality, TRUE);
  for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  cinfo.optimize_coding = TRUE;
  cinfo.density_unit = 1;  // dots per inch
  cinfo.X_density = cinfo.Y_density = 96;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(img.width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    RgbRow(img, static_cast<int>(cinfo.next_scanline), row.data());
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

Bytes EncodeBmp(const Image& img) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(img.width) * 3 + 3) & ~3u;
  const std::uint32_t data = stride * static_cast<std::uint32_t>(img.height);
  Bytes v(54 + static_cast<std::size_t>(data), 0);
  std::uint8_t* h = v.data();
  h[0] = 'B';
  h[1] = 'M';
  Put32(h + 2, 54 + data);
  Put32(h + 10, 54);
  Put32(h + 14, 40);  // BITMAPINFOHEADER
  Put32(h + 18, static_cast<std::uint32_t>(img.width));
  Put32(h + 22, static_cast<std::uint32_t>(img.height));  // positive: bottom-up
  Put16(h + 26, 1);
  Put16(h + 28, 24);
  Put32(h + 30, 0);  // BI_RGB
  Put32(h + 34, data);
  Put32(h + 38, kDotsPerMetre);
  Put32(h + 42, kDotsPerMetre);
  for (int y = 0; y < img.height; ++y) {
    std::uint8_t* dst = h + 54 + static_cast<std::size_t>(img.height - 1 - y) * stride;
    const std::uint32_t* src = img.pixels.data() + static_cast<std::size_t>(y) * img.width;
    for (int x = 0; x < img.width; ++x) {
      const std::uint32_t c = src[x];
      dst[x * 3] = (c >> 16) & 0xFF;  // blue first
      dst[x * 3 + 1] = (c >> 8) & 0xFF;
      dst[x * 3 + 2] = c & 0xFF;
    }
  }
  return v;
}

Bytes EncodeImage(const Image& img, ImageFormat format, const PngText* text) {
  switch (format) {
    case ImageFormat::kBmp: return EncodeBmp(img);
    case ImageFormat::kJpeg: return EncodeJpeg(img);
    case ImageFormat::kPng: break;
  }
  std::vector<std::uint8_t> png;
  if (!EncodePng(img, &png, text)) return {};
  return Bytes(png.begin(), png.end());
}

Result SaveImage(const Image& img, const std::filesystem::path& path, const PngText* text) {
  if (FormatOfName(path) != NameFormat::kPng) return WriteFileSafely(path, EncodeBmp(img));
  std::vector<std::uint8_t> bytes;
  if (!EncodePng(img, &bytes, text)) return Result::Failed("cannot encode PNG for " + path.string());
  return WriteFileSafely(path, bytes);
}

}  // namespace mirelune
