// output.h — image names, where cards go, and the bitmap writers.
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

// 24-bit BMP, bottom-up, BITMAPINFOHEADER.
std::vector<std::uint8_t> EncodeBmp(const Image& img);

// Writes img as PNG when the name ends in .png (any case), else as BMP. Returns
// false and a message naming the path and the reason on failure.
bool SaveImage(const Image& img, const std::filesystem::path& path, std::string* error);

// Writes bytes atomically (temporary file + rename).
bool WriteFileAtomic(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                     std::string* error);

}  // namespace mirelune
