// main_window.h — the program's one window: twenty buttons, the drawing
// surfaces, a menu bar and a status line with the year, over the session and
// its commands (commands/commands.h).
//
//   MainWindow w(/*workbench=*/false);
//   w.Load();                      // shows the window, makes the output folder
//   w.button(Button::kNew)->click();  // the New Card dialog, then the card is made on the worker
//   w.action(Action::kSaveAs)->trigger();
//
// Threads: the window, its widgets and its dialogs live on the GUI thread. A
// command that makes cards ("new", "new img", "def +", the loops) runs on a
// worker thread of its own, one job at a time, and while it runs the worker alone
// touches the session: the window shows copies it is sent (the card growing,
// the progress marks, each card of a loop) through queued calls, and does what
// is left on its own thread once the job is done. Presses that would draw or
// save wait for that (their buttons are disabled meanwhile); the style counters
// and the plain-picture view are queued and reach the session between cards;
// "stop", Escape, "exit", Ctrl+Q and closing the window stop the job at its next
// step. Mail goes out on a thread of its own as well: the window stays
// responsive while a server is slow, and closing it stops the send.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QtGlobal>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "base/result.h"
#include "commands/commands.h"
#include "commands/export.h"
#include "files/files.h"

class QAction;
class QImage;
class QLabel;
class QMenu;
class QMimeData;
class QPrinter;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace mirelune {

class FormSurface;
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
    {Button::kSave, "save", QT_TRANSLATE_NOOP("MainWindow", "&save"),
     QT_TRANSLATE_NOOP("MainWindow", "Save the card"), 224, 8, 57, true},
    {Button::kExit, "exit", QT_TRANSLATE_NOOP("MainWindow", "e&xit"), QT_TRANSLATE_NOOP("MainWindow", "Quit"), 288, 8, 41, true},
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
enum class Action {
  kNew, kSave, kSaveAs, kSend, kCopy, kPrint, kOpenFolder, kQuit, kStop, kShortcuts, kAbout, kOpen, kWords,
  kExportPdf, kExportPng, kExportGif, kExportWebp,  // File > Export
};
inline constexpr int kActionCount = 17;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr const char* kCaption = "Mirelune";

