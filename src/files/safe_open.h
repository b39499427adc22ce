// safe_open.h — reaching a file through its path once, by descriptors, so that
// nobody can swap a link or a folder between the look and the write.
//
//   Result<ResolvedPath> r = ResolvePath(path, LastLink::kFollow);
//   if (!r) return r.error();                    // the reason; the caller names the path
//   int fd = ::openat(r->dir.get(), r->leaf.c_str(), ...);  // the folder that was looked at
//
//   Result<OpenFile> log = OpenInPlace(dir / "manifest.jsonl");  // appended to where it is
//
// Symlinks are read and followed here, one step at a time, not by the kernel (at
// most 40, as the kernel allows), whatever the machine's fs.protected_symlinks
// says. A link is followed only when nobody but this process's user (or root, who
// could do anything anyway) can have put it where it is:
//  * it belongs to this user or to root: a link of anyone else's leads wherever
//    they like;
//  * and its folder is not one another user can write (OthersCanWrite), or is
//    sticky and owned by this user or root (as /tmp), where nobody else can rename
//    or remove our links. The folder's owner does not count for more, as it does
//    for the kernel: a link of `nobody` in nobody's folder is refused.
// A file found in a folder others can write is taken as possibly planted there:
// see CheckPlanted.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

#include "base/result.h"
#ifdef _WIN32
#include "base/windows_posix.h"  // uid_t: no owners to check on Windows, a user's folders are the user's
#endif

namespace mirelune {

// Told of each step of a lookup or a write with the path at hand: "opened" (each
// part of a path), "resolved" (the file's path) and "written" (before the file is
// put in place). The tests swap a link or a folder between two steps.
using StepFn = std::function<void(const char* step, const std::filesystem::path& at)>;

// Closes its descriptor at the end of its scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// What a path led to: the folder that holds it (an O_PATH descriptor) and its name
// there; when something is there, an O_PATH descriptor of it and what it is.
struct ResolvedPath {
  UniqueFd dir;
  struct stat dir_st {};
  std::string leaf;
  std::filesystem::path shown;  // the file's path with the links followed, for messages
  bool exists = false;
  UniqueFd file;
  struct stat st {};
};

// A symlink as the path's last part: followed (as the writer does), or refused
// (for files appended to in place).
enum class LastLink { kFollow, kRefuse };

// Walks `path` from / or the working folder. A missing last part is fine (exists
// stays false); a missing folder, a symlink loop, a refused link fail with a
// reason alone (the caller names the path and what it was doing).
Result<ResolvedPath> ResolvePath(const std::filesystem::path& path, LastLink last, const StepFn& on_step = {});

// Whether a user other than this process's one and root may add, rename or remove
// names in the folder: it belongs to such a user, or is writable by everyone, or
// by its group, unless that is our own user-private group (named as we are, our
// group, listing nobody else, no ACL on the folder). Another user whose primary
// group is ours is not seen: user-private groups are nobody else's by design.
bool OthersCanWrite(int dirfd, const struct stat& dir);

// Refuses (EPERM) the file a path led to when another user may have planted it:
// in a folder others can write, a file with other names (hard links), a device,
// FIFO or socket that is not ours, and when `own_only` (files read back or
// appended to in place) any file that is not ours. The message is the reason only.
Result<> CheckPlanted(int dirfd, const struct stat& dir, const struct stat& file, bool own_only);

// The user's name for messages, or "user <uid>".
std::string UserName(uid_t uid);

// Fails (EPERM) for a regular file that must not be written: it has other names
// (hard links) and belongs to someone else, so it may be somebody's file linked
// in by a third party.
Result<> CheckHardLinks(const struct stat& file);

struct OpenFile {
  UniqueFd fd;
  struct stat st {};  // the file as opened
};

// Opens a file to be read and appended to in place (a journal, a lock), creating it
// with `mode` less the umask: never through a symlink as its last part, only a
// regular file, not one with other names (hard links) that belongs to someone else,
// nothing CheckPlanted refuses (own_only).
Result<OpenFile> OpenInPlace(const std::filesystem::path& path, mode_t mode = 0644, const StepFn& on_step = {});

// The same checks for a file only read (a manifest or journal read back); a
// missing file fails with ENOENT, "cannot read <path>: ...".
Result<OpenFile> OpenToRead(const std::filesystem::path& path);

// The process's umask, read once: changing it to read it races with other threads.
mode_t ProcessUmask();


}  // namespace mirelune
