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

SaveResult Saved(Session& s, SaveResult r) {
  s.saved_names.insert(s.image_name);
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

SaveResult SaveNewCardAs(Session& s, std::span<const std::uint8_t> bytes, const std::string& extension,
                         const std::tm& now) {
  if (s.image_name.empty()) s.image_name = ImageNameFor(now);
  SaveResult r;
  // As far ahead as names are taken: every step passes a file that exists, so the
  // walk ends, at the latest with the last name of year 9999.
  for (;;) {
    r.path = OutputFolder() / (s.image_name + extension);
    struct stat st {};
    // A name seen taken is passed without writing; the exclusive create decides.
    if (::lstat(r.path.c_str(), &st) != 0) {
      const Result<> w = WriteNewFile(r.path, bytes);
      if (w.ok) return Saved(s, r);
      if (w.code != EEXIST) return NotSaved(r, w.message, w.code);
    }
    const std::string next = NextSecondName(s.image_name);
    if (next.empty()) break;
    s.image_name = next;
  }
  return NotSaved(r, "every name up to " + r.path.filename().string() + " is taken", EEXIST);
}

SaveResult CommandSaveCard(Session& s, const std::tm& now) {
  s.image_name = ImageNameFor(now);
  return SaveNewCardAs(s, EncodeBmp(s.card.image()), ".bmp", now);
}

SaveResult SaveCurrentCard(Session& s, const std::tm& now) {
  if (s.image_name.empty() || !s.saved_names.count(s.image_name))
    return SaveNewCardAs(s, EncodeBmp(s.card.image()), ".bmp", now);
  SaveResult r;
  r.path = OutputFolder() / (s.image_name + ".bmp");
  const Result<> w = SaveImage(s.card.image(), r.path);
  if (!w.ok) return NotSaved(r, w.message, w.code);
  return Saved(s, r);
}

LoopSaveResult CommandLoopAndSave(Session& s, const CardWatch& watch, const std::function<std::tm()>& clock,
                                  const std::function<void(const SaveResult&, int cards)>& on_saved, int limit) {
  LoopSaveResult last;
  for (int card = 1;; ++card) {
    if (card > limit) {
      last.end_program = true;
      return last;
    }
    if (watch.Stopped() || !PaintNextCard(s, watch)) return last;
    // A name no card of this run was saved under, waiting for the clock's next
    // second (without spinning a core) for at most three seconds.
    const auto start = std::chrono::steady_clock::now();
    s.image_name = ImageNameFor(clock());
    while (s.saved_names.count(s.image_name) && !watch.Stopped()) {
      if (std::chrono::steady_clock::now() - start > std::chrono::seconds(3)) {
        last.ok = false;
        last.path = OutputFolder() / (s.image_name + ".bmp");
        last.message = "The loop with saving stopped: the clock does not move on, so the next card "
                       "would replace " + last.path.string() + ".";
        return last;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      s.image_name = ImageNameFor(clock());
    }
    const SaveResult r = SaveNewCardAs(s, EncodeBmp(s.card.image()), ".bmp", clock());
    static_cast<SaveResult&>(last) = r;
    if (!r) {
      last.message = "The loop with saving stopped: " + r.message;
      return last;
    }
    ++last.cards;
    if (on_saved) on_saved(r, last.cards);
  }
}

SaveResult SaveCardForMail(Session& s, const std::tm& now) {
  if (Result<> made = MakeFolder(OutputFolder()); !made) {
    SaveResult r;
    r.ok = false;
    r.message = "The card could not be saved, so nothing was sent (" + made.message + ").";
    r.code = made.code;
    return r;
  }
  SaveResult saved = SaveCurrentCard(s, now);
  if (!saved.ok) saved.message += " Nothing was sent.";
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
