// host.h — the platform services the engine asks for: dialogs, the message pump,
// the clock, the window's progress marks and the reports of what went wrong
// without stopping the work. Ending the program is the front end's: a command
// that asks for it returns Next::kEndProgram (commands.h).
//
//   ScriptedHost host;            // the tests' host: scripted answers, a fixed clock
//   host.answers = {"Mary", "Bob"};
//   State s; s.host = &host;      // every command asks and reports through s.host
//
// The Qt window implements the same interface over real dialogs.
#pragma once

#include <ctime>
#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mirelune {

class Host {
 public:
  virtual ~Host() = default;

  // A modal input dialog. `prompt` joins its lines with a carriage return (13);
  // an empty `title` means the application's name. The top-left corner is given
  // in screen pixels. Returns the empty text on Cancel.
  virtual std::string InputBox(const std::string& prompt, const std::string& title, int x, int y) = 0;

  // Whether the last InputBox was left with Cancel rather than answered. Only a
  // front end with real dialogs can tell the two apart; the others never cancel.
  virtual bool InputCancelled() const { return false; }

  // Lets pending window events run (a press of "stop" among them).
  virtual void LetEventsIn() {}

  // Seconds since local midnight.
  virtual double Timer();

  // The current local date and time.
  virtual std::tm Now();

  // The window's own surface, where progress marks go down the left edge; the
  // cursor moves in layout units, 15 to a pixel.
  virtual void ClearProgress() {}
  virtual void MoveProgressCursor(double /*x*/, double /*y*/) {}
  virtual void PrintProgress(std::string_view /*text*/) {}

  // Tells the user of a failure that did not stop the work (a folder that cannot
  // be made, a missing font); each is reported once. By default a line on
  // standard error, as the command line wants; the window shows a message.
  virtual void Report(std::string_view message);
};

// Thrown by ScriptedHost, the tests' host, when a dialog opens after its script
// has run out: a command that asks more than the script foresaw fails the test at
// once instead of being answered Cancel forever (a dialog that refuses Cancel
// would then never end). No front end throws it.
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
  std::vector<std::string> reported;  // what Report was told, in order
  double timer = 43200.5;
  std::tm now{};  // set by the constructor to 2 January 2017, 09:05:03
  int events = 0;

  ScriptedHost();
  std::string InputBox(const std::string& prompt, const std::string& title, int x, int y) override;
  void LetEventsIn() override { ++events; }
  double Timer() override { return timer; }
  std::tm Now() override { return now; }
  void ClearProgress() override { progress.clear(); }
  void PrintProgress(std::string_view text) override { progress.emplace_back(text); }
  void Report(std::string_view message) override { reported.emplace_back(message); }
};

}  // namespace mirelune
