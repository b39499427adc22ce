// main_window.h — the program's one window: twenty buttons, the drawing
// surfaces and a status line, over the engine's state and commands.
//
//   MainWindow w(/*workbench=*/false);
//   w.Load();                      // shows the window, runs the start-up sequence
//   w.button(Button::kNew)->click();
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

// The window's buttons, in the order they stand.
enum class Button {
  kNew, kSendGreetings, kSave, kExit,  // the four everyone sees
  kDefPlus, kColour, kNewPalette, kMoreStyles, kStyleLimit, kFewerStyles, kFlipHorizontal, kFlipVertical,
  kPalette, kStop, kArchiveSave, kEffectMode, kLoopAndSave, kLoop, kNewImage, kPlainPicture,  // the workbench
};
inline constexpr int kButtonCount = 20;

struct ButtonLayout {
  Button button;
  const char* name;     // the widget's object name
  const char* caption;  // empty where the caption shows a setting
  int left, top, width;
  bool shown;  // visible after start-up
};

inline constexpr int kButtonHeight = 17;
inline constexpr int kSurfaceLeft = 24, kSurfaceTop = 56;

// Captions and client-area positions, in the order of Button.
inline constexpr std::array<ButtonLayout, kButtonCount> kButtons{{
    {Button::kNew, "new", "new", 24, 8, 41, true},
    {Button::kSendGreetings, "sendGreetings", "send greetings to friend", 72, 8, 145, true},
    {Button::kSave, "save", "save on C:\\wimgx", 224, 8, 113, true},
    {Button::kExit, "exit", "exit", 344, 8, 41, true},
    {Button::kDefPlus, "defPlus", "def +", 480, 8, 41, false},
    {Button::kColour, "colour", "", 528, 8, 41, false},
    {Button::kNewPalette, "newPalette", "new palette", 576, 8, 73, false},
    {Button::kMoreStyles, "moreStyles", "+", 656, 8, 17, false},
    {Button::kStyleLimit, "styleLimit", "", 680, 8, 33, false},
    {Button::kFewerStyles, "fewerStyles", "--", 720, 8, 17, false},
    {Button::kFlipHorizontal, "flipHorizontal", "flip-hor", 744, 8, 57, false},
    {Button::kFlipVertical, "flipVertical", "flip-ver", 808, 8, 49, false},
    {Button::kPalette, "palette", "palette", 864, 8, 49, false},
    {Button::kStop, "stop", "stop", 920, 8, 33, false},
    {Button::kArchiveSave, "archiveSave", "sav", 960, 8, 41, false},
    {Button::kEffectMode, "effectMode", "", 648, 32, 41, false},
    {Button::kLoopAndSave, "loopAndSave", "loop + save", 696, 32, 73, false},
    {Button::kLoop, "loop", "loop", 776, 32, 41, false},
    {Button::kNewImage, "newImage", "new img", 824, 32, 65, false},
    {Button::kPlainPicture, "plainPicture", "geometrijska slika", 896, 32, 105, false},
}};

// The order in which start-up hides the workbench.
inline constexpr std::array<Button, 16> kWorkbenchHideOrder{
    Button::kDefPlus,    Button::kColour,         Button::kNewPalette,   Button::kMoreStyles,
    Button::kStyleLimit, Button::kFewerStyles,    Button::kFlipHorizontal, Button::kFlipVertical,
    Button::kPalette,    Button::kStop,           Button::kArchiveSave,  Button::kEffectMode,
    Button::kLoopAndSave, Button::kLoop,          Button::kNewImage,     Button::kPlainPicture};

// The surfaces the window shows, back to front.
enum class View { kStrip, kEffectSource, kCanvas, kCard, kPlainPicture };
inline constexpr int kViewCount = 5;

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
  QPushButton* button(Button b) const { return buttons_.at(static_cast<std::size_t>(b)); }
  SurfaceView* surface(View v) const { return surfaces_.at(static_cast<std::size_t>(v)); }
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
  void Press(Button b);
  void Run(Button b);
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
  std::array<QPushButton*, kButtonCount> buttons_{};  // by Button
  std::array<SurfaceView*, kViewCount> surfaces_{};    // by View
  std::string colour_caption_;  // what the colour button shows: "color" and the chooser set it
  int busy_ = 0;
  bool ending_ = false;
  std::function<void()> end_action_;
  bool sending_ = false;
  std::atomic<bool> cancel_send_{false};
  std::thread mailer_;
};

}  // namespace mirelune
