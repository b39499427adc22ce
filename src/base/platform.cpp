// platform.cpp — file names, the environment and the console, on either system.
#include "base/platform.h"

#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
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

std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void PrepareConsole() {}

#endif

}  // namespace mirelune
