// output.cpp — standard output, checked, and pictures to files or to standard output.
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "base/checks.h"
#include "cli/cli.h"
#include "base/i18n.h"
#include "base/platform.h"

namespace mirelune::cli {
namespace {

std::string& Buffer() {
  static std::string buffer;
  return buffer;
}

bool stdout_closed = false;

}  // namespace

void Say(const std::string& text) { Buffer() += text; }

void SayBytes(std::span<const std::uint8_t> bytes) { Buffer().append(bytes.begin(), bytes.end()); }

#ifdef _WIN32
// A program started without a console (from the window, a service) has no
// standard streams: NUL in their place, as /dev/null on POSIX systems.
void GuardStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::_get_osfhandle(fd) != -1) continue;
    if (fd == 1) stdout_closed = true;
    const int null = ::_open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (null >= 0 && null != fd) {
      ::_dup2(null, fd);
      ::_close(null);
    }
  }
}
#else
void GuardStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) stdout_closed = true;
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
}
#endif

bool TerminalTakesEscapes(int fd) {
  const char* term = std::getenv("TERM");
  const char* no_color = std::getenv("NO_COLOR");
  return ::isatty(fd) && term && *term && std::string_view(term) != "dumb" && !(no_color && *no_color);
}

Result<> FlushStdout() {
  const std::string& text = Buffer();
  if (text.empty()) return {};
  int err = stdout_closed ? EBADF : 0;
  for (std::size_t done = 0; !err && done < text.size();) {
    const ssize_t n = ::write(1, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno != EINTR) err = errno;
      continue;
    }
    done += static_cast<std::size_t>(n);
  }
  if (err) return Error{Fill(_("cannot write to standard output: %s"), {std::strerror(err)}), err};
  return {};
}

CLI::Validator WholeNumber(long long lo, long long hi) {
  return CLI::Validator([lo, hi](std::string& text) { return WholeNumberProblem(text, lo, hi); },
                        std::to_string(lo) + ".." + std::to_string(hi));
}

// The options show their NAME or TEXT already: no description of their own.
CLI::Validator GreetingName() {
  return CLI::Validator([](std::string& text) { return GreetingNameProblem(text); }, "");
}

CLI::Validator WishText() {
  return CLI::Validator([](std::string& text) { return WishProblem(text); }, "");
}

CLI::Validator OneOf(const std::vector<std::string>& words) {
  return CLI::Validator([words](std::string& text) { return OneOfProblem(text, words); }, WordList(words));
}

std::optional<ImageFormat> ParseFormat(const std::string& text) {
  if (text == "png") return ImageFormat::kPng;
  if (text == "bmp") return ImageFormat::kBmp;
  if (text == "jpg" || text == "jpeg") return ImageFormat::kJpeg;
  return std::nullopt;
}

Result<Target> ResolveTarget(const std::string& flag, const std::string& name, std::optional<ImageFormat> format) {
  Target t;
  if (name == "-") {
    if (::isatty(1))
      return Error{Fill(_("%1$s -: standard output is a terminal, which cannot show a picture; "
                          "send it to a file or a program (%1$s - > card.png, %1$s - | display)"),
                        {flag})};
    t.to_stdout = true;
    t.format = format.value_or(ImageFormat::kPng);
    return t;
  }
  t.path = Utf8Path(name);
  std::optional<ImageFormat> by_name;
  switch (FormatOfName(t.path)) {
    case NameFormat::kBmp:
      by_name = ImageFormat::kBmp;
      break;
    case NameFormat::kPng:
      by_name = ImageFormat::kPng;
      break;
    case NameFormat::kJpeg:
      by_name = ImageFormat::kJpeg;
      break;
    case NameFormat::kNone:
      break;
    case NameFormat::kUnknown:
      if (!format)
        return Error{Fill(_("%s: \"%s\" is not a picture name; the formats are .bmp, .png, .jpg and .jpeg "
                            "(or choose one with --format png|bmp|jpg)"),
                          {flag, name})};
      break;
  }
  if (by_name && format && *by_name != *format)
    return Error{Fill(_("%s: \"%s\" names another format than --format asks for"), {flag, name})};
  t.format = by_name ? *by_name : format.value_or(ImageFormat::kBmp);
  return t;
}

bool WritePicture(const Image& img, const Target& target, const PngText& text, bool announce_on_stderr,
                  PixelBuffer* png_rows) {
  const Result<Bytes> bytes = png_rows ? EncodeImage(img, target.format, &text, *png_rows) : EncodeImage(img, target.format, &text);
  if (!bytes) {
    std::cerr << "mirelune-cli: " << (target.to_stdout ? "" : target.path.string() + ": ") << bytes.error().message
              << "\n";
    return false;
  }
  if (target.to_stdout) {
    SayBytes(*bytes);
    return true;
  }
  if (const Result<> w = WriteFileSafely(target.path, *bytes); !w) {
    std::cerr << "mirelune-cli: " << w.message << "\n";
    return false;
  }
  Announce(target.path.string(), announce_on_stderr);
  return true;
}

void Announce(const std::string& path, bool on_stderr) {
  if (on_stderr)
    std::cerr << path << "\n";
  else
    Say(path + "\n");
}

}  // namespace mirelune::cli
