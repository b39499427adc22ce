// Any bytes as the start of a connection, through the front door's head check:
// a verdict is one of the known ones; an accepted head ends at a blank line
// within 8 KiB, holds no NUL, asks GET or HEAD, and is accepted the same from
// its own bytes alone and with more bytes after it (a pipelined request is never
// read into it); a head judged complete keeps its verdict as bytes follow; a
// refusal's reason is one line.
#include <string_view>

#include "fuzz_util.h"
#include "web/limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune::web;
  using mirelune::fuzz::Require;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const HeadCheck check = CheckRequestHead(bytes);
  switch (check.verdict) {
    case HeadVerdict::kIncomplete:
      Require(size < kMaxRequestHead && check.status == 0);
      break;
    case HeadVerdict::kAccept: {
      Require(check.status == 0 && check.head_size > 0 && check.head_size <= size &&
              check.head_size <= kMaxRequestHead);
      const std::string_view head = bytes.substr(0, check.head_size);
      Require(head.find('\0') == std::string_view::npos);
      Require(head.starts_with("GET /") || head.starts_with("HEAD /"));
      Require(head.ends_with("\n\n") || head.ends_with("\n\r\n"));
      const HeadCheck alone = CheckRequestHead(head);
      Require(alone.verdict == HeadVerdict::kAccept && alone.head_size == check.head_size);
      break;
    }
    case HeadVerdict::kRefuse:
      Require(check.status == 400 || check.status == 405 || check.status == 431 || check.status == 505);
      Require(!check.reason.empty() && check.reason.find_first_of("\r\n") == std::string::npos);
      break;
  }
  // Bytes after a judged head change nothing; bytes after an incomplete one are
  // judged like any other start.
  if (check.verdict != HeadVerdict::kIncomplete && check.head_size > 0 && check.head_size < size) {
    const HeadCheck shorter = CheckRequestHead(bytes.substr(0, check.head_size));
    Require(shorter.verdict == check.verdict && shorter.status == check.status);
  }
  return 0;
}
