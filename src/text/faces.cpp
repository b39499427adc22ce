// faces.cpp — face files opened by path, the fixed fallback list, and fontconfig
// only for a character no listed face has.
#include "text/faces.h"

#include <hb-ft.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/platform.h"

namespace mirelune {

namespace {

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

// Adds a problem once.
void Add(std::vector<std::string>* list, const std::string& why) {
  if (std::find(list->begin(), list->end(), why) == list->end()) list->push_back(why);
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

std::string FontFolder() {
  const std::string dir = EnvText("MIRELUNE_FONT_DIR");
  if (!dir.empty()) return dir;
#ifdef _WIN32
  // No system folder of these faces on Windows: they are installed with the program.
  return PathText(ProgramFolder() / "share" / "mirelune" / "fonts");
#else
  return "/usr/share/fonts";
#endif
}

namespace text {

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

FaceSet::FaceSet(const std::string& folder) : folder_(folder) {
  listings_[0].files = FaceFiles(Typeface::kSans);
  listings_[1].files = FaceFiles(Typeface::kSerif);
  if (const FT_Error e = FT_Init_FreeType(&lib_)) {
    lib_ = nullptr;
    lib_problem_ = "FreeType could not start (error " + std::to_string(e) + "), so no text is drawn";
  }
}

FaceSet::~FaceSet() {
#ifndef MIRELUNE_NO_FONTCONFIG
  for (Listing& l : listings_)
    if (l.fallbacks) FcFontSetDestroy(l.fallbacks);
#endif
  for (auto& [key, face] : faces_) {
    if (!face) continue;
    if (face->hb) hb_font_destroy(face->hb);  // drops its reference to the FreeType face
    FT_Done_Face(face->ft);
#ifdef _WIN32
    std::free(const_cast<unsigned char*>(face->bytes));
#else
    ::munmap(const_cast<unsigned char*>(face->bytes), face->size);
#endif
  }
  if (lib_) FT_Done_FreeType(lib_);
}

// The face in `file`, mapped and opened once, or why it cannot be used (the
// same reason every time). `package` names what installs a listed file.
Result<Face*> FaceSet::Open(const std::string& file, int index, const char* package) {
  const auto key = std::make_pair(file, index);
  if (auto it = faces_.find(key); it != faces_.end()) {
    if (!it->second) return Error{unusable_[key]};
    return it->second.get();
  }
  std::unique_ptr<Face>& face = faces_[key];
  std::string& reason = unusable_[key];
  if (!lib_) {
    reason = lib_problem_;
  } else {
#ifdef _WIN32
    // Read whole into memory: mapping would hold the file open against updates,
    // and the name may be in any script (UTF-16 on the system's side).
    const std::filesystem::path path = Utf8Path(file);
    std::FILE* in = FileOpen(path, "rb");
    std::error_code ec;
    const bool regular = std::filesystem::is_regular_file(path, ec);
    void* map = nullptr;
    struct {
      long long st_size = 0;
    } st;
    if (!in && errno == ENOENT && package)
      reason = "the font file " + file + " is missing; install the package " + package;
    else if (!in)
      reason = "cannot read the font file " + file + ": " + std::strerror(errno);
    else if (!regular)
      reason = "the font file " + file + " is not a regular file";
    else if ((st.st_size = static_cast<long long>(std::filesystem::file_size(path, ec))) == 0 || ec)
      reason = "the font file " + file + " is empty";
    else if (!(map = std::malloc(static_cast<std::size_t>(st.st_size))) ||
             std::fread(map, 1, static_cast<std::size_t>(st.st_size), in) != static_cast<std::size_t>(st.st_size))
      reason = "cannot read the font file " + file + ": " + std::strerror(errno ? errno : EIO);
    if (in) std::fclose(in);
    if (!reason.empty()) std::free(map);
#else
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
#endif
    FT_Face ft = nullptr;
    if (reason.empty()) {
      const auto* bytes = static_cast<const unsigned char*>(map);
      const std::size_t size = static_cast<std::size_t>(st.st_size);
      if (const FT_Error e = FT_New_Memory_Face(lib_, bytes, static_cast<FT_Long>(size), index, &ft)) {
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
#ifdef _WIN32
      if (!face) std::free(map);
#else
      if (!face) ::munmap(map, size);
#endif
    }
  }
  if (!face) return Error{reason};
  return face.get();
}

Face* FaceSet::Own(Typeface t) {
  Listing& l = Of(t);
  if (!l.opened) {
    l.opened = true;
    const FaceFile& own = l.files.front();
    const Result<Face*> opened = Open(folder_ + "/" + own.path, own.index, own.package);
    l.own = opened ? *opened : nullptr;
    if (!opened) l.why = opened.error().message;
  }
  if (!l.own) Note(l.why);
  return l.own;
}

// The k-th face of the typeface's list; a missing one is simply not there (the
// script faces are optional), a damaged one is said.
Face* FaceSet::Listed(Listing& l, std::size_t k, std::vector<std::string>* met) {
  const FaceFile& f = l.files[k];
  const Result<Face*> face = Open(folder_ + "/" + f.path, f.index, f.package);
  if (!face && face.error().message.find(" is missing; ") == std::string::npos) Add(met, face.error().message);
  return face ? *face : nullptr;
}

// fontconfig reads its whole configuration when it starts: only for a character
// no listed face has.
bool FaceSet::Fontconfig(std::vector<std::string>* met) {
#ifdef MIRELUNE_NO_FONTCONFIG
  (void)met;
  return false;
#else
  if (!fc_tried_) {
    fc_tried_ = true;
    fc_ready_ = FcInit();
  }
  if (!fc_ready_) Add(met, "fontconfig could not start, so characters no listed face has are not drawn");
  return fc_ready_;
#endif
}

// fontconfig's choice for a character no listed face has (a colour face first when asked).
Face* FaceSet::AskFontconfig(Typeface t, char32_t ch, bool colour, std::vector<std::string>* met) {
  ++fc_lookups_;
#ifdef MIRELUNE_NO_FONTCONFIG
  (void)t, (void)ch, (void)colour, (void)met;
  return nullptr;
#else
  Listing& l = Of(t);
  if (!l.sorted && Fontconfig(met)) {  // sorting every installed font costs milliseconds: once
    l.sorted = true;
    const char* family = t == Typeface::kSerif ? kSerifFamily : kSansFamily;
    if (FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(family))) {
      // fontconfig would add the user's language from LANG and sort by it; a
      // fixed one keeps the fallback order, and so the card, the same in
      // every locale (English is what it takes in the C locale).
      FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("en"));
      FcConfigSubstitute(nullptr, pat, FcMatchPattern);
      FcDefaultSubstitute(pat);
      FcResult res;
      l.fallbacks = FcFontSort(nullptr, pat, FcTrue, nullptr, &res);
      FcPatternDestroy(pat);
    }
  }
  for (int pass = colour ? 0 : 1; pass < 2; ++pass) {
    for (int k = 0; l.fallbacks && k < l.fallbacks->nfont; ++k) {
      FcCharSet* cs = nullptr;
      FcPattern* p = l.fallbacks->fonts[k];
      FcChar8* file = nullptr;
      int index = 0;
      if (FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) != FcResultMatch || !FcCharSetHasChar(cs, ch) ||
          FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch || !file)
        continue;
      if (FcPatternGetInteger(p, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
      const Result<Face*> opened = Open(reinterpret_cast<const char*>(file), index, nullptr);
      Face* f = opened ? *opened : nullptr;
      if (!f || (pass == 0 && !FT_HAS_COLOR(f->ft)) || !FT_Get_Char_Index(f->ft, ch)) continue;
      return f;
    }
  }
  return nullptr;
#endif
}

FaceSet::Choice FaceSet::Decide(Typeface t, Face* own, char32_t ch, bool colour) {
  Listing& l = Of(t);
  Choice c;
  for (int pass = colour ? 0 : 1; pass < 2 && !c.face; ++pass)
    for (std::size_t k = 0; k < l.files.size() && !c.face; ++k) {
      Face* f = k == 0 ? own : Listed(l, k, &c.problems);
      if (f && (pass == 1 || FT_HAS_COLOR(f->ft)) && FT_Get_Char_Index(f->ft, ch)) c.face = f;
    }
  if (!c.face) c.by_fontconfig = (c.face = AskFontconfig(t, ch, colour, &c.problems)) != nullptr;
  if (!c.face) {
    Add(&c.problems, "a character of the text (first " + Hex(ch) + ") has no installed font and is drawn as a box; "
                     "the faces for names in other scripts come with fonts-noto-core, fonts-noto-cjk and "
                     "fonts-noto-color-emoji");
    c.face = own;
  }
  return c;
}

Face* FaceSet::Choose(Typeface t, Face* own, char32_t ch, bool colour) {
  if (!colour && FT_Get_Char_Index(own->ft, ch)) return own;
  Listing& l = Of(t);
  const char32_t key = ch + (colour ? kColourWanted : 0);
  auto it = l.chosen.find(key);
  if (it == l.chosen.end()) it = l.chosen.emplace(key, Decide(t, own, ch, colour)).first;
  const Choice& c = it->second;
  for (const std::string& why : c.problems) Note(why);
  if (c.by_fontconfig && !notes_.count(c.face))
    notes_[c.face] = "drew " + Hex(ch) + ", which no listed face has; fontconfig chose this face, so the card may "
                     "differ on another machine";
  return c.face;
}

bool FaceSet::ListedFaceHas(Typeface t, char32_t c) {
  Listing& l = Of(t);
  std::vector<std::string> met;
  bool has = false;
  for (std::size_t k = 0; k < l.files.size() && !has; ++k) {
    Face* f = k == 0 ? Own(t) : Listed(l, k, &met);
    has = f && FT_Get_Char_Index(f->ft, c);
  }
  for (const std::string& why : met) Note(why);
  return has;
}

void FaceSet::Used(Face* f) {
  if (std::find(used_.begin(), used_.end(), f) == used_.end()) used_.push_back(f);
}

void FaceSet::Note(const std::string& why) { Add(&problems_, why); }

TextRecord FaceSet::TakeRecord() {
  TextRecord r;
  for (const Face* f : used_) {
    const auto note = notes_.find(f);
    r.faces.push_back({f->file, f->index, note == notes_.end() ? std::string() : note->second});
  }
  r.problems = std::move(problems_);
  used_.clear();
  notes_.clear();
  problems_.clear();
  return r;
}

}  // namespace text
}  // namespace mirelune
