// files.h — image names, where cards go, the image encoders and the one file writer.
//
//   const std::string name = ImageNameFor(now);     // "GR-20170102090503"
//   if (Result<> r = SaveImage(card.image(), OutputFolder() / (name + ".bmp")); !r) report(r.message);
//
// Every file the program writes goes through WriteFileSafely (or WriteNewFile):
// a regular file is written unnamed (or under a short temporary name), synced and
// then linked or renamed into place, so a failed or interrupted save never leaves
// a broken file and never destroys the file it would have replaced. A symlink is
// followed only where no other user can have put it (safe_open.h), a
// device, FIFO or socket is written directly, a read-only file is refused; files
// written in place (journals, locks) are opened by OpenInPlace (safe_open.h).
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "files/safe_open.h"
#include "raster/surface.h"
#include "base/result.h"

namespace mirelune {

// "GR-" + year, month, day, hour, minute, second, every field with its leading zeros.
std::string ImageNameFor(const std::tm& t);

// The folder Windows paths map under: $MIRELUNE_ROOT when set, else the home folder.
std::filesystem::path DriveRoot();
std::filesystem::path OutputFolder();                  // <root>/wimgx
std::filesystem::path ArchivePathGroup();             // <root>/baza-slik/skupina00/slika00.jpg
std::filesystem::path ArchivePathArtist();            // <root>/pelkin-art/slika00.jpg

// --- encoders: a raster to the bytes of a file ---
//
//   PngText text{.software = "Mirelune 1.0", .title = "...", .keyed = {{"mirelune-report", json}}};
//   Result<Bytes> png = EncodePng(img, &text);
//   if (!png) fail(png.error().message);
//   Result<Bytes> jpg = EncodeImage(img, ImageFormat::kJpeg);
enum class ImageFormat { kBmp, kPng, kJpeg };

// The format a file name asks for by its extension (any case): .bmp, .png, .jpg
// or .jpeg; kNone for a name without an extension; kUnknown for any other.
enum class NameFormat { kBmp, kPng, kJpeg, kNone, kUnknown };
NameFormat FormatOfName(const std::filesystem::path& path);

// 24-bit BMP, bottom-up, BITMAPINFOHEADER.
Bytes EncodeBmp(const Image& img);

// Text that explains a PNG: `software` goes to a tEXt chunk, the rest to iTXt
// (UTF-8); empty texts are left out. A JPEG takes the keyed texts only. Every PNG also carries its
// pixel density (pHYs): 96 pixels an inch, a screen's, unless told otherwise.
struct PngText {
  std::string software, title, description;
  std::vector<std::pair<std::string, std::string>> keyed;  // keyword (1..79 Latin-1 characters), text
  int pixels_per_inch = 96;
};

// 8-bit RGB PNG, compressed for speed (a card in a few milliseconds) at about
// the size of zlib's default settings. Fails with libpng's reason (an empty or
// oversized raster, no memory); never exits.
Result<Bytes> EncodePng(const Image& img, const PngText* text = nullptr);
// The same bytes, the rows laid out for compression in the memory of `rows` (a
// raster's, grown when too small, its pixels overwritten): a card's spare raster
// or the one the last card left, whose pages are made already (on a virtual
// machine 1.8 MB of fresh pages cost 1.7-4.7 ms of writing, pages made 0.2).
Result<Bytes> EncodePng(const Image& img, const PngText* text, PixelBuffer& rows);

// --- reading a PNG's text: card files come from anywhere ---
//
//   Result<CardTexts> r = ReadPngTextFile("card.png");
//   if (!r) fail(r.error().message);  // "card.png is a device, FIFO or socket, not a PNG file"
//   for (const auto& [key, text] : *r) ...
//
// Only the chunks before the image data are read and the picture is never
// decoded, so a file declaring a huge image costs nothing. A text chunk larger
// than kMaxPngTextBytes (stored or once inflated) or more than kMaxPngTexts of
// them make the file fail: memory stays within a few MiB whatever it declares.
// More than kMaxCardChunks chunks (PNG) or segments (JPEG) before the picture
// fail too, found by their length fields before libpng or libjpeg reads them: a
// card has about ten, a photo's metadata a few dozen, and each costs the
// libraries time. The file is read in blocks of 64 KiB.
inline constexpr std::size_t kMaxPngFileBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxPngTextBytes = std::size_t{1} << 20;
inline constexpr int kMaxPngTexts = 16;
inline constexpr long kMaxCardChunks = 1000;

// Keyword and text (tEXt, zTXt, iTXt, or a JPEG comment) in file order.
using CardTexts = std::vector<std::pair<std::string, std::string>>;

// The work a read did, whether it failed or not, for the tests of the limits:
// chunks or segments walked before the picture (at most kMaxCardChunks + 1), and
// read calls on the file.
struct ReadEffort {
  long chunks = 0, reads = 0;
};

// The text chunks of PNG bytes; `name` is the file named in a failure.
Result<CardTexts> ReadPngText(std::span<const std::uint8_t> png, const std::string& name, ReadEffort* effort = nullptr);
// The same for a file: only a regular file of at most kMaxPngFileBytes is read;
// a folder, device, FIFO or socket is refused at once, without waiting on it.
Result<CardTexts> ReadPngTextFile(const std::filesystem::path& path, ReadEffort* effort = nullptr);
// The texts a card file carries, whatever its format: a PNG's text chunks, or a
// JPEG's comments written as EncodeJpeg writes them (only the segments before the
// picture are read; the first kMaxPngTexts comments holding a line break count).
// A BMP carries none: it is refused with a sentence saying so.
Result<CardTexts> ReadCardTextFile(const std::filesystem::path& path, ReadEffort* effort = nullptr);

// Baseline JPEG, 4:4:4 (no chroma subsampling: the cards' one-pixel lines keep
// their colour), 96 dpi, at this quality. Each keyed text of `text` goes into a
// comment (COM) segment as its keyword, a line break and the text (at most 64 KiB
// together); the pixels are the same with or without. Fails with libjpeg's reason
// or a text too long; never exits.
inline constexpr int kJpegQuality = 92;
Result<Bytes> EncodeJpeg(const Image& img, const PngText* text = nullptr);

// The bytes of a picture file in `format`, or why it cannot be encoded.
Result<Bytes> EncodeImage(const Image& img, ImageFormat format, const PngText* text = nullptr);
// The same, a PNG's rows laid out in `png_rows` (EncodePng).
Result<Bytes> EncodeImage(const Image& img, ImageFormat format, const PngText* text, PixelBuffer& png_rows);

// How a file is written; the defaults are what every front end wants.
struct WriteOptions {
  // False: under a named temporary file, as on a file system without O_TMPFILE.
  bool unnamed_temporary = true;
  // The folders this caller has already cleared of what killed runs left (the
  // first write into a folder clears it): a batch writing thousands of cards into
  // one folder reads it once. Null: the folder is cleared at every write.
  std::set<std::pair<dev_t, ino_t>>* swept = nullptr;
  StepFn on_step;  // safe_open.h
};

// Writes img in the format its name gives (see FormatOfName), through
// WriteFileSafely; `text` goes into a PNG's chunks.
Result<> SaveImage(const Image& img, const std::filesystem::path& path, const PngText* text = nullptr,
                   const WriteOptions& options = {});

// Writes `bytes` to `path`, never leaving a broken or half-written file:
//  * the path is looked up once, part by part, and the write goes to the folder
//    and file found then, whatever is renamed or relinked meanwhile;
//  * a regular file (or a new name) is replaced atomically: written unnamed (O_TMPFILE)
//    where the file system allows it, else under a short
//    ".mirelune-<host>-<pid>-<start>-XXXXXX" name, synced, then renamed into place
//    and the folder synced. The first write of a run into a folder removes the
//    temporary files of this host's runs that are over, never another host's.
//    A replaced file keeps its owner and permissions (taken from the file found);
//    a new one gets 0666 less the umask;
//  * a symlink is followed: its target is replaced, the link stays. Only a link
//    of this user or root, in a folder no other user can write (or a sticky one of
//    ours, as /tmp), is followed; anything else is refused (safe_open.h);
//  * a character device, FIFO or socket (/dev/stdout, a pipe) is written directly;
//    /dev/stdout, /dev/stderr and /dev/fd/N write to the program's own descriptor;
//  * a read-only file, a folder, a block device and a file with other names (hard
//    links) that belongs to another user are refused.
// On failure the message names the path and the reason ("Read-only file system",
// "No space left on device", ...).
Result<> WriteFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         const WriteOptions& options = {});

// Creates `path` with `bytes`, only if no file of that name exists, whole or not at
// all (linked into place, never renamed over anything). A taken name fails with
// code EEXIST.
Result<> WriteNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                      const WriteOptions& options = {});

// Creates a folder and its parents; on failure says why (read-only file system,
// no permission, a file in the way).
Result<> MakeFolder(const std::filesystem::path& folder);


}  // namespace mirelune
