// saving.cpp — the save command, fresh names and the archive copies.
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>

#include "commands/commands.h"
#include "files/files.h"

namespace mirelune {
namespace {

Result<std::filesystem::path> Saved(Session& s, std::filesystem::path path) {
  s.saved_names.insert(s.image_name);
  return path;
}

bool NameTaken(const std::filesystem::path& path) {
#ifdef _WIN32
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
#else
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
#endif
}

Error NotSaved(const std::string& why, int code) {
  return {"The card could not be saved (" + why + "); it is still on screen.", code};
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
  std::tm u{};
#ifdef _WIN32
  const std::time_t next = _mkgmtime(&t) + 1;
#else
  const std::time_t next = timegm(&t) + 1;
#endif
  gmtime_r(&next, &u);
  if (u.tm_year + 1900 > 9999) return "";  // four digits of year: the names end here
  return ImageNameFor(u);
}

Result<std::filesystem::path> SaveNewCardAs(Session& s, std::span<const std::uint8_t> bytes,
                                            const std::string& extension, const std::tm& now) {
  if (s.image_name.empty()) s.image_name = ImageNameFor(now);
  std::filesystem::path path;
  // As far ahead as names are taken: every step passes a file that exists, so the
  // walk ends, at the latest with the last name of year 9999.
  for (;;) {
    path = OutputFolder() / (s.image_name + extension);
    // A name seen taken is passed without writing; the exclusive create decides.
    if (!NameTaken(path)) {
      const Result<> w = WriteNewFile(path, bytes);
      if (w.ok) return Saved(s, path);
      if (w.code != EEXIST) return NotSaved(w.message, w.code);
    }
    const std::string next = NextSecondName(s.image_name);
    if (next.empty()) break;
    s.image_name = next;
  }
  return NotSaved("every name up to " + path.filename().string() + " is taken", EEXIST);
}

Result<std::filesystem::path> CommandSaveCard(Session& s, const std::tm& now) {
  s.image_name = ImageNameFor(now);
  return SaveNewCardAs(s, EncodeBmp(s.card.image()), ".bmp", now);
}

Result<std::filesystem::path> SaveCurrentCard(Session& s, const std::tm& now) {
  if (s.image_name.empty() || !s.saved_names.count(s.image_name))
    return SaveNewCardAs(s, EncodeBmp(s.card.image()), ".bmp", now);
  std::filesystem::path path = OutputFolder() / (s.image_name + ".bmp");
  if (const Result<> w = SaveImage(s.card.image(), path); !w.ok) return NotSaved(w.message, w.code);
  return Saved(s, std::move(path));
}

Result<LoopEnd> CommandLoopAndSave(Session& s, const CardWatch& watch, const std::function<std::tm()>& clock,
                                   const std::function<void(const std::filesystem::path&, int cards)>& on_saved,
                                   int limit) {
  for (int card = 1;; ++card) {
    if (card > limit) return LoopEnd::kLimitReached;
    if (watch.Stopped() || !PaintNextCard(s, watch)) return LoopEnd::kStopped;
    // A name no card of this run was saved under, waiting for the clock's next
    // second (without spinning a core) for at most three seconds.
    const auto start = std::chrono::steady_clock::now();
    s.image_name = ImageNameFor(clock());
    while (s.saved_names.count(s.image_name) && !watch.Stopped()) {
      if (std::chrono::steady_clock::now() - start > std::chrono::seconds(3))
        return Error{"The loop with saving stopped: the clock does not move on, so the next card would replace " +
                     (OutputFolder() / (s.image_name + ".bmp")).string() + "."};
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      s.image_name = ImageNameFor(clock());
    }
    const Result<std::filesystem::path> saved = SaveNewCardAs(s, EncodeBmp(s.card.image()), ".bmp", clock());
    if (!saved) return Error{"The loop with saving stopped: " + saved.error().message, saved.error().code};
    if (on_saved) on_saved(*saved, card);
  }
}

Result<std::filesystem::path> SaveCardForMail(Session& s, const std::tm& now) {
  if (Result<> made = MakeFolder(OutputFolder()); !made)
    return Error{"The card could not be saved, so nothing was sent (" + made.message + ").", made.code};
  Result<std::filesystem::path> saved = SaveCurrentCard(s, now);
  if (!saved) return Error{saved.error().message + " Nothing was sent.", saved.error().code};
  return saved;
}

std::vector<std::filesystem::path> CommandArchiveSave(const Session& s) {
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
