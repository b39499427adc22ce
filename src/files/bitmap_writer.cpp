// bitmap_writer.cpp — BMP, PNG and JPEG files of a raster.
#include <fcntl.h>
#include <libdeflate.h>
#include <png.h>
#include <sys/stat.h>
#ifdef _WIN32
#include "base/platform.h"
#include "base/windows_posix.h"
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "files/files.h"
#include "files/png_io.h"

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

using png_io::Failure;

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

namespace {

// The libpng calls of a PNG's encoding, apart from everything with a destructor:
// a libpng error longjmps back here, past no C++ object. libpng writes the
// chunks and their checksums; the image data comes compressed already.
struct PngEncoding {
  const Image* img;
  std::span<const std::uint8_t> compressed;  // a zlib stream of the unfiltered rows
  std::vector<png_text>* chunks;
  png_uint_32 dots_per_metre;
  png_structp png;
  png_infop info;
};

bool WritePngChunks(PngEncoding* e) {
  if (setjmp(png_jmpbuf(e->png))) return false;
  png_set_IHDR(e->png, e->info, e->img->width, e->img->height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(e->png, e->info, e->dots_per_metre, e->dots_per_metre, PNG_RESOLUTION_METER);
  if (!e->chunks->empty()) png_set_text(e->png, e->info, e->chunks->data(), static_cast<int>(e->chunks->size()));
  png_write_info(e->png, e->info);
  constexpr std::size_t kIdatBytes = std::size_t{1} << 20;  // far below the format's 2^31 - 1
  for (std::size_t at = 0; at < e->compressed.size(); at += kIdatBytes)
    png_write_chunk(e->png, reinterpret_cast<png_const_bytep>("IDAT"), e->compressed.data() + at,
                    std::min(kIdatBytes, e->compressed.size() - at));
  png_write_chunk(e->png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  return true;
}

// The rows as PNG holds them (a filter byte of 0, then R, G, B), compressed at
// libdeflate's fastest level. Cards are flat areas and one-pixel figures, which
// pack well unfiltered: over four cards 6.5 ms and 408 kB a card, against 13.3 ms
// and 429 kB at zlib's level 1 (level 2 gives 347 kB in 8.6 ms).
// Raster memory left as it comes (mapped pages are zero already, heap ones are
// written before they are read): a vector zeroes it first, a twentieth of a card.
class Scratch {
 public:
  explicit Scratch(std::size_t size) : size_(size), bytes_(RasterAllocator<std::uint8_t>{}.allocate(size)) {}
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() { RasterAllocator<std::uint8_t>{}.deallocate(bytes_, size_); }
  std::uint8_t* get() const { return bytes_; }

 private:
  std::size_t size_;
  std::uint8_t* bytes_;
};

// The compressed rows, in memory the heap leaves untouched (new[] without
// zeroing): libdeflate's bound is four times what a card packs to, and only the
// pages it writes are ever made.
struct CompressedRows {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
};

// An empty raster compresses to nothing here; libpng then refuses its size.
int RowsOf(const Image& img) { return img.width > 0 ? std::max(img.height, 0) : 0; }
std::size_t RowBytes(const Image& img) { return 1 + static_cast<std::size_t>(std::max(img.width, 0)) * 3; }
// What CompressRows lays the rows out in: the rows and the last pixel's spare byte.
std::size_t RawBytes(const Image& img) { return RowBytes(img) * static_cast<std::size_t>(RowsOf(img)) + 1; }

std::optional<CompressedRows> CompressRows(const Image& img, std::uint8_t* raw_rows) {
  const int height = RowsOf(img);
  const std::size_t row = RowBytes(img), raw_size = RawBytes(img) - 1;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* r = raw_rows + row * static_cast<std::size_t>(y);
    r[0] = 0;
    if constexpr (std::endian::native == std::endian::little) {
      // A pixel, 0x00BBGGRR, lies in memory as R, G, B, 0: one store of four bytes
      // each, whose last the next pixel, the next row's filter byte or the spare
      // byte takes. A third of the stores of RgbRow's three.
      const std::uint32_t* from = img.pixels.data() + static_cast<std::size_t>(y) * img.width;
      std::uint8_t* to = r + 1;
      for (const std::uint32_t* end = from + img.width; from != end; ++from, to += 3) std::memcpy(to, from, 4);
    } else {
      RgbRow(img, y, r + 1);
    }
  }
  libdeflate_compressor* c = libdeflate_alloc_compressor(1);
  if (!c) return std::nullopt;
  const std::size_t bound = libdeflate_zlib_compress_bound(c, raw_size);
  CompressedRows out{std::make_unique_for_overwrite<std::uint8_t[]>(bound), 0};
  out.size = libdeflate_zlib_compress(c, raw_rows, raw_size, out.bytes.get(), bound);
  libdeflate_free_compressor(c);
  if (out.size == 0) return std::nullopt;  // cannot happen within the bound
  return out;
}

// The chunks around rows compressed already.
Result<Bytes> WritePng(const Image& img, const PngText* text, const std::optional<CompressedRows>& compressed) {
  static const std::string kSoftware = "Software", kTitle = "Title", kDescription = "Description";
  std::vector<png_text> chunks;
  if (text) {
    if (!text->software.empty()) chunks.push_back(TextChunk(PNG_TEXT_COMPRESSION_NONE, kSoftware, text->software));
    if (!text->title.empty()) chunks.push_back(TextChunk(PNG_ITXT_COMPRESSION_NONE, kTitle, text->title));
    if (!text->description.empty())
      chunks.push_back(TextChunk(PNG_ITXT_COMPRESSION_NONE, kDescription, text->description));
    for (const auto& [key, value] : text->keyed) chunks.push_back(TextChunk(PNG_ITXT_COMPRESSION_NONE, key, value));
  }
  if (!compressed) return Error{"cannot encode PNG: out of memory"};
  Bytes out;
  out.reserve(compressed->size + 4096);
  Failure failure;
  // Pixels an inch as dots a metre, rounded: 96 gives the 3780 of every card before.
  const int ppi = text ? std::clamp(text->pixels_per_inch, 1, 100000) : 96;
  const auto dots_per_metre = static_cast<png_uint_32>((ppi * 10000 + 127) / 254);
  PngEncoding e{&img, {compressed->bytes.get(), compressed->size}, &chunks, dots_per_metre, nullptr, nullptr};
  e.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, png_io::Fail, png_io::Warn);
  if (e.png) e.info = png_create_info_struct(e.png);
  if (!e.info) {
    png_destroy_write_struct(&e.png, nullptr);
    return Error{"cannot encode PNG: out of memory"};
  }
  png_set_write_fn(e.png, &out, png_io::Write, png_io::Flush);
  const bool done = WritePngChunks(&e);
  png_destroy_write_struct(&e.png, &e.info);
  if (done) return out;
  return Error{std::string("cannot encode PNG: ") + failure.message};
}

}  // namespace

