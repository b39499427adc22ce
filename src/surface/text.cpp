#include "surface/text.h"

#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>
#include <utility>

#include "surface/font_answers.h"
#include "surface/library.h"
#include "surface/surface.h"

namespace mirelune {

bool DecodeUtf8(std::string_view s, std::u32string* out) {
  bool ok = true;
  out->clear();
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool good = len > 0 && i + len <= s.size();
    for (int k = 1; good && k < len; ++k) {
      const unsigned char c = static_cast<unsigned char>(s[i + k]);
      if ((c >> 6) != 2) good = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (good) {
      // Overlong forms, surrogates and values past U+10FFFF are malformed too.
      static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) good = false;
    }
    if (!good) {
      ok = false;
      out->push_back(0xFFFD);
      ++i;
      continue;
    }
    out->push_back(cp);
    i += len;
  }
  return ok;
}

std::string EncodeUtf8(char32_t c) {
  std::string z;
  if (c < 0x80) {
    z.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    z.push_back(static_cast<char>(0xC0 | (c >> 6)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    z.push_back(static_cast<char>(0xE0 | (c >> 12)));
    z.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    z.push_back(static_cast<char>(0xF0 | (c >> 18)));
    z.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    z.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return z;
}

namespace {

// Windows-1252 bytes 0x80..0x9F and the characters they hold.
constexpr char32_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

}  // namespace

int Windows1252Code(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<int>(ch);
  for (int k = 0; k < 32; ++k)
    if (kHigh[k] == ch) return 0x80 + k;
  return -1;
}

namespace {

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// HarfBuzz and FriBidi are loaded the first time a line needs shaping: plain
// Western text (every card of ASCII names) never does, and loading them with
// GLib and Graphite at start-up cost every card's process about 2 ms.
struct ShapingApi {
  decltype(&hb_ft_font_create_referenced) ft_font_create_referenced;
  decltype(&hb_ft_font_set_load_flags) ft_font_set_load_flags;
  decltype(&hb_ft_font_changed) ft_font_changed;
  decltype(&hb_unicode_funcs_get_default) unicode_funcs_get_default;
  decltype(&hb_unicode_general_category) unicode_general_category;
  decltype(&hb_unicode_script) unicode_script;
  decltype(&hb_buffer_create) buffer_create;
  decltype(&hb_buffer_clear_contents) buffer_clear_contents;
  decltype(&hb_buffer_add_utf32) buffer_add_utf32;
  decltype(&hb_buffer_set_direction) buffer_set_direction;
  decltype(&hb_buffer_set_script) buffer_set_script;
  decltype(&hb_shape) shape;
  decltype(&hb_buffer_get_glyph_infos) buffer_get_glyph_infos;
  decltype(&hb_buffer_get_glyph_positions) buffer_get_glyph_positions;
  decltype(&hb_buffer_destroy) buffer_destroy;
  decltype(&fribidi_get_bidi_types) get_bidi_types;
  decltype(&fribidi_get_bracket_types) get_bracket_types;
  decltype(&fribidi_get_par_embedding_levels_ex) get_par_embedding_levels_ex;
};

// Called with the font cache's lock held; nullptr (and `why`) when a library is missing.
const ShapingApi* Shaping(std::string* why) {
  static ShapingApi api;
  static const ShapingApi* loaded = nullptr;
  static bool tried = false;
  static std::string failure;
  if (!tried) {
    tried = true;
    std::string why_hb, why_bidi;  // the loader's own words
    void* hb = OpenLibrary("libharfbuzz.so.0", &why_hb);
    void* bidi = OpenLibrary("libfribidi.so.0", &why_bidi);
    const std::string why_not = !hb ? why_hb : why_bidi;
    const bool all =
        FindFunction(hb, "hb_ft_font_create_referenced", &api.ft_font_create_referenced) &&
        FindFunction(hb, "hb_ft_font_set_load_flags", &api.ft_font_set_load_flags) &&
        FindFunction(hb, "hb_ft_font_changed", &api.ft_font_changed) &&
        FindFunction(hb, "hb_unicode_funcs_get_default", &api.unicode_funcs_get_default) &&
        FindFunction(hb, "hb_unicode_general_category", &api.unicode_general_category) &&
        FindFunction(hb, "hb_unicode_script", &api.unicode_script) &&
        FindFunction(hb, "hb_buffer_create", &api.buffer_create) &&
        FindFunction(hb, "hb_buffer_clear_contents", &api.buffer_clear_contents) &&
        FindFunction(hb, "hb_buffer_add_utf32", &api.buffer_add_utf32) &&
        FindFunction(hb, "hb_buffer_set_direction", &api.buffer_set_direction) &&
        FindFunction(hb, "hb_buffer_set_script", &api.buffer_set_script) && FindFunction(hb, "hb_shape", &api.shape) &&
        FindFunction(hb, "hb_buffer_get_glyph_infos", &api.buffer_get_glyph_infos) &&
        FindFunction(hb, "hb_buffer_get_glyph_positions", &api.buffer_get_glyph_positions) &&
        FindFunction(hb, "hb_buffer_destroy", &api.buffer_destroy) &&
        FindFunction(bidi, "fribidi_get_bidi_types", &api.get_bidi_types) &&
        FindFunction(bidi, "fribidi_get_bracket_types", &api.get_bracket_types) &&
        FindFunction(bidi, "fribidi_get_par_embedding_levels_ex", &api.get_par_embedding_levels_ex);
    if (all)
      loaded = &api;  // both stay loaded: fonts hold HarfBuzz objects to the end
    else
      failure = std::string("the text-shaping libraries libharfbuzz.so.0 and libfribidi.so.0 could not be loaded (") +
                (hb && bidi ? "they lack functions this program uses" : why_not) +
                "); install libharfbuzz0b and libfribidi0. Text other than plain Western letters is drawn unshaped";
  }
  if (!loaded && why) *why = failure;
  return loaded;
}

// A character drawn from the face of the one before it: marks, joiners, variation
// selectors, skin tones and tag characters belong to their base.
bool Continues(char32_t c, const ShapingApi& hb, hb_unicode_funcs_t* uf) {
  if (c == 0x200C || c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) ||
      (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F))
    return true;
  switch (hb.unicode_general_category(uf, c)) {
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
bool CanBeEmoji(char32_t c, const ShapingApi& hb, hb_unicode_funcs_t* uf) {
  switch (hb.unicode_general_category(uf, c)) {
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
  double scale = 1;  // faces with bitmaps only: text size / strike size
};

struct FontRef {
  std::string file;
  int index = 0;  // the face within a collection (.ttc)
};

FontRef RefOf(FcPattern* p) {
  FontRef r;
  FcChar8* file = nullptr;
  if (FcPatternGetString(p, FC_FILE, 0, &file) == FcResultMatch && file) r.file = reinterpret_cast<const char*>(file);
  if (FcPatternGetInteger(p, FC_INDEX, 0, &r.index) != FcResultMatch) r.index = 0;
  return r;
}

// Whether fontconfig's match for `pat` is a face of the family asked for: the name
// itself, a generic name (anything satisfies "serif"), or a face configured as
// the same design under another name (Liberation Serif for Times New Roman); not
// one of the weak guesses that follow those.
bool MatchesAsked(const std::string& name, FcPattern* pat, FcPattern* match) {
  static constexpr const char* kGeneric[] = {"sans-serif", "sans", "serif", "monospace", "mono",
                                             "emoji", "math", "system-ui", "cursive", "fantasy"};
  for (const char* g : kGeneric)
    if (FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(g), reinterpret_cast<const FcChar8*>(name.c_str())) == 0)
      return true;
  FcPatternIter it;
  if (!FcPatternFindIter(pat, &it, FC_FAMILY)) return false;
  for (int k = 0, n = FcPatternIterValueCount(pat, &it); k < n; ++k) {
    FcValue v;
    FcValueBinding binding;
    if (FcPatternIterGetValue(pat, &it, k, &v, &binding) != FcResultMatch || binding == FcValueBindingWeak) break;
    FcChar8* got = nullptr;
    for (int j = 0; v.type == FcTypeString && FcPatternGetString(match, FC_FAMILY, j, &got) == FcResultMatch; ++j)
      if (FcStrCmpIgnoreCase(v.u.s, got) == 0) return true;
  }
  return false;
}

std::string FamilyName(FcPattern* p) {
  FcChar8* name = nullptr;
  return FcPatternGetString(p, FC_FAMILY, 0, &name) == FcResultMatch ? reinterpret_cast<const char*>(name) : "?";
}

struct Family {
  std::string name;
  FontRef primary;
  FcPattern* pattern = nullptr;       // the name as asked, with fontconfig's substitutions (made when needed)
  FcFontSet* fallbacks = nullptr;     // fontconfig's order, closest first: sorted on first need
  bool sorted = false;
  std::map<char32_t, Face*> chosen;  // per character (+ kColourWanted)
};

constexpr char32_t kColourWanted = 0x200000;

// FreeType faces are not thread-safe; one lock guards the library and the caches,
// which live to the end of the process.
struct FontCache {
  std::mutex mu;
  FT_Library lib = nullptr;
  std::map<std::string, Family> families;
  std::map<std::pair<std::string, int>, std::unique_ptr<Face>> faces;

  std::set<std::string> said;          // every failure ever noted, so each is told once
  std::vector<std::string> untaken;    // noted and not yet taken

  FontAnswers answers = FontAnswers::Load();
  bool fc_tried = false, fc_ready = false;

  FontCache() {
    if (const FT_Error e = FT_Init_FreeType(&lib)) {
      lib = nullptr;
      Fail("FreeType could not start (error " + std::to_string(e) + "), so no text is drawn");
    }
  }

  void Fail(std::string why) {
    if (said.insert(why).second) untaken.push_back(std::move(why));
  }

  // fontconfig reads its whole configuration when it starts: only when an answer
  // is not kept from an earlier run, or a character needs a fallback face.
  bool Fontconfig() {
    if (!fc_tried) {
      fc_tried = true;
      fc_ready = FcInit();
      if (!fc_ready) Fail("fontconfig could not start, so no font can be found and no text is drawn");
    }
    return fc_ready;
  }

  // The name with fontconfig's substitutions, as matching and sorting take it.
  FcPattern* PatternOf(Family& f) {
    if (!f.pattern && Fontconfig()) {
      f.pattern = FcNameParse(reinterpret_cast<const FcChar8*>(f.name.c_str()));
      if (f.pattern) {
        FcConfigSubstitute(nullptr, f.pattern, FcMatchPattern);
        FcDefaultSubstitute(f.pattern);
      }
    }
    return f.pattern;
  }

  Family& FamilyOf(const std::string& name) {
    auto it = families.find(name);
    if (it != families.end()) return it->second;
    Family& f = families[name];
    f.name = name;
    if (const FontAnswer* kept = answers.Find(name)) {
      f.primary = FontRef{kept->file, kept->index};
      if (!kept->note.empty()) Fail(kept->note);
      return f;
    }
    FcPattern* pat = PatternOf(f);
    if (!pat) return f;
    FcResult res;
    std::string note;
    if (FcPattern* match = FcFontMatch(nullptr, pat, &res)) {
      f.primary = RefOf(match);
      if (!f.primary.file.empty() && !MatchesAsked(name, pat, match))
        note = "the font \"" + name + "\" is not installed; its text is drawn in \"" + FamilyName(match) + "\"";
      FcPatternDestroy(match);
    }
    if (f.primary.file.empty()) {
      Fail("no font is installed for \"" + name + "\", so its text is not drawn");
      return f;
    }
    if (!note.empty()) Fail(note);
    answers.Keep(name, FontAnswer{f.primary.file, f.primary.index, note});
    return f;
  }

  Face* Open(const FontRef& r) {
    if (r.file.empty() || !lib) return nullptr;
    const auto key = std::make_pair(r.file, r.index);
    auto it = faces.find(key);
    if (it != faces.end()) return it->second.get();
    std::unique_ptr<Face>& face = faces[key];
    FT_Face ft = nullptr;
    if (FT_New_Face(lib, r.file.c_str(), r.index, &ft) == 0) {
      face = std::make_unique<Face>();
      face->ft = ft;
      face->file = r.file;
    } else {
      Fail("cannot read the font file " + r.file + ", so the text it would draw is not drawn");
    }
    return face.get();
  }

  // The face that draws `ch`: the family's own when it has it, else the first of
  // fontconfig's fallback list that does (a colour one first when asked), else
  // the family's own, whose missing-glyph box then shows.
  Face* Choose(Family& fam, Face* primary, char32_t ch, bool colour) {
    if (!colour && FT_Get_Char_Index(primary->ft, ch)) return primary;
    const char32_t key = ch + (colour ? kColourWanted : 0);
    auto it = fam.chosen.find(key);
    if (it != fam.chosen.end()) return it->second;
    if (!fam.sorted) {  // sorting every installed font costs milliseconds: only for a character the face lacks
      fam.sorted = true;
      FcResult res;
      if (FcPattern* pat = PatternOf(fam)) fam.fallbacks = FcFontSort(nullptr, pat, FcTrue, nullptr, &res);
    }
    Face* found = nullptr;
    for (int pass = colour ? 0 : 1; pass < 2 && !found; ++pass) {
      for (int k = 0; fam.fallbacks && k < fam.fallbacks->nfont && !found; ++k) {
        FcCharSet* cs = nullptr;
        FcPattern* p = fam.fallbacks->fonts[k];
        if (FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) != FcResultMatch || !FcCharSetHasChar(cs, ch)) continue;
        Face* f = Open(RefOf(p));
        if (f && (pass == 1 || FT_HAS_COLOR(f->ft)) && FT_Get_Char_Index(f->ft, ch)) found = f;
      }
    }
    if (!found) found = primary;
    fam.chosen[key] = found;
    return found;
  }
};

FontCache& Cache() {
  static FontCache* cache = new FontCache();  // lives to the end of the process
  return *cache;
}

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
  if (f->hb) {
    std::string why;
    if (const ShapingApi* hb = Shaping(&why)) hb->ft_font_changed(f->hb);  // a face with a HarfBuzz font has the API
  }
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

// Any text: bidirectional levels (FriBidi), runs of one level, script and face,
// each shaped by HarfBuzz, runs put in visual order.
// The face's HarfBuzz font, made on its first shaping (after its size is set).
hb_font_t* HbFont(const ShapingApi& hb, Face* f) {
  if (!f->hb) {
    f->hb = hb.ft_font_create_referenced(f->ft);
    // Hinted advances, as FreeType draws the glyphs.
    hb.ft_font_set_load_flags(f->hb, FT_LOAD_DEFAULT | (FT_HAS_COLOR(f->ft) ? FT_LOAD_COLOR : 0));
  }
  return f->hb;
}

void LayOutShaped(const ShapingApi& hb, FontCache& cache, Family& fam, Face* primary, double points,
                  const std::u32string& text, const std::vector<std::size_t>& origin, Line* line) {
  const auto n = static_cast<FriBidiStrIndex>(text.size());
  const auto* chars = reinterpret_cast<const FriBidiChar*>(text.data());
  std::vector<FriBidiCharType> types(text.size());
  std::vector<FriBidiBracketType> brackets(text.size());
  std::vector<FriBidiLevel> levels(text.size(), 0);
  hb.get_bidi_types(chars, n, types.data());
  hb.get_bracket_types(chars, n, types.data(), brackets.data());
  FriBidiParType dir = FRIBIDI_PAR_LTR;  // the greeting is a left-to-right line
  if (hb.get_par_embedding_levels_ex(types.data(), brackets.data(), n, &dir, levels.data()) == 0)
    std::fill(levels.begin(), levels.end(), 0);

  // Scripts: a common or inherited character (blank, digit, mark) takes its neighbour's.
  hb_unicode_funcs_t* uf = hb.unicode_funcs_get_default();
  std::vector<hb_script_t> scripts(text.size(), HB_SCRIPT_COMMON);
  hb_script_t last = HB_SCRIPT_INVALID;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const hb_script_t sc = hb.unicode_script(uf, text[k]);
    if (sc != HB_SCRIPT_COMMON && sc != HB_SCRIPT_INHERITED && sc != HB_SCRIPT_UNKNOWN) {
      if (last == HB_SCRIPT_INVALID) std::fill(scripts.begin(), scripts.begin() + k, sc);
      last = sc;
    }
    scripts[k] = last == HB_SCRIPT_INVALID ? HB_SCRIPT_COMMON : last;
  }

  // Faces, sized once per call.
  std::vector<Face*> faces(text.size(), primary);
  std::vector<Face*> sized = {primary};
  for (std::size_t k = 0; k < text.size(); ++k) {
    Face* f = k > 0 && (Continues(text[k], hb, uf) || (text[k - 1] == 0x200D && FT_Get_Char_Index(faces[k - 1]->ft, text[k])))
                  ? faces[k - 1]
                  : cache.Choose(fam, primary, text[k], k + 1 < text.size() && text[k + 1] == 0xFE0F &&
                                                            CanBeEmoji(text[k], hb, uf));
    if (std::find(sized.begin(), sized.end(), f) == sized.end()) {
      if (!SetSize(f, points)) f = primary;
      else sized.push_back(f);
    }
    faces[k] = f;
  }

  struct Run {
    std::size_t begin, end;
    FriBidiLevel level;
    std::vector<Glyph> glyphs;  // pens relative to the run
    long advance = 0;
  };
  std::vector<Run> runs;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (runs.empty() || levels[k] != runs.back().level || scripts[k] != scripts[k - 1] || faces[k] != faces[k - 1])
      runs.push_back({k, k, levels[k], {}, 0});
    runs.back().end = k + 1;
  }

  hb_buffer_t* buf = hb.buffer_create();
  for (Run& run : runs) {
    Face* face = faces[run.begin];
    hb.buffer_clear_contents(buf);
    hb.buffer_add_utf32(buf, reinterpret_cast<const std::uint32_t*>(text.data()), static_cast<int>(text.size()),
                        static_cast<unsigned>(run.begin), static_cast<int>(run.end - run.begin));
    hb.buffer_set_direction(buf, run.level % 2 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb.buffer_set_script(buf, scripts[run.begin]);
    // No language: guessing it would read the locale, and the card must not.
    hb.shape(HbFont(hb, face), buf, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb.buffer_get_glyph_infos(buf, &count);
    const hb_glyph_position_t* pos = hb.buffer_get_glyph_positions(buf, &count);
    for (unsigned g = 0; g < count; ++g) {
      run.glyphs.push_back({face, info[g].codepoint, origin[info[g].cluster], run.advance,
                            Scaled(pos[g].x_offset, face->scale), Scaled(pos[g].y_offset, face->scale)});
      run.advance += Scaled(pos[g].x_advance, face->scale);
    }
  }
  hb.buffer_destroy(buf);

  // Visual order of the runs: from the highest level down to 1, reverse every
  // stretch of runs at that level or above.
  std::vector<std::size_t> order(runs.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  int top = 0;
  for (const Run& r : runs) top = std::max(top, static_cast<int>(r.level));
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

TextMetrics Run(Surface* s, const std::string& family, double points, long px, long py,
                std::string_view utf8_text, std::uint32_t colour, std::vector<PlacedGlyph>* placed = nullptr) {
  TextMetrics m;
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  Family& fam = cache.FamilyOf(family);
  Face* primary = cache.Open(fam.primary);
  if (!primary || !(points > 0)) return m;
  if (points > 2000) points = 2000;
  if (!SetSize(primary, points)) return m;
  const long ascender = (primary->ft->size->metrics.ascender + 32) >> 6;
  m.line_height = (primary->ft->size->metrics.height + 32) >> 6;
  std::vector<std::size_t> origin;
  const std::u32string text = Drawable(utf8_text, &origin);
  Line line;
  std::string why;
  if (primary->scale == 1 && PlainText(primary->ft, text)) {
    LayOutPlain(primary, text, origin, &line);
  } else if (const ShapingApi* hb = Shaping(&why)) {
    LayOutShaped(*hb, cache, fam, primary, points, text, origin, &line);
  } else {
    cache.Fail(why);
    LayOutPlain(primary, text, origin, &line);
  }
  m.width = (line.advance + 32) >> 6;
  for (const Glyph& g : line.glyphs) {
    if (placed) placed->push_back({g.id, g.cluster, (g.pen + 32) >> 6, g.face->file});
    if (!s) continue;
    const Bitmap* b = Glyphs().Get(g.face, points, g.id);
    if (!b) continue;
    Put(*s, *b, px + ((g.pen + g.x_offset + 32) >> 6) + b->left, py + ascender - b->top - ((g.y_offset + 32) >> 6),
        colour);
  }
  return m;
}

}  // namespace

std::string FontFileFor(const std::string& family) {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  return cache.FamilyOf(family).primary.file;
}

void PrepareFont(const std::string& family) {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  cache.Open(cache.FamilyOf(family).primary);
}

std::vector<std::string> TakeTextFailures() {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  return std::exchange(cache.untaken, {});
}

bool AnyFontHas(char32_t c) {
  FcCharSet* cs = FcCharSetCreate();
  FcCharSetAddChar(cs, c);
  FcPattern* pat = FcPatternCreate();
  FcPatternAddCharSet(pat, FC_CHARSET, cs);
  FcObjectSet* os = FcObjectSetBuild(FC_FILE, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pat, os);
  const bool any = fonts && fonts->nfont > 0;
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  FcCharSetDestroy(cs);
  return any;
}

TextMetrics DrawText(Surface& s, const std::string& family, double points, long px, long py,
                     std::string_view utf8_text, std::uint32_t colour) {
  return Run(&s, family, points, px, py, utf8_text, colour);
}

TextMetrics MeasureText(const std::string& family, double points, std::string_view utf8_text) {
  return Run(nullptr, family, points, 0, 0, utf8_text, 0);
}

std::vector<PlacedGlyph> LayOutText(const std::string& family, double points, std::string_view utf8_text) {
  std::vector<PlacedGlyph> placed;
  Run(nullptr, family, points, 0, 0, utf8_text, 0, &placed);
  return placed;
}

}  // namespace mirelune
