// animation_writer.cpp — GIF (giflib), animated WebP (libwebp's animation
// encoder) and APNG (libpng with the animation chunks added) of a card's frames.
#include <gif_lib.h>
#include <png.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "files/animation.h"
#include "files/png_io.h"

namespace mirelune {
namespace {

// Frames that build the card, within what the format can hold: the first whole,
// every other inside the picture.
Result<> CheckFrames(const Animation& a, int most, const char* format) {
  const std::string why = std::string("cannot encode ") + format + ": ";
  const int w = a.card.width, h = a.card.height;
  if (a.frames.empty()) return Error{why + "an animation needs at least one frame"};
  if (w < 1 || h < 1 || w > most || h > most || a.card.pixels.size() != static_cast<std::size_t>(w) * h)
    return Error{why + "a side must be 1 to " + std::to_string(most) + " pixels"};
  const PixelBox& first = a.frames.front().box;
  if (first.x0 != 0 || first.y0 != 0 || first.x1 != w || first.y1 != h)
    return Error{why + "the first frame must be the whole picture"};
  for (const Frame& f : a.frames)
    if (f.box.empty() || f.box.x0 < 0 || f.box.y0 < 0 || f.box.x1 > w || f.box.y1 > h ||
        f.part.width != f.box.width() || f.part.height != f.box.height() ||
        f.part.pixels.size() != static_cast<std::size_t>(f.part.width) * f.part.height)
      return Error{why + "a frame lies outside the picture"};
  return {};
}

std::uint8_t Channel(std::uint32_t pixel, int c) { return static_cast<std::uint8_t>(pixel >> (8 * c)); }

// --- GIF ---

// How long a GIF shows the finished card before it starts painting.
constexpr int kGifCardCs = 100;
constexpr int kTransparent = 255;

int GifWrite(GifFileType* gif, const GifByteType* data, int len) {
  try {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + len);
  } catch (const std::bad_alloc&) {
    return 0;  // giflib reports a failed write
  }
  return len;
}

bool PutLoop(GifFileType* gif) {
  static const GifByteType kApplication[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType kForever[] = {1, 0, 0};  // sub-block 1: loop count 0
  return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, sizeof kApplication, kApplication) == GIF_OK &&
         EGifPutExtensionBlock(gif, sizeof kForever, kForever) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
}

// What one frame's quantising needs, kept from frame to frame.
struct GifScratch {
  std::vector<GifByteType> channels[3], index;  // the changed pixels: red, green, blue, their colour
  std::vector<std::size_t> where;               // their places in the box, row by row
  std::vector<std::uint32_t> cells;             // per 5-bit colour cell: red, green, blue sums and count
  std::vector<GifPixelType> raster;
  std::mutex* quantiser;  // held while giflib quantises, when the caller shares one
};

constexpr int kCellBits = 5;  // as giflib's quantiser counts colours

int CellOf(GifByteType r, GifByteType g, GifByteType b) {
  return (r >> (8 - kCellBits)) << (2 * kCellBits) | (g >> (8 - kCellBits)) << kCellBits | b >> (8 - kCellBits);
}

// Each colour of the map the mean of the pixels given it.
void CentreColours(const GifScratch& s, GifColorType* map) {
  std::uint64_t sums[256][4] = {};
  for (std::size_t k = 0; k < s.index.size(); ++k) {
    for (int c = 0; c < 3; ++c) sums[s.index[k]][c] += s.channels[c][k];
    ++sums[s.index[k]][3];
  }
  for (int i = 0; i < 256; ++i)
    if (const std::uint64_t n = sums[i][3]) {
      const auto mean = [&](int c) { return static_cast<GifByteType>((sums[i][c] + n / 2) / n); };
      map[i] = {mean(0), mean(1), mean(2)};
    }
}

// giflib's palette, made true to the picture. giflib splits the colour box of the
// widest range, however few pixels it holds, and colours each box by the plain
// mean of its 5-bit colour cells: a card's pale greeting band among greens came
// out green, and a green card's first frame was off by 13.7 of 255 a channel on
// average. Each of three rounds puts every cell's pixels to the colour nearest
// the cell's mean and each colour to the mean of its pixels: 3.4, for about 50 ms
// more on a card.
constexpr int kRefineRounds = 3;

// Every cell's pixels to the colour nearest the cell's mean.
void NearestColours(GifScratch& s, const GifColorType* map, int colours) {
  s.cells.assign(std::size_t{4} << (3 * kCellBits), 0);
  for (std::size_t k = 0; k < s.index.size(); ++k) {
    std::uint32_t* cell = &s.cells[4 * CellOf(s.channels[0][k], s.channels[1][k], s.channels[2][k])];
    for (int c = 0; c < 3; ++c) cell[c] += s.channels[c][k];
    ++cell[3];
  }
  for (std::size_t at = 0; at < s.cells.size(); at += 4) {
    std::uint32_t* cell = &s.cells[at];
    if (!cell[3]) continue;
    const long r = cell[0] / cell[3], g = cell[1] / cell[3], b = cell[2] / cell[3];
    long best = -1;
    for (int i = 0; i < colours; ++i) {
      const long d = (r - map[i].Red) * (r - map[i].Red) + (g - map[i].Green) * (g - map[i].Green) +
                     (b - map[i].Blue) * (b - map[i].Blue);
      if (best < 0 || d < best) {
        best = d;
        cell[0] = static_cast<std::uint32_t>(i);  // the sums are spent: the cell keeps its colour
      }
    }
  }
  for (std::size_t k = 0; k < s.index.size(); ++k)
    s.index[k] = static_cast<GifByteType>(s.cells[4 * CellOf(s.channels[0][k], s.channels[1][k], s.channels[2][k])]);
}

void RefineColours(GifScratch& s, GifColorType* map, int colours) {
  CentreColours(s, map);
  for (int round = 0; round < kRefineRounds; ++round) {
    NearestColours(s, map, colours);
    CentreColours(s, map);
  }
}

// One frame over the one before: the pixels of its box that changed, in the
// colours giflib's quantiser chose for them alone, the rest of the box transparent.
bool PutGifFrame(GifFileType* gif, GifScratch& s, const Image* before, const Image& now, const PixelBox& box,
                 int delay_cs) {
  for (auto& channel : s.channels) channel.clear();
  s.where.clear();
  for (int y = box.y0; y < box.y1; ++y)
    for (int x = box.x0; x < box.x1; ++x)  // at least one pixel, for the quantiser
      if (!before || before->at(x, y) != now.at(x, y) || (s.where.empty() && y == box.y1 - 1 && x == box.x1 - 1)) {
        for (int c = 0; c < 3; ++c) s.channels[c].push_back(Channel(now.at(x, y), c));
        s.where.push_back(static_cast<std::size_t>(y - box.y0) * box.width() + (x - box.x0));
      }
  int colours = before ? kTransparent : 256;
  GifColorType map[256] = {};
  s.index.resize(s.where.size());
  std::unique_lock<std::mutex> one_at_a_time;
  if (s.quantiser) one_at_a_time = std::unique_lock(*s.quantiser);
  const int quantised = GifQuantizeBuffer(static_cast<unsigned>(s.where.size()), 1, &colours, s.channels[0].data(),
                                          s.channels[1].data(), s.channels[2].data(), s.index.data(), map);
  if (one_at_a_time) one_at_a_time.unlock();
  if (quantised != GIF_OK) {
    gif->Error = E_GIF_ERR_NOT_ENOUGH_MEM;
    return false;
  }
  RefineColours(s, map, colours);
  s.raster.assign(static_cast<std::size_t>(box.width()) * box.height(), kTransparent);
  for (std::size_t k = 0; k < s.where.size(); ++k) s.raster[s.where[k]] = s.index[k];
  const GraphicsControlBlock control{DISPOSE_DO_NOT, false, delay_cs, before ? kTransparent : NO_TRANSPARENT_COLOR};
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  ColorMapObject* colour_map = GifMakeMapObject(256, map);  // the image descriptor keeps a copy
  bool ok = colour_map && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_OK &&
            EGifPutImageDesc(gif, box.x0, box.y0, box.width(), box.height(), false, colour_map) == GIF_OK;
  for (int y = 0; ok && y < box.height(); ++y)
    ok = EGifPutLine(gif, s.raster.data() + static_cast<std::size_t>(y) * box.width(), box.width()) == GIF_OK;
  GifFreeMapObject(colour_map);
  if (!colour_map) gif->Error = E_GIF_ERR_NOT_ENOUGH_MEM;
  return ok;
}

// --- APNG ---

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A picture's rows, each behind PNG's filter byte 0 (none), deflated at zlib's
// fastest level, as a still card is: at 450 pixels 0.19 s and 1.13 MB a card,
// against 0.34 s and 1.00 MB at the default level.
bool Deflate(const Image& img, std::vector<std::uint8_t>& out) {
  std::vector<std::uint8_t> raw;
  raw.reserve(static_cast<std::size_t>(img.width * 3 + 1) * img.height);
  for (const std::uint32_t* p = img.pixels.data(); p < img.pixels.data() + img.pixels.size();) {
    raw.push_back(0);
    for (int x = 0; x < img.width; ++x, ++p)
      for (int c = 0; c < 3; ++c) raw.push_back(Channel(*p, c));
  }
  const std::size_t at = out.size();
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  out.resize(at + size);
  const bool ok = compress2(out.data() + at, &size, raw.data(), static_cast<uLong>(raw.size()), 1) == Z_OK;
  out.resize(at + size);
  return ok;
}


struct ApngChunk {
  png_byte type[5];
  std::vector<std::uint8_t> data;
};

// The libpng calls, apart from everything with a destructor: an error longjmps
// back here, past no C++ object.
struct ApngEncoding {
  const Image* card;
  const std::vector<ApngChunk>* chunks;  // acTL first
  std::uint8_t* row;
  png_structp png;
  png_infop info;
};

bool WriteApng(ApngEncoding* e) {
  if (setjmp(png_jmpbuf(e->png))) return false;
  const Image& card = *e->card;
  png_set_compression_level(e->png, 1);
  png_set_filter(e->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(e->png, e->info, card.width, card.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(e->png, e->info, 3780, 3780, PNG_RESOLUTION_METER);  // 96 dpi, as every card
  png_write_info(e->png, e->info);
  const ApngChunk& control = e->chunks->front();  // before the image data, as APNG wants it
  png_write_chunk(e->png, control.type, control.data.data(), control.data.size());
  for (int y = 0; y < card.height; ++y) {
    for (int x = 0; x < card.width; ++x)
      for (int c = 0; c < 3; ++c) e->row[x * 3 + c] = Channel(card.at(x, y), c);
    png_write_row(e->png, e->row);
  }
  // The last row closed the image data; the frames follow it.
  for (std::size_t k = 1; k < e->chunks->size(); ++k) {
    const ApngChunk& c = (*e->chunks)[k];
    png_write_chunk(e->png, c.type, c.data.data(), c.data.size());
  }
  png_write_end(e->png, nullptr);
  return true;
}

}  // namespace

std::optional<AnimationFormat> AnimationFormatOfName(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".gif") return AnimationFormat::kGif;
  if (ext == ".webp") return AnimationFormat::kWebp;
  if (ext == ".png") return AnimationFormat::kApng;
  return std::nullopt;
}

Result<Bytes> EncodeGif(const Animation& a, std::mutex* quantiser) {
  MIRELUNE_TRY(CheckFrames(a, 65535, "GIF"));
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, GifWrite, &error);
  if (!gif) return Error{std::string("cannot encode GIF: ") + GifErrorString(error)};
  EGifSetGifVersion(gif, true);  // GIF89a: delays, transparency, looping
  const PixelBox whole{0, 0, a.card.width, a.card.height};
  GifScratch scratch{};
  scratch.quantiser = quantiser;
  // The card first: a mail program that shows only one frame shows it.
  bool ok = EGifPutScreenDesc(gif, whole.x1, whole.y1, 8, 0, nullptr) == GIF_OK && PutLoop(gif) &&
            PutGifFrame(gif, scratch, nullptr, a.card, whole, kGifCardCs);
  Image before = a.card, now = a.card;
  for (const Frame& f : a.frames) {
    LayOn(f, now);
    ok = ok && PutGifFrame(gif, scratch, &before, now, f.box, f.delay_cs);
    LayOn(f, before);
  }
  if (!ok) error = gif->Error;
  int closing = 0;
  if (EGifCloseFile(gif, &closing) != GIF_OK && ok) {
    ok = false;
    error = closing;
  }
  if (!ok) return Error{std::string("cannot encode GIF: ") + GifErrorString(error)};
  return out;
}