Result<Bytes> EncodePng(const Image& img, const PngText* text) {
  const Scratch raw(RawBytes(img));
  return WritePng(img, text, CompressRows(img, raw.get()));
}

Result<Bytes> EncodePng(const Image& img, const PngText* text, PixelBuffer& rows) {
  const std::size_t words = (RawBytes(img) + 3) / 4;
  if (rows.size() < words) rows.resize(words);
  return WritePng(img, text, CompressRows(img, reinterpret_cast<std::uint8_t*>(rows.data())));
}

namespace {

// A card file's bytes: memory, or an open file read through a buffer. libpng asks
// for each chunk's header, data and checksum apart: unbuffered, three reads a
// chunk (five million empty chunks took 3.7 s).
class CardBytes {
 public:
  explicit CardBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  explicit CardBytes(int fd) : fd_(fd), block_(kBlock) {}

  // The bytes from `at` on that are at hand, at least one; none at the end of
  // the file or on a failure, with the reason in *why.
  std::span<const std::uint8_t> Window(std::uint64_t at, const char** why);
  // Copies the `len` bytes at `at` to `out`; null, or why it cannot.
  const char* Read(std::uint64_t at, void* out, std::size_t len);
  long reads() const { return reads_; }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 16;
  std::span<const std::uint8_t> bytes_;
  int fd_ = -1;
  std::vector<std::uint8_t> block_;  // the file's bytes from block_at_, have_ of them
  std::uint64_t block_at_ = 0;
  std::size_t have_ = 0;
  long reads_ = 0;
};

std::span<const std::uint8_t> CardBytes::Window(std::uint64_t at, const char** why) {
  *why = "the file ends too early";
  if (fd_ < 0) return at < bytes_.size() ? bytes_.subspan(at) : std::span<const std::uint8_t>();
  // A file may grow after it was checked: never more than a card file can be.
  if (at >= kMaxPngFileBytes) {
    *why = "the file is too large";
    return {};
  }
  if (at < block_at_ || at >= block_at_ + have_) {
    ssize_t n;
    do {
      ++reads_;
      n = ::pread(fd_, block_.data(), kBlock, static_cast<off_t>(at));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      if (n < 0) *why = std::strerror(errno);
      return {};
    }
    block_at_ = at;
    have_ = static_cast<std::size_t>(n);
  }
  const std::size_t skip = at - block_at_;
  return std::span(block_).subspan(skip, std::min<std::uint64_t>(have_ - skip, kMaxPngFileBytes - at));
}

const char* CardBytes::Read(std::uint64_t at, void* out, std::size_t len) {
  for (auto* dst = static_cast<std::uint8_t*>(out); len > 0;) {
    const char* why = nullptr;
    const std::span<const std::uint8_t> at_hand = Window(at, &why);
    if (at_hand.empty()) return why;
    const std::size_t n = std::min(len, at_hand.size());
    std::memcpy(dst, at_hand.data(), n);
    dst += n;
    at += n;
    len -= n;
  }
  return nullptr;
}

// Where libpng reads next.
struct PngSource {
  CardBytes* bytes;
  std::uint64_t at;
};

void PngRead(png_structp png, png_bytep data, png_size_t len) {
  auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
  if (const char* why = src->bytes->Read(src->at, data, len)) png_error(png, why);
  src->at += len;
}

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Counts the chunks before the image data by their length fields alone, stopping
// past kMaxCardChunks: libpng passes over unknown chunks without counting them,
// so a file of millions of empty ones would hold it for seconds. A file that ends
// or breaks on the way is left to libpng to name.
void CountPngChunks(CardBytes* bytes, long* chunks) {
  std::uint64_t at = 8;
  while (*chunks <= kMaxCardChunks) {
    std::uint8_t head[8];
    if (bytes->Read(at, head, sizeof head)) return;
    const std::uint32_t length = Be32(head);
    if (length > PNG_UINT_31_MAX || !std::memcmp(head + 4, "IDAT", 4) || !std::memcmp(head + 4, "IEND", 4)) return;
    ++*chunks;
    at += 12 + std::uint64_t{length};
  }
}

struct PngReading {
  png_structp png;
  png_infop info;
};

// Reads the chunks up to the image data: the header and the text before the
// picture, which is never decoded. Each text is at most kMaxPngTextBytes (inflated
// or not) and at most kMaxPngTexts of them are kept, whatever the file declares.
bool ReadPngInfo(PngReading* r) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  png_set_sig_bytes(r->png, 8);
  png_set_chunk_malloc_max(r->png, kMaxPngTextBytes);
  png_set_chunk_cache_max(r->png, kMaxPngTexts + 2);  // libpng keeps two fewer than this
  png_set_benign_errors(r->png, 0);  // a text cut short by the limits is an error, not a silent gap
  png_read_info(r->png, r->info);
  return true;
}