  // `workbench` keeps the artist's sixteen buttons visible.
  explicit MainWindow(bool workbench, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The load sequence: show the window, hide the workbench, make the output
  // folder and open the faces (a failure of either is told once).
  void Load();

  // The session, for reading while no job runs (busy() is false): a job's
  // worker writes it.
  const Session& session() const { return session_; }
  QPushButton* button(Button b) const { return buttons_.at(static_cast<std::size_t>(b)); }
  QAction* action(Action a) const { return actions_.at(static_cast<std::size_t>(a)); }
  SurfaceView* surface(View v) const { return surfaces_.at(static_cast<std::size_t>(v)); }
  FormSurface* form() const { return form_; }
  QSpinBox* yearBox() const { return year_; }
  // The "Make a card for…" line shown until the first card.
  QLabel* prompt() const { return prompt_; }
  QMenu* recentMenu() const { return recent_; }
  // The sample card the first screen shows has been made.
  bool hasSample() const { return !sample_card_.isNull(); }
  QString statusText() const;

  // A job is under way on the worker.
  bool busy() const { return busy_; }
  // Cards a loop finished since it started: those it showed.
  int loopCards() const { return loop_cards_; }
  bool sending() const { return sending_; }
  bool ending() const { return ending_; }
  bool hasCard() const { return has_card_; }
  bool unsaved() const { return unsaved_; }
  // What ending the program does; by default the event loop is left at once.
  void setEndAction(std::function<void()> action) { end_action_ = std::move(action); }
  // The year of the next card; `remember` keeps it for the next run. The
  // greeting of the card shown is not redrawn (the Year box's own changes redraw it).
  void SetYear(int year, bool remember);
  // Makes again, on the worker, the card a PNG or JPEG card file was made from;
  // false (and told) when its report cannot be read.
  bool OpenCard(const QString& path);

  // Schedules a repaint of the surfaces that can be seen.
  void RefreshSurfaces();

  // Asks for a line of text as the classic dialogs did: the prompt's lines (a
  // carriage return between them), the title (the program's name when empty)
  // and the dialog's top-left corner at (x, y) on the screen; a blank prompt
  // shows the title as its label. Nothing on Cancel.
  std::optional<std::string> AskText(const std::string& prompt, const std::string& title, int x, int y);

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
  // Makes the card again on the worker as `plan` asks (commands/export.h) and
  // writes it to `path`, with the plan's extension added when the name lacks it:
  // the bytes `mirelune-cli card` writes for the same settings. The card shown
  // stays. False when there is no card made from names, or a job is under way.
  bool ExportTo(const QString& path, const ExportPlan& plan);
  // The name Save As and Export suggest, from the card's names.
  QString SuggestedFileName(const QString& extension = "png") const;

 signals:
  // A job on the worker has ended (done or stopped) and the window shows its outcome.
  void jobFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // What a job leaves the window to do on its own thread once it is done; empty
  // when there is nothing (a stopped card).
  using Finish = std::function<void()>;
  using Job = std::function<Finish(const CardWatch&)>;

  void CreateActions();
  Result<Bytes> CardBytes(ImageFormat format) const;
  void Press(Button b);
  void Run(Button b);
  // The New Card dialog: the names, the year and the words of one's own; nothing on Cancel.
  std::optional<CardSpec> AskNewCard();
  // The words of one's own for the card shown (empty: the usual ones); nothing on Cancel.
  std::optional<std::string> AskWords();
  void ChangeWords();
  void MakeCardFrom(const CardSpec& spec);
  void StartSample();
  // The greeting of the card shown written anew for this year and these words.
  void Regreet(int year, const std::string& wish);
  void QuickSave();
  void Open();
  void AddRecent(const QString& path);
  void FillRecent();
  // Starts `job` on the worker; the window is busy until JobDone.
  void StartJob(Job job);
  // On the worker: a progress mark, sent on to the window with a copy of the
  // surface being painted now and then.
  void SendProgress(const ProgressMark& mark, QElapsedTimer& since_picture);
  // On the worker, between cards: the presses queued meanwhile reach the session,
  // and the window is sent the card and the settings.
  void BetweenCards(bool show_card);
  void ShowProgress(ProgressMark::Kind kind, int percent, const QImage& picture);
  void JobDone(const Finish& finish);
  void Stop();
  // The style counters and the plain-picture view on the session (no job running).
  void RunQueued(Button b);
  void ShowSession();
  void Sync();
  void LayOut();
  void EndNow();
  void Quit();
  bool MayDiscardCard();
  void SaveAs();
  // The card shown is one "new" made from names (its greeting perhaps rewritten): it can be made again.
  bool Remakeable() const;
  // File > Export: the printed page's paper (PDF only), then where to save; nothing on Cancel.
  void Export(ExportKind kind);
  std::optional<ExportPlan> AskPrintPage();
  void CopyCard();
  void Print();
  void OpenFolder();
  void ShowShortcuts();
  void ShowAbout();
  void StartDrag();
  void CardChanged(bool made_from_names);
  // Says where a file went; `card_itself`: the card shown is saved.
  void Saved(const std::filesystem::path& path, bool card_itself = true);
  void ReportFailure(const QString& title, const QString& text);
  // A problem that did not stop the work (a folder not made, text not drawn): a
  // message that does not block the window, and the same line on standard error.
  void Report(const std::string& message);
  void SendGreetings();
  void SendFinished(const Result<>& r);

  // The card's names, settings and report, while the card shown is the one "new" made
  // (flipped, it keeps its names but loses its report).
  struct Made {
    CardSpec spec;
    nlohmann::ordered_json report;  // made on the worker: it lists the faces that thread drew with
  };

  Session session_;  // the worker's alone while busy_
  FaceDigests digests_;  // the face files' digests for every report of this run
  std::vector<std::string> told_;  // the problems already told, each once
  bool workbench_;
  FormSurface* form_ = nullptr;
  QSpinBox* year_ = nullptr;  // the year the greetings wish for, beside the status line
  QLabel* prompt_ = nullptr;
  QMenu* recent_ = nullptr;
  QImage sample_card_;  // shown until there is a card of the user's
  QProgressBar* progress_ = nullptr;  // the card under way, in per cent
  std::array<QPushButton*, kButtonCount> buttons_{};  // by Button
  std::array<QAction*, kActionCount> actions_{};      // by Action
  std::array<SurfaceView*, kViewCount> surfaces_{};    // by View
  std::string colour_caption_;  // what the colour button shows: "color" and the chooser set it
  WorkbenchSettings shown_settings_;  // what the buttons show: the session's, or the worker's last copy
  std::optional<Made> made_;
  bool has_card_ = false, unsaved_ = false;
  QString last_saved_;  // the last file a card went to
  std::unique_ptr<QTemporaryDir> drag_dir_;
  bool busy_ = false;
  int loop_cards_ = 0;
  bool ending_ = false;
  std::function<void()> end_action_;
  bool sending_ = false;
  std::atomic<bool> cancel_send_{false};
  std::thread mailer_;
  // Counter and view presses made while busy, for the worker to run between
  // cards (and the window after the job).
  std::mutex queued_mutex_;
  std::vector<Button> queued_;
  std::jthread worker_;  // last: stopped and joined before the rest goes
  std::jthread sample_;  // makes the first screen's card
};

// Loads the window's translation for `locale` (and Qt's own) from `also_in` or the
// folders where the build and the package put them, in place of any loaded
// before. False when there is none (English, the source language).
bool LoadTranslations(const QLocale& locale, const QString& also_in = {});

}  // namespace mirelune
