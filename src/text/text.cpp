#include "text/text.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>
#include <utility>

#include "base/digest.h"
#include "base/utf8.h"
#include "raster/surface.h"

namespace mirelune {

namespace {

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// A character drawn from the face of the one before it: marks, joiners, variation
// selectors, skin tones and tag characters belong to their base.
bool Continues(char32_t c, hb_unicode_funcs_t* uf) {
  if (c == 0x200C || c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) ||
      (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F))
    return true;
  switch (hb_unicode_general_category(uf, c)) {
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
      return true;
    default:
      return false;
  }
}

// Whether U+FE0F after `c` can ask for its colour picture: symbols, digits, '#'
// and '*' (keycaps) can; a blank, a letter or a mark cannot, and a colour face's
// wide blank must not stand in for them.
bool CanBeEmoji(char32_t c, hb_unicode_funcs_t* uf) {
  switch (hb_unicode_general_category(uf, c)) {
    case HB_UNICODE_GENERAL_CATEGORY_SPACE_SEPARATOR:
    case HB_UNICODE_GENERAL_CATEGORY_LINE_SEPARATOR:
    case HB_UNICODE_GENERAL_CATEGORY_PARAGRAPH_SEPARATOR:
    case HB_UNICODE_GENERAL_CATEGORY_FORMAT:
    case HB_UNICODE_GENERAL_CATEGORY_LOWERCASE_LETTER:
    case HB_UNICODE_GENERAL_CATEGORY_UPPERCASE_LETTER:
    case HB_UNICODE_GENERAL_CATEGORY_TITLECASE_LETTER:
    case HB_UNICODE_GENERAL_CATEGORY_OTHER_LETTER:
    case HB_UNICODE_GENERAL_CATEGORY_MODIFIER_LETTER:
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
      return false;
    default:
      return true;
  }
}

struct Face {
  FT_Face ft = nullptr;
  hb_font_t* hb = nullptr;
  std::string file;
  int index = 0;
  const unsigned char* bytes = nullptr;  // the whole file, mapped for the life of the process
  std::size_t size = 0;
  double scale = 1;  // faces with bitmaps only: text size / strike size
  std::string note;    // set when fontconfig chose the face
  std::string sha256;  // computed when a report first asks
};

const char* const kSansFamily = "DejaVu Sans";
const char* const kSerifFamily = "Liberation Serif";

constexpr FaceFile kDejaVuSans = {"truetype/dejavu/DejaVuSans.ttf", 0, "fonts-dejavu-core"};
constexpr FaceFile kLiberationSerif = {"truetype/liberation/LiberationSerif-Regular.ttf", 0, "fonts-liberation"};

// Faces for what the typefaces lack, tried in this order. The first ones are the
// faces fontconfig chose for these scripts on the machine the cards were first
// made on (Devanagari, Thai, CJK, colour emoji), so those names keep their look;
// then the other living scripts names are written in; then symbols.
constexpr FaceFile kScriptFaces[] = {
    {"truetype/noto/NotoSansDevanagari-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansThai-Regular.ttf", 0, "fonts-noto-core"},
    {"opentype/noto/NotoSansCJK-Regular.ttc", 0, "fonts-noto-cjk"},
    {"truetype/noto/NotoColorEmoji.ttf", 0, "fonts-noto-color-emoji"},
    {"truetype/noto/NotoSansBengali-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansTamil-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansTelugu-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansKannada-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansMalayalam-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansGurmukhi-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansGujarati-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansOriya-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansSinhala-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSerifTibetan-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansMyanmar-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansKhmer-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansLao-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansEthiopic-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansHebrew-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansArabic-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansSyriac-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansThaana-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansNKo-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansGeorgian-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansArmenian-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansCherokee-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansCanadianAboriginal-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansMongolian-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansYi-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansTifinagh-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansJavanese-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansBalinese-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansSundanese-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansVai-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansOlChiki-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansAdlam-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansLisu-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSans-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansSymbols2-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansSymbols-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/noto/NotoSansMath-Regular.ttf", 0, "fonts-noto-core"},
    {"truetype/arphic/uming.ttc", 0, "fonts-arphic-uming"},
};

// The serif typeface's own fallbacks before the shared ones, as first chosen for
// it: DejaVu's serif design, a serif (Ming) face for Chinese and kana, Noto's
// Hebrew, then DejaVu Sans (Arabic among others).
constexpr FaceFile kSerifFaces[] = {
    {"truetype/dejavu/DejaVuSerif.ttf", 0, "fonts-dejavu-core"},
    {"truetype/arphic/uming.ttc", 0, "fonts-arphic-uming"},
    {"truetype/noto/NotoSansHebrew-Regular.ttf", 0, "fonts-noto-core"},
    kDejaVuSans,
};

constexpr char32_t kColourWanted = 0x200000;

std::string Hex(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

struct TypefaceFaces {
  std::vector<FaceFile> files;       // its own first
  bool opened = false;               // its own file tried
  Face* own = nullptr;
  std::string why;                   // why its own file cannot be used
  FcFontSet* fallbacks = nullptr;    // fontconfig's order, for what no listed face has
  bool sorted = false;
  std::map<char32_t, Face*> chosen;  // per character (+ kColourWanted)
};

// FreeType faces are not thread-safe; one lock guards the library and the caches,
// which live to the end of the process.
struct FontCache {
  std::mutex mu;
  FT_Library lib = nullptr;
  TypefaceFaces typefaces[2];
  std::map<std::pair<std::string, int>, std::unique_ptr<Face>> faces;  // null: the file cannot be used
  std::map<std::pair<std::string, int>, std::string> unusable;        // why not

  std::set<std::string> said;          // every failure ever noted, so each is told once
  std::vector<std::string> untaken;    // noted and not yet taken

  bool fc_tried = false, fc_ready = false;
  int fc_lookups = 0;

  FontCache() {
    typefaces[0].files = FaceFiles(Typeface::kSans);
    typefaces[1].files = FaceFiles(Typeface::kSerif);
    if (const FT_Error e = FT_Init_FreeType(&lib)) {
      lib = nullptr;
      Fail("FreeType could not start (error " + std::to_string(e) + "), so no text is drawn");
    }
  }

  void Fail(std::string why) {
    if (said.insert(why).second) untaken.push_back(std::move(why));
  }

  TypefaceFaces& Of(Typeface t) { return typefaces[t == Typeface::kSerif ? 1 : 0]; }

  // The face in `file`, mapped and opened once, or why it cannot be used (the
  // same reason every time). `package` names what installs a listed file.
  Result<Face*> Open(const std::string& file, int index, const char* package) {
    const auto key = std::make_pair(file, index);
    if (auto it = faces.find(key); it != faces.end()) {
      if (!it->second) return Error{unusable[key]};
      return it->second.get();
    }
    std::unique_ptr<Face>& face = faces[key];
    std::string& reason = unusable[key];
    if (!lib) {
      reason = "FreeType could not start, so no text is drawn";
    } else {
      // Not blocking: a FIFO or device at a font's path must not hang the card.
      const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      struct stat st {};
      void* map = MAP_FAILED;
      if (fd < 0 && errno == ENOENT && package)
        reason = "the font file " + file + " is missing; install the package " + package;
      else if (fd < 0)
        reason = "cannot read the font file " + file + ": " + std::strerror(errno);
      else if (::fstat(fd, &st) != 0)
        reason = "cannot read the font file " + file + ": " + std::strerror(errno);
      else if (!S_ISREG(st.st_mode))
        reason = "the font file " + file + " is not a regular file";
      else if (st.st_size == 0)
        reason = "the font file " + file + " is empty";
      else if ((map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0)) == MAP_FAILED)
        reason = "cannot read the font file " + file + ": " + std::strerror(errno);
      if (fd >= 0) ::close(fd);
      FT_Face ft = nullptr;
      if (reason.empty()) {
        const auto* bytes = static_cast<const unsigned char*>(map);
        const std::size_t size = static_cast<std::size_t>(st.st_size);
        if (const FT_Error e = FT_New_Memory_Face(lib, bytes, static_cast<FT_Long>(size), index, &ft)) {
          reason = "the font file " + file + " is not a font FreeType can read (error " + std::to_string(e) + ")";
        } else if (!ft->charmap || ft->charmap->encoding != FT_ENCODING_UNICODE) {
          reason = "the font file " + file + " has no Unicode character map";
          FT_Done_Face(ft);
        } else {
          face = std::make_unique<Face>();
          face->ft = ft;
          face->file = file;
          face->index = index;
          face->bytes = bytes;
          face->size = size;
        }
        if (!face) ::munmap(map, size);
      }
    }
    if (!face) return Error{reason};
    return face.get();
  }

  // The typeface's own face; null (and the reason noted) when its file cannot be used.
  Face* Own(Typeface t) {
    TypefaceFaces& tf = Of(t);
    if (!tf.opened) {
      tf.opened = true;
      const FaceFile& own = tf.files.front();
      const Result<Face*> opened = Open(FontFolder() + "/" + own.path, own.index, own.package);
      tf.own = opened ? *opened : nullptr;
      if (!opened) tf.why = opened.error().message;
    }
    if (!tf.own) Fail(tf.why);
    return tf.own;
  }

  // The k-th face of the typeface's list; a missing one is simply not there (the
  // script faces are optional), a damaged one is said.
  Face* Listed(TypefaceFaces& tf, std::size_t k) {
    const FaceFile& f = tf.files[k];
    const Result<Face*> face = Open(FontFolder() + "/" + f.path, f.index, f.package);
    if (!face && face.error().message.find(" is missing; ") == std::string::npos) Fail(face.error().message);
    return face ? *face : nullptr;
  }

  // fontconfig reads its whole configuration when it starts: only for a character
  // no listed face has.
  bool Fontconfig() {
    if (!fc_tried) {
      fc_tried = true;
      fc_ready = FcInit();
      if (!fc_ready) Fail("fontconfig could not start, so characters no listed face has are not drawn");
    }
    return fc_ready;
  }

  // fontconfig's choice for a character no listed face has (a colour face first when asked).
  Face* AskFontconfig(Typeface t, char32_t ch, bool colour) {
    ++fc_lookups;
    TypefaceFaces& tf = Of(t);
    if (!tf.sorted && Fontconfig()) {  // sorting every installed font costs milliseconds: once
      tf.sorted = true;
      const char* family = t == Typeface::kSerif ? kSerifFamily : kSansFamily;
      if (FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(family))) {
        // fontconfig would add the user's language from LANG and sort by it; a
        // fixed one keeps the fallback order, and so the card, the same in
        // every locale (English is what it takes in the C locale).
        FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("en"));
        FcConfigSubstitute(nullptr, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult res;
        tf.fallbacks = FcFontSort(nullptr, pat, FcTrue, nullptr, &res);
        FcPatternDestroy(pat);
      }
    }
    for (int pass = colour ? 0 : 1; pass < 2; ++pass) {
      for (int k = 0; tf.fallbacks && k < tf.fallbacks->nfont; ++k) {
        FcCharSet* cs = nullptr;
        FcPattern* p = tf.fallbacks->fonts[k];
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) != FcResultMatch || !FcCharSetHasChar(cs, ch) ||
            FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch || !file)
          continue;
        if (FcPatternGetInteger(p, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        const Result<Face*> opened = Open(reinterpret_cast<const char*>(file), index, nullptr);
        Face* f = opened ? *opened : nullptr;
        if (!f || (pass == 0 && !FT_HAS_COLOR(f->ft)) || !FT_Get_Char_Index(f->ft, ch)) continue;
        if (f->note.empty())
          f->note = "drew " + Hex(ch) + ", which no listed face has; fontconfig chose this face, so the card may "
                    "differ on another machine";
        return f;
      }
    }
    return nullptr;
  }

