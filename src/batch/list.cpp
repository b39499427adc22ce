// list.cpp — reading and checking the contact list.
#include "base/checks.h"
#include "base/platform.h"
#include "base/utf8.h"
#include "batch/list.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "card/card.h"
#include "mail/mail.h"
#include "base/digest.h"

namespace mirelune {
namespace {

enum Column { kFriend, kSender, kEmail, kMessage, kMode, kPalette, kMaxStyles, kYear, kWish, kColumnCount };
constexpr const char* kColumnNames[kColumnCount] = {"friend",  "sender",  "email",      "message", "mode",
                                                     "palette", "max_styles", "year", "wish"};


std::string Trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A value as a reason quotes it: at most 40 characters, and control characters (a
// line break, a terminal's escape) as \xNN, bidi overrides as \uNNNN, so a hostile
// field can neither fill the report nor move or reorder the terminal's text. Text
// that is not UTF-8 (a header name) shows each byte beyond ASCII as \xNN.
std::string Quoted(const std::string& text) {
  std::u32string chars;
  const bool utf8 = DecodeUtf8(text, &chars);
  if (!utf8) {
    chars.clear();
    for (const char b : text) chars.push_back(static_cast<unsigned char>(b));
  }
  std::string out = "\"";
  for (std::size_t k = 0; k < chars.size() && k < 40; ++k) {
    const char32_t c = chars[k];
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (!utf8 && c >= 0x80) || (c >= 0x2028 && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069)) {
      char hex[12];
      std::snprintf(hex, sizeof hex, c < 0x100 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(c));
      out += hex;
    } else {
      out += EncodeUtf8(c);
    }
  }
  return out + (chars.size() > 40 ? "...\"" : "\"");
}

// A whole number lo..hi, or the empty text for `fallback`.
bool Number(const std::string& text, int lo, int hi, int fallback, int* out) {
  const std::string t = Trimmed(text);
  if (t.empty()) {
    *out = fallback;
    return true;
  }
  if (t.size() > 4 || !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  *out = std::stoi(t);
  return *out >= lo && *out <= hi;
}

// Latin-1 and Latin Extended-A letters without their marks, so that "Zoë" stays
// readable in a file name; '_' where there is no plain letter.
constexpr char kFoldC0[] = "AAAAAAACEEEEIIIIDNOOOOO_OUUUUYTsaaaaaaaceeeeiiiidnooooo_ouuuuyty";
constexpr char kFold100[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiJjJjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUu"
    "UuUuUuUuUuWwYyYZzZzZzs";
static_assert(sizeof kFoldC0 == 0x40 + 1 && sizeof kFold100 == 0x80 + 1);

char Fold(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return static_cast<char>(c);
  if (c >= 0xC0 && c < 0x100) return kFoldC0[c - 0xC0];
  if (c >= 0x100 && c < 0x180) return kFold100[c - 0x100];
  return '_';
}

std::string SafeName(const std::string& name) {
  std::u32string chars;
  DecodeUtf8(name, &chars);
  std::string out;
  for (char32_t c : chars) {
    const char f = Fold(c);
    if (f == '_' && (out.empty() || out.back() == '_')) continue;  // no runs, no leading '_'
    out.push_back(f);
    if (out.size() == 32) break;
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out.empty() ? "_" : out;
}

}  // namespace

std::string CardFileName(long index, const std::string& friend_name, const std::string& sender,
                         const std::string& extension) {
  char number[24];
  std::snprintf(number, sizeof number, "%06ld", index + 1);
  return std::string(number) + "-" + SafeName(friend_name) + "-" + SafeName(sender) + "." + extension;
}

std::string CardFileName(const std::string& friend_name, const std::string& sender, const std::string& extension) {
  return SafeName(friend_name) + "-from-" + SafeName(sender) + "." + extension;
}

// --- CSV ---

CsvReader::~CsvReader() {
  if (f_) std::fclose(f_);
}

Result<> CsvReader::Open(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return Error{"cannot read the list " + path.string() + ": " + (ec ? ec.message() : "not a regular file")};
  }
  f_ = FileOpen(path, "rb");
  if (!f_) {
    return Error{"cannot read the list " + path.string() + ": " + std::strerror(errno)};
  }
  if (Peek() == 0xEF) {  // a byte-order mark
    const long start = offset_;
    if (!(Get() == 0xEF && Get() == 0xBB && Get() == 0xBF)) Seek(start, 1);
  }
  return {};
}

int CsvReader::Peek() {
  if (at_ == have_) {
    have_ = std::fread(buf_.data(), 1, buf_.size(), f_);
    at_ = 0;
    if (have_ == 0) return EOF;
  }
  return static_cast<unsigned char>(buf_[at_]);
}

int CsvReader::Get() {
  const int c = Peek();
  if (c == EOF) return EOF;
  ++at_;
  ++offset_;
  if (c == '\n') ++line_;
  return c;
}

void CsvReader::SkipLine() {
  for (int c = Get(); c != EOF && c != '\n'; c = Get()) {
  }
}

void CsvReader::Seek(long offset, long line) {
  std::fseek(f_, offset, SEEK_SET);
  have_ = at_ = 0;
  offset_ = offset;
  line_ = line;
}

bool CsvReader::Next(CsvRecord* rec) {
  for (;;) {
    rec->line = line_;
    rec->fields.assign(1, "");
    rec->error.clear();
    if (Peek() == EOF) return false;
    bool end = false, too_many = false;
    while (!end) {
      std::string& field = rec->fields.back();
      int c = Get();
      if (c == '"') {
        // Where to go on if this quote turns out to be unbalanced: the next line.
        const long quote_line = line_;
        long resume_offset = -1;
        for (;;) {
          c = Get();
          if (c == EOF) {
            rec->error = "a quoted field opened on line " + std::to_string(quote_line) + " is never closed";
            break;
          }
          if (c == '\n' && resume_offset < 0) resume_offset = offset_;
          if (c != '"') {
            field.push_back(static_cast<char>(c));
            if (field.size() <= kMaxCsvFieldBytes) continue;
            rec->error = "a field opened on line " + std::to_string(quote_line) + " is longer than 64 KiB";
            break;
          }
          if (Peek() == '"') {
            field.push_back(static_cast<char>(Get()));
            continue;
          }
          c = Get();
          if (c == '\r' && Peek() == '\n') c = Get();
          if (c == ',' || c == '\n' || c == EOF) break;
          rec->error = "unbalanced quote: text follows the closing quote of a field opened on line " +
                       std::to_string(quote_line);
          break;
        }
        if (!rec->error.empty()) {
          if (resume_offset >= 0)
            Seek(resume_offset, quote_line + 1);
          else if (c != '\n')
            SkipLine();
          return true;
        }
      } else {
        while (c != ',' && c != '\n' && c != EOF) {
          if (c == '\r' && Peek() == '\n') {
            c = Get();
            break;
          }
          if (c == '"') {
            rec->error = "unbalanced quote: a quote inside a field that does not start with one";
            SkipLine();
            return true;
          }
          field.push_back(static_cast<char>(c));
          if (field.size() > kMaxCsvFieldBytes) {
            rec->error = "a field is longer than 64 KiB";
            SkipLine();
            return true;
          }
          c = Get();
        }
      }
      if (c != ',') {
        end = true;
      } else if (rec->fields.size() < kMaxCsvFields) {
        rec->fields.emplace_back();
      } else {
        // Read to the row's end, keeping none: a line of commas stays one bad row.
        rec->fields.back().clear();
        too_many = true;
      }
    }
    if (too_many) rec->error = "the row has more than " + std::to_string(kMaxCsvFields) + " fields";
    if (rec->fields.size() > 1 || !rec->fields[0].empty()) return true;
  }
}

// --- the list ---

Result<> ListReader::Open(const std::filesystem::path& path, const ListOptions& options) {
  options_ = options;
  MIRELUNE_TRY(csv_.Open(path));
  CsvRecord header;
  const std::string where = "the list " + path.string();
  if (!csv_.Next(&header)) {
    return Error{where + " is empty; its first line must name the columns (friend,sender,...)"};
  }
  if (!header.error.empty()) {
    return Error{where + ", line " + std::to_string(header.line) + ": " + header.error};
  }
  bool seen[kColumnCount] = {};
  for (const std::string& raw : header.fields) {
    std::string name = Trimmed(raw);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    const auto* at = std::find_if(std::begin(kColumnNames), std::end(kColumnNames),
                                  [&](const char* n) { return name == n; });
    if (at == std::end(kColumnNames)) {
      return Error{where + " has the unknown column " + Quoted(raw) +
               "; the columns are friend, sender, email, message, mode, palette, max_styles, year and wish"};
    }
    const int column = static_cast<int>(at - std::begin(kColumnNames));
    if (seen[column]) {
      return Error{where + " names the column \"" + name + "\" twice"};
    }
    seen[column] = true;
    columns_.push_back(column);
  }
  for (int required : {kFriend, kSender}) {
    if (!seen[required]) {
      return Error{where + " has no \"" + kColumnNames[required] + "\" column"};
    }
  }
  if (options_.mail && !seen[kEmail]) {
    return Error{where + " has no \"email\" column, which --mail needs"};
  }
  return {};
}

bool ListReader::Next(ListRow* row) {
  CsvRecord rec;
  if (!csv_.Next(&rec)) return false;
  *row = ListRow{};
  row->index = next_index_++;
  row->line = rec.line;
  row->error = rec.error;
  if (row->error.empty()) Check(rec, row);
  return true;
}

void ListReader::Check(const CsvRecord& rec, ListRow* row) const {
  if (rec.fields.size() != columns_.size()) {
    row->error = "the row has " + std::to_string(rec.fields.size()) + " fields; the header has " +
                 std::to_string(columns_.size());
    return;
  }
  std::string value[kColumnCount];
  for (std::size_t k = 0; k < columns_.size(); ++k) {
    std::u32string chars;
    if (!DecodeUtf8(rec.fields[k], &chars)) {
      row->error = std::string("the ") + kColumnNames[columns_[k]] + " is not valid UTF-8";
      return;
    }
    if (columns_[k] == kFriend || columns_[k] == kSender) {
      if (const std::string p = GreetingNameProblem(rec.fields[k]); !p.empty()) {
        row->error = std::string("the ") + kColumnNames[columns_[k]] + "'s name " + p;
        return;
      }
    }
    if (columns_[k] == kWish) {
      if (const std::string p = WishProblem(rec.fields[k]); !p.empty()) {
        row->error = "the wish " + p;
        return;
      }
    }
    value[columns_[k]] = rec.fields[k];
  }
  CardSpec& c = row->card;
  c.friend_name = value[kFriend];
  c.sender = value[kSender];
  c.wish = value[kWish];
  const std::string mode = Trimmed(value[kMode]);
  if (mode != "" && mode != "line" && mode != "pix") {
    row->error = "the mode is line or pix, not " + Quoted(mode);
    return;
  }
  c.mode = mode == "pix" ? EffectMode::kPix : EffectMode::kLine;
  if (!Number(value[kPalette], 1, 26, 0, &c.palette)) {
    row->error = "the palette is a whole number from 1 to 26, not " + Quoted(value[kPalette]);
    return;
  }
  if (!Number(value[kMaxStyles], 1, 24, 15, &c.max_styles)) {
    row->error = "max_styles is a whole number from 1 to 24, not " + Quoted(value[kMaxStyles]);
    return;
  }
  if (!Number(value[kYear], kFirstYear, kLastYear, options_.year, &c.year)) {
    row->error = "the year is a whole number from 1 to 9999, not " + Quoted(value[kYear]);
    return;
  }
  c.scale = options_.scale;
  row->email = Trimmed(value[kEmail]);
  row->message = value[kMessage];
  if (options_.mail) {
    if (const Result<MailAddress> address = ParseMailAddress(row->email); !address) {
      row->error = "the address " + address.error().message;
      return;
    }
  }
  row->file = CardFileName(row->index, c.friend_name, c.sender, options_.extension);
  if (!options_.animation.empty())
    row->animation_file = CardFileName(row->index, c.friend_name, c.sender, "animated." + options_.animation);
  // Everything that decides the card, and with --mail its message: a row whose key
  // changed since the last run is made again.
  std::string basis = c.friend_name + '\0' + c.sender + '\0' + mode + '\0' + std::to_string(c.palette) + '\0' +
                      std::to_string(c.max_styles) + '\0' + std::to_string(c.year) + '\0' + row->file;
  if (!c.wish.empty()) basis += std::string("\0wish\0", 6) + c.wish;
  if (c.scale != 1) basis += std::string("\0scale\0", 7) + std::to_string(c.scale);
  if (!row->animation_file.empty())
    basis += std::string("\0animation\0", 11) + row->animation_file + '\0' + std::to_string(options_.animation_width) +
             (options_.attach_animation ? "\0attached" : "");
  if (options_.mail) basis += std::string("\0mail\0", 6) + row->email + '\0' + row->message;
  row->key = Sha256Hex(basis.data(), basis.size()).substr(0, 16);
}

}  // namespace mirelune
