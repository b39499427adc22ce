// file_writer.cpp — the one way the program writes a file: whole or not at all
// for files, directly for devices and pipes, through symlinks only where no other
// user can have put them, never over a read-only file.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "files/files.h"
#include "files/safe_open.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;

// Temporary names are short whatever the target's length, so that a name of the
// folder's full 255 bytes can still be written.
constexpr char kTempPrefix[] = ".mirelune-";
// Where /proc cannot tell whether a temporary file's writer lives, a file this old
// is taken as left over from a crash.
constexpr std::time_t kStaleSeconds = 3600;

Result<> Fail(const fs::path& path, int err) {
  return Result<>::Failed("cannot write " + path.string() + ": " + std::strerror(err), err);
}

Result<> Fail(const fs::path& path, const std::string& why, int err) {
  return Result<>::Failed("cannot write " + path.string() + ": " + why, err);
}

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

Result<> WriteDirect(const fs::path& path, int fd, std::span<const std::uint8_t> bytes) {
  if (const int err = WriteAll(fd, bytes)) return Fail(path, err);
  return Result<>::Done();
}

// This run's mark on its temporary files: host, process id and the process's start
// (clock ticks after boot, 0 when /proc cannot tell; a recycled process id has
// another). A folder shared by several hosts (NFS) then tells whose file a
// temporary one is.
struct RunMark {
  std::string host;
  pid_t pid = 0;
  long long start = 0;
};

// A process's start time from /proc; -1 when there is no such process, -2 when
// /proc cannot tell.
long long ProcessStart(pid_t pid) {
  std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "re");
  if (!f) return errno == ENOENT ? (::access("/proc/self/stat", R_OK) == 0 ? -1 : -2) : -2;
  char text[1024];
  const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  text[n] = '\0';
  const char* at = std::strrchr(text, ')');  // the command name may hold spaces and parentheses
  if (!at) return -2;
  // Field 22 is the start time; the fields after the name start at 3.
  for (int field = 2; field < 22 && at; ++field) at = std::strchr(at + 1, ' ');
  return at ? std::strtoll(at + 1, nullptr, 10) : -2;
}

std::string HostName() {
  char raw[HOST_NAME_MAX + 1] = {};
  if (::gethostname(raw, sizeof raw - 1) != 0 || !raw[0]) return "localhost";
  std::string host = raw;
  for (char& c : host)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  return host;
}

// This run's mark, looked up at every use: a forked child is a run of its own.
RunMark OwnRun() { return {HostName(), ::getpid(), std::max(0LL, ProcessStart(::getpid()))}; }

// Reads ".mirelune-<host>-<pid>-<start>-XXXXXX"; the host may hold dashes.
bool ParseTempName(const std::string& name, RunMark* mark) {
  const std::size_t plen = sizeof kTempPrefix - 1;
  if (name.compare(0, plen, kTempPrefix) != 0 || name.size() < plen + 7) return false;
  std::string rest = name.substr(plen, name.size() - plen - 7);
  if (name[name.size() - 7] != '-') return false;
  long long numbers[2];
  for (int k = 1; k >= 0; --k) {
    const std::size_t dash = rest.rfind('-');
    const std::string digits = dash == std::string::npos ? "" : rest.substr(dash + 1);
    if (digits.empty() || digits.size() > 19 || digits.find_first_not_of("0123456789") != std::string::npos)
      return false;
    numbers[k] = std::strtoll(digits.c_str(), nullptr, 10);
    rest.resize(dash);
  }
  if (rest.empty() || numbers[0] <= 0 || numbers[0] > INT_MAX) return false;
  *mark = {rest, static_cast<pid_t>(numbers[0]), numbers[1]};
  return true;
}

// Whether the run that named a temporary file is over. Only this host's runs can be
// judged: another host's process ids mean nothing here.
bool RunIsOver(const RunMark& m, const RunMark& own, const struct stat& st, std::time_t now) {
  if (m.host != own.host) return false;
  const long long start = m.pid == own.pid ? own.start : ProcessStart(m.pid);
  if (start == -1) return true;                                 // no such process
  if (start > 0 && m.start > 0) return start != m.start;        // that run, or a recycled id
  // /proc cannot tell: a process of that id, or a young file, may still be writing.
  return (m.pid != own.pid && ::kill(m.pid, 0) != 0 && errno == ESRCH) || now - st.st_mtime > kStaleSeconds;
}