  // The face that draws `ch`: the typeface's own when it has it, else the first of
  // its list that does (a colour one first when asked), else fontconfig's choice,
  // else its own, whose missing-glyph box then shows.
  Face* Choose(Typeface t, Face* own, char32_t ch, bool colour) {
    if (!colour && FT_Get_Char_Index(own->ft, ch)) return own;
    TypefaceFaces& tf = Of(t);
    const char32_t key = ch + (colour ? kColourWanted : 0);
    if (auto it = tf.chosen.find(key); it != tf.chosen.end()) return it->second;
    Face* found = nullptr;
    for (int pass = colour ? 0 : 1; pass < 2 && !found; ++pass)
      for (std::size_t k = 0; k < tf.files.size() && !found; ++k) {
        Face* f = k == 0 ? own : Listed(tf, k);
        if (f && (pass == 1 || FT_HAS_COLOR(f->ft)) && FT_Get_Char_Index(f->ft, ch)) found = f;
      }
    if (!found) found = AskFontconfig(t, ch, colour);
    if (!found) {
      Fail("a character of the text (first " + Hex(ch) + ") has no installed font and is drawn as a box; the faces "
           "for names in other scripts come with fonts-noto-core, fonts-noto-cjk and fonts-noto-color-emoji");
      found = own;
    }
    tf.chosen[key] = found;
    return found;
  }
};

