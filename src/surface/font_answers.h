// font_answers.h — which file fontconfig gives for a font name, kept between runs.
//
//   FontAnswers answers = FontAnswers::Load();   // empty if the font setup changed
//   if (const FontAnswer* a = answers.Find("DejaVu Sans")) use(a->file, a->index);
//   else answers.Keep("DejaVu Sans", asked_fontconfig);
//
// Starting fontconfig reads and parses its whole configuration, about 6 ms: most
// of what a card's process spends on fonts. The answers are kept in
// $XDG_CACHE_HOME/mirelune (else ~/.cache/mirelune) under a fingerprint of
// everything fontconfig's answer depends on: its version and environment, the
// configuration files and folders, its caches' folders and the font folders.
// Any change there starts afresh. A missing, unreadable or foreign file is
// simply not used; a failed write is not an error.
#pragma once

#include <map>
#include <string>

namespace mirelune {

struct FontAnswer {
  std::string file;  // the font file, never empty
  int index = 0;     // the face within a collection
  std::string note;  // what the text layer told the user about this name, if anything
};

class FontAnswers {
 public:
  static FontAnswers Load();
  // A kept answer whose font file is still there.
  const FontAnswer* Find(const std::string& name) const;
  // Keeps an answer and writes the file (names with tabs or line breaks are not kept).
  void Keep(const std::string& name, const FontAnswer& answer);

  // The parts, for tests: the file a fingerprint is kept in, and the fingerprint.
  static std::string FilePath();
  static std::string Fingerprint();

 private:
  std::string path_, fingerprint_;
  std::map<std::string, FontAnswer> answers_;
};

}  // namespace mirelune
