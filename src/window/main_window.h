// main_window.h — the program's one window: twenty buttons, the drawing
// surfaces, a menu bar and a status line with the year, over the engine's state
// and commands.
//
//   MainWindow w(/*workbench=*/false);
//   w.Load();                      // shows the window, runs the start-up sequence
//   w.button(Button::kNew)->click();
//   w.action(Action::kSaveAs)->trigger();
//
// A command runs inside the press that started it; while it makes a card the
// host's LetEventsIn keeps the window alive. Presses that would draw or save while
// a card is being made are ignored (their buttons are disabled meanwhile); the
// counters, the plain-picture view, "stop" and "exit" work at any time.
// Mail goes out on a thread of its own: the window stays responsive while a
// server is slow, and closing it stops the send.
#pragma once

#include <QMainWindow>
#include <QTemporaryDir>
#include <QtGlobal>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "base/result.h"
#include "commands/commands.h"
#include "core/state.h"
#include "files/files.h"
#include "files/saving.h"

class QAction;
class QMimeData;
class QPrinter;
class QPushButton;
class QSpinBox;

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
  const char* caption;  // translatable, "&" before the mnemonic; empty where the caption shows a setting
  const char* spoken;   // the accessible name, in plain words
  int left, top, width;
  bool shown;  // visible after start-up
};

inline constexpr int kButtonHeight = 17;
inline constexpr int kSurfaceLeft = 24, kSurfaceTop = 56;