FontCache& Cache() {
  static FontCache* cache = new FontCache();  // lives to the end of the process
  return *cache;
}

// This thread's faces drawn with since ForgetFacesUsed: a card is made on one thread.
thread_local std::vector<Face*> t_used;

bool SetSize(Face* f, double points) {
  if (FT_IS_SCALABLE(f->ft)) {
    if (FT_Set_Char_Size(f->ft, 0, static_cast<FT_F26Dot6>(points * 64 + 0.5), 96, 96) != 0) return false;
    f->scale = 1;
  } else {
    // Bitmap strikes only (colour emoji): the nearest strike not smaller than the
    // text, else the largest, scaled when drawn.
    if (f->ft->num_fixed_sizes <= 0) return false;
    const double want = points * 96 / 72;
    int best = -1;
    for (int k = 0; k < f->ft->num_fixed_sizes; ++k) {
      const double ppem = f->ft->available_sizes[k].y_ppem / 64.0;
      const double b = best < 0 ? 0 : f->ft->available_sizes[best].y_ppem / 64.0;
      if (best < 0 || (b < want ? ppem > b : (ppem >= want && ppem < b))) best = k;
    }
    if (FT_Select_Size(f->ft, best) != 0) return false;
    f->scale = want / (f->ft->available_sizes[best].y_ppem / 64.0);
  }
  if (f->hb) hb_ft_font_changed(f->hb);
  return true;
}

