// list.h — the contact list of a batch: a CSV file read row by row, each row
// checked and turned into card settings and a file name.
//
//   ListReader list;
//   if (Result<> r = list.Open("friends.csv", {.mail = false}); !r) fail(r.message);  // header checked
//   ListRow row;
//   while (list.Next(&row)) row.error.empty() ? make(row) : report(row.line, row.error);
//
// The file is UTF-8 (a byte-order mark is allowed) with RFC 4180 quoting and a
// header row. It is streamed, never held whole, so a list of any length costs the
// same memory. A row that cannot be read or holds a bad value comes back with its
// line number and the reason; reading goes on with the next row.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "base/digest.h"  // Sha256Hex, for the batch's cards and row keys

namespace mirelune {

struct ListOptions {
  bool mail = false;           // rows need an address
  std::string extension = "png";  // of the card files
  int year = kDefaultYear;        // of the rows without one
  int scale = 1;                  // of every card: 1..kMaxScale
  std::string animation{};        // the extension of each row's animation ("gif", "webp", "png"), or none
  int animation_width = 0;
  bool attach_animation = false;  // the mail carries the animation instead of the card
};

struct ListRow {
  long index = 0;   // 0-based among the data rows, bad ones included: the shard key
  long line = 0;    // 1-based line of the file where the row starts
  std::string error;  // why the row is skipped; empty when it is good
  CardSpec card;  // the year among it
  std::string email, message;
  std::string file;  // the card's file name in the output folder
  std::string animation_file;  // the animation's beside it ("0001-Mary-Bob.animated.gif"), when asked for
  std::string key;   // 16 hex digits over everything that makes the card (and its mail)
};

// No value of a contact list is anywhere near 64 KiB, and it has at most eight
// columns: a file without line breaks, with a stray quote or a line of commas
// costs at most 16 MiB a row. A longer field or more fields make the row bad.
inline constexpr std::size_t kMaxCsvFieldBytes = std::size_t{1} << 16;
inline constexpr std::size_t kMaxCsvFields = 256;

// One CSV record as the file spells it.
struct CsvRecord {
  long line = 0;
  std::vector<std::string> fields;
  std::string error;  // a quoting fault; the fields are then incomplete
};

// Streams RFC 4180 records. After a quoting fault it resumes on the line after
// the one where the faulty quoted field began, so one stray quote costs one row.
class CsvReader {
 public:
  CsvReader() = default;
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  Result<> Open(const std::filesystem::path& path);
  // False at the end of the file. Blank lines are passed over.
  bool Next(CsvRecord* rec);

 private:
  int Get();
  int Peek();
  void SkipLine();
  void Seek(long offset, long line);

  std::FILE* f_ = nullptr;
  std::vector<char> buf_ = std::vector<char>(1 << 16);
  std::size_t have_ = 0, at_ = 0;
  long offset_ = 0;  // of the next byte
  long line_ = 1;    // of the next byte
};

class ListReader {
 public:
  // Opens the list and checks its header, or says why it cannot be used.
  Result<> Open(const std::filesystem::path& path, const ListOptions& options);
  bool Next(ListRow* row);

 private:
  void Check(const CsvRecord& rec, ListRow* row) const;

  CsvReader csv_;
  ListOptions options_;
  std::vector<int> columns_;  // header position -> column number (see list.cpp)
  long next_index_ = 0;
};

// The card's file name: row number and both names folded to plain letters, digits
// and dashes, each name at most 32 characters: "000042-Mary-Bob.png".
std::string CardFileName(long index, const std::string& friend_name, const std::string& sender,
                         const std::string& extension);
// A single card's file name: "Mary-from-Bob.png", the names folded as above.
std::string CardFileName(const std::string& friend_name, const std::string& sender, const std::string& extension);


}  // namespace mirelune
