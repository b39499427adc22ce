// shaping.cpp — script runs and their faces, FriBidi levels, HarfBuzz shaping.
#include "text/shaping.h"

#include <fribidi.h>
#include <hb-ft.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace mirelune::text {
namespace {

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
std::vector<Face*> ChooseFaces(FaceSet& set, Typeface typeface, Face* primary, double points,
                               const std::u32string& text, hb_unicode_funcs_t* uf) {
  std::vector<Face*> faces(text.size(), primary);
  std::vector<Face*> sized = {primary};
  for (std::size_t k = 0; k < text.size(); ++k) {
    Face* f = k > 0 && (Continues(text[k], uf) || (text[k - 1] == 0x200D && FT_Get_Char_Index(faces[k - 1]->ft, text[k])))
                  ? faces[k - 1]
                  : set.Choose(typeface, primary, text[k], k + 1 < text.size() && text[k + 1] == 0xFE0F &&
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

}  // namespace

void LayOutShaped(FaceSet& faces, Typeface typeface, Face* primary, double points, const std::u32string& text,
                  const std::vector<std::size_t>& origin, Line* line) {
  hb_unicode_funcs_t* uf = hb_unicode_funcs_get_default();
  const std::vector<FriBidiLevel> levels = BidiLevels(text);
  const std::vector<hb_script_t> scripts = Scripts(text, uf);
  const std::vector<Face*> chosen = ChooseFaces(faces, typeface, primary, points, text, uf);
  PlaceInVisualOrder(ShapeRuns(text, origin, levels, scripts, chosen), line);
}

}  // namespace mirelune::text
