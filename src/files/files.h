// files.h — image names, where cards go, the bitmap writers and the one file writer.
//
//   MakeImageName(s);                         // s.imeslike = "GR-20170102090503"
//   if (Result r = SaveImage(s.Picture4.image(), CardPath(s)); !r) report(r.message);
//
// Every file the program writes goes through WriteFileSafely (or WriteNewFile):
// a regular file is written unnamed (or under a short temporary name), synced and
// then linked or renamed into place, so a failed or interrupted save never leaves
// a broken file and never destroys the file it would have replaced. A symlink is
// followed, a device, FIFO or socket is written directly, a read-only file is
// refused.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/state.h"
#include "files/result.h"

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

// 24-bit BMP, bottom-up, BITMAPINFOHEADER.
std::vector<std::uint8_t> EncodeBmp(const Image& img);

// Writes img as PNG when the name ends in .png (any case), else as BMP, through
// WriteFileSafely.
Result SaveImage(const Image& img, const std::filesystem::path& path);

// Writes `bytes` to `path`, never leaving a broken or half-written file:
//  * a regular file (or a new name) is replaced atomically: written unnamed (O_TMPFILE)
//    where the file system allows it, else under a short ".mirelune-<pid>-XXXXXX" name
//    that a later write into the folder removes once its writer is gone; synced, then
//    renamed into place and the folder synced. A replaced file keeps its permissions;
//  * a symlink is followed: its target is replaced, the link stays;
//  * a character device, FIFO or socket (/dev/stdout, a pipe) is written directly;
//    /dev/stdout, /dev/stderr and /dev/fd/N write to the program's own descriptor;
//  * a read-only file, a folder or a block device is refused.
// On failure the message names the path and the reason ("Read-only file system",
// "No space left on device", ...).
Result WriteFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Creates `path` with `bytes`, only if no file of that name exists, whole or not at
// all (linked into place, never renamed over anything). A taken name fails with
// code EEXIST.
Result WriteNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Creates a folder and its parents; on failure says why (read-only file system,
// no permission, a file in the way).
Result MakeFolder(const std::filesystem::path& folder);

// For tests: false makes the writers use named temporary files, as on a file
// system without O_TMPFILE.
void UseUnnamedTemporaryFiles(bool use);

}  // namespace mirelune
