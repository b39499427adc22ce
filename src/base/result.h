// result.h — the one shape of every outcome of work that can fail.
//
//   Result<Bytes> png = EncodeImage(img, ImageFormat::kPng);  // the bytes, or an Error
//   if (!png) return png.error();                              // pass it up unchanged
//
//   Result<> r = WriteFileSafely(path, bytes);                 // no value: done, or an Error
//   if (!r) show(r.message);     // one sentence for the user, naming the file and the reason
//
//   MIRELUNE_TRY(Flush(out));                     // returns the Error from here if it failed
//   MIRELUNE_TRY_ASSIGN(auto bytes, Encode(img));  // or declares the value and goes on
//
// Nothing below the front ends throws or returns a bare bool for work that can
// fail: it returns a Result, or a struct that extends Result<> with what it
// learnt on the way (the path written, the text read). Exceptions stay where a
// library throws them (std::bad_alloc, the option parser, the JSON reader) and
// are caught at the boundary that called the library.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace mirelune {

// Why something failed: one sentence naming the file and the reason, and the
// errno of the failed system call when there was one.
struct Error {
  std::string message;
  int code = 0;
};

template <typename T = void>
class Result;

// Work that gives no value. On success `message` may say what was done.
template <>
class [[nodiscard]] Result<void> {
 public:
  bool ok = true;
  std::string message;  // on failure what went wrong and what to check; on success what was done
  int code = 0;         // errno of the failed system call, when there was one

  Result() = default;
  Result(Error e) : ok(false), message(std::move(e.message)), code(e.code) {}  // NOLINT: a failure converts

  explicit operator bool() const { return ok; }
  Error error() const { return {message, code}; }

  static Result Done(std::string text = {}) {
    Result r;
    r.message = std::move(text);
    return r;
  }
  static Result Failed(std::string text, int errno_code = 0) { return Error{std::move(text), errno_code}; }
};

// A value, or the Error that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}           // NOLINT: a value converts
  Result(Error e) : error_(std::move(e)) {}               // NOLINT: a failure converts
  Result(const Result<void>& failed) : error_(failed.error()) { assert(!failed); }  // NOLINT

  explicit operator bool() const { return value_.has_value(); }
  const Error& error() const { return error_; }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  Error error_;
};

}  // namespace mirelune

#define MIRELUNE_RESULT_CONCAT_(a, b) a##b
#define MIRELUNE_RESULT_NAME_(line) MIRELUNE_RESULT_CONCAT_(mirelune_try_, line)

// Returns the failure of `expr` from the calling function, whose result must be
// constructible from an Error.
#define MIRELUNE_TRY(expr)                                                  \
  do {                                                                      \
    if (auto mirelune_try_result_ = (expr); !mirelune_try_result_)          \
      return mirelune_try_result_.error();                                  \
  } while (0)

// `MIRELUNE_TRY_ASSIGN(auto x, expr);` declares x as the value of `expr`, or
// returns its failure.
#define MIRELUNE_TRY_ASSIGN(decl, expr)                                     \
  auto MIRELUNE_RESULT_NAME_(__LINE__) = (expr);                            \
  if (!MIRELUNE_RESULT_NAME_(__LINE__)) return MIRELUNE_RESULT_NAME_(__LINE__).error(); \
  decl = std::move(MIRELUNE_RESULT_NAME_(__LINE__)).value()
