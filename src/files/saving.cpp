// saving.cpp — the save command, fresh names and the archive copies.
#include "files/saving.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "files/files.h"

namespace mirelune {
namespace {

// The names this process wrote cards under: only these may be rewritten.
std::mutex g_written_mutex;
std::set<std::string> g_written;

void NoteWritten(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_written_mutex);
  g_written.insert(name);
}

bool WroteEarlier(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_written_mutex);
  return g_written.count(name) != 0;
}

SaveResult Saved(const State& s, SaveResult r) {
  NoteWritten(s.names.image_name);
  r.message = "Saved " + r.path.string();
  return r;
}

SaveResult NotSaved(SaveResult r, const std::string& why, int code) {
  r.ok = false;
  r.code = code;
  r.message = "The card could not be saved (" + why + "); it is still on screen.";
  return r;
}

}  // namespace

std::string NextSecondName(const std::string& name) {
  std::tm t{};
  if (name.size() != 17 || name.compare(0, 3, "GR-") != 0 ||
      std::sscanf(name.c_str() + 3, "%4d%2d%2d%2d%2d%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                  &t.tm_min, &t.tm_sec) != 6)
    return "";
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  // The digits are read as UTC only to count on by one second: no daylight-saving
  // jump can repeat or skip a name.
  const std::time_t next = timegm(&t) + 1;
  std::tm u{};
  gmtime_r(&next, &u);
  if (u.tm_year + 1900 > 9999) return "";  // four digits of year: the names end here
  return ImageNameFor(u);
}

SaveResult SaveNewCard(State& s) {
  const Bytes bytes = EncodeBmp(s.card.image());
  return SaveNewCardAs(s, bytes, ".bmp");
}

SaveResult SaveNewCardAs(State& s, std::span<const std::uint8_t> bytes, const std::string& extension) {
  if (s.names.image_name.empty()) MakeImageName(s);
  SaveResult r;
  // As far ahead as names are taken: every step passes a file that exists, so the
  // walk ends, at the latest with the last name of year 9999.
  for (;;) {
    r.path = CardPath(s).replace_extension(extension);
    struct stat st {};
    // A name seen taken is passed without writing; the exclusive create decides.
    if (::lstat(r.path.c_str(), &st) != 0) {
      const Result<> w = WriteNewFile(r.path, bytes);
      if (w.ok) return Saved(s, r);
      if (w.code != EEXIST) return NotSaved(r, w.message, w.code);
    }
    const std::string next = NextSecondName(s.names.image_name);
    if (next.empty()) break;
    s.names.image_name = next;
  }
  return NotSaved(r, "every name up to " + r.path.filename().string() + " is taken", EEXIST);
}

SaveResult SaveCurrentCard(State& s) {
  if (s.names.image_name.empty() || !WroteEarlier(s.names.image_name)) return SaveNewCard(s);
  SaveResult r;
  r.path = CardPath(s);
  const Result<> w = SaveImage(s.card.image(), r.path);
  if (!w.ok) return NotSaved(r, w.message, w.code);
  return Saved(s, r);
}

SaveResult SaveCardForMail(State& s) {
  if (s.names.image_name.empty()) MakeImageName(s);
  if (const Result<> made = MakeFolder(OutputFolder()); !made)
    return SaveResult(Error{"The card could not be saved, so nothing was sent (" + made.message + ").", made.code});
  SaveResult r = SaveCurrentCard(s);
  if (!r.ok) r.message += " Nothing was sent.";
  return r;
}

SaveResult SaveNamedCard(State& s, SavedCards& saved) {
  SaveResult r = SaveNewCard(s);
  if (r.ok) saved.names.insert(s.names.image_name);
  return r;
}

SaveResult SaveCard(State& s, SavedCards& saved) {
  MakeImageName(s);
  return SaveNamedCard(s, saved);
}

bool MakeFreshImageName(State& s, const SavedCards& saved, std::chrono::milliseconds patience) {
  MakeImageName(s);
  const auto start = std::chrono::steady_clock::now();
  while (saved.names.count(s.names.image_name)) {
    if (std::chrono::steady_clock::now() - start > patience) return false;
    if (s.host) s.host->LetEventsIn();
    // Nothing to do until the clock moves on; do not spin a core meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    MakeImageName(s);
  }
  return true;
}

std::vector<std::filesystem::path> ArchiveSave(State& s) {
  std::vector<std::filesystem::path> written;
  for (const std::filesystem::path& path : {ArchivePathGroup(), ArchivePathArtist()}) {
    // No folder is made for the archive: where it is missing the copy is skipped.
    std::error_code ec;
    if (!std::filesystem::is_directory(path.parent_path(), ec)) continue;
    if (SaveImage(s.card.image(), path).ok) written.push_back(path);
  }
  return written;
}

}  // namespace mirelune