Result<Bytes> EncodeAnimatedWebp(const Animation& a) {
  MIRELUNE_TRY(CheckFrames(a, WEBP_MAX_DIMENSION, "WebP"));
  const Image& first = a.card;
  WebPAnimEncoderOptions options;
  WebPConfig config;
  // Lossless at little effort: a card's noise hardly packs smaller at more, and
  // every frame costs the effort again.
  if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config) || !WebPConfigLosslessPreset(&config, 0))
    return Error{"cannot encode WebP: libwebp cannot be set up"};
  options.anim_params.loop_count = 0;  // forever
  // No key frames after the first: each frame is only what changed.
  options.kmax = 0;
  const std::unique_ptr<WebPAnimEncoder, decltype(&WebPAnimEncoderDelete)> encoder(
      WebPAnimEncoderNew(first.width, first.height, &options), &WebPAnimEncoderDelete);
  WebPPicture picture;
  if (!encoder || !WebPPictureInit(&picture)) return Error{"cannot encode WebP: out of memory"};
  picture.use_argb = 1;
  picture.width = first.width;
  picture.height = first.height;
  if (!WebPPictureAlloc(&picture)) return Error{"cannot encode WebP: out of memory"};
  const std::unique_ptr<WebPPicture, decltype(&WebPPictureFree)> freed(&picture, &WebPPictureFree);
  int at_ms = 0;
  for (const Frame& f : a.frames) {
    for (int y = 0; y < f.box.height(); ++y)
      for (int x = 0; x < f.box.width(); ++x) {
        const std::uint32_t p = f.part.at(x, y);  // 0x00BBGGRR to opaque 0xAARRGGBB
        picture.argb[static_cast<std::size_t>(f.box.y0 + y) * picture.argb_stride + f.box.x0 + x] =
            0xFF000000u | (p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu);
      }
    if (!WebPAnimEncoderAdd(encoder.get(), &picture, at_ms, &config)) break;
    at_ms += f.delay_cs * 10;
  }
  WebPData data;
  WebPDataInit(&data);
  if (!WebPAnimEncoderAdd(encoder.get(), nullptr, at_ms, nullptr) || !WebPAnimEncoderAssemble(encoder.get(), &data)) {
    const char* why = WebPAnimEncoderGetError(encoder.get());
    return Error{std::string("cannot encode WebP: ") + (why && *why ? why : "libwebp gave no reason")};
  }
  Bytes bytes(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  return bytes;
}

