// checks.cpp — settings given as text, checked once for every front end.
#include "base/checks.h"

#include <cerrno>
#include <cstdlib>

#include "base/i18n.h"
#include "base/utf8.h"

namespace mirelune {

std::string WholeNumberProblem(const std::string& text, long long lo, long long hi) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  // A NUL inside the text (possible in a query) ends strtoll early: refused too.
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || v < lo || v > hi)
    return Fill(_("a whole number from %s to %s, not \"%s\""), {std::to_string(lo), std::to_string(hi), text});
  return "";
}

std::string NameProblem(const std::string& text) {
  std::u32string chars;
  if (!DecodeUtf8(text, &chars)) return _("is not valid UTF-8");
  if (chars.size() > 100) return Fill(_("has %s characters; a name may have at most 100"), {std::to_string(chars.size())});
  return "";
}

std::string WordList(const std::vector<std::string>& words) {
  std::string list;
  for (std::size_t k = 0; k < words.size(); ++k)
    // TRANSLATORS: joins the last two words of a list of values: "png, bmp, jpg or jpeg".
    list += (k == 0 ? "" : k + 1 == words.size() ? _(" or ") : ", ") + words[k];
  return list;
}

std::string OneOfProblem(const std::string& text, const std::vector<std::string>& words) {
  for (const std::string& w : words)
    if (text == w) return "";
  return Fill(_("is %s, not \"%s\""), {WordList(words), text});
}

}  // namespace mirelune