// Captions, spoken names and client-area positions, in the order of Button.
inline constexpr std::array<ButtonLayout, kButtonCount> kButtons{{
    {Button::kNew, "new", QT_TRANSLATE_NOOP("MainWindow", "&new"), QT_TRANSLATE_NOOP("MainWindow", "New card"), 24, 8, 41, true},
    {Button::kSendGreetings, "sendGreetings", QT_TRANSLATE_NOOP("MainWindow", "send &greetings to friend"),
     QT_TRANSLATE_NOOP("MainWindow", "Send the card to a friend"), 72, 8, 145, true},
    {Button::kSave, "save", QT_TRANSLATE_NOOP("MainWindow", "&save on C:\\wimgx"),
     QT_TRANSLATE_NOOP("MainWindow", "Save the card"), 224, 8, 113, true},
    {Button::kExit, "exit", QT_TRANSLATE_NOOP("MainWindow", "e&xit"), QT_TRANSLATE_NOOP("MainWindow", "Quit"), 344, 8, 41, true},
    {Button::kDefPlus, "defPlus", QT_TRANSLATE_NOOP("MainWindow", "def +"),
     QT_TRANSLATE_NOOP("MainWindow", "Apply the effect to the card again"), 480, 8, 41, false},
    {Button::kColour, "colour", "", QT_TRANSLATE_NOOP("MainWindow", "Next colour mode"), 528, 8, 41, false},
    {Button::kNewPalette, "newPalette", QT_TRANSLATE_NOOP("MainWindow", "new palette"),
     QT_TRANSLATE_NOOP("MainWindow", "New palette strip"), 576, 8, 73, false},
    {Button::kMoreStyles, "moreStyles", "+", QT_TRANSLATE_NOOP("MainWindow", "More styles per card"), 656, 8, 17, false},
    {Button::kStyleLimit, "styleLimit", "", QT_TRANSLATE_NOOP("MainWindow", "Most styles per card"), 680, 8, 33, false},
    {Button::kFewerStyles, "fewerStyles", "--", QT_TRANSLATE_NOOP("MainWindow", "Fewer styles per card"), 720, 8, 17, false},
    {Button::kFlipHorizontal, "flipHorizontal", QT_TRANSLATE_NOOP("MainWindow", "flip-hor"),
     QT_TRANSLATE_NOOP("MainWindow", "Mirror the card left to right"), 744, 8, 57, false},
    {Button::kFlipVertical, "flipVertical", QT_TRANSLATE_NOOP("MainWindow", "flip-ver"),
     QT_TRANSLATE_NOOP("MainWindow", "Mirror the card top to bottom"), 808, 8, 49, false},
    {Button::kPalette, "palette", QT_TRANSLATE_NOOP("MainWindow", "palette"),
     QT_TRANSLATE_NOOP("MainWindow", "Choose a palette"), 864, 8, 49, false},
    {Button::kStop, "stop", QT_TRANSLATE_NOOP("MainWindow", "stop"), QT_TRANSLATE_NOOP("MainWindow", "Stop the loop"), 920, 8, 33, false},
    {Button::kArchiveSave, "archiveSave", QT_TRANSLATE_NOOP("MainWindow", "sav"),
     QT_TRANSLATE_NOOP("MainWindow", "Save the archive copies"), 960, 8, 41, false},
    {Button::kEffectMode, "effectMode", "", QT_TRANSLATE_NOOP("MainWindow", "Effect drawn line by line or pixel by pixel"),
     648, 32, 41, false},
    {Button::kLoopAndSave, "loopAndSave", QT_TRANSLATE_NOOP("MainWindow", "loop + save"),
     QT_TRANSLATE_NOOP("MainWindow", "Make and save cards in a loop"), 696, 32, 73, false},
    {Button::kLoop, "loop", QT_TRANSLATE_NOOP("MainWindow", "loop"), QT_TRANSLATE_NOOP("MainWindow", "Make cards in a loop"), 776, 32, 41, false},
    {Button::kNewImage, "newImage", QT_TRANSLATE_NOOP("MainWindow", "new img"),
     QT_TRANSLATE_NOOP("MainWindow", "New picture without names"), 824, 32, 65, false},
    {Button::kPlainPicture, "plainPicture", QT_TRANSLATE_NOOP("MainWindow", "geometrijska slika"),
     QT_TRANSLATE_NOOP("MainWindow", "Show or hide the picture before the effect"), 896, 32, 105, false},
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

// The menus' actions.
enum class Action { kNew, kSave, kSaveAs, kSend, kCopy, kPrint, kOpenFolder, kQuit, kShortcuts, kAbout };
inline constexpr int kActionCount = 10;

// The year a new card wishes for unless one was chosen: from October on the next
// year, before that this one.
int ComingNewYear(int year, int month);

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
  QAction* action(Action a) const { return actions_.at(static_cast<std::size_t>(a)); }
  SurfaceView* surface(View v) const { return surfaces_.at(static_cast<std::size_t>(v)); }
  FormSurface* form() const { return form_; }
  QSpinBox* yearBox() const { return year_; }
  QString statusText() const;

  bool busy() const { return busy_ > 0; }
  bool sending() const { return sending_; }
  bool ending() const { return ending_; }
  bool hasCard() const { return has_card_; }
  bool unsaved() const { return unsaved_; }
  // What ending the program does; by default the event loop is left at once.
  void setEndAction(std::function<void()> action) { end_action_ = std::move(action); }
  // The year of the next card; `remember` keeps it for the next run.
  void SetYear(int year, bool remember);

  // Schedules a repaint of the surfaces that can be seen.
  void RefreshSurfaces();

  // Sizes the window to fit `available` (a screen's free area): the surfaces
  // are shown scaled to the window's size, the cards keep theirs.
  void FitToScreen(const QRect& available);

  // The card as a file of the format its name asks for (PNG when it names
  // none): the bytes the command line writes for the same names and year.
  Result<> SaveCardTo(const QString& path);
  // What dragging the card out carries: a PNG file of it and its picture.
  QMimeData* CardMimeData();
  // The card fitted to the printer's page.
  void PrintCard(QPrinter* printer);
  // The name Save As suggests, from the card's names.
  QString SuggestedFileName() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateActions();
  Result<Bytes> CardBytes(ImageFormat format) const;
  void Press(Button b);
  // False when the command was cancelled.
  bool Run(Button b);
  void Sync();
  void LayOut();
  void EndNow();
  void Quit();
  bool MayDiscardCard();
  void SaveAs();
  void CopyCard();
  void Print();
  void OpenFolder();
  void ShowShortcuts();
  void ShowAbout();
  void StartDrag();
  void CardChanged(bool made_from_names);
  void Saved(const std::filesystem::path& path);
  void ReportFailure(const QString& title, const QString& text);
  void SendGreetings();
  void SendFinished(const Result<>& r);

  State state_;
  std::unique_ptr<QtHost> host_;
  SavedCards saved_;
  bool workbench_;
  FormSurface* form_ = nullptr;
  QSpinBox* year_ = nullptr;  // the year the greetings wish for, beside the status line
  std::array<QPushButton*, kButtonCount> buttons_{};  // by Button
  std::array<QAction*, kActionCount> actions_{};      // by Action
  std::array<SurfaceView*, kViewCount> surfaces_{};    // by View
  std::string colour_caption_;  // what the colour button shows: "color" and the chooser set it
  std::optional<NewCard> made_;  // what the card on screen was made from, while it is that card
  bool has_card_ = false, unsaved_ = false;
  QString last_saved_;  // the last file a card went to
  std::unique_ptr<QTemporaryDir> drag_dir_;
  int busy_ = 0;
  bool ending_ = false;
  std::function<void()> end_action_;
  bool sending_ = false;
  std::atomic<bool> cancel_send_{false};
  std::thread mailer_;
};

// Loads the window's translation for `locale` (and Qt's own) from `also_in` or the
// folders where the build and the package put them, in place of any loaded
// before. False when there is none (English, the source language).
bool LoadTranslations(const QLocale& locale, const QString& also_in = {});

}  // namespace mirelune