// Removes temporary files that a killed writer of this host left in the folder,
// unless the caller has swept it already.
void Sweep(int dirfd, std::set<std::pair<dev_t, ino_t>>* swept) {
  struct stat dir {};
  if (::fstat(dirfd, &dir) != 0) return;
  if (swept && !swept->insert({dir.st_dev, dir.st_ino}).second) return;
  const RunMark own = OwnRun();
  const int own_fd = ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (own_fd < 0) return;
  DIR* d = ::fdopendir(own_fd);
  if (!d) {
    ::close(own_fd);
    return;
  }
  const std::time_t now = std::time(nullptr);
  while (const dirent* e = ::readdir(d)) {
    RunMark m;
    if (!ParseTempName(e->d_name, &m)) continue;
    struct stat st {};
    if (::fstatat(dirfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (st.st_uid != ::geteuid()) continue;  // never someone else's file in a shared folder
    if (RunIsOver(m, own, st, now)) ::unlinkat(dirfd, e->d_name, 0);
  }
  ::closedir(d);
}

// A fresh temporary name: the prefix, this run's mark and six random characters
// (from the clock, the thread and `attempt`; a name taken is tried again).
std::string TempName(int attempt) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  const RunMark own = OwnRun();
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::uint64_t x = static_cast<std::uint64_t>(ts.tv_nsec) * 0x9E3779B97F4A7C15ull ^
                    (static_cast<std::uint64_t>(attempt) << 32) ^ static_cast<std::uint64_t>(own.pid) ^
                    (std::hash<std::thread::id>{}(std::this_thread::get_id()) << 16);
  std::string name = kTempPrefix + own.host + "-" + std::to_string(own.pid) + "-" + std::to_string(own.start) + "-";
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

// A device, FIFO or socket that the path resolved to, opened for writing as it is:
// through /proc the very file looked at, else by its name in its folder if that
// is still the same file.
int OpenResolvedInPlace(const ResolvedPath& r) {
  const std::string self = "/proc/self/fd/" + std::to_string(r.file.get());
  int fd = ::open(self.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd >= 0 || errno != ENOENT) return fd;
  fd = ::openat(r.dir.get(), r.leaf.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_dev != r.st.st_dev || st.st_ino != r.st.st_ino)) {
    ::close(fd);
    errno = EAGAIN;
    return -1;
  }
  return fd;
}

// A regular file about to be replaced: refused when read-only for us, or when it
// has other names and belongs to another user.
Result<> CheckReplaceable(const fs::path& shown, const ResolvedPath& target) {
  const struct stat& old = target.st;
  if ((old.st_mode & 0222) == 0) return Fail(shown, "the file is read-only; it was left as it is", EACCES);
  if (::faccessat(target.dir.get(), target.leaf.c_str(), W_OK, AT_EACCESS) != 0) {
    const int err = errno;
    if (err == EACCES) return Fail(shown, "the file is read-only; it was left as it is", EACCES);
    return Fail(shown, err);
  }
  if (const Result<> linked = CheckHardLinks(old); !linked) return Fail(shown, linked.message, linked.code);
  return {};
}

// A character device, a FIFO or a socket: written in place, never renamed over.
Result<> WriteInPlace(const fs::path& shown, const ResolvedPath& target, std::span<const std::uint8_t> bytes) {
  const int fd = OpenResolvedInPlace(target);
  if (fd < 0) return Fail(shown, errno == ENXIO ? EPIPE : errno);
  const UniqueFd closer(fd);
  return WriteDirect(shown, fd, bytes);
}

// The new contents before they take the file's name: an unnamed file
// (O_TMPFILE), or one under a temporary name that a failure removes again.
struct Pending {
  const fs::path& shown;
  int dirfd;
  UniqueFd fd;
  std::string temp;  // empty while unnamed

  Result<> Failed(int err) {
    if (!temp.empty()) ::unlinkat(dirfd, temp.c_str(), 0);
    return Fail(shown, err);
  }
};

Result<> OpenPending(Pending& p, bool unnamed) {
  int fd = -1;
  if (unnamed) fd = ::openat(p.dirfd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) {
    for (int tries = 0; tries < 100 && fd < 0; ++tries) {
      p.temp = TempName(tries);
      fd = ::openat(p.dirfd, p.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Fail(p.shown, errno);
  }
  p.fd = UniqueFd(fd);
  return {};
}

// Writes the bytes, gives the file its owner (when replacing) and mode, and syncs it.
Result<> FillPending(Pending& p, const ResolvedPath& target, std::span<const std::uint8_t> bytes, const StepFn& on_step) {
  const int fd = p.fd.get();
  // A new file gets the usual 0666 less the umask; a replaced one keeps its mode.
  const mode_t mode = target.exists ? (target.st.st_mode & 07777) : (0666 & ~ProcessUmask());
  if (const int err = WriteAll(fd, bytes)) return p.Failed(err);
  if (target.exists) {
    if (::fchown(fd, target.st.st_uid, target.st.st_gid) != 0) {
      // Only root may give a file away; the caller's own file keeps its owner anyway.
    }
  }
  if (::fchmod(fd, mode) != 0) return p.Failed(errno);
  if (::fsync(fd) != 0) return p.Failed(errno);
  if (on_step) on_step("written", target.shown);
  return {};
}

// Gives the written file its name: linked when the name must be new, renamed
// over the old file otherwise; then the folder is synced.
Result<> PutInPlace(Pending& p, const std::string& leaf, bool exists, bool exclusive) {
  const int dirfd = p.dirfd;
  if (p.temp.empty()) {
    // Unnamed: a new name is linked straight into place; a replacement gets a
    // temporary name first, as rename needs one.
    if (exclusive || !exists) {
      const int err = LinkUnnamed(p.fd.get(), dirfd, leaf);
      if (err == EEXIST && exclusive) return Error{p.shown.string() + " already exists", EEXIST};
      if (err == 0) {
        // The new directory entry must survive a power cut too.
        if (::fsync(dirfd) != 0) return Fail(p.shown, errno);
        return {};
      }
      if (err != EEXIST) return p.Failed(err);
    }
    int err = EEXIST;
    for (int tries = 0; tries < 100 && err == EEXIST; ++tries) {
      p.temp = TempName(tries);
      err = LinkUnnamed(p.fd.get(), dirfd, p.temp);
    }
    if (err) {
      p.temp.clear();
      return p.Failed(err);
    }
  }
  if (exclusive) {
    // link never replaces: a name taken meanwhile (another process) fails here.
    if (::linkat(dirfd, p.temp.c_str(), dirfd, leaf.c_str(), 0) != 0) {
      const int err = errno;
      ::unlinkat(dirfd, p.temp.c_str(), 0);
      if (err == EEXIST) return Error{p.shown.string() + " already exists", EEXIST};
      return Fail(p.shown, err);
    }
    ::unlinkat(dirfd, p.temp.c_str(), 0);
  } else if (::renameat(dirfd, p.temp.c_str(), dirfd, leaf.c_str()) != 0) {
    return p.Failed(errno);
  }
  // The new directory entry must survive a power cut too.
  if (::fsync(dirfd) != 0) return Fail(p.shown, errno);
  return {};
}

Result<> WriteRegular(const fs::path& shown, std::span<const std::uint8_t> bytes, bool exclusive,
                      const WriteOptions& o) {
  // The path is looked up once; everything after works on what was found.
  const Result<ResolvedPath> resolved = ResolvePath(shown, LastLink::kFollow, o.on_step);
  if (!resolved) return Fail(shown, resolved.error().message, resolved.error().code);
  const ResolvedPath& target = *resolved;
  if (target.exists) {
    const mode_t type = target.st.st_mode;
    if (exclusive) return Error{shown.string() + " already exists", EEXIST};
    if (S_ISDIR(type)) return Fail(shown, EISDIR);
    if (S_ISBLK(type)) return Fail(shown, "it is a block device, which a card would overwrite; refused", EPERM);
    // Checked before anything is opened: a FIFO planted by another user would hang
    // the write, a hard link would hand its owner and mode (set-user-ID) to the card.
    if (const Result<> planted = CheckPlanted(target.dir.get(), target.dir_st, target.st, false); !planted)
      return Fail(shown, planted.message, planted.code);
    if (!S_ISREG(type)) return WriteInPlace(shown, target, bytes);
    MIRELUNE_TRY(CheckReplaceable(shown, target));
  }
  // The resolved folder, readable: for the sweep, for fsync.
  const int dirfd = ::openat(target.dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) return Fail(shown, errno);
  const UniqueFd dir_closer(dirfd);
  Sweep(dirfd, o.swept);

  Pending pending{shown, dirfd, UniqueFd(), {}};
  MIRELUNE_TRY(OpenPending(pending, o.unnamed_temporary));
  MIRELUNE_TRY(FillPending(pending, target, bytes, o.on_step));
  return PutInPlace(pending, target.leaf, target.exists, exclusive);
}

}  // namespace

Result<> WriteFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         const WriteOptions& options) {
  if (path.empty()) return Result<>::Failed("cannot write a file without a name", EINVAL);
  if (const int fd = OwnDescriptor(path); fd >= 0) return WriteDirect(path, fd, bytes);
  return WriteRegular(path, bytes, false, options);
}

Result<> WriteNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                      const WriteOptions& options) {
  if (path.empty()) return Result<>::Failed("cannot write a file without a name", EINVAL);
  return WriteRegular(path, bytes, true, options);
}

Result<> MakeFolder(const std::filesystem::path& folder) {
  // Made by descriptors from the folder that holds it, as files are written: a
  // link planted on the way is refused here too, not followed to make a folder
  // wherever it points.
  for (int tries = 0;; ++tries) {
    const Result<ResolvedPath> r = ResolvePath(folder, LastLink::kFollow);
    int err = r ? 0 : r.error().code;
    if (r && r->exists) {
      if (S_ISDIR(r->st.st_mode)) return Result<>::Done();
      err = ENOTDIR;
    } else if (r) {
      if (::mkdirat(r->dir.get(), r->leaf.c_str(), 0777) == 0) return Result<>::Done();
      err = errno;
      if (err == EEXIST && tries < 3) continue;  // made meanwhile: look again
    } else if (err == ENOENT && folder.has_parent_path() && folder.parent_path() != folder) {
      // A missing folder on the way: made first, then this one.
      if (const Result<> up = MakeFolder(folder.parent_path()); !up) return up;
      if (tries < 3) continue;
    }
    return Result<>::Failed("cannot make the folder " + folder.string() + ": " +
                                (r ? std::string(std::strerror(err)) : r.error().message),
                            err);
  }
}

}  // namespace mirelune