// A glyph placed on the line: pen position and vertical offset in 26.6 pixels.
struct Glyph {
  Face* face;
  unsigned id;
  std::size_t cluster;
  long pen;
  long x_offset;
  long y_offset;
};

struct Line {
  std::vector<Glyph> glyphs;  // visual order
  long advance = 0;           // 26.6
};

// Windows-1252 text the face fully holds: FreeType's advances and kerning, one
// character after another, exactly as such text has always been placed.
bool PlainText(FT_Face face, const std::u32string& text) {
  for (char32_t c : text)
    if (Windows1252Code(c) < 0 || !FT_Get_Char_Index(face, c)) return false;
  return true;
}

void LayOutPlain(Face* face, const std::u32string& text, const std::vector<std::size_t>& origin, Line* line) {
  FT_Face ft = face->ft;
  const bool kerning = FT_HAS_KERNING(ft);
  FT_UInt prev = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const FT_UInt glyph = FT_Get_Char_Index(ft, text[k]);
    if (kerning && prev && glyph) {
      FT_Vector delta;
      if (FT_Get_Kerning(ft, prev, glyph, FT_KERNING_DEFAULT, &delta) == 0) line->advance += delta.x;
    }
    prev = glyph;
    if (FT_Load_Glyph(ft, glyph, FT_LOAD_DEFAULT) != 0) continue;
    line->glyphs.push_back({face, glyph, origin[k], line->advance, 0, 0});
    line->advance += ft->glyph->advance.x;
  }
}

long Scaled(hb_position_t v, double scale) {
  return scale == 1 ? v : static_cast<long>(std::lround(v * scale));
}

// The face's HarfBuzz font, made on its first shaping (after its size is set).
hb_font_t* HbFont(Face* f) {
  if (!f->hb) {
    f->hb = hb_ft_font_create_referenced(f->ft);
    // Hinted advances, as FreeType draws the glyphs.
    hb_ft_font_set_load_flags(f->hb, FT_LOAD_DEFAULT | (FT_HAS_COLOR(f->ft) ? FT_LOAD_COLOR : 0));
  }
  return f->hb;
}

// The bidirectional embedding level of every character (FriBidi) in a
// left-to-right paragraph.
std::vector<FriBidiLevel> BidiLevels(const std::u32string& text) {
  const auto n = static_cast<FriBidiStrIndex>(text.size());
  const auto* chars = reinterpret_cast<const FriBidiChar*>(text.data());
  std::vector<FriBidiCharType> types(text.size());
  std::vector<FriBidiBracketType> brackets(text.size());
  std::vector<FriBidiLevel> levels(text.size(), 0);
  fribidi_get_bidi_types(chars, n, types.data());
  fribidi_get_bracket_types(chars, n, types.data(), brackets.data());
  FriBidiParType dir = FRIBIDI_PAR_LTR;  // the greeting is a left-to-right line
  if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &dir, levels.data()) == 0)
    std::fill(levels.begin(), levels.end(), 0);
  return levels;
}

// The script of every character: a common or inherited character (blank, digit,
// mark) takes its neighbour's.
std::vector<hb_script_t> Scripts(const std::u32string& text, hb_unicode_funcs_t* uf) {
  std::vector<hb_script_t> scripts(text.size(), HB_SCRIPT_COMMON);
  hb_script_t last = HB_SCRIPT_INVALID;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const hb_script_t sc = hb_unicode_script(uf, text[k]);
    if (sc != HB_SCRIPT_COMMON && sc != HB_SCRIPT_INHERITED && sc != HB_SCRIPT_UNKNOWN) {
      if (last == HB_SCRIPT_INVALID) std::fill(scripts.begin(), scripts.begin() + k, sc);
      last = sc;
    }
    scripts[k] = last == HB_SCRIPT_INVALID ? HB_SCRIPT_COMMON : last;
  }
  return scripts;
}

