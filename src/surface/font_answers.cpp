#include "surface/font_answers.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace mirelune {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "mirelune font answers 1";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// $XDG_<kind>_HOME, else ~/<fallback>; empty when neither is set.
std::string UserDir(const char* xdg, const char* fallback) {
  const std::string x = Env(xdg);
  if (!x.empty() && x[0] == '/') return x;
  const std::string home = Env("HOME");
  return home.empty() ? "" : home + "/" + fallback;
}

void Note(std::ostringstream& out, const std::string& path) {
  struct stat st {};
  out << path << '\n';
  if (path.empty() || ::stat(path.c_str(), &st) != 0) {
    out << "-\n";
    return;
  }
  out << st.st_ino << ' ' << st.st_size << ' ' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << '\n';
}

// Every folder under `root` (a font folder's fonts come and go with its folders'
// times, which is what fontconfig's own caches go by), in name order.
void NoteTree(std::ostringstream& out, const std::string& root) {
  Note(out, root);
  std::error_code ec;
  if (root.empty() || !fs::is_directory(root, ec)) return;
  std::vector<std::string> dirs;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end && dirs.size() < 2000; it.increment(ec))
    if (it->is_directory(ec)) dirs.push_back(it->path().string());
  std::sort(dirs.begin(), dirs.end());
  for (const std::string& d : dirs) Note(out, d);
}

// Every entry of a configuration folder, followed through its links.
void NoteEntries(std::ostringstream& out, const std::string& dir) {
  Note(out, dir);
  std::error_code ec;
  std::vector<std::string> entries;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path().string());
  std::sort(entries.begin(), entries.end());
  for (const std::string& e : entries) Note(out, e);
}

// FNV-1a: stable across compilers and library versions, unlike std::hash.
std::string Hash(const std::string& s) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ULL;
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

}  // namespace

std::string FontAnswers::FilePath() {
  const std::string cache = UserDir("XDG_CACHE_HOME", ".cache");
  return cache.empty() ? "" : cache + "/mirelune/font-answers";
}

std::string FontAnswers::Fingerprint() {
  std::ostringstream out;
  out << kHeader << '\n' << FcGetVersion() << '\n';
  // The environment fontconfig reads, the language included (it steers the
  // choice for generic names).
  for (const char* name : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT", "FC_LANG", "LC_ALL",
                           "LC_CTYPE", "LANG", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    out << name << '=' << Env(name) << '\n';
  const std::string config = UserDir("XDG_CONFIG_HOME", ".config");
  const std::string data = UserDir("XDG_DATA_HOME", ".local/share");
  const std::string cache = UserDir("XDG_CACHE_HOME", ".cache");
  const std::string home = Env("HOME");
  const std::string file = Env("FONTCONFIG_FILE");
  Note(out, file.empty() ? "/etc/fonts/fonts.conf" : file);
  NoteEntries(out, "/etc/fonts");
  NoteEntries(out, "/etc/fonts/conf.d");
  if (!config.empty()) {
    Note(out, config + "/fontconfig/fonts.conf");
    NoteEntries(out, config + "/fontconfig/conf.d");
  }
  if (!home.empty()) {
    Note(out, home + "/.fonts.conf");
    NoteEntries(out, home + "/.fonts.conf.d");
  }
  Note(out, "/var/cache/fontconfig");
  if (!cache.empty()) Note(out, cache + "/fontconfig");
  for (const std::string& fonts : {std::string("/usr/share/fonts"), std::string("/usr/local/share/fonts"),
                                   data.empty() ? std::string() : data + "/fonts",
                                   home.empty() ? std::string() : home + "/.fonts"})
    NoteTree(out, fonts);
  return Hash(out.str());
}

FontAnswers FontAnswers::Load() {
  FontAnswers a;
  a.path_ = FilePath();
  if (a.path_.empty()) return a;
  a.fingerprint_ = Fingerprint();
  std::ifstream in(a.path_);
  std::string line;
  if (!std::getline(in, line) || line != kHeader || !std::getline(in, line) || line != a.fingerprint_) return a;
  while (std::getline(in, line)) {
    // name \t file \t index \t note
    std::vector<std::string> f;
    std::size_t from = 0;
    for (std::size_t tab; f.size() < 3 && (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
      f.push_back(line.substr(from, tab - from));
    f.push_back(line.substr(from));
    if (f.size() != 4 || f[0].empty() || f[1].empty() || f[1][0] != '/') continue;
    char* end = nullptr;
    const long index = std::strtol(f[2].c_str(), &end, 10);
    if (end == f[2].c_str() || *end != '\0' || index < 0 || index > 65535) continue;
    a.answers_[f[0]] = FontAnswer{f[1], static_cast<int>(index), f[3]};
  }
  return a;
}

const FontAnswer* FontAnswers::Find(const std::string& name) const {
  const auto it = answers_.find(name);
  if (it == answers_.end() || ::access(it->second.file.c_str(), R_OK) != 0) return nullptr;
  return &it->second;
}

void FontAnswers::Keep(const std::string& name, const FontAnswer& answer) {
  const auto plain = [](const std::string& s) { return s.find_first_of("\t\r\n") == std::string::npos; };
  if (path_.empty() || name.empty() || answer.file.empty() || answer.file[0] != '/' || !plain(name) ||
      !plain(answer.file) || !plain(answer.note))
    return;
  answers_[name] = answer;
  std::error_code ec;
  const fs::path dir = fs::path(path_).parent_path();
  fs::create_directories(dir, ec);
  std::string text = std::string(kHeader) + "\n" + fingerprint_ + "\n";
  for (const auto& [n, a] : answers_) text += n + "\t" + a.file + "\t" + std::to_string(a.index) + "\t" + a.note + "\n";
  // A whole new file renamed over the old: a reader never sees half of one.
  std::string temp = (dir / "font-answers.XXXXXX").string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path_.c_str()) != 0) ::unlink(temp.c_str());
}

}  // namespace mirelune
