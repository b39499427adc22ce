// The card-file reader as `info` and `card --again` meet a file: the input as a
// file in memory, read by ReadCardTextFile, which tells a JPEG, a BMP and a PNG by
// their first bytes. An input of PNG chunks gets its checksums made right (else
// libpng stops at the first mutated chunk). A JPEG's comments must be the ones
// libjpeg itself saves: the reader walks the segments without it.
#include <sys/mman.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "files/files.h"
#include "fuzz_util.h"
#include "png_chunks.h"

namespace {

using mirelune::fuzz::Require;
using Texts = std::vector<std::pair<std::string, std::string>>;

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void Stop(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void Quiet(j_common_ptr) {}

// The comments as libjpeg saves them (the first kMaxPngTexts holding a line
// break), or false where it finds no picture's header.
bool LibjpegComments(const std::string& bytes, Texts* out) {
  jpeg_decompress_struct cinfo{};
  JpegError err{};
  cinfo.err = jpeg_std_error(&err.manager);
  err.manager.error_exit = Stop;
  err.manager.output_message = Quiet;
  bool ok = false;
  if (!setjmp(err.jump)) {
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m && out->size() < mirelune::kMaxPngTexts; m = m->next) {
      const std::string comment(reinterpret_cast<const char*>(m->data), m->data_length);
      if (const std::size_t line = comment.find('\n'); line != std::string::npos)
        out->emplace_back(comment.substr(0, line), comment.substr(line + 1));
    }
    ok = true;
  }
  jpeg_destroy_decompress(&cinfo);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.starts_with(png_chunks::kSignature)) png_chunks::FixChecksums(bytes);
  const int fd = ::memfd_create("card", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n <= 0) break;
    at += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  ReadEffort effort;
  const Result<CardTexts> read = ReadCardTextFile(path, &effort);
  ::close(fd);
  // A few reads whatever the input declares: the walk reads only the chunk heads.
  Require(effort.chunks <= kMaxCardChunks + 1 && effort.reads <= 4 + 2 * effort.chunks);
  const bool jpeg = bytes.starts_with("\xFF\xD8\xFF");
  Texts libjpeg;
  const bool libjpeg_read = jpeg && LibjpegComments(bytes, &libjpeg);
  if (!read) {
    const std::string& message = read.error().message;
    Require(message.find(path) != std::string::npos && message.find('\n') == std::string::npos);
    Require(!libjpeg_read || effort.chunks > kMaxCardChunks);
    return 0;
  }
  Require(effort.chunks <= kMaxCardChunks && read->size() <= static_cast<std::size_t>(kMaxPngTexts));
  for (const auto& [key, text] : *read) Require(key.size() + text.size() <= kMaxPngTextBytes);
  if (jpeg) Require(libjpeg_read && *read == libjpeg);
  return 0;
}
