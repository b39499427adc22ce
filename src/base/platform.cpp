// platform.cpp — file names, the environment and the console, on either system.
#include "base/platform.h"

#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mirelune {

#ifdef _WIN32

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::filesystem::path Utf8Path(std::string_view utf8) { return std::filesystem::path(Wide(utf8)); }

std::string PathText(const std::filesystem::path& path) { return Narrow(path.wstring()); }

std::FILE* FileOpen(const std::filesystem::path& path, const char* mode) {
  std::wstring m = Wide(mode);
  if (m.find(L'b') == std::wstring::npos) m += L'b';
  return ::_wfopen(path.c_str(), m.c_str());
}

std::string EnvText(const char* name) {
  const wchar_t* v = ::_wgetenv(Wide(name).c_str());
  return v ? Narrow(v) : std::string();
}

std::optional<std::string> FileStamp(std::string_view utf8_path) {
  WIN32_FILE_ATTRIBUTE_DATA a{};
  if (!GetFileAttributesExW(Wide(utf8_path).c_str(), GetFileExInfoStandard, &a)) return std::nullopt;
  const unsigned long long size = (static_cast<unsigned long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
  // FILETIME counts 100 ns from 1601; Unix time seconds from 1970.
  const unsigned long long ticks =
      (static_cast<unsigned long long>(a.ftLastWriteTime.dwHighDateTime) << 32) | a.ftLastWriteTime.dwLowDateTime;
  const long long since_1970 = static_cast<long long>(ticks) - 116444736000000000LL;
  const long long seconds = since_1970 >= 0 ? since_1970 / 10000000 : -((-since_1970 + 9999999) / 10000000);
  const long long nanos = (since_1970 - seconds * 10000000) * 100;
  return std::to_string(size) + " " + std::to_string(seconds) + "." + std::to_string(nanos);
}

std::filesystem::path ProgramFolder() {
  std::wstring buf(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return std::filesystem::path(buf).parent_path();
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int n = 0;
  std::vector<std::string> out;
  if (wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n)) {
    for (int k = 0; k < n; ++k) out.push_back(Narrow(w[k]));
    LocalFree(w);
  }
  if (out.empty())
    for (int k = 0; k < argc; ++k) out.emplace_back(argv[k]);
  return out;
}

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  // Cards go to stdout as bytes: no CR added before each LF byte of a PNG.
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stdin), _O_BINARY);
}

#else

std::filesystem::path Utf8Path(std::string_view utf8) { return std::filesystem::path(utf8); }

std::string PathText(const std::filesystem::path& path) { return path.string(); }

std::FILE* FileOpen(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::string EnvText(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::optional<std::string> FileStamp(std::string_view utf8_path) {
  struct stat st {};
  if (::stat(std::string(utf8_path).c_str(), &st) != 0) return std::nullopt;
  return std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void PrepareConsole() {}

#endif

}  // namespace mirelune
