// safe_open.cpp — paths resolved once, symlinks followed by hand under the shared
// folder rule, files opened in place only when they are what they seem.
#include "files/safe_open.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <deque>
#include <mutex>

namespace mirelune {
namespace {

namespace fs = std::filesystem;

// The kernel's own limit on symlinks in one lookup.
constexpr int kMaxLinks = 40;

std::atomic<bool> g_hooked{false};
std::mutex g_hook_mutex;
std::function<void(const std::string&, const fs::path&)> g_hook;

// The parts of a path; a trailing slash asks for a folder, as "." does.
void PushParts(const std::string& text, std::deque<std::string>* todo) {
  std::deque<std::string> parts;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('/', at), text.size());
    if (end > at) parts.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (!text.empty() && text.back() == '/') parts.push_back(".");
  todo->insert(todo->begin(), parts.begin(), parts.end());
}

fs::path Join(const fs::path& dir, const std::string& part) { return dir.empty() ? fs::path(part) : dir / part; }

bool OnProcFs(int fd) {
  struct statfs f {};
  return ::fstatfs(fd, &f) == 0 && f.f_type == PROC_SUPER_MAGIC;
}

Resolved Refused(Resolved r, const fs::path& path, const std::string& why, int err) {
  r.ok = false;
  r.code = err;
  r.message = "cannot write " + path.string() + ": " + why;
  return r;
}

}  // namespace

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool SharedFolder(const struct stat& dir) {
  return S_ISDIR(dir.st_mode) && (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
}

Result<> CheckHardLinks(const struct stat& file) {
  if (!S_ISREG(file.st_mode) || file.st_nlink <= 1 || file.st_uid == ::geteuid()) return {};
  return Error{"it has other names (hard links) and belongs to user " + std::to_string(file.st_uid) +
                   ", so it may be someone else's file linked in; refused",
               EPERM};
}

Resolved ResolvePath(const fs::path& path, LastLink last) {
  Resolved r;
  const std::string text = path.string();
  if (text.empty()) return Refused(std::move(r), path, std::strerror(ENOENT), ENOENT);
  const bool absolute = text.front() == '/';
  r.dir.reset(::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!r.dir) return Refused(std::move(r), path, std::strerror(errno), errno);
  fs::path shown = absolute ? "/" : "";
  std::deque<std::string> todo;
  PushParts(text, &todo);
  if (todo.empty()) todo.push_back(".");  // "/" itself
  int links = 0;
  while (!todo.empty()) {
    const std::string part = todo.front();
    todo.pop_front();
    const bool is_last = todo.empty();
    if (part == "." && !is_last) continue;
    const fs::path here = Join(shown, part);
    UniqueFd fd(::openat(r.dir.get(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd) {
      const int err = errno;
      if (err == ENOENT && is_last) {
        if (::fstat(r.dir.get(), &r.dir_st) != 0) return Refused(std::move(r), path, std::strerror(errno), errno);
        r.leaf = part;
        r.shown = here;
        CallWriterHook("resolved", r.shown);
        return r;
      }
      if (err == ENOENT) return Refused(std::move(r), path, "the folder " + here.string() + " does not exist", err);
      return Refused(std::move(r), path, std::strerror(err), err);
    }
    CallWriterHook("opened", here);
    if (::fstat(fd.get(), &st) != 0) return Refused(std::move(r), path, std::strerror(errno), errno);
    if (S_ISLNK(st.st_mode)) {
      if (is_last && last == LastLink::kRefuse)
        return Refused(std::move(r), path, "it is a symbolic link, which is not followed for this file; refused", ELOOP);
      if (++links > kMaxLinks) return Refused(std::move(r), path, std::strerror(ELOOP), ELOOP);
      struct stat dir_st {};
      if (::fstat(r.dir.get(), &dir_st) != 0) return Refused(std::move(r), path, std::strerror(errno), errno);
      if (SharedFolder(dir_st) && st.st_uid != ::geteuid() && st.st_uid != dir_st.st_uid)
        return Refused(std::move(r), path,
                       "the symbolic link " + here.string() + " sits in a folder anyone may write to and belongs to user " +
                           std::to_string(st.st_uid) + ", neither this user nor the folder's owner; it was not followed",
                       EACCES);
      if (OnProcFs(r.dir.get())) {
        // /proc's links (/dev/stdout's /proc/self/fd/1) name open files, not paths:
        // only the kernel can follow them.
        fd.reset(::openat(r.dir.get(), part.c_str(), O_PATH | O_CLOEXEC));
        if (!fd || ::fstat(fd.get(), &st) != 0) return Refused(std::move(r), path, std::strerror(errno), errno);
      } else {
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(fd.get(), "", target, sizeof target);
        if (n < 0) return Refused(std::move(r), path, std::strerror(errno), errno);
        if (n == 0 || n == static_cast<ssize_t>(sizeof target))
          return Refused(std::move(r), path, std::strerror(n == 0 ? ENOENT : ENAMETOOLONG), n == 0 ? ENOENT : ENAMETOOLONG);
        const std::string to(target, static_cast<std::size_t>(n));
        if (to.front() == '/') {
          r.dir.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
          if (!r.dir) return Refused(std::move(r), path, std::strerror(errno), errno);
          shown = "/";
        }
        PushParts(to, &todo);
        if (todo.empty()) todo.push_back(".");
        continue;
      }
    }
    if (is_last) {
      if (::fstat(r.dir.get(), &r.dir_st) != 0) return Refused(std::move(r), path, std::strerror(errno), errno);
      r.leaf = part;
      r.shown = here;
      r.exists = true;
      r.file = std::move(fd);
      r.st = st;
      CallWriterHook("resolved", r.shown);
      return r;
    }
    if (!S_ISDIR(st.st_mode)) return Refused(std::move(r), path, std::strerror(ENOTDIR), ENOTDIR);
    r.dir = std::move(fd);
    shown = here.lexically_normal();
  }
  return Refused(std::move(r), path, std::strerror(EISDIR), EISDIR);  // not reached: the last part returns
}

OpenedFile OpenInPlace(const fs::path& path, mode_t mode) {
  OpenedFile out;
  Resolved r = ResolvePath(path, LastLink::kRefuse);
  auto fail = [&](const std::string& why, int err) {
    out.ok = false;
    out.code = err;
    out.message = "cannot write " + path.string() + ": " + why;
    out.fd.reset();
    return std::move(out);
  };
  if (!r) {
    static_cast<Result<>&>(out) = r;
    return out;
  }
  if (r.leaf == "." || r.leaf == "..") return fail(std::strerror(EISDIR), EISDIR);
  // Non-blocking only while opening: a FIFO planted under the name must not hang us.
  out.fd.reset(::openat(r.dir.get(), r.leaf.c_str(),
                        O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, mode));
  if (!out.fd) {
    const int err = errno;
    if (err == ELOOP) return fail("it is a symbolic link, which is not followed for this file; refused", err);
    return fail(std::strerror(err), err);
  }
  struct stat& st = out.st;
  if (::fstat(out.fd.get(), &st) != 0) return fail(std::strerror(errno), errno);
  if (!S_ISREG(st.st_mode)) return fail("it is not a regular file; refused", EINVAL);
  const bool shared = SharedFolder(r.dir_st);
  if (const Result<> linked = CheckHardLinks(st); !linked) return fail(linked.message, linked.code);
  if (shared && st.st_nlink > 1)
    return fail("it has other names (hard links) in a folder anyone may write to; refused", EPERM);
  if (shared && st.st_uid != ::geteuid() && st.st_uid != r.dir_st.st_uid)
    return fail("it belongs to user " + std::to_string(st.st_uid) +
                    " in a folder anyone may write to, neither this user nor the folder's owner; refused",
                EPERM);
  const int flags = ::fcntl(out.fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(out.fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return fail(std::strerror(errno), errno);
  return out;
}

mode_t ProcessUmask() {
  static const mode_t mask = [] {
    // Linux reports it without changing it; elsewhere the one umask() pair runs
    // once, under the static's own lock.
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
      char line[256];
      unsigned value = 0;
      bool found = false;
      while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "Umask: %o", &value) == 1;
      std::fclose(f);
      if (found) return static_cast<mode_t>(value & 0777);
    }
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
  }();
  return mask;
}

void SetWriterHookForTests(std::function<void(const std::string&, const fs::path&)> hook) {
  std::lock_guard<std::mutex> lock(g_hook_mutex);
  g_hooked = static_cast<bool>(hook);
  g_hook = std::move(hook);
}

void CallWriterHook(const char* event, const fs::path& at) {
  if (!g_hooked.load(std::memory_order_relaxed)) return;
  std::function<void(const std::string&, const fs::path&)> hook;
  {
    std::lock_guard<std::mutex> lock(g_hook_mutex);
    hook = g_hook;
  }
  if (hook) hook(event, at);
}

}  // namespace mirelune