// The face of every character, each face sized once per call; one that cannot
// take the size gives way to the primary face.
std::vector<Face*> ChooseFaces(FontCache& cache, Typeface typeface, Face* primary, double points,
                               const std::u32string& text, hb_unicode_funcs_t* uf) {
  std::vector<Face*> faces(text.size(), primary);
  std::vector<Face*> sized = {primary};
  for (std::size_t k = 0; k < text.size(); ++k) {
    Face* f = k > 0 && (Continues(text[k], uf) || (text[k - 1] == 0x200D && FT_Get_Char_Index(faces[k - 1]->ft, text[k])))
                  ? faces[k - 1]
                  : cache.Choose(typeface, primary, text[k], k + 1 < text.size() && text[k + 1] == 0xFE0F &&
                                                            CanBeEmoji(text[k], uf));
    if (std::find(sized.begin(), sized.end(), f) == sized.end()) {
      if (!SetSize(f, points)) f = primary;
      else sized.push_back(f);
    }
    faces[k] = f;
  }
  return faces;
}

// Characters of one level, script and face, shaped together.
struct ShapedRun {
  std::size_t begin, end;
  FriBidiLevel level;
  std::vector<Glyph> glyphs;  // pens relative to the run
  long advance = 0;
};

// Cuts the text into runs and shapes each with HarfBuzz, in logical order.
std::vector<ShapedRun> ShapeRuns(const std::u32string& text, const std::vector<std::size_t>& origin,
                                 const std::vector<FriBidiLevel>& levels, const std::vector<hb_script_t>& scripts,
                                 const std::vector<Face*>& faces) {
  std::vector<ShapedRun> runs;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (runs.empty() || levels[k] != runs.back().level || scripts[k] != scripts[k - 1] || faces[k] != faces[k - 1])
      runs.push_back({k, k, levels[k], {}, 0});
    runs.back().end = k + 1;
  }

  hb_buffer_t* buf = hb_buffer_create();
  for (ShapedRun& run : runs) {
    Face* face = faces[run.begin];
    hb_buffer_clear_contents(buf);
    hb_buffer_add_utf32(buf, reinterpret_cast<const std::uint32_t*>(text.data()), static_cast<int>(text.size()),
                        static_cast<unsigned>(run.begin), static_cast<int>(run.end - run.begin));
    hb_buffer_set_direction(buf, run.level % 2 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_set_script(buf, scripts[run.begin]);
    // No language: guessing it would read the locale, and the card must not.
    hb_shape(HbFont(face), buf, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buf, &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buf, &count);
    for (unsigned g = 0; g < count; ++g) {
      run.glyphs.push_back({face, info[g].codepoint, origin[info[g].cluster], run.advance,
                            Scaled(pos[g].x_offset, face->scale), Scaled(pos[g].y_offset, face->scale)});
      run.advance += Scaled(pos[g].x_advance, face->scale);
    }
  }
  hb_buffer_destroy(buf);
  return runs;
}

// Appends the runs to the line in visual order: from the highest level down to
// 1, every stretch of runs at that level or above is reversed.
void PlaceInVisualOrder(const std::vector<ShapedRun>& runs, Line* line) {
  std::vector<std::size_t> order(runs.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  int top = 0;
  for (const ShapedRun& r : runs) top = std::max(top, static_cast<int>(r.level));
  for (int lvl = top; lvl > 0; --lvl) {
    for (std::size_t i = 0; i < order.size();) {
      if (runs[order[i]].level < lvl) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < order.size() && runs[order[j]].level >= lvl) ++j;
      std::reverse(order.begin() + static_cast<long>(i), order.begin() + static_cast<long>(j));
      i = j;
    }
  }
  for (std::size_t k : order) {
    for (Glyph g : runs[k].glyphs) {
      g.pen += line->advance;
      line->glyphs.push_back(g);
    }
    line->advance += runs[k].advance;
  }
}

// Any text: bidirectional levels, runs of one level, script and face, each
// shaped by HarfBuzz, runs put in visual order.
void LayOutShaped(FontCache& cache, Typeface typeface, Face* primary, double points,
                  const std::u32string& text, const std::vector<std::size_t>& origin, Line* line) {
  hb_unicode_funcs_t* uf = hb_unicode_funcs_get_default();
  const std::vector<FriBidiLevel> levels = BidiLevels(text);
  const std::vector<hb_script_t> scripts = Scripts(text, uf);
  const std::vector<Face*> faces = ChooseFaces(cache, typeface, primary, points, text, uf);
  PlaceInVisualOrder(ShapeRuns(text, origin, levels, scripts, faces), line);
}

