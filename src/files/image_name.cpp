// image_name.cpp — card names from the clock, and where the cards go.
#include <cstdio>
#include <cstdlib>

#include "files/files.h"

namespace mirelune {

std::string ImageNameFor(const std::tm& t) {
  // Formed through the mm-dd-yyyy / hh:mm:ss layout, whatever the locale.
  char date[16], time[16];
  std::snprintf(date, sizeof date, "%02d-%02d-%04d", (t.tm_mon + 1) % 100, t.tm_mday % 100,
                (t.tm_year + 1900) % 10000);
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.tm_hour % 100, t.tm_min % 100, t.tm_sec % 100);
  const std::string d(date), h(time);
  return "GR-" + d.substr(6, 4) + d.substr(0, 2) + d.substr(3, 2) + h.substr(0, 2) + h.substr(3, 2) +
         h.substr(6, 2);
}

std::filesystem::path DriveRoot() {
  if (const char* root = std::getenv("MIRELUNE_ROOT"); root && *root) return root;
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  return ".";
}

std::filesystem::path OutputFolder() { return DriveRoot() / "wimgx"; }

std::filesystem::path ArchivePathGroup() { return DriveRoot() / "baza-slik" / "skupina00" / "slika00.jpg"; }

std::filesystem::path ArchivePathArtist() { return DriveRoot() / "pelkin-art" / "slika00.jpg"; }

}  // namespace mirelune
