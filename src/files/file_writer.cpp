// file_writer.cpp — the one way the program writes a file: whole or not at all
// for files, directly for devices and pipes, through symlinks, never over a
// read-only file.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "files/files.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> g_unnamed{true};

// Temporary names are short whatever the target's length, so that a name of the
// folder's full 255 bytes can still be written.
constexpr char kTempPrefix[] = ".mirelune-";
// A named temporary file whose writer is gone, or that is this old, is left over
// from a crash and may be removed.
constexpr std::time_t kStaleSeconds = 3600;

Result Fail(const fs::path& path, int err) {
  return Result::Failed("cannot write " + path.string() + ": " + std::strerror(err), err);
}

Result Fail(const fs::path& path, const std::string& why, int err) {
  return Result::Failed("cannot write " + path.string() + ": " + why, err);
}

// Closes a descriptor at the end of a scope.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

// Writes everything; a closed pipe gives EPIPE instead of killing the program.
int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  sigset_t pipe_only, old;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old);
  int err = 0;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (err == EPIPE && !sigismember(&old, SIGPIPE)) {
    const timespec now{0, 0};
    sigtimedwait(&pipe_only, nullptr, &now);  // the pending SIGPIPE of our own write
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return err;
}

// /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N name the program's own
// descriptors; they are written as they are (a socket cannot even be opened by name).
int OwnDescriptor(const fs::path& path) {
  const std::string p = path.lexically_normal().string();
  if (p == "/dev/stdout") return 1;
  if (p == "/dev/stderr") return 2;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t n = std::strlen(prefix);
    if (p.size() > n && p.compare(0, n, prefix) == 0 && p.size() - n <= 6 &&
        p.find_first_not_of("0123456789", n) == std::string::npos)
      return std::atoi(p.c_str() + n);
  }
  return -1;
}

Result WriteDirect(const fs::path& path, int fd, std::span<const std::uint8_t> bytes) {
  if (const int err = WriteAll(fd, bytes)) return Fail(path, err);
  return Result::Done();
}

// Follows symlinks to the name they lead to, also when nothing exists there yet.
bool FollowLinks(fs::path p, fs::path* out, int* err) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        *err = errno;
        return false;
      }
      *out = p;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      *out = p;
      return true;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(p.c_str(), target, sizeof target - 1);
    if (n < 0) {
      *err = errno;
      return false;
    }
    const fs::path t(std::string(target, static_cast<std::size_t>(n)));
    p = t.is_absolute() ? t : p.parent_path() / t;
  }
  *err = ELOOP;
  return false;
}

// Removes temporary files of ours that a killed writer left in the folder.
void RemoveStaleTemporaries(int dirfd) {
  const int own = ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (own < 0) return;
  DIR* d = ::fdopendir(own);
  if (!d) {
    ::close(own);
    return;
  }
  const std::time_t now = std::time(nullptr);
  const std::size_t plen = sizeof kTempPrefix - 1;
  while (const dirent* e = ::readdir(d)) {
    const char* name = e->d_name;
    if (std::strncmp(name, kTempPrefix, plen) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(name + plen, &end, 10);
    if (end == name + plen || *end != '-' || pid <= 0) continue;
    struct stat st {};
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (st.st_uid != ::geteuid()) continue;  // never someone else's file in a shared folder
    const bool writer_gone = ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    if (writer_gone || now - st.st_mtime > kStaleSeconds) ::unlinkat(dirfd, name, 0);
  }
  ::closedir(d);
}

// A fresh temporary name: the prefix, our process id and six random characters.
std::string TempName() {
  static std::atomic<unsigned> counter{0};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::uint64_t x = static_cast<std::uint64_t>(ts.tv_nsec) * 0x9E3779B97F4A7C15ull ^
                    (static_cast<std::uint64_t>(counter.fetch_add(1)) << 32) ^ static_cast<std::uint64_t>(::getpid());
  std::string name = kTempPrefix + std::to_string(::getpid()) + "-";
  for (int k = 0; k < 6; ++k) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    name += kChars[x % 36];
  }
  return name;
}