Result<Bytes> EncodeApng(const Animation& a) {
  MIRELUNE_TRY(CheckFrames(a, 1 << 16, "APNG"));
  const Image& card = a.card;
  // The default image is the finished card and not a frame of the animation: a
  // viewer without APNG shows the card, one with it starts on the strip and ends
  // on the card, held.
  std::vector<ApngChunk> chunks(1 + 2 * a.frames.size());
  chunks[0] = {"acTL", {}};
  Put32(chunks[0].data, static_cast<std::uint32_t>(a.frames.size()));
  Put32(chunks[0].data, 0);  // plays forever
  std::uint32_t sequence = 0;
  for (std::size_t k = 0; k < a.frames.size(); ++k) {
    // Each frame replaces its box (blend "source") and stays (dispose "none").
    const Frame& f = a.frames[k];
    ApngChunk& control = chunks[1 + 2 * k];
    ApngChunk& data = chunks[2 + 2 * k];
    control = {"fcTL", {}};
    for (const int v : {static_cast<int>(sequence++), f.box.width(), f.box.height(), f.box.x0, f.box.y0})
      Put32(control.data, static_cast<std::uint32_t>(v));
    const int delay = std::min(f.delay_cs, 65535);
    control.data.insert(control.data.end(), {static_cast<std::uint8_t>(delay >> 8), static_cast<std::uint8_t>(delay),
                                             0, 100, 0, 0});
    data = {"fdAT", {}};
    Put32(data.data, sequence++);
    if (!Deflate(f.part, data.data)) return Error{"cannot encode APNG: zlib is out of memory"};
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(card.width) * 3);
  Bytes out;
  png_io::Failure failure;
  ApngEncoding e{&card, &chunks, row.data(), nullptr, nullptr};
  e.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, png_io::Fail, png_io::Warn);
  if (e.png) e.info = png_create_info_struct(e.png);
  if (!e.info) {
    png_destroy_write_struct(&e.png, nullptr);
    return Error{"cannot encode APNG: out of memory"};
  }
  png_set_write_fn(e.png, &out, png_io::Write, png_io::Flush);
  const bool done = WriteApng(&e);
  png_destroy_write_struct(&e.png, &e.info);
  if (done) return out;
  return Error{std::string("cannot encode APNG: ") + failure.message};
}

Result<Bytes> EncodeAnimation(const Animation& a, AnimationFormat format, std::mutex* quantiser) {
  switch (format) {
    case AnimationFormat::kGif:
      return EncodeGif(a, quantiser);
    case AnimationFormat::kWebp:
      return EncodeAnimatedWebp(a);
    case AnimationFormat::kApng:
      break;
  }
  return EncodeApng(a);
}

}  // namespace mirelune
