// cli.h — the pieces of mirelune-cli: its subcommands, its outputs and the card
// report.
//
//   CLI::App& sub = *app.add_subcommand("card", "...");
//   Action run = SetUpCard(sub);     // declares the options, returns what to run
//   app.parse(argc, argv);
//   Result<int> status = run();      // 0 done, 1 a file not written; an Error: bad input (2)
//   Result<> flushed = FlushStdout(); // standard output is written once, checked
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commands/card_report.h"
#include "commands/commands.h"
#include "files/files.h"
#include "mail/mail.h"

namespace mirelune::cli {

// What a subcommand runs once its arguments are parsed: the exit status, or an
// Error for bad input found after parsing (exit status 2, the message on one line).
using Action = std::function<Result<int>()>;

// The mail library, for the commands that mail. The card program, mirelune-cli,
// links none (libcurl and its TLS libraries cost every process about 5 ms to load,
// a third of the card's own CPU at start-up) and hands a command that mails, once
// its arguments are checked, to mirelune-mail: the same commands with the library.
struct Mailing {
  // mirelune-mail: the server a batch mails through, and a card sent as --mail-to says.
  std::function<Result<MailServer>()> server;
  std::function<Result<>(const std::filesystem::path& card, const std::string& to, const std::string& message)> mail_card;
  // mirelune-cli: runs mirelune-mail on the same command line; returns only when it cannot.
  std::function<int()> hand_over;
};

// Declares a subcommand's options and arguments on `sub`.
using SetUp = Action (*)(CLI::App& sub, const Mailing& mailing);

Action SetUpCard(CLI::App& sub, const Mailing& mailing);
Action SetUpInfo(CLI::App& sub, const Mailing&);
Action SetUpStyle(CLI::App& sub, const Mailing&);
Action SetUpStyles(CLI::App& sub, const Mailing&);
Action SetUpBatch(CLI::App& sub, const Mailing& mailing);

// Runs `program` from the folder of this one (the build tree, /usr/bin), else from
// $PATH, with `args` (null-terminated, the first its name); returns errno only when
// it cannot.
int ExecBeside(const char* program, char* const* args);
#ifdef _WIN32
// Windows has no exec: runs `program` from the folder of this one with this
// command line's arguments after the first `skip` (as typed, in UTF-16), waits
// for it and gives its exit status; an error when it cannot be started.
Result<int> RunBeside(const wchar_t* program, int skip);
#endif

// The whole program on its command line: parse, run, flush standard output; the
// exit status. Both programs' main.
int RunProgram(int argc, char** argv, const Mailing& mailing);

// --- validators shared by the subcommands (messages read "--flag: ...") ---
CLI::Validator WholeNumber(long long lo, long long hi);
CLI::Validator GreetingName();  // valid UTF-8, at most 100 characters, not blank
CLI::Validator WishText();      // valid UTF-8, at most 100 characters
CLI::Validator OneOf(const std::vector<std::string>& words);
inline const std::vector<std::string> kFormatWords{"png", "bmp", "jpg", "jpeg"};

// --- standard output ---
// Everything for standard output is gathered and written at the end, so that a
// failed write (a full disk, a closed pipe or descriptor) is seen and reported.
void Say(const std::string& text);
void SayBytes(std::span<const std::uint8_t> bytes);
// Keeps descriptors 0..2 taken (a closed one would otherwise be handed to the
// next file opened) and remembers whether standard output was closed.
void GuardStandardDescriptors();
Result<> FlushStdout();
// Whether `fd` is a terminal that takes escape codes (a progress bar redrawn in
// place): not when TERM is unset or "dumb", nor when NO_COLOR is set.
bool TerminalTakesEscapes(int fd);

// --- pictures ---
// Where one picture goes: a file, or standard output for "-".
struct Target {
  std::filesystem::path path;
  bool to_stdout = false;
  ImageFormat format = ImageFormat::kBmp;
};
// The target for `name` given to `flag`, in the format its extension asks for or
// `format` (--format) chooses. Fails for an unknown extension, one that
// contradicts --format, and for "-" when standard output is a terminal.
Result<Target> ResolveTarget(const std::string& flag, const std::string& name, std::optional<ImageFormat> format);
std::optional<ImageFormat> ParseFormat(const std::string& text);  // png, bmp, jpg, jpeg
// Writes the picture; names the file written on `announce` (stdout or stderr), or
// explains on stderr why not. False when it could not be written. A PNG's rows
// are laid out in `png_rows` when given (EncodePng).
bool WritePicture(const Image& img, const Target& target, const PngText& text, bool announce_on_stderr,
                  PixelBuffer* png_rows = nullptr);

// Says where a file went: on stdout, or on stderr when stdout carries data.
void Announce(const std::string& path, bool on_stderr);

// --- the card report (CardReport, CardPngText: commands/card_report.h) ---
using mirelune::kReportKeyword;
using mirelune::VersionText;
// One line, as scripts have read it: {"seed": 4401776, "styles": [1, 4], ...}.
std::string ReportText(const nlohmann::ordered_json& report);
// Why a card made again may differ from the recorded one although its draws match:
// other face files or FreeType/HarfBuzz versions ("" when they are the same).
std::string DrawnDifferently(const nlohmann::ordered_json& recorded, const nlohmann::ordered_json& now);
// Text from a card file made safe for a terminal: control characters (C0, DEL,
// C1), line and paragraph separators and bidi overrides become \u001b escapes,
// bytes that are not UTF-8 \xff escapes, a backslash \\. With `json`, text
// that is already JSON: line breaks and backslashes stay, the result is the
// same JSON.
std::string TerminalText(std::string_view text, bool json = false);
// `info`'s lines "key: value", nested objects as "outer.inner", lists joined by
// ", ", all through TerminalText; fails when they would run to more than a few MiB.
// What a person asks of a card first: the names, the year, the wish, the palette
// and the commands that make it again (blank-line ended), for `info`.
std::string CardSummary(const nlohmann::ordered_json& report, const std::filesystem::path& from);
// A word for a POSIX shell: as it is when it is safe, else in single quotes.
std::string ShellWord(std::string_view text);
Result<std::string> FlatReportText(const nlohmann::ordered_json& report, const std::filesystem::path& from);

}  // namespace mirelune::cli