// Gives an unnamed file a name in the folder; EEXIST when the name is taken.
int LinkUnnamed(int fd, int dirfd, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), dirfd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  const int err = errno;
  if (err != ENOENT) return err;  // no /proc: try the call that needs a capability
  return ::linkat(fd, "", dirfd, name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

Result WriteRegular(const fs::path& shown, std::span<const std::uint8_t> bytes, bool exclusive) {
  struct stat old {};
  bool exists = false;
  fs::path target = shown;
  if (::stat(shown.c_str(), &old) == 0) {
    exists = true;
    if (exclusive) return Result::Failed(shown.string() + " already exists", EEXIST);
    if (S_ISDIR(old.st_mode)) return Fail(shown, EISDIR);
    if (S_ISBLK(old.st_mode))
      return Fail(shown, "it is a block device, which a card would overwrite; refused", EPERM);
    if (!S_ISREG(old.st_mode)) {
      // A character device, a FIFO or a socket: written in place, never renamed over.
      const int fd = ::open(shown.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (fd < 0) return Fail(shown, errno == ENXIO ? EPIPE : errno);
      const Fd closer(fd);
      return WriteDirect(shown, fd, bytes);
    }
    if ((old.st_mode & 0222) == 0) return Fail(shown, "the file is read-only; it was left as it is", EACCES);
    if (::faccessat(AT_FDCWD, shown.c_str(), W_OK, AT_EACCESS) != 0) {
      const int err = errno;
      if (err == EACCES) return Fail(shown, "the file is read-only; it was left as it is", EACCES);
      return Fail(shown, err);
    }
    char real[PATH_MAX];
    if (!::realpath(shown.c_str(), real)) return Fail(shown, errno);
    target = real;
  } else if (errno == ENOENT) {
    int err = 0;
    if (!FollowLinks(shown, &target, &err)) return Fail(shown, err);
  } else {
    return Fail(shown, errno);
  }

  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string leaf = target.filename().string();
  if (leaf.empty() || leaf == "." || leaf == "..") return Fail(shown, EISDIR);
  const int dirfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) {
    const int err = errno;
    if (err == ENOENT) return Fail(shown, "the folder " + dir.string() + " does not exist", err);
    return Fail(shown, err);
  }
  const Fd dir_closer(dirfd);
  RemoveStaleTemporaries(dirfd);

  // A new file gets the usual 0666 less the umask; a replaced one keeps its mode.
  const mode_t mode = exists ? (old.st_mode & 07777) : 0666;
  int fd = -1;
  std::string temp;
  if (g_unnamed.load()) fd = ::openat(dirfd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) {
    for (int tries = 0; tries < 100 && fd < 0; ++tries) {
      temp = TempName();
      fd = ::openat(dirfd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Fail(shown, errno);
  }
  const Fd closer(fd);
  auto fail = [&](int err) {
    if (!temp.empty()) ::unlinkat(dirfd, temp.c_str(), 0);
    return Fail(shown, err);
  };

  if (const int err = WriteAll(fd, bytes)) return fail(err);
  if (exists) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Only root may give a file away; the caller's own file keeps its owner anyway.
    }
  }
  if (exists) {
    if (::fchmod(fd, mode) != 0) return fail(errno);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, mode & ~mask) != 0) return fail(errno);
  }
  if (::fsync(fd) != 0) return fail(errno);

  if (temp.empty()) {
    // Unnamed: a new name is linked straight into place; a replacement gets a
    // temporary name first, as rename needs one.
    if (exclusive || !exists) {
      const int err = LinkUnnamed(fd, dirfd, leaf);
      if (err == EEXIST && exclusive) return Result::Failed(shown.string() + " already exists", EEXIST);
      if (err == 0) {
        ::fsync(dirfd);
        return Result::Done();
      }
      if (err != EEXIST) return fail(err);
    }
    int err = EEXIST;
    for (int tries = 0; tries < 100 && err == EEXIST; ++tries) {
      temp = TempName();
      err = LinkUnnamed(fd, dirfd, temp);
    }
    if (err) {
      temp.clear();
      return fail(err);
    }
  }
  if (exclusive) {
    // link never replaces: a name taken meanwhile (another process) fails here.
    if (::linkat(dirfd, temp.c_str(), dirfd, leaf.c_str(), 0) != 0) {
      const int err = errno;
      ::unlinkat(dirfd, temp.c_str(), 0);
      if (err == EEXIST) return Result::Failed(shown.string() + " already exists", EEXIST);
      return Fail(shown, err);
    }
    ::unlinkat(dirfd, temp.c_str(), 0);
  } else if (::renameat(dirfd, temp.c_str(), dirfd, leaf.c_str()) != 0) {
    return fail(errno);
  }
  // The new directory entry must survive a power cut too.
  if (::fsync(dirfd) != 0) return Fail(shown, errno);
  return Result::Done();
}

}  // namespace

Result WriteFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) return Result::Failed("cannot write a file without a name", EINVAL);
  if (const int fd = OwnDescriptor(path); fd >= 0) return WriteDirect(path, fd, bytes);
  return WriteRegular(path, bytes, false);
}

Result WriteNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) return Result::Failed("cannot write a file without a name", EINVAL);
  return WriteRegular(path, bytes, true);
}

Result MakeFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!ec) return Result::Done();
  return Result::Failed("cannot make the folder " + folder.string() + ": " + std::strerror(ec.value()),
                        ec.value());
}

void UseUnnamedTemporaryFiles(bool use) { g_unnamed = use; }

}  // namespace mirelune
