// main_window.cpp — buttons, menus, surfaces and the dispatch of presses to commands.
#include "window/main_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTranslator>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <iostream>
#include <tuple>

#include "card/card.h"
#include "commands/card_report.h"
#include "files/files.h"
#include "mail/mail.h"
#include "palette/palette.h"
#include "text/text.h"
#include "window/surface_view.h"

namespace mirelune {
namespace {

// The client area the workbench needs (its widest button ends at 1001), and the
// margin right of and below the surfaces.
constexpr int kClientW = 1008, kMargin = 7;
// The smallest the surfaces are shown, as a share of their size.
constexpr double kSmallest = 0.25;

// Presses that neither draw nor save: they may be made while a card is being made.
bool RunsAnyTime(Button b) {
  switch (b) {
    case Button::kExit:
    case Button::kStop:
    case Button::kStyleLimit:  // shows the style limit
    case Button::kMoreStyles:
    case Button::kFewerStyles:
    case Button::kPlainPicture:
      return true;
    default:
      return false;
  }
}

// Those of them that change the session: while a job runs they are queued for it.
bool Queued(Button b) { return b == Button::kMoreStyles || b == Button::kFewerStyles || b == Button::kPlainPicture; }

// Where the palette's and the mail's dialogs stand on the screen, in pixels.
constexpr int kDialogX = 300, kDialogY = 333;

// The first screen's card, made from these names while the window waits for the user's.
constexpr const char* kSampleFriend = "Anna";
constexpr const char* kSampleSender = "Mirelune";

// What each button does, in plain words, in the order of Button; empty where the
// tooltip names a folder and is set with it.
constexpr std::array<const char*, kButtonCount> kTips{
    QT_TRANSLATE_NOOP("MainWindow", "Asks for both names and the year, then makes their card"),
    "", "",
    QT_TRANSLATE_NOOP("MainWindow", "Ends the program"),
    QT_TRANSLATE_NOOP("MainWindow", "Runs the card through the effect once more"),
    QT_TRANSLATE_NOOP("MainWindow", "Next colour mode: a fresh random palette for every card, or one of the 26 palettes"),
    QT_TRANSLATE_NOOP("MainWindow", "Draws a new palette strip in the colour mode shown"),
    QT_TRANSLATE_NOOP("MainWindow", "Lets a card use one drawing style more"),
    QT_TRANSLATE_NOOP("MainWindow", "The most drawing styles a card may use"),
    QT_TRANSLATE_NOOP("MainWindow", "Lets a card use one drawing style fewer"),
    QT_TRANSLATE_NOOP("MainWindow", "Mirrors the card left to right"),
    QT_TRANSLATE_NOOP("MainWindow", "Mirrors the card top to bottom"),
    QT_TRANSLATE_NOOP("MainWindow", "Shows the 26 palettes on the card and asks which one to use"),
    QT_TRANSLATE_NOOP("MainWindow", "Stops the card or the loop under way"),
    "",
    QT_TRANSLATE_NOOP("MainWindow", "Switches the effect between drawing line by line and pixel by pixel"),
    QT_TRANSLATE_NOOP("MainWindow", "Makes pictures without names one after another and saves each, 50 at most"),
    QT_TRANSLATE_NOOP("MainWindow", "Makes pictures without names one after another until you press stop"),
    QT_TRANSLATE_NOOP("MainWindow", "Makes a new picture without names or greeting"),
    QT_TRANSLATE_NOOP("MainWindow", "Shows or hides the picture as it was before the effect"),
};

// Often enough for the card to be seen growing, rarely enough to cost nothing.
constexpr qint64 kPictureEveryMs = 40;

// The progress marks go down the window's left edge from here, in layout units
// (15 to a pixel), in the gutter the card leaves free: it never starts left of kSurfaceLeft.
constexpr double kMarksX = 22, kMarksY = 30;
constexpr int kRecentCards = 8;

std::size_t Index(Button b) { return static_cast<std::size_t>(b); }

QString Path(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

QString Translated(const char* text) { return QCoreApplication::translate("MainWindow", text); }

// The standard keys of the desktop, or `fallback` where the platform has none.
QList<QKeySequence> Keys(QKeySequence::StandardKey key, const QKeySequence& fallback) {
  QList<QKeySequence> keys = QKeySequence::keyBindings(key);
  if (keys.isEmpty()) keys << fallback;
  return keys;
}

// The surfaces are pictures to a screen reader, not empty panes.
QAccessibleInterface* SurfaceAccessible(const QString& key, QObject* object) {
  if (key != QLatin1String(SurfaceView::staticMetaObject.className())) return nullptr;
  return new QAccessibleWidget(qobject_cast<QWidget*>(object), QAccessible::Graphic);
}

// Keys of the settings kept between runs.
constexpr const char* kYearKey = "year";
constexpr const char* kFolderKey = "lastFolder";
constexpr const char* kSizeKey = "windowSize";
constexpr const char* kSenderKey = "sender";
constexpr const char* kQuickFormatKey = "quickSaveFormat";
constexpr const char* kRecentKey = "recentCards";
constexpr const char* kPaperKey = "printPaper";
constexpr const char* kCropMarksKey = "printCropMarks";

// Where Save As and Export open: the folder saved to last, else the pictures folder.
QString SaveFolder() {
  QString folder = QSettings().value(kFolderKey).toString();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
    folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QDir().mkpath(folder);
  }
  return folder;
}

// The middle of the greeting when no words of one's own are given.
QString DefaultWords(int year) { return QString::fromStdString(GreetingMiddle({"", "", year, ""})); }

// The words typed: none when they are only blanks, which the greeting would not show.
std::string OwnWords(const QString& typed) { return typed.trimmed().isEmpty() ? std::string() : typed.toStdString(); }

}  // namespace


MainWindow::MainWindow(bool workbench, QWidget* parent) : QMainWindow(parent), workbench_(workbench) {
  setWindowTitle(kCaption);
  end_action_ = [] { QCoreApplication::exit(0); };
  static const bool accessible_surfaces = (QAccessible::installFactory(SurfaceAccessible), true);
  static_cast<void>(accessible_surfaces);

  form_ = new FormSurface(this);
  form_->setObjectName("clientArea");
  QFont small = form_->font();
  small.setPixelSize(11);
  form_->setFont(small);
  form_->installEventFilter(this);
  setCentralWidget(form_);

  // Back to front, all at the same place; the card hides the rest until the plain
  // picture is shown in front of it.
  const std::array<std::tuple<View, const char*, QSize>, kViewCount> stack{{
      {View::kStrip, "strip", {kStripPixelsW, kStripPixelsH}},
      {View::kEffectSource, "effectSource", {kCanvasPixelsW, kCanvasPixelsH}},
      {View::kCanvas, "canvas", {kCanvasPixelsW, kCanvasPixelsH}},
      {View::kCard, "card", {kCanvasPixelsW, kCanvasPixelsH}},
      {View::kPlainPicture, "plainPicture", {kCanvasPixelsW, kCanvasPixelsH}},
  }};
  for (const auto& [v, name, pixels] : stack) {
    auto* view = new SurfaceView(pixels.width(), pixels.height(), form_);
    view->setObjectName(name);
    view->move(kSurfaceLeft, kSurfaceTop);
    view->raise();
    surfaces_[static_cast<std::size_t>(v)] = view;
  }
  SurfaceView* card_view = surface(View::kCard);
  card_view->SetPaletteWhenBlank(true);
  card_view->setFocusPolicy(Qt::TabFocus);
  connect(card_view, &SurfaceView::dragStarted, this, &MainWindow::StartDrag);
  surface(View::kPlainPicture)->setAccessibleName(tr("Picture before the effect"));

  for (const ButtonLayout& layout : kButtons) {
    auto* b = new QPushButton(Translated(layout.caption), form_);
    b->setObjectName(layout.name);
    b->setGeometry(layout.left, layout.top, layout.width, kButtonHeight);
    b->setFocusPolicy(Qt::TabFocus);
    b->setAccessibleName(Translated(layout.spoken));
    b->installEventFilter(this);  // Enter presses it
    const Button pressed = layout.button;
    connect(b, &QPushButton::clicked, this, [this, pressed] { Press(pressed); });
    buttons_[Index(layout.button)] = b;
  }
  // The captions keep their classic look; the tooltips say what each does and where files go.
  const auto describe = [this](Button b, const QString& text) {
    button(b)->setToolTip(text);
    button(b)->setAccessibleDescription(text);
  };
  for (const ButtonLayout& layout : kButtons)
    if (*kTips[Index(layout.button)]) describe(layout.button, Translated(kTips[Index(layout.button)]));
  describe(Button::kSave, tr("Saves the card in %1 (Ctrl+S); Save As chooses the place and the format")
                              .arg(Path(OutputFolder())));
  describe(Button::kSendGreetings, tr("Saves the card in %1 and opens a message with it in your mail program")
                                       .arg(Path(OutputFolder())));
  describe(Button::kArchiveSave, tr("Copies the card to %1 and %2 where those folders exist")
                                     .arg(Path(ArchivePathGroup()), Path(ArchivePathArtist())));
  prompt_ = new QLabel(tr("<a href=\"new\">Make a card for…</a> a friend: both names and the year"), form_);
  prompt_->setObjectName("prompt");
  prompt_->move(kSurfaceLeft, 30);
  prompt_->adjustSize();
  connect(prompt_, &QLabel::linkActivated, this, [this] { Press(Button::kNew); });
  form_->setMinimumSize((workbench_ ? kClientW : button(Button::kExit)->geometry().right() + kMargin),
                        kSurfaceTop + static_cast<int>(kSmallest * card_view->height()) + kMargin);
  form_->SetSizeHint({workbench_ ? kClientW : kSurfaceLeft + card_view->width() + kMargin,
                      kSurfaceTop + card_view->height() + kMargin});

  CreateActions();

  auto* year_label = new QLabel(tr("&Year:"), this);
  year_label->setContentsMargins(12, 0, 0, 0);  // apart from a long message beside it
  year_ = new QSpinBox(this);
  year_->setObjectName("year");
  year_->setRange(kFirstYear, kLastYear);
  year_->setAccessibleName(tr("Year"));
  year_->setAccessibleDescription(tr("The year the next card wishes a happy new year for"));
  year_label->setBuddy(year_);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("progress");
  progress_->setRange(0, 100);
  progress_->setMaximumWidth(160);
  progress_->setAccessibleName(tr("Card under way"));
  progress_->hide();
  statusBar()->addPermanentWidget(progress_);
  statusBar()->addPermanentWidget(year_label);
  statusBar()->addPermanentWidget(year_);
  const QSettings settings;
  year_->setValue(settings.value(kYearKey, ComingYear(std::time(nullptr))).toInt());
  session_.names.year = year_->value();
  connect(year_, &QSpinBox::valueChanged, this, [this](int year) {
    SetYear(year, true);
    if (made_) Regreet(year, made_->spec.wish);
  });
  card_view->setAccessibleName(tr("No card yet"));
  card_view->setAccessibleDescription(tr("Press New to make a card; a sample card is shown."));
  ShowSession();
  resize(sizeHint());  // the surfaces at their own size
}

MainWindow::~MainWindow() {
  // A card under way stops at its next step; what it still sends is dropped with the window.
  for (std::jthread* t : {&worker_, &sample_}) {
    if (!t->joinable()) continue;
    t->request_stop();
    t->join();
  }
  // A send still under way is stopped: libcurl gives up within about a second.
  cancel_send_ = true;
  if (mailer_.joinable()) mailer_.join();
  QSettings().setValue(kSizeKey, size());
}

void MainWindow::CreateActions() {
  struct Entry {
    Action action;
    const char* name;
    QString text;
    QList<QKeySequence> keys;
    void (MainWindow::*run)();
  };
  const std::array<Entry, kActionCount> entries{{
      {Action::kNew, "actionNew", tr("&New Card…"), Keys(QKeySequence::New, Qt::CTRL | Qt::Key_N),
       nullptr},
      {Action::kSave, "actionSave", tr("&Save"), Keys(QKeySequence::Save, Qt::CTRL | Qt::Key_S), nullptr},
      {Action::kOpen, "actionOpen", tr("&Open…"), Keys(QKeySequence::Open, Qt::CTRL | Qt::Key_O), &MainWindow::Open},
      {Action::kSaveAs, "actionSaveAs", tr("Save &As…"),
       Keys(QKeySequence::SaveAs, Qt::CTRL | Qt::SHIFT | Qt::Key_S), &MainWindow::SaveAs},
      {Action::kSend, "actionSend", tr("Sen&d…"), {}, nullptr},
      {Action::kCopy, "actionCopy", tr("&Copy"), Keys(QKeySequence::Copy, Qt::CTRL | Qt::Key_C), &MainWindow::CopyCard},
      {Action::kPrint, "actionPrint", tr("&Print…"), Keys(QKeySequence::Print, Qt::CTRL | Qt::Key_P), &MainWindow::Print},
      {Action::kOpenFolder, "actionOpenFolder", tr("&Open Folder"), {}, &MainWindow::OpenFolder},
      {Action::kQuit, "actionQuit", tr("&Quit"), Keys(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q), &MainWindow::Quit},
      {Action::kStop, "actionStop", tr("S&top"), Keys(QKeySequence::Cancel, Qt::Key_Escape), &MainWindow::Stop},
      {Action::kShortcuts, "actionShortcuts", tr("&Keyboard Shortcuts"),
       Keys(QKeySequence::HelpContents, Qt::Key_F1), &MainWindow::ShowShortcuts},
      {Action::kAbout, "actionAbout", tr("&About Mirelune"), {}, &MainWindow::ShowAbout},
      {Action::kWords, "actionWords", tr("Own &Words…"), {}, &MainWindow::ChangeWords},
      {Action::kExportPdf, "actionExportPdf", tr("Print &PDF…"), {}, nullptr},
      {Action::kExportPng, "actionExportPng", tr("&High-Resolution PNG…"), {}, nullptr},
      {Action::kExportGif, "actionExportGif", tr("Animated &GIF…"), {}, nullptr},
      {Action::kExportWebp, "actionExportWebp", tr("Animated &WebP…"), {}, nullptr},
  }};
  for (const Entry& e : entries) {
    auto* a = new QAction(e.text, this);
    a->setObjectName(e.name);
    a->setShortcuts(e.keys);
    if (e.run) connect(a, &QAction::triggered, this, e.run);
    actions_[static_cast<std::size_t>(e.action)] = a;
  }
  // The menu's New, Save and Send are the buttons' own commands.
  const std::array<std::pair<Action, Button>, 3> same{
      {{Action::kNew, Button::kNew}, {Action::kSave, Button::kSave}, {Action::kSend, Button::kSendGreetings}}};
  for (const auto& [a, b] : same) connect(action(a), &QAction::triggered, this, [this, b = b] { Press(b); });
  action(Action::kSave)->setStatusTip(tr("Saves the card in %1").arg(Path(OutputFolder())));
  action(Action::kOpen)->setStatusTip(tr("Makes again the card a PNG or JPEG card file was made from"));
  action(Action::kOpenFolder)->setStatusTip(tr("Shows the folder of the card saved last"));
  action(Action::kWords)->setStatusTip(tr("Writes the greeting of the card shown in your own words, or in the usual ones"));
  const std::array<std::tuple<Action, ExportKind, QString>, 4> exports{{
      {Action::kExportPdf, ExportKind::kPrintPdf, tr("Makes the card again as a page to print, on the paper you choose")},
      {Action::kExportPng, ExportKind::kLargePng, tr("Makes the card again three times larger, 2688 × 2013 pixels for 300 ppi")},
      {Action::kExportGif, ExportKind::kGif, tr("Makes the card again painting itself, 450 pixels wide, for e-mail")},
      {Action::kExportWebp, ExportKind::kWebp, tr("Makes the card again painting itself, 450 pixels wide, lossless")},
  }};
  for (const auto& [a, kind, tip] : exports) {
    action(a)->setStatusTip(tip);
    connect(action(a), &QAction::triggered, this, [this, kind = kind] { Export(kind); });
  }

  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(action(Action::kOpen));
  recent_ = file->addMenu(tr("Open &Recent"));
  recent_->setObjectName("recentMenu");
  connect(recent_, &QMenu::aboutToShow, this, &MainWindow::FillRecent);
  FillRecent();
  file->addSeparator();
  for (Action a : {Action::kSave, Action::kSaveAs}) file->addAction(action(a));
  QMenu* exporting = file->addMenu(tr("&Export"));
  exporting->setObjectName("exportMenu");
  for (const auto& e : exports) exporting->addAction(action(std::get<0>(e)));
  for (Action a : {Action::kSend, Action::kPrint, Action::kOpenFolder}) file->addAction(action(a));
  file->addSeparator();
  file->addAction(action(Action::kQuit));
  menuBar()->addMenu(tr("&Edit"))->addAction(action(Action::kCopy));
  QMenu* card = menuBar()->addMenu(tr("&Card"));
  card->addAction(action(Action::kNew));
  card->addAction(action(Action::kWords));
  card->addAction(action(Action::kStop));
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(action(Action::kShortcuts));
  help->addAction(action(Action::kAbout));
}

void MainWindow::Load() {
  show();
  if (!workbench_)
    for (Button b : kWorkbenchHideOrder) button(b)->setVisible(false);
  // Cards are saved here. Without it every save fails, so say so now; each save
  // tries again and says why it failed.
  if (const Result<> made = MakeFolder(OutputFolder()); !made) Report(made.message);
  // A face file that cannot be used is told now, not at the first card.
  const Result<> faces = PrepareFaces(session_.fonts);
  std::vector<std::string> problems = session_.fonts.TakeRecord().problems;
  if (!faces && std::find(problems.begin(), problems.end(), faces.message) == problems.end())
    problems.push_back(faces.message);
  for (const std::string& why : problems) Report(why);
  colour_caption_ = ColourModeCaption(session_.settings);
  ShowSession();
  Sync();
  StartSample();
}

void MainWindow::StartSample() {
  CardSpec spec;
  spec.friend_name = kSampleFriend, spec.sender = kSampleSender, spec.year = year_->value();
  sample_ = std::jthread([this, spec](std::stop_token stop) {
    // Its own faces and sequence: the session and its worker never see this card.
    const Card r = MakeCard(spec, CardWatch{stop, {}});
    if (r.stopped) return;
    QMetaObject::invokeMethod(
        this,
        [this, picture = SurfaceView::ToQImage(r.card.image())] {
          sample_card_ = picture;
          if (!has_card_ && !busy_) ShowSession();
        },
        Qt::QueuedConnection);
  });
}

void MainWindow::SetYear(int year, bool remember) {
  if (year_->value() != year) {
    const QSignalBlocker quiet(year_);
    year_->setValue(year);
  }
  if (remember) QSettings().setValue(kYearKey, year_->value());
}

void MainWindow::FitToScreen(const QRect& available) {
  // Room for the title bar and frame the window manager adds, not known before showing.
  constexpr int kDecoration = 40;
  QSize size = QSettings().value(kSizeKey, sizeHint()).toSize();
  size = size.boundedTo(available.size() - QSize(kDecoration / 4, kDecoration)).expandedTo(minimumSizeHint());
  resize(size);
}

void MainWindow::LayOut() {
  // The card, scaled keeping its shape, centred in the room right of the marks' gutter.
  const SurfaceView* card = surface(View::kCard);
  const int w = card->pixelWidth(), h = card->pixelHeight();
  const int room_w = form_->width() - kSurfaceLeft - kMargin - 2 * SurfaceView::kFrame;
  const int room_h = form_->height() - kSurfaceTop - kMargin - 2 * SurfaceView::kFrame;
  const double factor = std::max(kSmallest, std::min(static_cast<double>(room_w) / w, static_cast<double>(room_h) / h));
  for (SurfaceView* v : surfaces_)
    if (v) v->SetScale(factor);
  const QPoint at(kSurfaceLeft + std::max(0, (room_w + 2 * SurfaceView::kFrame - card->width()) / 2),
                  kSurfaceTop + std::max(0, (room_h + 2 * SurfaceView::kFrame - card->height()) / 2));
  for (SurfaceView* v : surfaces_)
    if (v) v->move(at);
}

QString MainWindow::statusText() const { return statusBar()->currentMessage(); }

void MainWindow::RefreshSurfaces() {
  for (SurfaceView* v : surfaces_)
    if (v && v->isVisible()) v->update();
}

void MainWindow::ShowSession() {
  const Session& s = session_;
  surface(View::kStrip)->Show(s.carry.strip.image());
  // The effect's work surface ends holding what its second sweep read: the canvas.
  surface(View::kEffectSource)->Show(s.carry.canvas.image());
  surface(View::kCanvas)->Show(s.carry.canvas.image());
  if (has_card_ || sample_card_.isNull()) surface(View::kCard)->Show(s.card.image());
  else surface(View::kCard)->Show(sample_card_);
  surface(View::kPlainPicture)->Show(s.plain_picture);
  shown_settings_ = s.settings;
}

void MainWindow::Sync() {
  button(Button::kColour)->setText(QString::fromStdString(colour_caption_));
  button(Button::kStyleLimit)->setText(QString::fromStdString(MaxStylesCaption(shown_settings_)));
  button(Button::kEffectMode)->setText(QString::fromStdString(EffectModeCaption(shown_settings_)));
  surface(View::kPlainPicture)->setVisible(shown_settings_.plain_visible);
  const bool card_ready = has_card_ && !busy();
  for (const ButtonLayout& layout : kButtons) {
    const Button b = layout.button;
    const bool needs_card = b == Button::kSave || b == Button::kSendGreetings;
    button(b)->setEnabled((!busy() || RunsAnyTime(b)) && !(b == Button::kSendGreetings && sending_) &&
                          (card_ready || !needs_card));
  }
  action(Action::kNew)->setEnabled(!busy());
  action(Action::kStop)->setEnabled(busy());
  for (Action a : {Action::kSave, Action::kSaveAs, Action::kCopy, Action::kPrint}) action(a)->setEnabled(card_ready);
  action(Action::kSend)->setEnabled(card_ready && !sending_);
  for (Action a : {Action::kWords, Action::kExportPdf, Action::kExportPng, Action::kExportGif, Action::kExportWebp})
    action(a)->setEnabled(card_ready && Remakeable());
  action(Action::kOpenFolder)->setEnabled(!last_saved_.isEmpty());
  year_->setEnabled(!busy());
  action(Action::kOpen)->setEnabled(!busy());
  recent_->setEnabled(!busy());
  prompt_->setVisible(!has_card_ && !busy());
  progress_->setVisible(busy());
  SurfaceView* card = surface(View::kCard);
  card->SetDragEnabled(card_ready);
  if (made_) {
    const QString friend_name = QString::fromStdString(made_->spec.friend_name);
    const QString sender = QString::fromStdString(made_->spec.sender);
    setWindowTitle(tr("%1 from %2 — Mirelune").arg(friend_name, sender));
    card->setAccessibleName(tr("Greeting card for %1 from %2").arg(friend_name, sender));
    card->setAccessibleDescription(QString::fromStdString(GreetingLine(GreetingOf(made_->spec))));
  } else if (has_card_) {
    setWindowTitle(kCaption);
    card->setAccessibleName(tr("Picture without names"));
    card->setAccessibleDescription(QString());
  }
  RefreshSurfaces();
}

void MainWindow::Press(Button b) {
  if (ending_) return;
  if (busy() && !RunsAnyTime(b)) return;  // a card is under way
  if (busy() && Queued(b)) {
    const std::lock_guard lock(queued_mutex_);
    queued_.push_back(b);
    return;
  }
  if (!RunsAnyTime(b)) statusBar()->clearMessage();  // the last command's news is old now
  try {
    Run(b);
  } catch (const std::exception& e) {
    ReportFailure(kCaption, tr("The command failed: %1").arg(e.what()));
  }
  if (!ending_) Sync();
}

void MainWindow::CardChanged(bool made_from_names) {
  if (!made_from_names) made_.reset();
  if (!has_card_) surface(View::kCard)->Show(session_.card.image());  // in place of the sample
  has_card_ = true;
  unsaved_ = true;
  // Focus on the card, never on "exit", whose Space would end the program.
  surface(View::kCard)->setFocus(Qt::OtherFocusReason);
}

void MainWindow::Saved(const std::filesystem::path& path, bool card_itself) {
  last_saved_ = Path(path);
  if (card_itself) unsaved_ = false;
  statusBar()->showMessage(tr("Saved %1").arg(last_saved_));
  statusBar()->setToolTip(last_saved_);  // the whole path where a narrow window cuts it
}

std::optional<std::string> MainWindow::AskText(const std::string& prompt, const std::string& title, int x, int y) {
  QInputDialog dialog(this);
  dialog.setObjectName("InputBox");
  dialog.setInputMode(QInputDialog::TextInput);
  const QString shown_title = title.empty() ? QString(kCaption) : QString::fromStdString(title);
  const QString label = QString::fromStdString(prompt).replace(QChar('\r'), QChar('\n'));
  dialog.setWindowTitle(shown_title);
  dialog.setLabelText(label.trimmed().isEmpty() ? shown_title : label);
  dialog.setAccessibleName(dialog.labelText());
  dialog.move(x, y);
  if (dialog.exec() != QDialog::Accepted || ending_) return std::nullopt;
  return dialog.textValue().toStdString();
}

std::optional<CardSpec> MainWindow::AskNewCard() {
  QDialog dialog(this);
  dialog.setObjectName("NewCardDialog");
  dialog.setWindowTitle(tr("New Card"));
  // One row per part of the greeting; a further line of it goes into the same form.
  auto* form = new QFormLayout(&dialog);
  const auto name_field = [&](const char* object, const QString& text) {
    auto* edit = new QLineEdit(text, &dialog);
    edit->setObjectName(object);
    edit->setMaxLength(static_cast<int>(kMaxNameChars));  // UTF-16 units: never more characters than that
    edit->setMinimumWidth(260);
    return edit;
  };
  QLineEdit* friend_name = name_field("friendName", QString());
  QLineEdit* sender = name_field("senderName", QSettings().value(kSenderKey).toString());
  auto* year = new QSpinBox(&dialog);
  year->setObjectName("cardYear");
  year->setRange(kFirstYear, kLastYear);
  year->setValue(year_->value());
  QLineEdit* wish = name_field("wish", QString());
  wish->setPlaceholderText(DefaultWords(year->value()));
  wish->setToolTip(tr("Your own words in place of the middle of the greeting, in any script"));
  connect(year, &QSpinBox::valueChanged, wish, [wish](int y) { wish->setPlaceholderText(DefaultWords(y)); });
  form->addRow(tr("&Friend's name:"), friend_name);
  form->addRow(tr("Your &name:"), sender);
  form->addRow(tr("&Year:"), year);
  form->addRow(tr("Your own &words (optional):"), wish);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QPushButton* make = buttons->button(QDialogButtonBox::Ok);
  make->setText(tr("&Make the Card"));
  const auto both_named = [=] {
    make->setEnabled(!friend_name->text().trimmed().isEmpty() && !sender->text().trimmed().isEmpty());
  };
  both_named();
  connect(friend_name, &QLineEdit::textChanged, &dialog, both_named);
  connect(sender, &QLineEdit::textChanged, &dialog, both_named);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  dialog.adjustSize();
  dialog.move(frameGeometry().center() - dialog.rect().center());
  if (dialog.exec() != QDialog::Accepted || ending_) return std::nullopt;
  QSettings().setValue(kSenderKey, sender->text());
  SetYear(year->value(), true);
  CardSpec spec =
      NewCardSpec(session_.settings, friend_name->text().toStdString(), sender->text().toStdString(), year->value());
  spec.wish = OwnWords(wish->text());
  return spec;
}

std::optional<std::string> MainWindow::AskWords() {
  QInputDialog dialog(this);
  dialog.setObjectName("WordsDialog");
  dialog.setWindowTitle(tr("Own Words"));
  dialog.setLabelText(tr("Your own words (optional), in place of the middle of the greeting:"));
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextValue(QString::fromStdString(made_->spec.wish));
  if (auto* edit = dialog.findChild<QLineEdit*>()) {
    edit->setObjectName("wish");
    edit->setMaxLength(static_cast<int>(kMaxNameChars));
    edit->setPlaceholderText(DefaultWords(year_->value()));
    edit->setMinimumWidth(360);
  }
  if (dialog.exec() != QDialog::Accepted || ending_) return std::nullopt;
  return OwnWords(dialog.textValue());
}

void MainWindow::ChangeWords() {
  if (busy() || !made_ || made_->report.is_null()) return;
  if (const std::optional<std::string> wish = AskWords()) Regreet(made_->spec.year, *wish);
}

void MainWindow::MakeCardFrom(const CardSpec& spec) {
  StartJob([this, spec](const CardWatch& watch) -> Finish {
    Card r = CommandNew(session_, spec, watch);
    if (r.stopped) return {};
    // The report digests the face files here, off the window's thread.
    Made made{spec, CardReport(spec, r.seed, r.stats, r.text.faces, digests_)};
    return [this, made = std::move(made), problems = std::move(r.text.problems)] {
      made_ = made;
      CardChanged(true);
      for (const std::string& why : problems) Report(why);
    };
  });
}

void MainWindow::Regreet(int year, const std::string& wish) {
  // Only the card made from these names: a mirrored or nameless card has no greeting to redraw.
  if (busy() || !made_ || made_->report.is_null() || (made_->spec.year == year && made_->spec.wish == wish)) return;
  CardSpec spec = made_->spec;
  spec.year = year, spec.wish = wish;
  if (!CommandGreetAgain(session_, GreetingOf(spec))) return;
  made_->spec = spec;
  made_->report = CardReport(spec, session_.seed, session_.stats, session_.text.faces, digests_);
  unsaved_ = true;
  ShowSession();
  Sync();
}

void MainWindow::StartJob(Job job) {
  busy_ = true;
  loop_cards_ = 0;
  progress_->setValue(0);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  Sync();
  worker_ = std::jthread([this, job = std::move(job)](std::stop_token stop) {
    QElapsedTimer since_picture;  // the worker's own
    const CardWatch watch{stop, [this, &since_picture](const ProgressMark& m) { SendProgress(m, since_picture); }};
    Finish finish;
    try {
      finish = job(watch);
    } catch (const std::exception& e) {
      const QString why = tr("The command failed: %1").arg(e.what());
      finish = [this, why] { ReportFailure(kCaption, why); };
    }
    // The last the window hears of the job; dropped if the window is gone by then.
    QMetaObject::invokeMethod(this, [this, finish = std::move(finish)] { JobDone(finish); }, Qt::QueuedConnection);
  });
}

void MainWindow::SendProgress(const ProgressMark& m, QElapsedTimer& since_picture) {
  QImage picture;
  if (m.card && (!since_picture.isValid() || since_picture.elapsed() >= kPictureEveryMs)) {
    picture = SurfaceView::ToQImage(m.card->image());
    since_picture.start();
  }
  QMetaObject::invokeMethod(
      this, [this, kind = m.kind, percent = m.percent, picture] { ShowProgress(kind, percent, picture); },
      Qt::QueuedConnection);
}

void MainWindow::ShowProgress(ProgressMark::Kind kind, int percent, const QImage& picture) {
  switch (kind) {
    case ProgressMark::kStart:
      form_->Clear();
      form_->SetPos(kMarksX, kMarksY);
      break;
    case ProgressMark::kPass: form_->Print("lllll"); break;
    case ProgressMark::kColumns: form_->Print("#"); break;
    case ProgressMark::kStrip:
    case ProgressMark::kRows:
    case ProgressMark::kBaubles:
    case ProgressMark::kDone: break;
  }
  progress_->setValue(percent);
  if (!picture.isNull()) surface(View::kCard)->Show(picture);
}

void MainWindow::BetweenCards(bool show_card) {
  // The worker's session: the presses made meanwhile run on it here, between cards.
  std::vector<Button> queued;
  {
    const std::lock_guard lock(queued_mutex_);
    queued.swap(queued_);
  }
  for (Button b : queued) RunQueued(b);
  const WorkbenchSettings settings = session_.settings;
  QImage card, strip, plain;
  if (show_card) {
    card = SurfaceView::ToQImage(session_.card.image());
    strip = SurfaceView::ToQImage(session_.carry.strip.image());
    plain = SurfaceView::ToQImage(session_.plain_picture);
  }
  QMetaObject::invokeMethod(
      this,
      [this, settings, card, strip, plain] {
        shown_settings_ = settings;
        if (!card.isNull()) {
          ++loop_cards_;
          progress_->setValue(100);
          surface(View::kCard)->Show(card);
          surface(View::kStrip)->Show(strip);
          surface(View::kPlainPicture)->Show(plain);
        }
        Sync();
      },
      Qt::QueuedConnection);
}

void MainWindow::RunQueued(Button b) {
  switch (b) {
    case Button::kMoreStyles: CommandMoreStyles(session_); break;
    case Button::kFewerStyles: CommandFewerStyles(session_); break;
    case Button::kPlainPicture: CommandPlainPicture(session_); break;
    default: break;
  }
}

void MainWindow::JobDone(const Finish& finish) {
  worker_.join();  // it has sent this and returns
  busy_ = false;
  QApplication::restoreOverrideCursor();
  // The worker is done: what was queued for it runs now.
  std::vector<Button> queued;
  {
    const std::lock_guard lock(queued_mutex_);
    queued.swap(queued_);
  }
  for (Button b : queued) RunQueued(b);
  if (!ending_) {
    ShowSession();
    if (finish) finish();
    Sync();
  }
  emit jobFinished();
}

void MainWindow::Stop() {
  if (busy()) worker_.request_stop();
}

void MainWindow::Run(Button b) {
  Session& s = session_;
  switch (b) {
    case Button::kLoop:
      s.names.year = year_->value();
      StartJob([this](const CardWatch& watch) -> Finish {
        CommandLoop(session_, watch, [this](const Session&) { BetweenCards(true); });
        return [this] {
          if (loop_cards_ > 0) CardChanged(false);
        };
      });
      break;
    case Button::kExit: Quit(); break;
    case Button::kSave: QuickSave(); break;
    case Button::kStop: Stop(); break;
    case Button::kNew:
      if (const std::optional<CardSpec> spec = AskNewCard()) MakeCardFrom(*spec);  // cancelled: the card stays
      break;
    case Button::kNewImage: {
      s.names.year = year_->value();
      const double clock = SecondsSinceMidnight();
      StartJob([this, clock](const CardWatch& watch) -> Finish {
        if (!CommandNewImage(session_, clock, watch)) return {};
        return [this, problems = session_.text.problems] {
          CardChanged(false);
          for (const std::string& why : problems) Report(why);
        };
      });
      break;
    }
    case Button::kDefPlus:
      StartJob([this](const CardWatch& watch) -> Finish {
        CommandDefPlus(session_, watch);
        return [this] { CardChanged(false); };
      });
      break;
    case Button::kArchiveSave: {
      const auto written = CommandArchiveSave(s);
      QStringList paths;
      for (const auto& p : written) paths << Path(p);
      if (!paths.isEmpty()) statusBar()->showMessage(tr("Saved %1").arg(paths.join(tr(" and "))));
      break;
    }
    case Button::kPalette: {
      DrawPaletteSwatches(s.card, s.fonts);
      CardChanged(false);  // its swatches are on the card
      surface(View::kCard)->Show(s.card.image());  // seen behind the dialog
      std::string answer;
      std::optional<int> number;
      while (!number && !ending_) {
        answer = AskText(kPalettePrompt, kPaletteTitle, kDialogX, kDialogY).value_or("");
        number = PaletteNumber(answer);
      }
      if (!number) return;
      if (std::optional<std::string> caption = CommandChoosePalette(s, *number, answer)) colour_caption_ = std::move(*caption);
      ShowSession();
      break;
    }
    case Button::kNewPalette:
      CommandNewPalette(s);
      ShowSession();
      break;
    case Button::kColour:
      CommandColor(s);
      colour_caption_ = ColourModeCaption(s.settings);
      ShowSession();
      break;
    case Button::kStyleLimit: break;  // its caption only shows the style limit
    case Button::kMoreStyles:
    case Button::kFewerStyles:
    case Button::kPlainPicture:
      RunQueued(b);
      shown_settings_ = s.settings;
      break;
    case Button::kLoopAndSave:
      s.names.year = year_->value();
      StartJob([this](const CardWatch& watch) -> Finish {
        int saved_cards = 0;
        const auto saved = [this, &saved_cards](const std::filesystem::path& file, int cards) {
          saved_cards = cards;
          BetweenCards(true);
          QMetaObject::invokeMethod(
              this,
              [this, path = Path(file), cards] {
                last_saved_ = path;
                statusBar()->showMessage(tr("Saved %1 (card %2 of %3)").arg(path).arg(cards).arg(kLoopSaveLimit));
              },
              Qt::QueuedConnection);
        };
        const Result<LoopEnd> r = CommandLoopAndSave(session_, watch, LocalTimeNow, saved);
        return [this, r, saved_cards] {
          if (loop_cards_ > 0 || saved_cards > 0) CardChanged(false);
          unsaved_ = !r;
          if (r && *r == LoopEnd::kLimitReached)
            EndNow();
          else if (!r)
            ReportFailure(tr("Loop with saving stopped"), QString::fromStdString(r.error().message));
        };
      });
      break;
    case Button::kFlipHorizontal:
    case Button::kFlipVertical:
      if (b == Button::kFlipHorizontal) CommandFlipHorizontal(s);
      else CommandFlipVertical(s);
      // The names stay; the report no longer tells how this card was made.
      if (made_) made_->report = nullptr;
      CardChanged(true);
      ShowSession();
      break;
    case Button::kEffectMode:
      CommandLinePix(s);
      shown_settings_ = s.settings;
      break;
    case Button::kSendGreetings: SendGreetings(); break;
  }
}

QString MainWindow::SuggestedFileName(const QString& extension) const {
  QString name = made_ ? tr("%1 from %2").arg(QString::fromStdString(made_->spec.friend_name),
                                              QString::fromStdString(made_->spec.sender))
                       : QString::fromStdString(session_.image_name);
  // Not a path, nor a hidden file, whatever the names hold.
  for (QChar& c : name)
    if (c == '/' || c == '\\' || c.category() == QChar::Other_Control) c = '_';
  while (name.startsWith('.')) name.remove(0, 1);
  if (name.trimmed().isEmpty()) name = kCaption;
  return name.left(120) + "." + extension;
}

Result<Bytes> MainWindow::CardBytes(ImageFormat format) const {
  PngText text;
  text.software = "Mirelune " + VersionText();
  // The report tells how the card was made, and so only while it is that card.
  if (made_ && !made_->report.is_null()) text = CardPngText(GreetingOf(made_->spec), made_->report);
  return EncodeImage(session_.card.image(), format, &text);
}

Result<> MainWindow::SaveCardTo(const QString& path) {
  std::filesystem::path file = path.toStdString();
  ImageFormat format = ImageFormat::kPng;
  switch (FormatOfName(file)) {
    case NameFormat::kBmp: format = ImageFormat::kBmp; break;
    case NameFormat::kJpeg: format = ImageFormat::kJpeg; break;
    case NameFormat::kPng: break;
    case NameFormat::kNone: file += ".png"; break;
    case NameFormat::kUnknown:
      return Error{file.string() + ": a card is saved as .png, .jpg or .bmp, not as " + file.extension().string()};
  }
  MIRELUNE_TRY_ASSIGN(const Bytes bytes, CardBytes(format));
  MIRELUNE_TRY(WriteFileSafely(file, bytes));
  Saved(file);
  QSettings().setValue(kFolderKey, Path(file.parent_path()));
  // Quick save keeps to a bitmap only for those who chose one.
  QSettings().setValue(kQuickFormatKey, format == ImageFormat::kBmp ? "bmp" : "png");
  if (format != ImageFormat::kBmp && made_ && !made_->report.is_null()) AddRecent(Path(file));
  return {};
}

void MainWindow::QuickSave() {
  Result<std::filesystem::path> r = Error{};
  if (QSettings().value(kQuickFormatKey).toString() == "bmp") {
    r = CommandSaveCard(session_, LocalTimeNow());
  } else if (const Result<Bytes> png = CardBytes(ImageFormat::kPng); !png) {
    return ReportFailure(tr("Card not saved"), QString::fromStdString(png.error().message));
  } else {
    r = SaveNewCardAs(session_, *png, ".png", LocalTimeNow());
  }
  if (!r) return ReportFailure(tr("Card not saved"), QString::fromStdString(r.error().message));
  Saved(*r);
  if (made_ && !made_->report.is_null() && r->extension() == ".png") AddRecent(Path(*r));
}

void MainWindow::Open() {
  if (busy()) return;
  QString folder = QSettings().value(kFolderKey).toString();
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  const QString path = QFileDialog::getOpenFileName(this, tr("Open a Card"), folder, tr("Cards (*.png *.jpg *.jpeg)"));
  if (!path.isEmpty()) OpenCard(path);
}

bool MainWindow::OpenCard(const QString& path) {
  if (busy() || ending_) return false;
  const Result<nlohmann::ordered_json> report = ReadReport(path.toStdString());
  const Result<CardSpec> spec = report ? SpecFromReport(*report, path.toStdString()) : Result<CardSpec>(report.error());
  if (!spec) {
    ReportFailure(tr("Card not opened"), QString::fromStdString(spec.error().message));
    return false;
  }
  SetYear(spec->year, false);
  AddRecent(path);
  statusBar()->showMessage(tr("Making the card of %1 again …").arg(path));
  MakeCardFrom(*spec);
  Sync();
  return true;
}

void MainWindow::AddRecent(const QString& path) {
  QStringList recent = QSettings().value(kRecentKey).toStringList();
  const QString file = QFileInfo(path).absoluteFilePath();
  recent.removeAll(file);
  recent.prepend(file);
  QSettings().setValue(kRecentKey, recent.mid(0, kRecentCards));
}

void MainWindow::FillRecent() {
  recent_->clear();
  for (const QString& file : QSettings().value(kRecentKey).toStringList()) {
    if (!QFileInfo(file).isFile()) continue;  // moved or deleted since
    connect(recent_->addAction(QFileInfo(file).fileName()), &QAction::triggered, this, [this, file] { OpenCard(file); });
    recent_->actions().constLast()->setToolTip(file);
  }
  if (recent_->isEmpty()) recent_->addAction(tr("No cards yet"))->setEnabled(false);
}

void MainWindow::SaveAs() {
  if (!has_card_ || busy()) return;
  QFileDialog dialog(this, tr("Save the Card As"), SaveFolder());
  dialog.setObjectName("SaveAsDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  const QString png = tr("PNG image (*.png)"), jpeg = tr("JPEG image (*.jpg *.jpeg)"), bmp = tr("BMP image (*.bmp)");
  dialog.setNameFilters({png, jpeg, bmp});
  dialog.setDefaultSuffix("png");
  dialog.selectFile(SuggestedFileName());
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
    dialog.setDefaultSuffix(filter == bmp ? "bmp" : filter == jpeg ? "jpg" : "png");
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  if (const Result<> r = SaveCardTo(dialog.selectedFiles().constFirst()); !r)
    ReportFailure(tr("Card not saved"), QString::fromStdString(r.message));
}

bool MainWindow::Remakeable() const { return made_ && !made_->report.is_null(); }

std::optional<ExportPlan> MainWindow::AskPrintPage() {
  QDialog dialog(this);
  dialog.setObjectName("PrintPageDialog");
  dialog.setWindowTitle(tr("Print PDF"));
  auto* form = new QFormLayout(&dialog);
  auto* paper = new QComboBox(&dialog);
  paper->setObjectName("paper");
  // In the order of PaperSize; each page 3 mm larger all round for the bleed.
  paper->addItems({tr("A6 (148 × 105 mm)"), tr("5 × 7 in"), tr("Half letter (8.5 × 5.5 in)")});
  paper->setCurrentIndex(std::clamp(QSettings().value(kPaperKey).toInt(), 0, 2));
  auto* marks = new QCheckBox(tr("&Crop marks"), &dialog);
  marks->setObjectName("cropMarks");
  marks->setChecked(QSettings().value(kCropMarksKey).toBool());
  marks->setToolTip(tr("Marks in a white margin around the page, where to cut it"));
  form->addRow(tr("&Paper:"), paper);
  form->addRow(marks);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted || ending_) return std::nullopt;
  QSettings().setValue(kPaperKey, paper->currentIndex());
  QSettings().setValue(kCropMarksKey, marks->isChecked());
  return ExportPlan{ExportKind::kPrintPdf, static_cast<PaperSize>(paper->currentIndex()), marks->isChecked()};
}

void MainWindow::Export(ExportKind kind) {
  if (!has_card_ || busy() || !Remakeable()) return;
  ExportPlan plan{kind};
  if (kind == ExportKind::kPrintPdf) {
    const std::optional<ExportPlan> page = AskPrintPage();
    if (!page) return;
    plan = *page;
  }
  const QString extension = ExportExtension(kind);
  const QString filter = kind == ExportKind::kPrintPdf  ? tr("PDF document (*.pdf)")
                         : kind == ExportKind::kLargePng ? tr("PNG image (*.png)")
                         : kind == ExportKind::kGif      ? tr("GIF animation (*.gif)")
                                                         : tr("WebP animation (*.webp)");
  QFileDialog dialog(this, tr("Export the Card"), SaveFolder(), filter);
  dialog.setObjectName("ExportDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(extension);
  dialog.selectFile(SuggestedFileName(extension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty() || ending_) return;
  ExportTo(dialog.selectedFiles().constFirst(), plan);
}

bool MainWindow::ExportTo(const QString& path, const ExportPlan& plan) {
  if (!has_card_ || busy() || ending_ || !Remakeable()) return false;
  QString named = path;
  // The bytes are of one format, whatever the name says.
  if (QFileInfo(named).suffix().compare(ExportExtension(plan.kind), Qt::CaseInsensitive) != 0)
    named += QString(".") + ExportExtension(plan.kind);
  const std::filesystem::path file = named.toStdString();
  statusBar()->showMessage(tr("Exporting %1 …").arg(named));
  StartJob([this, spec = made_->spec, plan, file](const CardWatch& watch) -> Finish {
    // The bar alone shows the progress: the card shown stays.
    const CardWatch quiet{watch.stop, [this](const ProgressMark& m) {
                            QMetaObject::invokeMethod(this, [this, p = m.percent] { progress_->setValue(p); },
                                                      Qt::QueuedConnection);
                          }};
    const Result<Exported> made = MakeExport(spec, plan, quiet, session_.fonts, digests_);
    if (made && made->stopped) return [this] { statusBar()->showMessage(tr("Stopped; nothing was exported.")); };
    const Result<> written = made ? WriteFileSafely(file, made->bytes) : Result<>(made.error());
    return [this, file, written, problems = made ? made->problems : std::vector<std::string>()] {
      for (const std::string& why : problems) Report(why);
      if (!written) return ReportFailure(tr("Card not saved"), QString::fromStdString(written.message));
      Saved(file, /*card_itself=*/false);  // not the card's own file: quitting still asks about it
      QSettings().setValue(kFolderKey, Path(file.parent_path()));
    };
  });
  return true;
}

void MainWindow::CopyCard() {
  if (!has_card_ || busy()) return;
  QGuiApplication::clipboard()->setImage(SurfaceView::ToQImage(session_.card.image()));
  statusBar()->showMessage(tr("The card is on the clipboard."));
}

QMimeData* MainWindow::CardMimeData() {
  auto* data = new QMimeData;
  data->setImageData(SurfaceView::ToQImage(session_.card.image()));
  // The file lives as long as the window: the program it is dropped on may read it late.
  if (!drag_dir_) drag_dir_ = std::make_unique<QTemporaryDir>();
  const QString path = drag_dir_->filePath(SuggestedFileName());
  const Result<Bytes> png = CardBytes(ImageFormat::kPng);
  if (drag_dir_->isValid() && png && WriteFileSafely(path.toStdString(), *png)) data->setUrls({QUrl::fromLocalFile(path)});
  return data;
}

void MainWindow::StartDrag() {
  if (!has_card_ || busy()) return;
  auto* drag = new QDrag(surface(View::kCard));
  drag->setMimeData(CardMimeData());
  drag->setPixmap(QPixmap::fromImage(SurfaceView::ToQImage(session_.card.image())).scaledToWidth(160, Qt::SmoothTransformation));
  drag->exec(Qt::CopyAction);
}

void MainWindow::PrintCard(QPrinter* printer) {
  QPainter painter(printer);
  const QImage card = SurfaceView::ToQImage(session_.card.image());
  const QRect page = painter.viewport();
  const QSize fitted = card.size().scaled(page.size(), Qt::KeepAspectRatio);
  painter.setViewport(page.x() + (page.width() - fitted.width()) / 2, page.y() + (page.height() - fitted.height()) / 2,
                      fitted.width(), fitted.height());
  painter.setWindow(card.rect());
  painter.drawImage(0, 0, card);
}

void MainWindow::Print() {
  if (!has_card_ || busy()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(QPageLayout::Landscape);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted) PrintCard(&printer);
}

void MainWindow::OpenFolder() {
  if (last_saved_.isEmpty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(last_saved_).absolutePath()));
}

void MainWindow::ShowShortcuts() {
  QString rows;
  for (const QAction* a : actions_)
    if (!a->shortcut().isEmpty())
      rows += QString("<tr><td>%1</td><td>%2</td></tr>")
                  .arg(a->shortcut().toString(QKeySequence::NativeText).toHtmlEscaped(),
                       QString(a->text()).remove('&').toHtmlEscaped());
  QMessageBox box(QMessageBox::Information, tr("Keyboard Shortcuts"),
                  tr("<p>The buttons answer to Alt and their underlined letter, Tab moves between them "
                     "and Enter or Space presses the one in focus.</p>") +
                      "<table cellspacing=\"6\">" + rows + "</table>",
                  QMessageBox::Close, this);
  box.setObjectName("ShortcutsMessage");
  box.exec();
}

void MainWindow::ShowAbout() {
  QMessageBox::about(this, tr("About Mirelune"),
                     tr("<h3>Mirelune %1</h3><p>Generative-art new-year greeting cards from two names.</p>"
                        "<p>Released under the MIT licence.</p>"
                        "<p><a href=\"https://mirelune.art\">mirelune.art</a></p>")
                         .arg(QApplication::applicationVersion().toHtmlEscaped()));
}

void MainWindow::SendGreetings() {
  if (sending_ || !has_card_) return;
  const Result<std::filesystem::path> saved = SaveCardForMail(session_, LocalTimeNow());
  if (!saved) {
    ReportFailure(tr("Greetings not sent"), QString::fromStdString(saved.error().message));
    return;
  }
  last_saved_ = Path(*saved);
  unsaved_ = false;
  const std::optional<std::string> to = AskText(" ", "FRIEND'S E-MAIL ADDRESS", kDialogX, kDialogY);
  const std::optional<std::string> message = to ? AskText(" ", "MESSAGE TO FRIEND", kDialogX, kDialogY) : std::nullopt;
  if (!message) {
    statusBar()->showMessage(tr("Nothing was sent; the card is saved as %1.").arg(last_saved_));
    return;
  }
  const MailItem item{*to, " ", "greetings", *message, {*saved}};  // a blank copy line
  sending_ = true;
  cancel_send_ = false;
  statusBar()->showMessage(tr("Sending the card to %1 …").arg(QString::fromStdString(item.to)));
  mailer_ = std::thread([this, item] {
    const Result<> r = SendMailItem(item, &cancel_send_);
    // Back on the window's thread; dropped if the window is gone by then.
    QMetaObject::invokeMethod(this, [this, r] { SendFinished(r); }, Qt::QueuedConnection);
  });
}

void MainWindow::SendFinished(const Result<>& r) {
  if (mailer_.joinable()) mailer_.join();
  sending_ = false;
  if (ending_) return;
  Sync();
  if (r.ok) {
    statusBar()->showMessage(r.message.empty() ? tr("Greetings sent.") : QString::fromStdString(r.message));
  } else {
    ReportFailure(tr("Greetings not sent"), QString::fromStdString(r.message));
  }
}

void MainWindow::ReportFailure(const QString& title, const QString& text) {
  statusBar()->showMessage(text);
  // Not modal to the program: a running window must not wait on a message.
  auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
  box->setObjectName("FailureMessage");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

bool MainWindow::MayDiscardCard() {
  if (!unsaved_) return true;
  QMessageBox box(QMessageBox::Question, tr("Quit Mirelune"),
                  made_ ? tr("The card for %1 from %2 is not saved.")
                              .arg(QString::fromStdString(made_->spec.friend_name),
                                   QString::fromStdString(made_->spec.sender))
                        : tr("The card is not saved."),
                  QMessageBox::NoButton, this);
  box.setObjectName("QuitQuestion");
  box.setInformativeText(tr("Quit and lose it?"));
  QPushButton* save = box.addButton(tr("&Save As…"), QMessageBox::AcceptRole);
  QPushButton* quit = box.addButton(tr("&Quit without Saving"), QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == save) SaveAs();
  return box.clickedButton() == quit || (box.clickedButton() == save && !unsaved_);
}

void MainWindow::Quit() {
  // While a card is under way the program ends at once, as closing the window does.
  if (busy() || MayDiscardCard()) EndNow();
}

void MainWindow::EndNow() {
  if (ending_) return;
  ending_ = true;
  Stop();  // the card under way ends at its next step; the window waits for it when it goes
  if (end_action_) end_action_();
}

void MainWindow::Report(const std::string& message) {
  // Every card's report names what drew it; the user hears of a problem once.
  if (std::find(told_.begin(), told_.end(), message) != told_.end()) return;
  told_.push_back(message);
  std::cerr << "mirelune: " << message << "\n";
  auto* box = new QMessageBox(QMessageBox::Warning, kCaption, QString::fromStdString(message), QMessageBox::Ok, this);
  box->setObjectName("Report");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing the window ends the program, also in the middle of a card; a card
  // that is done and not saved is asked about first.
  if (!ending_ && !busy() && !MayDiscardCard()) return event->ignore();
  EndNow();
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_ && event->type() == QEvent::Resize) {
    LayOut();
  } else if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* b = qobject_cast<QPushButton*>(watched);
    if (b && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      b->click();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

bool LoadTranslations(const QLocale& locale, const QString& also_in) {
  static QTranslator* ours = nullptr;
  static QTranslator* qt = nullptr;
  for (QTranslator** t : {&ours, &qt}) {
    if (*t) QCoreApplication::removeTranslator(*t);
    delete *t;
    *t = new QTranslator(QCoreApplication::instance());
  }
  if (qt->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qt);
  const QString here = QCoreApplication::applicationDirPath();
  for (const QString& dir : {also_in, here, here + "/../share/mirelune/translations"})
    if (!dir.isEmpty() && ours->load(locale, "mirelune", "_", dir)) return QCoreApplication::installTranslator(ours);
  return false;
}

}  // namespace mirelune
