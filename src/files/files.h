// files.h — image names, where cards go, and the bitmap writers.
//
//   MakeImageName(s);                         // s.imeslike = "GR-20170102090503"
//   std::string err;
//   if (!SaveImage(s.Picture4.image(), CardPath(s), &err)) report(err);
//
// Every write goes to a temporary file in the target folder and is renamed into
// place, so a failed or interrupted save never leaves a broken file behind and
// never destroys the file it would have replaced.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "core/state.h"

namespace mirelune {

// "GR-" + year, month, day, hour, minute, second, every field with its leading zeros.
std::string ImageNameFor(const std::tm& t);
void MakeImageName(State& s);

// The folder Windows paths map under: $MIRELUNE_ROOT when set, else the home folder.
std::filesystem::path DriveRoot();
std::filesystem::path OutputFolder();                  // <root>/wimgx
std::filesystem::path CardPath(const State& s);       // <root>/wimgx/<imeslike>.bmp
std::filesystem::path ArchivePathGroup();             // <root>/baza-slik/skupina00/slika00.jpg
std::filesystem::path ArchivePathArtist();            // <root>/pelkin-art/slika00.jpg

// --- encoders: a raster to the bytes of a file ---
//
//   PngText text{.software = "Mirelune 1.0", .title = "...", .keyed = {{"mirelune-report", json}}};
//   std::vector<std::uint8_t> png;
//   if (!EncodePng(img, &png, &text)) fail();
//   auto jpg = EncodeJpeg(img);  // kJpegQuality
enum class ImageFormat { kBmp, kPng, kJpeg };

// The format a file name asks for by its extension (any case): .bmp, .png, .jpg
// or .jpeg; kNone for a name without an extension; kUnknown for any other.
enum class NameFormat { kBmp, kPng, kJpeg, kNone, kUnknown };
NameFormat FormatOfName(const std::filesystem::path& path);

// 24-bit BMP, bottom-up, BITMAPINFOHEADER.
std::vector<std::uint8_t> EncodeBmp(const Image& img);

// Text that explains a PNG: `software` goes to a tEXt chunk, the rest to iTXt
// (UTF-8); empty texts are left out. Every PNG also carries pHYs for 96 dpi.
struct PngText {
  std::string software, title, description;
  std::vector<std::pair<std::string, std::string>> keyed;  // keyword (1..79 Latin-1 characters), text
};

// 8-bit RGB PNG, compressed for speed (a card in a few milliseconds) at about
// the size of zlib's default settings. False only when libpng fails.
bool EncodePng(const Image& img, std::vector<std::uint8_t>* out, const PngText* text = nullptr);

// The text chunks of a PNG (tEXt, zTXt, iTXt) by keyword, in file order; false
// with a reason when the bytes are not a readable PNG.
bool ReadPngText(const std::vector<std::uint8_t>& png, std::vector<std::pair<std::string, std::string>>* text,
                 std::string* error);

// Baseline JPEG, 4:4:4 (no chroma subsampling: the cards' one-pixel lines keep
// their colour), 96 dpi, at this quality.
inline constexpr int kJpegQuality = 92;
std::vector<std::uint8_t> EncodeJpeg(const Image& img);

std::vector<std::uint8_t> EncodeImage(const Image& img, ImageFormat format, const PngText* text = nullptr);

// Writes img as PNG when the name ends in .png (any case), else as BMP. Returns
// false and a message naming the path and the reason on failure.
bool SaveImage(const Image& img, const std::filesystem::path& path, std::string* error);

// Writes bytes atomically (temporary file + rename).
bool WriteFileAtomic(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                     std::string* error);

}  // namespace mirelune
