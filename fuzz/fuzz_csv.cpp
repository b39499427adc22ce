// The contact list from any bytes: reading ends, every row comes back in order
// with its line, a good row has valid UTF-8 values and a plain file name, and every
// reason is valid UTF-8 (it goes into a JSON manifest line).
#include <sys/mman.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "base/utf8.h"
#include "batch/list.h"
#include "fuzz_util.h"

namespace {

bool PlainFileName(const std::string& name) {
  if (name.size() < 12 || name.size() > 6 + 20 + 2 + 32 + 32 + 4 || name[0] == '.') return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return false;
  return name.ends_with(".png");
}

bool Utf8(const std::string& text) {
  std::u32string ignored;
  return mirelune::DecodeUtf8(text, &ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  using fuzz::Require;
  // The reader takes a path: the input as a file in memory. A first byte 0 or 1
  // says whether rows need an address (1) and is not part of the list.
  const bool mail = size > 0 && data[0] == 1;
  if (size > 0 && data[0] <= 1) ++data, --size;
  const int fd = ::memfd_create("list", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (std::size_t at = 0; at < size;) {
    const ssize_t n = ::write(fd, data + at, size - at);
    if (n <= 0) break;
    at += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  ListReader list;
  if (const Result<> opened = list.Open(path, {mail, "png"}); opened) {
    const long lines = 1 + std::count(data, data + size, '\n');
    long index = 0, line = 0;
    for (ListRow row; list.Next(&row); ++index) {
      Require(row.index == index && row.line > line && row.line <= lines);
      line = row.line;
      Require(Utf8(row.error) && row.error.find('\n') == std::string::npos);
      // What the manifest does with it must not throw.
      Require(!nlohmann::json(row.error).dump().empty());
      if (!row.error.empty()) continue;
      Require(Utf8(row.card.friend_name) && Utf8(row.card.sender) && Utf8(row.email) && Utf8(row.message));
      Require(PlainFileName(row.file) && row.key.size() == 16);
      Require(row.card.palette >= 0 && row.card.palette <= 26 && row.card.max_styles >= 1 &&
              row.card.max_styles <= 24 && row.card.year >= 1 && row.card.year <= 9999);
    }
    Require(index <= lines);
  } else {
    Require(!opened.message.empty());
  }
  ::close(fd);
  return 0;
}
