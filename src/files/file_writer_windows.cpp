// file_writer_windows.cpp — the file writer on Windows: whole or not at all, as
// on POSIX systems. The file is written under a temporary name in its folder,
// flushed to the disk, then moved over the old one by MoveFileExW, which replaces
// in one step; a new file is moved only where no file has that name. Names are
// UTF-16 on the system's side. No owners or links to check: a user's folders
// under the profile are the user's own.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <chrono>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "base/platform.h"
#include "files/files.h"
#include "files/safe_open.h"

namespace mirelune {
namespace {

namespace fs = std::filesystem;

// The system's sentence for an error, without its line break.
std::string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string s = text ? Narrow(text) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
  return s;
}

int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
  }
}

Result<> Fail(const fs::path& path, DWORD code) {
  return Result<>::Failed("cannot write " + PathText(path) + ": " + SystemText(code), ErrnoOf(code));
}

Result<> Fail(const fs::path& path, const std::string& why, int err) {
  return Result<>::Failed("cannot write " + PathText(path) + ": " + why, err);
}

// A temporary name in the folder: this process and thread, the clock and the
// attempt; CREATE_NEW makes sure it was nobody's.
fs::path TempName(const fs::path& target, int attempt) {
  const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::size_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
  return target.parent_path() / (L".mirelune-" + std::to_wstring(::_getpid()) + L"-" + std::to_wstring(thread % 100000) +
                                 L"-" + std::to_wstring(tick % 1000000007) + L"-" + std::to_wstring(attempt) + L".tmp");
}

Result<> Write(const fs::path& shown, std::span<const std::uint8_t> bytes, bool exclusive) {
  const fs::path path = shown.is_absolute() ? shown : fs::absolute(shown);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (exclusive) return Error{PathText(shown) + " already exists", EEXIST};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(shown, std::strerror(EISDIR), EISDIR);
    if (attributes & FILE_ATTRIBUTE_READONLY) return Fail(shown, "the file is read-only; refused", EACCES);
  } else if (const DWORD e = GetLastError(); e != ERROR_FILE_NOT_FOUND) {
    if (e == ERROR_PATH_NOT_FOUND) return Fail(shown, "the folder " + PathText(shown.parent_path()) + " does not exist", ENOENT);
    return Fail(shown, e);
  }
  fs::path temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    temp = TempName(path, attempt);
    h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    if (e == ERROR_PATH_NOT_FOUND) return Fail(shown, "the folder " + PathText(shown.parent_path()) + " does not exist", ENOENT);
    return Fail(shown, e);
  }
  DWORD failed = 0;
  for (std::size_t done = 0; done < bytes.size() && !failed;) {
    DWORD n = 0;
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    if (!WriteFile(h, bytes.data() + done, ask, &n, nullptr)) failed = GetLastError();
    done += n;
  }
  if (!failed && !FlushFileBuffers(h)) failed = GetLastError();
  CloseHandle(h);
  if (!failed &&
      !MoveFileExW(temp.c_str(), path.c_str(), (exclusive ? 0 : MOVEFILE_REPLACE_EXISTING) | MOVEFILE_WRITE_THROUGH))
    failed = GetLastError();
  if (!failed) return Result<>::Done();
  DeleteFileW(temp.c_str());
  if (exclusive && (failed == ERROR_ALREADY_EXISTS || failed == ERROR_FILE_EXISTS))
    return Error{PathText(shown) + " already exists", EEXIST};
  return Fail(shown, failed);
}

Result<OpenFile> OpenChecked(const fs::path& path, int flags, const char* verb) {
  auto fail = [&](const std::string& why, int err) { return Error{verb + PathText(path) + ": " + why, err}; };
  std::error_code ec;
  if (fs::is_symlink(path, ec)) return fail("it is a symbolic link, which is not followed for this file; refused", ELOOP);
  OpenFile out;
  out.fd.reset(::_wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE));
  if (!out.fd) return fail(std::strerror(errno), errno);
  if (::fstat(out.fd.get(), &out.st) != 0) return fail(std::strerror(errno), errno);
  if (!S_ISREG(out.st.st_mode)) return fail("it is not a regular file; refused", EINVAL);
  return out;
}

}  // namespace

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::_close(fd_);
  fd_ = fd;
}

std::string UserName(uid_t) { return EnvText("USERNAME"); }

Result<OpenFile> OpenInPlace(const fs::path& path, mode_t, const StepFn&) {
  return OpenChecked(path, _O_RDWR | _O_APPEND | _O_CREAT, "cannot write ");
}

Result<OpenFile> OpenToRead(const fs::path& path) { return OpenChecked(path, _O_RDONLY, "cannot read "); }

Result<> WriteFileSafely(const fs::path& path, std::span<const std::uint8_t> bytes, const WriteOptions&) {
  if (path.empty()) return Result<>::Failed("cannot write a file without a name", EINVAL);
  return Write(path, bytes, false);
}

Result<> WriteNewFile(const fs::path& path, std::span<const std::uint8_t> bytes, const WriteOptions&) {
  if (path.empty()) return Result<>::Failed("cannot write a file without a name", EINVAL);
  return Write(path, bytes, true);
}

Result<> MakeFolder(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return Result<>::Done();
  if (fs::create_directories(folder, ec) || fs::is_directory(folder)) return Result<>::Done();
  const int err = ec ? ec.value() : ENOTDIR;
  return Result<>::Failed("cannot make the folder " + PathText(folder) + ": " +
                              (ec ? Narrow(Wide(ec.message())) : std::string(std::strerror(ENOTDIR))),
                          err);
}

}  // namespace mirelune
