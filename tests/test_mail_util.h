// Helpers of the mail tests: environment, scratch folders and files.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mirelune::testing {

// Sets (or, for nullopt, unsets) environment variables for one scope.
class ScopedEnv {
 public:
  using Setting = std::pair<std::string, std::optional<std::string>>;
  ScopedEnv(std::initializer_list<Setting> settings) {
    for (const auto& [name, value] : settings) {
      const char* old = std::getenv(name.c_str());
      saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      Set(name, value);
    }
  }
  ~ScopedEnv() { for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) Set(it->first, it->second); }

 private:
  static void Set(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");  // empty: unset
#else
    value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
#endif
  }
  std::vector<Setting> saved_;
};

// A fresh folder under /tmp, removed with everything in it at the end of the scope.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
#ifdef _WIN32
    const auto name = std::filesystem::temp_directory_path() / ("mirelune-" + std::to_string(std::rand()));
    if (std::filesystem::create_directory(name)) path = name;
#else
    std::string name = "/tmp/mirelune-mail-XXXXXX";
    if (::mkdtemp(name.data())) path = name;
#endif
  }
  ~TempDir() { std::error_code ec; std::filesystem::remove_all(path, ec); }  // nothing when mkdtemp failed
};

inline std::string ReadText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteText(const std::filesystem::path& p, const std::string& text, bool executable = false) {
  std::ofstream(p, std::ios::binary) << text;
  if (executable) std::filesystem::permissions(p, std::filesystem::perms::owner_all);
}

}  // namespace mirelune::testing