Result<CardTexts> ReadPngTextFrom(CardBytes* bytes, const std::string& name, long* chunks) {
  std::uint8_t signature[8];
  if (bytes->Read(0, signature, sizeof signature) || png_sig_cmp(signature, 0, sizeof signature) != 0)
    return Error{name + ": not a PNG file"};
  CountPngChunks(bytes, chunks);
  if (*chunks > kMaxCardChunks)
    return Error{name + ": a PNG file with more than " + std::to_string(kMaxCardChunks) +
                 " chunks before its picture, which no card has"};
  Failure failure;
  PngReading r{png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, png_io::Fail, png_io::Warn), nullptr};
  if (r.png) r.info = png_create_info_struct(r.png);
  if (!r.info) {
    png_destroy_read_struct(&r.png, nullptr, nullptr);
    return Error{name + ": cannot read it: out of memory", ENOMEM};
  }
  PngSource src{bytes, sizeof signature};
  png_set_read_fn(r.png, &src, PngRead);
  if (!ReadPngInfo(&r)) {
    png_destroy_read_struct(&r.png, &r.info, nullptr);
    return Error{name + ": a broken PNG file (" + std::string(failure.message) + ")"};
  }
  CardTexts out;
  png_textp texts = nullptr;
  const int count = png_get_text(r.png, r.info, &texts, nullptr);
  for (int k = 0; k < count; ++k) {
    const std::size_t len =
        texts[k].compression >= PNG_ITXT_COMPRESSION_NONE ? texts[k].itxt_length : texts[k].text_length;
    out.emplace_back(texts[k].key, std::string(texts[k].text ? texts[k].text : "", len));
  }
  png_destroy_read_struct(&r.png, &r.info, nullptr);
  return out;
}

}  // namespace

