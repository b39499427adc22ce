// platform.h — the few things Windows does differently, behind one interface.
//
//   std::FILE* f = FileOpen(Utf8Path(name), "rb");  // a name in any script, on any system
//   const std::string shown = PathText(path);       // "C:\Users\Zoë\Pictures\..." on Windows
//
// On Windows file names are UTF-16: a narrow string reaches the system in the
// ANSI code page, which cannot hold most names. Text in the program is UTF-8, so
// paths cross over here, and only here, in both directions.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirelune {

std::filesystem::path Utf8Path(std::string_view utf8);
// The path as UTF-8 text, with the system's separators: for messages and reports.
std::string PathText(const std::filesystem::path& path);
// std::fopen for any path; always binary on Windows (no newline translation).
std::FILE* FileOpen(const std::filesystem::path& path, const char* mode);
// An environment variable as UTF-8 text; empty when unset.
std::string EnvText(const char* name);
// A file's size and modification time as "SIZE SECONDS.NANOSECONDS" (Unix time);
// nothing when the file cannot be looked at.
std::optional<std::string> FileStamp(std::string_view utf8_path);
// The folder the running program's file is in (empty when the system does not say).
std::filesystem::path ProgramFolder();
// The command line's arguments as UTF-8 (on Windows read again from the wide
// command line: main's argv is in the ANSI code page), and the console set to
// UTF-8 and the standard streams to binary.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
void PrepareConsole();

// Utf8Arguments in main's own form, for a parser that takes argc and argv:
//   const Utf8Argv args(argc, argv);  Run(args.argc(), args.argv());
class Utf8Argv {
 public:
  Utf8Argv(int argc, char** argv) : text_(Utf8Arguments(argc, argv)) {
    for (std::string& a : text_) pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
  }
  Utf8Argv(const Utf8Argv&) = delete;  // the pointers point into text_
  Utf8Argv& operator=(const Utf8Argv&) = delete;
  int argc() const { return static_cast<int>(text_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> text_;
  std::vector<char*> pointers_;
};

#ifdef _WIN32
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
#endif

}  // namespace mirelune
