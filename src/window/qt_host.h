// qt_host.h — the engine's platform services over Qt: modal input dialogs, the
// event loop, the end of the program and the progress marks on the window.
#pragma once

#include <QElapsedTimer>
#include <exception>
#include <string>
#include <string_view>

#include "core/host.h"

namespace mirelune {

class MainWindow;

// Thrown out of a dialog or the event pump once the window is closing: the card
// under way is deep in the engine, which cannot be asked to return from there,
// so the command unwinds to MainWindow::Press, which catches it.
struct WindowClosing : std::exception {
  const char* what() const noexcept override { return "the window is closing"; }
};

class QtHost : public Host {
 public:
  explicit QtHost(MainWindow* window) : window_(window) {}

  // A QInputDialog with the prompt's lines, the title (the program's name when
  // empty) and its top-left corner at (x, y) on the screen; a blank prompt shows
  // the title as its label. Cancel gives "" and InputCancelled.
  std::string InputBox(const std::string& prompt, const std::string& title, int x, int y) override;
  bool InputCancelled() const override { return cancelled_; }

  // Runs pending events (a press of "stop" or "exit" among them) and now and then
  // lets the card under way show. Throws WindowClosing once the program is ending,
  // so the running command goes no further.
  void LetEventsIn() override;

  void ClearProgress() override;
  void MoveProgressCursor(double x, double y) override;
  void PrintProgress(std::string_view text) override;

  // A message box that does not block the window (nor a test driving it), and
  // the same line on standard error for logs.
  void Report(std::string_view message) override;

 private:
  MainWindow* window_;
  QElapsedTimer since_refresh_;
  bool cancelled_ = false;
};

}  // namespace mirelune