Result<CardTexts> ReadPngText(std::span<const std::uint8_t> png, const std::string& name, ReadEffort* effort) {
  CardBytes bytes(png);
  ReadEffort done;
  Result<CardTexts> r = ReadPngTextFrom(&bytes, name, &done.chunks);
  if (effort) *effort = done;
  return r;
}

namespace {

// A card file opened to be read: a regular file of at most kMaxPngFileBytes, or
// -1 with the reason in *out. Non-blocking, so that opening a FIFO never waits
// for a writer.
Result<int> OpenCardFile(const std::string& name) {
#ifdef _WIN32
  const int fd = ::_wopen(Wide(name).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
#else
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
#endif
  struct stat st {};
  std::string refusal;
  int code = 0;
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    code = errno;
  } else if (S_ISDIR(st.st_mode)) {
    refusal = "is a folder, not a PNG file";
  } else if (!S_ISREG(st.st_mode)) {
    refusal = "is a device, FIFO or socket, not a PNG file";
  } else if (static_cast<std::uint64_t>(st.st_size) > kMaxPngFileBytes) {
    refusal = "is larger than a card file can be (" + std::to_string(kMaxPngFileBytes >> 20) + " MiB)";
  } else {
    return fd;
  }
  if (fd >= 0) ::close(fd);
  return Error{!refusal.empty() ? name + " " + refusal : "cannot read " + name + ": " + std::strerror(code), code};
}

Result<CardTexts> ReadJpegTextFrom(int fd, CardBytes* bytes, const std::string& name, long* chunks);

// What a file's texts were read with: its descriptor, closed at the end, and the
// calls on it counted.
template <typename Read>
Result<CardTexts> ReadCardFile(const std::filesystem::path& path, ReadEffort* effort, Read&& read) {
  ReadEffort done;
  Result<CardTexts> r = Error{};
  if (Result<int> fd = OpenCardFile(path.string()); !fd) {
    r = fd.error();
  } else {
    CardBytes bytes(*fd);
    r = read(*fd, bytes, &done.chunks);
    done.reads = bytes.reads();
    ::close(*fd);
  }
  if (effort) *effort = done;
  return r;
}

}  // namespace

Result<CardTexts> ReadPngTextFile(const std::filesystem::path& path, ReadEffort* effort) {
  return ReadCardFile(path, effort, [&](int, CardBytes& bytes, long* chunks) {
    return ReadPngTextFrom(&bytes, path.string(), chunks);
  });
}

Result<CardTexts> ReadCardTextFile(const std::filesystem::path& path, ReadEffort* effort) {
  return ReadCardFile(path, effort, [&](int fd, CardBytes& bytes, long* chunks) -> Result<CardTexts> {
    const std::string name = path.string();
    std::uint8_t magic[3] = {};
    const bool read = !bytes.Read(0, magic, sizeof magic);
    if (read && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) return ReadJpegTextFrom(fd, &bytes, name, chunks);
    if (read && magic[0] == 'B' && magic[1] == 'M')
      return Error{name + " is a BMP file, which carries no card report; make the card as PNG or JPEG to keep it"};
    return ReadPngTextFrom(&bytes, name, chunks);
  });
}

