// faces.h — inside text/: the face files a Fonts value has open, which face
// draws which character, and the record of what the text used and met.
#pragma once

#ifndef MIRELUNE_NO_FONTCONFIG
#include <fontconfig/fontconfig.h>
#else
struct FcFontSet;  // never made: the faces shipped beside the program are all there is
#endif
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/result.h"
#include "text/fonts.h"

namespace mirelune::text {

struct Face {
  FT_Face ft = nullptr;
  hb_font_t* hb = nullptr;  // made on its first shaping
  std::string file;
  int index = 0;
  const unsigned char* bytes = nullptr;  // the whole file, mapped while the face is open
  std::size_t size = 0;
  double scale = 1;  // faces with bitmaps only: text size / strike size
};

// Sets the face's size for text of `points`: false when it cannot take it.
bool SetSize(Face* f, double points);

// Every face of one Fonts value and the choices made with them. Not thread-safe:
// a value is used by one thread at a time.
class FaceSet {
 public:
  explicit FaceSet(const std::string& folder);
  ~FaceSet();
  FaceSet(const FaceSet&) = delete;
  FaceSet& operator=(const FaceSet&) = delete;

  // The typeface's own face; null (and the reason noted) when its file cannot be used.
  Face* Own(Typeface t);
  // Why the typeface's own file cannot be used; empty when it can (after Own).
  const std::string& WhyNotOwn(Typeface t) { return Of(t).why; }

  // The face that draws `ch`: the typeface's own when it has it, else the first of
  // its list that does (a colour one first when asked), else fontconfig's choice,
  // else its own, whose missing-glyph box then shows.
  Face* Choose(Typeface t, Face* own, char32_t ch, bool colour);

  bool ListedFaceHas(Typeface t, char32_t c);

  int fontconfig_lookups() const { return fc_lookups_; }

  // The record: faces that drew, problems met.
  void Used(Face* f);
  void Note(const std::string& why);
  TextRecord TakeRecord();

 private:
  // A decision remembered with the problems met while making it, which every
  // later use meets again: each card's record is the same whatever came before.
  struct Choice {
    Face* face = nullptr;
    bool by_fontconfig = false;
    std::vector<std::string> problems;
  };
  struct Listing {
    std::vector<FaceFile> files;      // its own first
    bool opened = false;              // its own file tried
    Face* own = nullptr;
    std::string why;                  // why its own file cannot be used
    FcFontSet* fallbacks = nullptr;   // fontconfig's order, for what no listed face has
    bool sorted = false;
    std::map<char32_t, Choice> chosen;  // per character (+ kColourWanted)
  };

  Listing& Of(Typeface t) { return listings_[t == Typeface::kSerif ? 1 : 0]; }
  Result<Face*> Open(const std::string& file, int index, const char* package);
  Face* Listed(Listing& l, std::size_t k, std::vector<std::string>* met);
  bool Fontconfig(std::vector<std::string>* met);
  Face* AskFontconfig(Typeface t, char32_t ch, bool colour, std::vector<std::string>* met);
  Choice Decide(Typeface t, Face* own, char32_t ch, bool colour);

  std::string folder_;
  FT_Library lib_ = nullptr;
  std::string lib_problem_;  // why FreeType did not start
  Listing listings_[2];
  std::map<std::pair<std::string, int>, std::unique_ptr<Face>> faces_;  // null: the file cannot be used
  std::map<std::pair<std::string, int>, std::string> unusable_;         // why not
  bool fc_tried_ = false, fc_ready_ = false;
  int fc_lookups_ = 0;

  // The record since the last take.
  std::vector<Face*> used_;
  std::map<const Face*, std::string> notes_;
  std::vector<std::string> problems_;
};

}  // namespace mirelune::text
