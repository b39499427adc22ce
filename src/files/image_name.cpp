// image_name.cpp — card names from the clock, and where the cards go.
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#endif

#include "base/platform.h"
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

#ifdef _WIN32
namespace {
// The user's Pictures folder (wherever the profile or a policy has moved it).
std::filesystem::path PicturesFolder() {
  PWSTR dir = nullptr;
  std::filesystem::path out;
  if (SHGetKnownFolderPath(FOLDERID_Pictures, KF_FLAG_CREATE, nullptr, &dir) == S_OK) out = dir;
  CoTaskMemFree(dir);
  if (out.empty()) out = Utf8Path(EnvText("USERPROFILE")) / "Pictures";
  return out;
}
}  // namespace

// Windows users find their pictures under Pictures: the cards go to Pictures\Mirelune,
// and to C:\wimgx only when asked (MIRELUNE_ROOT=C:\).
std::filesystem::path DriveRoot() {
  if (const std::string root = EnvText("MIRELUNE_ROOT"); !root.empty()) return Utf8Path(root);
  return PicturesFolder() / "Mirelune";
}

std::filesystem::path OutputFolder() {
  if (!EnvText("MIRELUNE_ROOT").empty()) return DriveRoot() / "wimgx";
  return DriveRoot();
}
#else
std::filesystem::path DriveRoot() {
  if (const char* root = std::getenv("MIRELUNE_ROOT"); root && *root) return root;
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  return ".";
}

std::filesystem::path OutputFolder() { return DriveRoot() / "wimgx"; }
#endif

std::filesystem::path ArchivePathGroup() { return DriveRoot() / "baza-slik" / "skupina00" / "slika00.jpg"; }

std::filesystem::path ArchivePathArtist() { return DriveRoot() / "pelkin-art" / "slika00.jpg"; }

}  // namespace mirelune