namespace {

// libjpeg's own handler exits the process on an error: this one keeps the
// message and longjmps back to the encoder. Warnings are not printed.
struct JpegFailure {
  jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
  std::jmp_buf jump;
  Failure failure;
};

[[noreturn]] void JpegExit(j_common_ptr cinfo) {
  auto* f = reinterpret_cast<JpegFailure*>(cinfo->err);
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  f->failure.Keep(text);
  std::longjmp(f->jump, 1);
}
void JpegMessage(j_common_ptr) {}

// The libjpeg calls of a JPEG's encoding, apart from everything with a destructor.
struct JpegEncoding {
  const Image* img;
  const PngText* text;
  std::uint8_t* row;
  jpeg_compress_struct* cinfo;
  JpegFailure* err;
  unsigned char** buffer;
  unsigned long* size;
};

bool CompressJpeg(JpegEncoding* e) {
  jpeg_compress_struct& cinfo = *e->cinfo;
  if (setjmp(e->err->jump)) return false;
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, e->buffer, e->size);
  cinfo.image_width = static_cast<JDIMENSION>(e->img->width);
  cinfo.image_height = static_cast<JDIMENSION>(e->img->height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kJpegQuality, TRUE);
  for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  cinfo.optimize_coding = TRUE;
  cinfo.density_unit = 1;  // dots per inch
  cinfo.X_density = cinfo.Y_density = 96;
  jpeg_start_compress(&cinfo, TRUE);
  for (const auto& [key, value] : e->text ? e->text->keyed : std::vector<std::pair<std::string, std::string>>{}) {
    const std::string comment = key + '\n' + value;  // a keyword never holds a line break
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(comment.size()));
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    RgbRow(*e->img, static_cast<int>(cinfo.next_scanline), e->row);
    JSAMPROW rows[1] = {e->row};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

// The most a comment segment holds: its length field counts itself.
constexpr std::size_t kMaxJpegComment = 65533;

// Walks a JPEG's segments up to its picture (SOS) as libjpeg does, passing over
// the bytes between them, and keeps each comment written as EncodeJpeg writes it:
// libjpeg links every marker it saves to the end of a list it walks from the
// start, so 100,000 comments held it for seconds; it saves none. Stops past
// kMaxCardChunks segments; a file that ends or breaks on the way is left to
// libjpeg to name.
void WalkJpeg(CardBytes* bytes, CardTexts* out, long* chunks) {
  std::uint64_t at = 2;  // past the start of image
  // The next marker's code, past what comes before it as libjpeg passes over it:
  // any bytes (it only warns), an 0xFF's fill bytes, FF 00 (data, not a marker).
  const auto next_marker = [&](std::uint8_t* code) {
    bool after_ff = false;
    const char* why = nullptr;
    for (std::span<const std::uint8_t> w; !(w = bytes->Window(at, &why)).empty(); at += w.size()) {
      for (const std::uint8_t *p = w.data(), *end = p + w.size(); p < end; ++p) {
        if (!after_ff) {
          p = static_cast<const std::uint8_t*>(std::memchr(p, 0xFF, static_cast<std::size_t>(end - p)));
          if (!p) break;
          after_ff = true;
        } else if (*p == 0) {
          after_ff = false;
        } else if (*p != 0xFF) {
          *code = *p;
          at += static_cast<std::uint64_t>(p + 1 - w.data());
          return true;
        }
      }
    }
    return false;
  };
  while (*chunks <= kMaxCardChunks) {
    std::uint8_t c = 0;
    if (!next_marker(&c)) return;
    if (c == 0xDA || c == 0xD8 || c == 0xD9) return;  // the picture, or what libjpeg refuses
    ++*chunks;
    if (c == 0x01 || (c >= 0xD0 && c <= 0xD7)) continue;  // markers without a length
    std::uint8_t length[2];
    if (bytes->Read(at, length, sizeof length)) return;
    // A length below its own two bytes is taken as 2, as libjpeg takes it.
    const std::size_t size = std::max(std::size_t{length[0]} << 8 | length[1], std::size_t{2});
    if (c == 0xFE && out->size() < kMaxPngTexts) {
      std::string comment(size - 2, '\0');
      if (bytes->Read(at + 2, comment.data(), comment.size())) return;
      if (const std::size_t line = comment.find('\n'); line != std::string::npos)
        out->emplace_back(comment.substr(0, line), comment.substr(line + 1));
    }
    at += size;
  }
}

// Each keyed text as a comment (COM) segment: the keyword, a line break, the text.
// libjpeg checks the segments before the picture; the picture is never decoded.
Result<CardTexts> ReadJpegTextFrom(int fd, CardBytes* bytes, const std::string& name, long* chunks) {
  CardTexts out;
  WalkJpeg(bytes, &out, chunks);
  if (*chunks > kMaxCardChunks)
    return Error{name + ": a JPEG file with more than " + std::to_string(kMaxCardChunks) +
                 " segments before its picture, which no card has"};
  const int own = ::dup(fd);
  std::FILE* file = own >= 0 ? ::fdopen(own, "rb") : nullptr;
  if (!file) {
    const int code = errno;
    if (own >= 0) ::close(own);
    return Error{"cannot read " + name + ": " + std::strerror(code), code};
  }
  jpeg_decompress_struct cinfo{};
  JpegFailure err{};
  cinfo.err = jpeg_std_error(&err.manager);
  err.manager.error_exit = JpegExit;
  err.manager.output_message = JpegMessage;
  const auto read = [&] {
    if (setjmp(err.jump)) return false;
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    return true;
  };
  const bool readable = read();
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  if (!readable) return Error{name + " is not a readable JPEG file (" + err.failure.message + ")"};
  return out;
}

}  // namespace

