// i18n.cpp — gettext for the program's own words (glibc's libintl).
#include "base/i18n.h"

#ifndef MIRELUNE_NO_NLS
#include <libintl.h>
#include <unistd.h>
#endif

#include <clocale>
#include <filesystem>
#include <system_error>
#include <vector>

namespace mirelune {

namespace fs = std::filesystem;

#ifdef MIRELUNE_NO_NLS
// Built without gettext (the Windows build): the program speaks English.
void SetUpTranslation(const char*) {}

const char* _(const char* text) { return text; }
#else
void SetUpTranslation(const char* argv0) {
  // Only the language: character classes, numbers and dates stay "C", so nothing
  // the engine formats or folds (file names, reports) changes with the locale.
  std::setlocale(LC_MESSAGES, "");
  std::error_code err;
  fs::path self = fs::read_symlink("/proc/self/exe", err);
  if (err) self = fs::absolute(argv0 ? argv0 : "", err);
  const fs::path dir = self.parent_path();
  const fs::path build_tree = dir / "locale";
  const fs::path locales = fs::is_directory(build_tree, err) ? build_tree : dir.parent_path() / "share" / "locale";
  bindtextdomain(kTextDomain, locales.c_str());
  bind_textdomain_codeset(kTextDomain, "UTF-8");  // UTF-8, as the rest of the output, without LC_CTYPE
}

const char* _(const char* text) { return dgettext(kTextDomain, text); }
#endif

std::string Fill(const char* pattern, std::initializer_list<std::string> values) {
  const std::vector<std::string> v(values);
  std::string out;
  std::size_t next = 0;
  for (const char* p = pattern; *p; ++p) {
    if (p[0] != '%') {
      out += *p;
    } else if (p[1] == '%') {
      out += '%', ++p;
    } else if (p[1] == 's') {
      if (next < v.size()) out += v[next++];
      ++p;
    } else if (p[1] >= '1' && p[1] <= '9' && p[2] == '$' && p[3] == 's') {
      if (const std::size_t k = static_cast<std::size_t>(p[1] - '1'); k < v.size()) out += v[k];
      p += 3;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace mirelune
