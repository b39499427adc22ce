// safe_open.cpp — paths resolved once, symlinks followed by hand only where no
// other user can have put them, files opened in place only when they are what they seem.
#include "files/safe_open.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

namespace mirelune {
namespace {

namespace fs = std::filesystem;

// The kernel's own limit on symlinks in one lookup.
constexpr int kMaxLinks = 40;


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

Error Refused(const std::string& why, int err) { return Error{why, err}; }

// Root could do anything anyway: its links and folders are no one else's doing.
bool Trusted(uid_t uid) { return uid == ::geteuid() || uid == 0; }

// Our own user-private group: named as we are, our group, listing no one else.
// Looked up once; the answer does not change while we run.
bool OwnPrivateGroup(gid_t gid) {
  static const struct Own {
    gid_t gid = ::getegid();
    bool private_group = false;
    Own() {
      std::vector<char> buf(16384);
      passwd pw {};
      passwd* pwp = nullptr;
      group gr {};
      group* grp = nullptr;
      if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size() / 2, &pwp) != 0 || !pwp) return;
      if (::getgrgid_r(gid, &gr, buf.data() + buf.size() / 2, buf.size() / 2, &grp) != 0 || !grp) return;
      if (std::strcmp(grp->gr_name, pwp->pw_name) != 0) return;
      for (char** m = grp->gr_mem; *m; ++m)
        if (std::strcmp(*m, pwp->pw_name) != 0) return;
      private_group = true;
    }
  } own;
  return own.private_group && gid == own.gid && gid == ::getegid();
}

// Sticky and ours or root's: nobody else may rename or remove our names in it.
bool StickyOfOurs(const struct stat& dir) { return (dir.st_mode & S_ISVTX) && Trusted(dir.st_uid); }

// The folder holding a link lets us follow it (see safe_open.h); the reason when not.
std::string LinkRefusal(int dirfd, const struct stat& dir, const struct stat& link, const fs::path& here) {
  const bool others = OthersCanWrite(dirfd, dir);
  if (Trusted(link.st_uid) && (!others || StickyOfOurs(dir))) return "";
  return here.string() + " is a link owned by " + UserName(link.st_uid) +
         (others ? " in a folder others can write" : ", neither this user nor root") + "; refused";
}

}  // namespace

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

std::string UserName(uid_t uid) {
  std::vector<char> buf(16384);
  passwd pw {};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found) return found->pw_name;
  return "user " + std::to_string(uid);
}

bool OthersCanWrite(int dirfd, const struct stat& dir) {
  if (!Trusted(dir.st_uid) || (dir.st_mode & S_IWOTH)) return true;
  if (!(dir.st_mode & S_IWGRP)) return false;
  if (!OwnPrivateGroup(dir.st_gid)) return true;
  // With an ACL the group bits are its mask: named users may write too. No /proc
  // to ask through: taken as shared.
  const std::string self = "/proc/self/fd/" + std::to_string(dirfd);
  return ::getxattr(self.c_str(), "system.posix_acl_access", nullptr, 0) >= 0 ||
         (errno != ENODATA && errno != EOPNOTSUPP);
}

Result<> CheckPlanted(int dirfd, const struct stat& dir, const struct stat& file, bool own_only) {
  if (!OthersCanWrite(dirfd, dir)) return {};
  const std::string in = " in a folder others can write; refused";
  if (S_ISREG(file.st_mode) && file.st_nlink > 1) return Error{"it has other names (hard links)" + in, EPERM};
  if ((own_only || !S_ISREG(file.st_mode)) && file.st_uid != ::geteuid())
    return Error{std::string(S_ISREG(file.st_mode) ? "it" : "it is a device, FIFO or socket and") + " belongs to " +
                     UserName(file.st_uid) + in,
                 EPERM};
  return {};
}

Result<> CheckHardLinks(const struct stat& file) {
  if (!S_ISREG(file.st_mode) || file.st_nlink <= 1 || file.st_uid == ::geteuid()) return {};
  return Error{"it has other names (hard links) and belongs to " + UserName(file.st_uid) +
                   ", so it may be someone else's file linked in; refused",
               EPERM};
}

