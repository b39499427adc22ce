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

namespace {

bool Blank(char32_t c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

bool AllBlank(const std::string& text) {
  std::u32string chars;
  DecodeUtf8(text, &chars);
  for (char32_t c : chars)
    if (!Blank(c)) return false;
  return true;
}

}  // namespace

std::string GreetingNameProblem(const std::string& text) {
  if (std::string p = NameProblem(text); !p.empty()) return p;
  if (text.empty()) return _("is empty; a greeting needs both names");
  if (AllBlank(text)) return _("has only blanks; a greeting needs both names");
  return "";
}

std::string WishProblem(const std::string& text) {
  std::u32string chars;
  if (!DecodeUtf8(text, &chars)) return _("is not valid UTF-8");
  if (chars.size() > 100) return Fill(_("has %s characters; a wish may have at most 100"), {std::to_string(chars.size())});
  if (!text.empty() && AllBlank(text)) return _("has only blanks");
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
