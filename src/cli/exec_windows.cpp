// exec_windows.cpp — `mirelune-cli serve` on Windows: mirelune-serve.exe started
// beside it with the same arguments, as exec does elsewhere.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "base/platform.h"
#include "cli/cli.h"

namespace mirelune::cli {
namespace {

// One argument quoted so that the C runtime's parser (CommandLineToArgvW's
// rules) gives it back unchanged: backslashes double only before a quote.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
  line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  for (std::size_t k = 0;; ++k) {
    std::size_t slashes = 0;
    while (k < arg.size() && arg[k] == L'\\') ++k, ++slashes;
    if (k == arg.size()) {
      line.append(slashes * 2, L'\\');
      break;
    }
    if (arg[k] == L'"') {
      line.append(slashes * 2 + 1, L'\\');
    } else {
      line.append(slashes, L'\\');
    }
    line += arg[k];
  }
  line += L'"';
}

// Ctrl-C and Ctrl-Break reach every program on the console: the service stops
// on them in order, and this one waits for it rather than ending first.
BOOL WINAPI OutlastChild(DWORD event) { return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT; }

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n && text ? Narrow(std::wstring_view(text, n)) : "";
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out.empty() ? "error " + std::to_string(code) : out;
}

}  // namespace

Result<int> RunBeside(const wchar_t* program, int skip) {
  const std::wstring path = (ProgramFolder() / program).wstring();
  std::wstring line;
  AppendQuoted(line, path);
  int n = 0;
  if (wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &n)) {
    for (int k = skip; k < n; ++k) AppendQuoted(line, args[k]);
    LocalFree(args);
  }
  line.erase(0, 1);  // the blank before the program's name
  // The child writes to this program's own standard handles.
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE h : {start.hStdInput, start.hStdOutput, start.hStdError})
    if (h && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child))
    return Error{PathText(path) + ": " + SystemMessage(GetLastError())};
  CloseHandle(child.hThread);
  SetConsoleCtrlHandler(&OutlastChild, TRUE);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hProcess);
  SetConsoleCtrlHandler(&OutlastChild, FALSE);
  return static_cast<int>(status);
}

}  // namespace mirelune::cli
