// result.h — the outcome of fallible file and mail work.
//
//   Result r = WriteFileSafely(path, bytes);
//   if (!r) show(r.message);       // one sentence for the user, naming the file and the reason
//
// Nothing in files/ or mail/ throws or returns a bare bool for work that can fail:
// every such function returns a Result (or a struct that extends it).
#pragma once

#include <string>
#include <utility>

namespace mirelune {

struct Result {
  bool ok = true;
  std::string message;  // on failure what went wrong and what to check; on success what was done
  int code = 0;         // errno of the failed system call, when there was one

  explicit operator bool() const { return ok; }
  static Result Done(std::string text = {}) { return {true, std::move(text), 0}; }
  static Result Failed(std::string text, int errno_code = 0) { return {false, std::move(text), errno_code}; }
};

}  // namespace mirelune
