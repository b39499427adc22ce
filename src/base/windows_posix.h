// windows_posix.h — the few POSIX calls the batch journals and the PNG reader
// use, on Windows's own primitives, under their POSIX names. Only what has a
// faithful equivalent is here; what has none is left out where it is used.
#pragma once
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

using uid_t = unsigned;

enum { LOCK_SH = 1, LOCK_EX = 2, LOCK_NB = 4, LOCK_UN = 8 };

// A lock on the whole file, as flock gives it: held until unlocked or closed.
inline int flock(int fd, int op) {
  const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  OVERLAPPED at{};
  const DWORD how = ((op & LOCK_EX) ? LOCKFILE_EXCLUSIVE_LOCK : 0) | ((op & LOCK_NB) ? LOCKFILE_FAIL_IMMEDIATELY : 0);
  const BOOL ok = (op & LOCK_UN) ? UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &at) : LockFileEx(h, how, 0, MAXDWORD, MAXDWORD, &at);
  if (ok) return 0;
  errno = GetLastError() == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : EACCES;
  return -1;
}

// Reads at an offset without moving the file's position.
inline long long pread(int fd, void* buf, std::size_t n, long long offset) {
  const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (ReadFile(h, buf, static_cast<DWORD>(n), &got, &at)) return got;
  if (GetLastError() == ERROR_HANDLE_EOF) return 0;
  errno = EIO;
  return -1;
}

inline int ftruncate(int fd, long long size) {
  const errno_t e = ::_chsize_s(fd, size);
  if (e == 0) return 0;
  errno = e;
  return -1;
}

inline int fsync(int fd) { return ::_commit(fd); }

// One line with its '\n', in a buffer grown as needed (*line is malloc'd).
inline long long getline(char** line, std::size_t* capacity, std::FILE* in) {
  std::size_t n = 0;
  for (int c; (c = std::fgetc(in)) != EOF;) {
    if (n + 2 > *capacity || !*line) {
      const std::size_t grown = *capacity < 128 ? 128 : *capacity * 2;
      char* more = static_cast<char*>(std::realloc(*line, grown));
      if (!more) return -1;
      *line = more;
      *capacity = grown;
    }
    (*line)[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (n == 0) return -1;
  (*line)[n] = '\0';
  return static_cast<long long>(n);
}

#endif