Result<ResolvedPath> ResolvePath(const fs::path& path, LastLink last, const StepFn& on_step) {
  const auto step = [&](const char* what, const fs::path& at) {
    if (on_step) on_step(what, at);
  };
  ResolvedPath r;
  const std::string text = path.string();
  if (text.empty()) return Refused(std::strerror(ENOENT), ENOENT);
  const bool absolute = text.front() == '/';
  r.dir.reset(::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!r.dir) return Refused(std::strerror(errno), errno);
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
        if (::fstat(r.dir.get(), &r.dir_st) != 0) return Refused(std::strerror(errno), errno);
        r.leaf = part;
        r.shown = here;
        step("resolved", r.shown);
        return r;
      }
      if (err == ENOENT) return Refused("the folder " + here.string() + " does not exist", err);
      return Refused(std::strerror(err), err);
    }
    step("opened", here);
    if (::fstat(fd.get(), &st) != 0) return Refused(std::strerror(errno), errno);
    if (S_ISLNK(st.st_mode)) {
      if (is_last && last == LastLink::kRefuse)
        return Refused("it is a symbolic link, which is not followed for this file; refused", ELOOP);
      if (++links > kMaxLinks) return Refused(std::strerror(ELOOP), ELOOP);
      struct stat dir_st {};
      if (::fstat(r.dir.get(), &dir_st) != 0) return Refused(std::strerror(errno), errno);
      if (const std::string why = LinkRefusal(r.dir.get(), dir_st, st, here); !why.empty())
        return Refused(why, EACCES);
      if (OnProcFs(r.dir.get())) {
        // /proc's links (/dev/stdout's /proc/self/fd/1) name open files, not paths:
        // only the kernel can follow them.
        fd.reset(::openat(r.dir.get(), part.c_str(), O_PATH | O_CLOEXEC));
        if (!fd || ::fstat(fd.get(), &st) != 0) return Refused(std::strerror(errno), errno);
      } else {
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(fd.get(), "", target, sizeof target);
        if (n < 0) return Refused(std::strerror(errno), errno);
        if (n == 0 || n == static_cast<ssize_t>(sizeof target))
          return Refused(std::strerror(n == 0 ? ENOENT : ENAMETOOLONG), n == 0 ? ENOENT : ENAMETOOLONG);
        const std::string to(target, static_cast<std::size_t>(n));
        if (to.front() == '/') {
          r.dir.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
          if (!r.dir) return Refused(std::strerror(errno), errno);
          shown = "/";
        }
        PushParts(to, &todo);
        if (todo.empty()) todo.push_back(".");
        continue;
      }
    }
    if (is_last) {
      if (::fstat(r.dir.get(), &r.dir_st) != 0) return Refused(std::strerror(errno), errno);
      r.leaf = part;
      r.shown = here;
      r.exists = true;
      r.file = std::move(fd);
      r.st = st;
      step("resolved", r.shown);
      return r;
    }
    if (!S_ISDIR(st.st_mode)) return Refused(std::strerror(ENOTDIR), ENOTDIR);
    r.dir = std::move(fd);
    shown = here.lexically_normal();
  }
  return Refused(std::strerror(EISDIR), EISDIR);  // not reached: the last part returns
}

namespace {

// A file opened where it is, with `flags`: the checks of OpenInPlace and OpenToRead.
Result<OpenFile> OpenChecked(const fs::path& path, int flags, mode_t mode, const char* verb, const StepFn& on_step = {}) {
  auto fail = [&](const std::string& why, int err) { return Error{verb + path.string() + ": " + why, err}; };
  const Result<ResolvedPath> resolved = ResolvePath(path, LastLink::kRefuse, on_step);
  if (!resolved) return fail(resolved.error().message, resolved.error().code);
  const ResolvedPath& r = *resolved;
  if (r.leaf == "." || r.leaf == "..") return fail(std::strerror(EISDIR), EISDIR);
  if (!(flags & O_CREAT) && !r.exists) return fail(std::strerror(ENOENT), ENOENT);
  OpenFile out;
  // Non-blocking only while opening: a FIFO planted under the name must not hang us.
  out.fd.reset(::openat(r.dir.get(), r.leaf.c_str(), flags | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, mode));
  if (!out.fd) {
    const int err = errno;
    if (err == ELOOP) return fail("it is a symbolic link, which is not followed for this file; refused", err);
    return fail(std::strerror(err), err);
  }
  struct stat& st = out.st;
  if (::fstat(out.fd.get(), &st) != 0) return fail(std::strerror(errno), errno);
  if (!S_ISREG(st.st_mode)) return fail("it is not a regular file; refused", EINVAL);
  if (const Result<> linked = CheckHardLinks(st); !linked) return fail(linked.message, linked.code);
  if (const Result<> planted = CheckPlanted(r.dir.get(), r.dir_st, st, true); !planted)
    return fail(planted.message, planted.code);
  const int now = ::fcntl(out.fd.get(), F_GETFL);
  if (now < 0 || ::fcntl(out.fd.get(), F_SETFL, now & ~O_NONBLOCK) != 0) return fail(std::strerror(errno), errno);
  return out;
}

}  // namespace

Result<OpenFile> OpenInPlace(const fs::path& path, mode_t mode, const StepFn& on_step) {
  return OpenChecked(path, O_RDWR | O_APPEND | O_CREAT, mode, "cannot write ", on_step);
}

Result<OpenFile> OpenToRead(const fs::path& path) { return OpenChecked(path, O_RDONLY, 0, "cannot read "); }

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

}  // namespace mirelune