// One glyph's bitmap: coverage (1 channel) or premultiplied BGRA (4), top row first.
struct Bitmap {
  int w = 0, h = 0, channels = 1;
  long left = 0, top = 0;
  std::vector<std::uint8_t> px;
};

// Reads every FreeType pixel mode: 1, 2, 4 and 8-bit grey, LCD (either way), BGRA.
bool Grab(const FT_GlyphSlot slot, Bitmap* out) {
  const FT_Bitmap& bm = slot->bitmap;
  const int rows = static_cast<int>(bm.rows), width = static_cast<int>(bm.width);
  const long stride = bm.pitch < 0 ? -static_cast<long>(bm.pitch) : bm.pitch;
  // A negative pitch stores the rows bottom-up.
  auto row = [&](int r) { return bm.buffer + (bm.pitch < 0 ? rows - 1 - r : r) * stride; };
  out->left = slot->bitmap_left;
  out->top = slot->bitmap_top;
  out->channels = bm.pixel_mode == FT_PIXEL_MODE_BGRA ? 4 : 1;
  out->w = bm.pixel_mode == FT_PIXEL_MODE_LCD ? width / 3 : width;
  out->h = bm.pixel_mode == FT_PIXEL_MODE_LCD_V ? rows / 3 : rows;
  out->px.assign(static_cast<std::size_t>(out->w) * out->h * out->channels, 0);
  if (!bm.buffer || out->px.empty()) return true;  // nothing to draw
  int bits = 8, levels = 256;
  switch (bm.pixel_mode) {
    case FT_PIXEL_MODE_BGRA:
      for (int r = 0; r < rows; ++r) std::copy_n(row(r), width * 4, out->px.data() + static_cast<std::size_t>(r) * width * 4);
      return true;
    case FT_PIXEL_MODE_LCD:
    case FT_PIXEL_MODE_LCD_V: {
      const bool across = bm.pixel_mode == FT_PIXEL_MODE_LCD;
      for (int r = 0; r < out->h; ++r)
        for (int c = 0; c < out->w; ++c) {
          int sum = 0;
          for (int k = 0; k < 3; ++k) sum += across ? row(r)[3 * c + k] : row(3 * r + k)[c];
          out->px[static_cast<std::size_t>(r) * out->w + c] = static_cast<std::uint8_t>((sum + 1) / 3);
        }
      return true;
    }
    case FT_PIXEL_MODE_MONO: bits = 1, levels = 2; break;
    case FT_PIXEL_MODE_GRAY2: bits = 2, levels = 4; break;
    case FT_PIXEL_MODE_GRAY4: bits = 4, levels = 16; break;
    case FT_PIXEL_MODE_GRAY: levels = bm.num_grays > 1 ? bm.num_grays : 256; break;
    default: return false;
  }
  if (bits == 8 && levels == 256) {  // the usual antialiased glyph: rows as they are
    for (int r = 0; r < rows; ++r) std::copy_n(row(r), width, out->px.data() + static_cast<std::size_t>(r) * width);
    return true;
  }
  const unsigned mask = (1u << bits) - 1;
  for (int r = 0; r < rows; ++r) {
    const unsigned char* src = row(r);
    for (int c = 0; c < width; ++c) {
      const int bit = c * bits;
      const unsigned v = bits == 8 ? src[c] : (src[bit / 8] >> (8 - bits - bit % 8)) & mask;
      out->px[static_cast<std::size_t>(r) * width + c] =
          static_cast<std::uint8_t>(levels == 256 ? v : std::min(255u, v * 255 / (levels - 1)));
    }
  }
  return true;
}

// Box-filtered to `scale` times its size (colour emoji come in one large strike).
void Rescale(Bitmap* b, double scale) {
  b->left = std::lround(b->left * scale);
  b->top = std::lround(b->top * scale);
  // A blank glyph (a variation selector, a joiner, a space in a colour face) has
  // no pixels to filter and stays empty at any scale.
  if (b->w <= 0 || b->h <= 0 || b->px.empty()) {
    b->w = b->h = 0;
    b->px.clear();
    return;
  }
  const int w = std::max(1, static_cast<int>(std::lround(b->w * scale)));
  const int h = std::max(1, static_cast<int>(std::lround(b->h * scale)));
  const int ch = b->channels;
  std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h * ch);
  for (int y = 0; y < h; ++y) {
    const int y0 = static_cast<int>(static_cast<long>(y) * b->h / h);
    const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long>(y + 1) * b->h / h));
    for (int x = 0; x < w; ++x) {
      const int x0 = static_cast<int>(static_cast<long>(x) * b->w / w);
      const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<long>(x + 1) * b->w / w));
      const long area = static_cast<long>(y1 - y0) * (x1 - x0);
      for (int k = 0; k < ch; ++k) {
        long sum = 0;
        for (int sy = y0; sy < y1; ++sy)
          for (int sx = x0; sx < x1; ++sx) sum += b->px[(static_cast<std::size_t>(sy) * b->w + sx) * ch + k];
        px[(static_cast<std::size_t>(y) * w + x) * ch + k] = static_cast<std::uint8_t>((sum + area / 2) / area);
      }
    }
  }
  b->w = w;
  b->h = h;
  b->px = std::move(px);
}

