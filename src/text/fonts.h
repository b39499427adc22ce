// fonts.h — the faces text is drawn with, as a value its owner passes to every
// draw: no face, glyph or failure is kept anywhere else, so two values on two
// threads draw at once, and each card's record holds only its own text.
//
//   Fonts fonts(FontFolder());                        // nothing is opened yet
//   DrawText(fonts, surface, Typeface::kSans, 14, 0, 0, "Mary", colour);  // text/text.h
//   const TextRecord record = fonts.TakeRecord();     // the faces it used, what went wrong
//
// The faces are part of the card: each typeface is one file (DejaVu Sans for the
// greeting, Liberation Serif for the extruded letters), and a character it lacks
// comes from the first face of a fixed, ordered list of script faces (the Noto
// families, colour emoji) that has it. All are opened by path from the font
// folder; the user's fontconfig setup cannot change them. Only a character no
// listed face has is looked up through fontconfig, and the face that draws it
// says so in the record.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "raster/surface.h"

namespace mirelune {

// A face file of the fixed list: its path in the font folder, the face within a
// collection, and the Debian package that installs it.
struct FaceFile {
  const char* path;
  int index;
  const char* package;
};
// The typeface's own file first, then its fallbacks in the order they are tried.
std::vector<FaceFile> FaceFiles(Typeface face);

// The folder the face files are read from: $MIRELUNE_FONT_DIR when set (tests
// put broken files there), else /usr/share/fonts. Read at every call; whoever
// makes a Fonts reads it once for it.
std::string FontFolder();

// A face that drew text, first use first; for a face fontconfig chose, a note
// that the card may differ on another machine. The file's SHA-256 is the
// report's to compute (commands/card_report.h).
struct FaceUsed {
  std::string file;
  int index = 0;
  std::string note;
};

// What the text drawn since the last TakeRecord used and met. The problems say
// why text was not drawn as asked (FreeType did not start, a face file cannot be
// used, no face has a character), each once, oldest first: text is drawn deep
// inside the styles, which go on with the card whatever a character costs, so
// they wait here until the card is done.
struct TextRecord {
  std::vector<FaceUsed> faces;
  std::vector<std::string> problems;
};

class Fonts {
 public:
  // Faces are opened from `folder` when first needed; FreeType starts then too.
  explicit Fonts(std::string folder);
  ~Fonts();
  // A moved-from value is as good as a new one for the same folder.
  Fonts(Fonts&& other) noexcept;
  Fonts& operator=(Fonts&& other) noexcept;
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  const std::string& folder() const { return folder_; }

  // Opens the typeface's own file now; fails with one sentence naming the file
  // and why it cannot draw (missing: with the package to install; unreadable, not
  // a regular file, not a font). Nothing is drawn in another face instead. The
  // reason is in the record too.
  Result<> PrepareFace(Typeface face);

  // Whether a face of the typeface's list (its own or a fallback) has the character.
  bool ListedFaceHas(Typeface face, char32_t c);

  // How many characters this value looked up through fontconfig.
  int FontconfigLookups() const;

  // The record since the last take; taking it starts an empty one.
  TextRecord TakeRecord();

  struct Impl;
  Impl& impl();  // for the drawing in text/text.cpp

 private:
  std::string folder_;
  std::unique_ptr<Impl> impl_;  // made on first use
};

// The versions of the libraries that lay out and render text, as they run.
std::string FreeTypeVersion();
std::string HarfBuzzVersion();

}  // namespace mirelune
