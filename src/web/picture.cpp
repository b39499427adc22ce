// picture.cpp — the card at a preview's width (Cairo's filtered downscale) and
// as lossless WebP (libwebp).
#include <cairo.h>
#include <webp/encode.h>

#include <memory>

#include "web/web.h"

namespace mirelune::web {

int ScaledHeight(int width, int height, int to_width) {
  const long h = (static_cast<long>(height) * to_width + width / 2) / width;
  return h < 1 ? 1 : static_cast<int>(h);
}

Image ScaleToWidth(const Image& img, int to_width) {
  if (to_width >= img.width || img.width <= 0 || to_width < 1) return img;
  const int to_height = ScaledHeight(img.width, img.height, to_width);
  // Cairo's RGB24 is 0x00RRGGBB in a native word; ours is 0x00BBGGRR.
  const auto swap = [](std::uint32_t p) { return (p & 0x00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu); };
  const int from_stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, img.width);
  std::vector<std::uint32_t> from(static_cast<std::size_t>(from_stride / 4) * img.height);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) from[static_cast<std::size_t>(y) * (from_stride / 4) + x] = swap(img.at(x, y));
  using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
  const SurfacePtr source(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(from.data()),
                                                              CAIRO_FORMAT_RGB24, img.width, img.height, from_stride),
                          &cairo_surface_destroy);
  const SurfacePtr target(cairo_image_surface_create(CAIRO_FORMAT_RGB24, to_width, to_height), &cairo_surface_destroy);
  const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(target.get()), &cairo_destroy);
  cairo_scale(cr.get(), static_cast<double>(to_width) / img.width, static_cast<double>(to_height) / img.height);
  cairo_set_source_surface(cr.get(), source.get(), 0, 0);
  cairo_pattern_t* pattern = cairo_get_source(cr.get());
  // GOOD averages every source pixel under a target pixel when shrinking; PAD
  // keeps the edges from fading into the transparent outside.
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr.get());
  cairo_surface_flush(target.get());
  Image out;
  if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return out;  // no memory: an empty picture, which fails to encode
  out.width = to_width;
  out.height = to_height;
  out.pixels.resize(static_cast<std::size_t>(to_width) * to_height);
  const unsigned char* data = cairo_image_surface_get_data(target.get());
  const int stride = cairo_image_surface_get_stride(target.get());
  for (int y = 0; y < to_height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < to_width; ++x) out.pixels[static_cast<std::size_t>(y) * to_width + x] = swap(row[x] & 0xFFFFFFu);
  }
  return out;
}

Result<Bytes> EncodeWebp(const Image& img) {
  if (img.width <= 0 || img.height <= 0 || img.width > WEBP_MAX_DIMENSION || img.height > WEBP_MAX_DIMENSION)
    return Error{"a WebP picture needs 1 to 16383 pixels a side"};
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(img.width) * img.height * 3);
  for (std::size_t k = 0; k < img.pixels.size(); ++k) {
    rgb[3 * k] = static_cast<std::uint8_t>(img.pixels[k]);
    rgb[3 * k + 1] = static_cast<std::uint8_t>(img.pixels[k] >> 8);
    rgb[3 * k + 2] = static_cast<std::uint8_t>(img.pixels[k] >> 16);
  }
  // Lossless, with little effort spent on the smallest file: a card's noise
  // hardly compresses further, and the default effort costs a second a card.
  WebPConfig config;
  if (!WebPConfigInit(&config) || !WebPConfigLosslessPreset(&config, 1)) return Error{"libwebp cannot be set up"};
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) return Error{"libwebp cannot be set up"};
  picture.use_argb = 1;
  picture.width = img.width;
  picture.height = img.height;
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  const bool ok = WebPPictureImportRGB(&picture, rgb.data(), img.width * 3) && WebPEncode(&config, &picture);
  WebPPictureFree(&picture);
  if (!ok) {
    WebPMemoryWriterClear(&writer);
    return Error{"libwebp could not encode the card"};
  }
  Bytes bytes(writer.mem, writer.mem + writer.size);
  WebPMemoryWriterClear(&writer);
  return bytes;
}

std::string PictureLibraries() {
  const int webp = WebPGetEncoderVersion();
  return std::string("cairo ") + cairo_version_string() + ", libwebp " + std::to_string(webp >> 16) + "." +
         std::to_string((webp >> 8) & 0xFF) + "." + std::to_string(webp & 0xFF);
}

}  // namespace mirelune::web