inline std::uint32_t Blend(std::uint32_t dst, std::uint32_t src, unsigned a) {
  if (a == 255) return src;
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const unsigned d = (dst >> shift) & 0xFF, s = (src >> shift) & 0xFF;
    out |= ((s * a + d * (255 - a) + 127) / 255) << shift;
  }
  return out;
}

// Premultiplied BGRA over the pixel (stored r + 256 g + 65536 b).
inline std::uint32_t BlendColour(std::uint32_t dst, const std::uint8_t* bgra) {
  const unsigned a = bgra[3];
  std::uint32_t out = 0;
  for (int k = 0; k < 3; ++k) {
    const unsigned d = (dst >> (8 * k)) & 0xFF, s = bgra[2 - k];
    out |= std::min(255u, (s * 255 + d * (255 - a) + 127) / 255) << (8 * k);
  }
  return out;
}

void Put(Surface& s, const Bitmap& b, long ox, long oy, std::uint32_t colour) {
  if (b.w <= 0 || b.h <= 0) return;
  s.WriteRows(ox, oy, ox + b.w - 1, oy + b.h - 1, [&](std::uint32_t* row, long y, long xa, long xb) {
    const std::uint8_t* p = b.px.data() + (static_cast<std::size_t>(y - oy) * b.w + (xa - ox)) * b.channels;
    if (b.channels == 1) {
      // A large glyph is mostly empty or solid: eight coverage bytes at a time
      // skip the empty and fill the solid; only the edges blend pixel by pixel.
      for (long x = xa; x <= xb;) {
        if (xb - x >= 7) {
          std::uint64_t eight;
          std::memcpy(&eight, p, sizeof eight);
          if (eight == 0 || eight == ~std::uint64_t{0}) {
            if (eight != 0) std::fill(row + x, row + x + 8, colour);
            x += 8;
            p += 8;
            continue;
          }
        }
        if (p[0] != 0) row[x] = Blend(row[x], colour, p[0]);
        ++x;
        ++p;
      }
    } else {
      for (long x = xa; x <= xb; ++x, p += 4)
        if (p[0] | p[1] | p[2] | p[3]) row[x] = BlendColour(row[x], p);
    }
  });
}

// Rendered glyphs kept for reuse: a style prints one letter twenty times over,
// and FreeType's hinting and rendering cost far more than placing the bitmap.
// Guarded by the font cache's lock; emptied when it outgrows its budget, so any
// text, however long or large, keeps memory bounded.
class GlyphBitmaps {
 public:
  const Bitmap* Get(Face* face, double points, unsigned id) {
    const Key key{face, points, id};
    auto it = kept_.find(key);
    if (it != kept_.end()) return &it->second;
    Bitmap b;
    const FT_Int32 flags = FT_LOAD_RENDER | (FT_HAS_COLOR(face->ft) ? FT_LOAD_COLOR : 0);
    if (FT_Load_Glyph(face->ft, id, flags) != 0 || !Grab(face->ft->glyph, &b)) return nullptr;
    if (face->scale != 1) Rescale(&b, face->scale);
    if (bytes_ + b.px.size() > kBudget) {
      kept_.clear();
      bytes_ = 0;
    }
    bytes_ += b.px.size();
    return &kept_.emplace(key, std::move(b)).first->second;
  }

 private:
  using Key = std::tuple<const Face*, double, unsigned>;
  static constexpr std::size_t kBudget = 8u << 20;
  std::map<Key, Bitmap> kept_;
  std::size_t bytes_ = 0;
};

GlyphBitmaps& Glyphs() {
  static GlyphBitmaps* glyphs = new GlyphBitmaps();  // lives to the end of the process
  return *glyphs;
}

// Decodes and drops control characters, which are not drawn; `origin` maps back
// to the index of each kept character in the decoded text.
std::u32string Drawable(std::string_view utf8, std::vector<std::size_t>* origin) {
  std::u32string all, kept;
  DecodeUtf8(utf8, &all);
  for (std::size_t k = 0; k < all.size(); ++k)
    if (!IsControl(all[k])) {
      kept.push_back(all[k]);
      origin->push_back(k);
    }
  return kept;
}