Result<Bytes> EncodeJpeg(const Image& img, const PngText* text) {
  for (const auto& [key, value] : text ? text->keyed : std::vector<std::pair<std::string, std::string>>{})
    if (key.size() + 1 + value.size() > kMaxJpegComment)
      return Error{"cannot encode JPEG: the text \"" + key + "\" is longer than a JPEG comment holds (64 KiB)"};
  std::vector<std::uint8_t> row(static_cast<std::size_t>(std::max(img.width, 0)) * 3);
  jpeg_compress_struct cinfo{};
  JpegFailure err{};
  cinfo.err = jpeg_std_error(&err.manager);
  err.manager.error_exit = JpegExit;
  err.manager.output_message = JpegMessage;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  JpegEncoding e{&img, text, row.data(), &cinfo, &err, &buffer, &size};
  const bool done = CompressJpeg(&e);
  jpeg_destroy_compress(&cinfo);
  Result<Bytes> r = Error{std::string("cannot encode JPEG: ") + err.failure.message};
  if (done) {
    try {
      r = Bytes(buffer, buffer + size);
    } catch (const std::bad_alloc&) {
      r = Error{"cannot encode JPEG: out of memory"};
    }
  }
  std::free(buffer);
  return r;
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

Result<Bytes> EncodeImage(const Image& img, ImageFormat format, const PngText* text) {
  switch (format) {
    case ImageFormat::kBmp: return EncodeBmp(img);
    case ImageFormat::kJpeg: return EncodeJpeg(img, text);
    case ImageFormat::kPng: break;
  }
  return EncodePng(img, text);
}

Result<Bytes> EncodeImage(const Image& img, ImageFormat format, const PngText* text, PixelBuffer& png_rows) {
  if (format == ImageFormat::kPng) return EncodePng(img, text, png_rows);
  return EncodeImage(img, format, text);
}

Result<> SaveImage(const Image& img, const std::filesystem::path& path, const PngText* text,
                   const WriteOptions& options) {
  if (FormatOfName(path) != NameFormat::kPng) return WriteFileSafely(path, EncodeBmp(img), options);
  const Result<Bytes> png = EncodePng(img, text);
  if (!png) return Error{path.string() + ": " + png.error().message};
  return WriteFileSafely(path, *png, options);
}

}  // namespace mirelune
