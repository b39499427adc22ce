// main_window.h — the program's one window: twenty buttons, the drawing
// surfaces and a status line, over the engine's state and commands.
//
//   MainWindow w(/*workbench=*/false);
//   w.Load();                      // shows the window, runs the start-up sequence
//   w.button(5)->click();          // "new"
//
// A command runs inside the press that started it; while it makes a card the
// host's LetEventsIn keeps the window alive. Presses that would draw or save while
// a card is being made are ignored (their buttons are disabled meanwhile); the
// counters, the plain-picture view, "stop" and "exit" work at any time.
// Mail goes out on a thread of its own: the window stays responsive while a
// server is slow, and closing it stops the send.
#pragma once

#include <QMainWindow>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "core/state.h"
#include "base/result.h"
#include "files/saving.h"

class QLabel;
class QPushButton;

namespace mirelune {

class FormSurface;
class QtHost;
class SurfaceView;

struct ButtonLayout {
  int number;  // CommandN
  const char* caption;
  int left, top, width;
  bool shown;  // visible after start-up
};

inline constexpr int kButtonHeight = 17;
inline constexpr int kSurfaceLeft = 24, kSurfaceTop = 56;

// Design captions and client-area positions.
inline constexpr std::array<ButtonLayout, 20> kButtons{{
    {5, "new", 24, 8, 41, true},
    {20, "send greetings to friend", 72, 8, 145, true},
    {3, "save on C:\\wimgx", 224, 8, 113, true},
    {2, "exit", 344, 8, 41, true},
    {7, "def +", 480, 8, 41, false},
    {11, "color", 528, 8, 41, false},
    {10, "new palette", 576, 8, 73, false},
    {13, "+", 656, 8, 17, false},
    {12, "Command12", 680, 8, 33, false},
    {14, "--", 720, 8, 17, false},
    {16, "flip-hor", 744, 8, 57, false},
    {17, "flip-ver", 808, 8, 49, false},
    {9, "palette", 864, 8, 49, false},
    {4, "stop", 920, 8, 33, false},
    {8, "sav", 960, 8, 41, false},
    {18, "Command18", 648, 32, 41, false},
    {15, "loop + save", 696, 32, 73, false},
    {1, "loop", 776, 32, 41, false},
    {6, "new img", 824, 32, 65, false},
    {19, "geometrijska slika", 896, 32, 105, false},
}};

// The order in which start-up hides the workbench.
inline constexpr std::array<int, 16> kWorkbenchHideOrder{7, 11, 10, 13, 12, 14, 16, 17, 9, 4, 8, 18, 15, 1, 6, 19};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr const char* kCaption = "Mirelune";

  // `workbench` keeps the artist's sixteen buttons visible.
  explicit MainWindow(bool workbench, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The load sequence: show the window, hide the workbench, the engine's start-up.
  void Load();

  State& state() { return state_; }
  QtHost& host() { return *host_; }
  SavedCards& saved() { return saved_; }
  QPushButton* button(int number) const { return buttons_.at(number); }
  SurfaceView* surface(int number) const { return surfaces_.at(number); }
  FormSurface* form() const { return form_; }
  QString statusText() const;

  bool busy() const { return busy_ > 0; }
  bool sending() const { return sending_; }
  bool ending() const { return ending_; }
  // What ending the program does; by default the event loop is left at once.
  void setEndAction(std::function<void()> action) { end_action_ = std::move(action); }

  // Schedules a repaint of the surfaces that can be seen.
  void RefreshSurfaces();

  // On a screen whose `available` area is smaller than the window, shows the
  // surfaces scaled down so that the window fits; the cards keep their size.
  void FitToScreen(const QRect& available);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Press(int number);
  void Run(int number);
  void Sync();
  void EndNow();
  void ReportFailure(const QString& title, const QString& text);
  void SendGreetings();
  void SendFinished(const Result<>& r);

  State state_;
  std::unique_ptr<QtHost> host_;
  SavedCards saved_;
  bool workbench_;
  FormSurface* form_ = nullptr;
  QLabel* year_ = nullptr;  // the year the greetings wish for, beside the status line
  std::array<QPushButton*, 21> buttons_{};     // by command number, [0] unused
  std::array<SurfaceView*, 7> surfaces_{};     // by picture number, [0] and [5] unused
  int busy_ = 0;
  bool ending_ = false;
  std::function<void()> end_action_;
  bool sending_ = false;
  std::atomic<bool> cancel_send_{false};
  std::thread mailer_;
};

}  // namespace mirelune
