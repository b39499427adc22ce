// host.h — the platform services the engine asks for: dialogs, the message pump,
// the clock, the end of the program and the window's progress marks.
//
// The command line and the tests use ScriptedHost; the Qt window implements the
// same interface over real dialogs.
#pragma once

#include <ctime>
#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mirelune {

// Thrown by a host's End() so that "exit" stops every running command at once.
struct EndProgram {};

class Host {
 public:
  virtual ~Host() = default;

  // A modal input dialog. `prompt` joins its lines with a carriage return (13);
  // an empty `title` means the application's name. The top-left corner is given
  // in screen pixels (15 twips = 1 pixel). Returns the empty text on Cancel.
  virtual std::string InputBox(const std::string& prompt, const std::string& title, int x, int y) = 0;

  // Lets pending window events run (a press of "stop" among them).
  virtual void DoEvents() {}

  // Seconds since local midnight.
  virtual double Timer();

  // The current local date and time.
  virtual std::tm Now();

  // Ends the program at once; never returns.
  [[noreturn]] virtual void End() { throw EndProgram{}; }

  // The window's own surface, where progress marks go down the left edge.
  virtual void FormCls() {}
  virtual void FormSetPos(double /*x*/, double /*y*/) {}
  virtual void FormPrint(std::string_view /*text*/) {}
};

// Thrown by ScriptedHost when a dialog opens after its script has run out: a
// command that asks more than the script foresaw fails at once instead of being
// answered Cancel forever (a dialog that refuses Cancel would then never end).
struct ScriptExhausted : std::logic_error {
  using std::logic_error::logic_error;
};

// Answers dialogs from a script, keeps a fixed clock and records what was asked.
// Cancel is scripted as the empty text.
class ScriptedHost : public Host {
 public:
  struct Dialog {
    std::string prompt, title;
    int x, y;
  };

  std::deque<std::string> answers;  // one per dialog; a dialog beyond them throws ScriptExhausted
  std::vector<Dialog> asked;
  std::vector<std::string> progress;
  double timer = 43200.5;
  std::tm now{};  // set by the constructor to 2 January 2017, 09:05:03
  int events = 0;

  ScriptedHost();
  std::string InputBox(const std::string& prompt, const std::string& title, int x, int y) override;
  void DoEvents() override { ++events; }
  double Timer() override { return timer; }
  std::tm Now() override { return now; }
  void FormCls() override { progress.clear(); }
  void FormPrint(std::string_view text) override { progress.emplace_back(text); }
};

}  // namespace mirelune