TextMetrics Run(Surface* s, Typeface typeface, double points, long px, long py, std::string_view utf8_text,
                std::uint32_t colour, std::vector<PlacedGlyph>* placed = nullptr) {
  TextMetrics m;
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  Face* primary = cache.Own(typeface);
  if (!primary || !(points > 0)) return m;
  if (points > 2000) points = 2000;
  if (!SetSize(primary, points)) return m;
  const long ascender = (primary->ft->size->metrics.ascender + 32) >> 6;
  m.line_height = (primary->ft->size->metrics.height + 32) >> 6;
  std::vector<std::size_t> origin;
  const std::u32string text = Drawable(utf8_text, &origin);
  Line line;
  if (primary->scale == 1 && PlainText(primary->ft, text))
    LayOutPlain(primary, text, origin, &line);
  else
    LayOutShaped(cache, typeface, primary, points, text, origin, &line);
  m.width = (line.advance + 32) >> 6;
  for (const Glyph& g : line.glyphs) {
    if (placed) placed->push_back({g.id, g.cluster, (g.pen + 32) >> 6, g.face->file});
    if (!s) continue;
    if (std::find(t_used.begin(), t_used.end(), g.face) == t_used.end()) t_used.push_back(g.face);
    const Bitmap* b = Glyphs().Get(g.face, points, g.id);
    if (!b) continue;
    Put(*s, *b, px + ((g.pen + g.x_offset + 32) >> 6) + b->left, py + ascender - b->top - ((g.y_offset + 32) >> 6),
        colour);
  }
  return m;
}

}  // namespace

std::vector<FaceFile> FaceFiles(Typeface face) {
  std::vector<FaceFile> files;
  if (face == Typeface::kSerif) {
    files.push_back(kLiberationSerif);
    files.insert(files.end(), std::begin(kSerifFaces), std::end(kSerifFaces));
  } else {
    files.push_back(kDejaVuSans);
  }
  for (const FaceFile& f : kScriptFaces)
    if (std::none_of(files.begin(), files.end(), [&](const FaceFile& g) { return std::strcmp(g.path, f.path) == 0; }))
      files.push_back(f);
  return files;
}

const std::string& FontFolder() {
  static const std::string folder = [] {
    const char* dir = std::getenv("MIRELUNE_FONT_DIR");
    return std::string(dir && *dir ? dir : "/usr/share/fonts");
  }();
  return folder;
}

Result<> PrepareFace(Typeface face) {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  if (!cache.Own(face)) return Error{cache.Of(face).why};
  return {};
}

std::vector<FaceUsed> FacesUsed() {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  std::vector<FaceUsed> used;
  for (Face* f : t_used) {
    if (f->sha256.empty()) f->sha256 = Sha256Hex(f->bytes, f->size);
    used.push_back({f->file, f->index, f->sha256, f->note});
  }
  return used;
}

void ForgetFacesUsed() { t_used.clear(); }

std::string FreeTypeVersion() {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  FT_Int major = 0, minor = 0, patch = 0;
  if (cache.lib) FT_Library_Version(cache.lib, &major, &minor, &patch);
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::string HarfBuzzVersion() { return hb_version_string(); }

int FontconfigLookups() {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  return cache.fc_lookups;
}

bool ListedFaceHas(Typeface face, char32_t c) {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  TypefaceFaces& tf = cache.Of(face);
  for (std::size_t k = 0; k < tf.files.size(); ++k) {
    Face* f = k == 0 ? cache.Own(face) : cache.Listed(tf, k);
    if (f && FT_Get_Char_Index(f->ft, c)) return true;
  }
  return false;
}

std::vector<std::string> TakeTextFailures() {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  return std::exchange(cache.untaken, {});
}

TextMetrics DrawText(Surface& s, Typeface face, double points, long px, long py, std::string_view utf8_text,
                     std::uint32_t colour) {
  return Run(&s, face, points, px, py, utf8_text, colour);
}

std::vector<PlacedGlyph> LayOutText(Typeface face, double points, std::string_view utf8_text) {
  std::vector<PlacedGlyph> placed;
  Run(nullptr, face, points, 0, 0, utf8_text, 0, &placed);
  return placed;
}

void PrintText(Surface& s, std::string_view utf8_text) {
  const TextMetrics m = DrawText(s, s.typeface, s.font_points, s.PixelX(s.cursor_x), s.PixelY(s.cursor_y), utf8_text,
                                 Drawn(s.pen_colour));
  s.cursor_x = 0;
  s.cursor_y += m.line_height * s.scale_height() / s.pixel_height();
}

}  // namespace mirelune
