// main_window.cpp — buttons, menus, surfaces and the dispatch of presses to commands.
#include "window/main_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTranslator>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <tuple>

#include "card/card.h"
#include "commands/card_report.h"
#include "files/files.h"
#include "mail/mail.h"
#include "window/qt_host.h"
#include "window/surface_view.h"

namespace mirelune {
namespace {

// The client area the workbench needs (its widest button ends at 1001), and the
// margin right of and below the surfaces.
constexpr int kClientW = 1008, kMargin = 7;
// The smallest the surfaces are shown, as a share of their size.
constexpr double kSmallest = 0.25;

// Presses that neither draw nor save: they may run while a card is being made.
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

// Presses that put a new picture on the card, with the year the window shows.
bool MakesCard(Button b) {
  return b == Button::kNew || b == Button::kNewImage || b == Button::kLoop || b == Button::kLoopAndSave;
}

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

}  // namespace

int ComingNewYear(int year, int month) { return month >= 10 ? year + 1 : year; }

MainWindow::MainWindow(bool workbench, QWidget* parent)
    : QMainWindow(parent), host_(std::make_unique<QtHost>(this)), workbench_(workbench) {
  state_.host = host_.get();
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
  const std::array<std::tuple<View, const char*, const Surface*>, kViewCount> stack{{
      {View::kStrip, "strip", &state_.strip},
      {View::kEffectSource, "effectSource", &state_.effect_source},
      {View::kCanvas, "canvas", &state_.canvas},
      {View::kCard, "card", &state_.card},
      {View::kPlainPicture, "plainPicture", &state_.plain_picture},
  }};
  for (const auto& [v, name, surface] : stack) {
    auto* view = new SurfaceView(surface, form_);
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
  // The captions keep their classic look; the tooltips say where files really go.
  const auto describe = [this](Button b, const QString& text) {
    button(b)->setToolTip(text);
    button(b)->setAccessibleDescription(text);
  };
  describe(Button::kSave, tr("Saves the card as a bitmap in %1").arg(Path(OutputFolder())));
  describe(Button::kSendGreetings, tr("Saves the card in %1 and mails it to your friend").arg(Path(OutputFolder())));
  describe(Button::kArchiveSave, tr("Copies the card to %1 and %2 where those folders exist")
                                     .arg(Path(ArchivePathGroup()), Path(ArchivePathArtist())));
  describe(Button::kNew, tr("Asks for two names and makes their card"));
  describe(Button::kExit, tr("Ends the program"));
  form_->setMinimumSize((workbench_ ? kClientW : button(Button::kExit)->geometry().right() + kMargin),
                        kSurfaceTop + static_cast<int>(kSmallest * card_view->height()) + kMargin);
  form_->SetSizeHint({workbench_ ? kClientW : kSurfaceLeft + card_view->width() + kMargin,
                      kSurfaceTop + card_view->height() + kMargin});

  CreateActions();

  auto* year_label = new QLabel(tr("&Year:"), this);
  year_ = new QSpinBox(this);
  year_->setObjectName("year");
  year_->setRange(kFirstYear, kLastYear);
  year_->setAccessibleName(tr("Year"));
  year_->setAccessibleDescription(tr("The year the next card wishes a happy new year for"));
  year_label->setBuddy(year_);
  statusBar()->addPermanentWidget(year_label);
  statusBar()->addPermanentWidget(year_);
  const QSettings settings;
  const QDate today = QDate::currentDate();
  year_->setValue(settings.value(kYearKey, ComingNewYear(today.year(), today.month())).toInt());
  state_.names.year = year_->value();
  connect(year_, &QSpinBox::valueChanged, this, [this](int year) { SetYear(year, true); });
  card_view->setAccessibleName(tr("No card yet"));
  card_view->setAccessibleDescription(tr("Press New to make a card."));
  resize(sizeHint());  // the surfaces at their own size
}

MainWindow::~MainWindow() {
  // A send still under way is stopped: libcurl gives up within about a second.
  cancel_send_ = true;
  if (mailer_.joinable()) mailer_.join();
  state_.host = nullptr;
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
      {Action::kSaveAs, "actionSaveAs", tr("Save &As…"),
       Keys(QKeySequence::SaveAs, Qt::CTRL | Qt::SHIFT | Qt::Key_S), &MainWindow::SaveAs},
      {Action::kSend, "actionSend", tr("Sen&d…"), {}, nullptr},
      {Action::kCopy, "actionCopy", tr("&Copy"), Keys(QKeySequence::Copy, Qt::CTRL | Qt::Key_C), &MainWindow::CopyCard},
      {Action::kPrint, "actionPrint", tr("&Print…"), Keys(QKeySequence::Print, Qt::CTRL | Qt::Key_P), &MainWindow::Print},
      {Action::kOpenFolder, "actionOpenFolder", tr("&Open Folder"), {}, &MainWindow::OpenFolder},
      {Action::kQuit, "actionQuit", tr("&Quit"), Keys(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q), &MainWindow::Quit},
      {Action::kShortcuts, "actionShortcuts", tr("&Keyboard Shortcuts"),
       Keys(QKeySequence::HelpContents, Qt::Key_F1), &MainWindow::ShowShortcuts},
      {Action::kAbout, "actionAbout", tr("&About Mirelune"), {}, &MainWindow::ShowAbout},
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
  action(Action::kSave)->setStatusTip(tr("Saves the card as a bitmap in %1").arg(Path(OutputFolder())));
  action(Action::kOpenFolder)->setStatusTip(tr("Shows the folder of the card saved last"));

  QMenu* file = menuBar()->addMenu(tr("&File"));
  for (Action a : {Action::kSave, Action::kSaveAs, Action::kSend, Action::kPrint, Action::kOpenFolder}) file->addAction(action(a));
  file->addSeparator();
  file->addAction(action(Action::kQuit));
  QMenu* card = menuBar()->addMenu(tr("&Card"));
  card->addAction(action(Action::kNew));
  card->addAction(action(Action::kCopy));
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(action(Action::kShortcuts));
  help->addAction(action(Action::kAbout));
}

void MainWindow::Load() {
  show();
  if (!workbench_)
    for (Button b : kWorkbenchHideOrder) button(b)->setVisible(false);
  StartUp(state_);
  colour_caption_ = ColourModeCaption(state_.settings);
  Sync();
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
  const SurfaceView* card = surface(View::kCard);
  const int w = card->surface()->pixel_width(), h = card->surface()->pixel_height();
  const int room_w = form_->width() - kSurfaceLeft - kMargin - 2 * SurfaceView::kFrame;
  const int room_h = form_->height() - kSurfaceTop - kMargin - 2 * SurfaceView::kFrame;
  const double factor = std::max(kSmallest, std::min(static_cast<double>(room_w) / w, static_cast<double>(room_h) / h));
  for (SurfaceView* v : surfaces_)
    if (v) v->SetScale(factor);
}

QString MainWindow::statusText() const { return statusBar()->currentMessage(); }

void MainWindow::RefreshSurfaces() {
  for (SurfaceView* v : surfaces_)
    if (v && v->isVisible()) v->update();
}

void MainWindow::Sync() {
  button(Button::kColour)->setText(QString::fromStdString(colour_caption_));
  button(Button::kStyleLimit)->setText(QString::fromStdString(MaxStylesCaption(state_.settings)));
  button(Button::kEffectMode)->setText(QString::fromStdString(EffectModeCaption(state_.settings)));
  surface(View::kPlainPicture)->setVisible(state_.plain_picture.visible);
  const bool card_ready = has_card_ && !busy();
  for (const ButtonLayout& layout : kButtons) {
    const Button b = layout.button;
    const bool needs_card = b == Button::kSave || b == Button::kSendGreetings;
    button(b)->setEnabled((!busy() || RunsAnyTime(b)) && !(b == Button::kSendGreetings && sending_) &&
                          (card_ready || !needs_card));
  }
  action(Action::kNew)->setEnabled(!busy());
  for (Action a : {Action::kSave, Action::kSaveAs, Action::kCopy, Action::kPrint}) action(a)->setEnabled(card_ready);
  action(Action::kSend)->setEnabled(card_ready && !sending_);
  action(Action::kOpenFolder)->setEnabled(!last_saved_.isEmpty());
  year_->setEnabled(!busy());
  SurfaceView* card = surface(View::kCard);
  card->SetDragEnabled(card_ready);
  if (made_) {
    const QString friend_name = QString::fromStdString(state_.names.friend_name);
    const QString sender = QString::fromStdString(state_.names.own_name);
    setWindowTitle(tr("%1 from %2 — Mirelune").arg(friend_name, sender));
    card->setAccessibleName(tr("Greeting card for %1 from %2").arg(friend_name, sender));
    card->setAccessibleDescription(QString::fromStdString(GreetingLine(state_.names)));
  } else if (has_card_) {
    setWindowTitle(kCaption);
    card->setAccessibleName(tr("Picture without names"));
    card->setAccessibleDescription(QString());
  }
  RefreshSurfaces();
}

void MainWindow::Press(Button b) {
  if (ending_) return;
  const bool any_time = RunsAnyTime(b);
  if (busy() && !any_time) return;  // a card is under way
  const int card_year = state_.names.year;
  if (MakesCard(b)) state_.names.year = year_->value();  // a new card wishes for the year shown
  if (!any_time) {
    ++busy_;
    statusBar()->clearMessage();  // the last command's news is old now
    QApplication::setOverrideCursor(Qt::BusyCursor);
  }
  Sync();
  try {
    if (!Run(b)) state_.names.year = card_year;  // "new" cancelled: the card keeps its year
  } catch (const WindowClosing&) {
    EndNow();
  } catch (const std::exception& e) {
    ReportFailure(kCaption, tr("The command failed: %1").arg(e.what()));
  }
  if (!any_time) {
    QApplication::restoreOverrideCursor();
    --busy_;
  }
  if (!ending_) Sync();
}

void MainWindow::CardChanged(bool made_from_names) {
  if (!made_from_names) made_.reset();
  has_card_ = true;
  unsaved_ = true;
  // Focus on the card, never on "exit", whose Space would end the program.
  surface(View::kCard)->setFocus(Qt::OtherFocusReason);
}

void MainWindow::Saved(const std::filesystem::path& path) {
  last_saved_ = Path(path);
  unsaved_ = false;
  statusBar()->showMessage(tr("Saved %1").arg(last_saved_));
}

bool MainWindow::Run(Button b) {
  State& s = state_;
  std::optional<NewCard> made;
  switch (b) {
    case Button::kLoop:
      CommandLoop(s);
      CardChanged(false);
      break;
    case Button::kExit:
      // While a card is under way the program ends at once, as closing the window does.
      if (CommandExit(s) == Next::kEndProgram && (busy() || MayDiscardCard())) EndNow();
      break;
    case Button::kSave: {
      const SaveResult r = CommandSaveCard(s, saved_);
      if (r.ok) {
        Saved(r.path);
      } else {
        ReportFailure(tr("Card not saved"), QString::fromStdString(r.message));
      }
      break;
    }
    case Button::kStop: CommandStop(s); break;
    case Button::kNew:
      made = CommandNew(s);
      if (!made) return false;
      made_ = std::move(made);
      CardChanged(true);
      break;
    case Button::kNewImage:
      CommandNewImage(s);
      CardChanged(false);
      break;
    case Button::kDefPlus:
      CommandDefPlus(s);
      CardChanged(false);
      break;
    case Button::kArchiveSave: {
      const auto written = CommandArchiveSave(s);
      QStringList paths;
      for (const auto& p : written) paths << Path(p);
      if (!paths.isEmpty()) statusBar()->showMessage(tr("Saved %1").arg(paths.join(tr(" and "))));
      break;
    }
    case Button::kPalette:
      if (std::optional<std::string> caption = CommandPalette(s)) colour_caption_ = std::move(*caption);
      CardChanged(false);  // its swatches are on the card
      break;
    case Button::kNewPalette: CommandNewPalette(s); break;
    case Button::kColour:
      CommandColor(s);
      colour_caption_ = ColourModeCaption(s.settings);
      break;
    case Button::kStyleLimit: break;  // its caption only shows the style limit
    case Button::kMoreStyles: CommandMoreStyles(s); break;
    case Button::kFewerStyles: CommandFewerStyles(s); break;
    case Button::kLoopAndSave: {
      const LoopSaveResult r = CommandLoopAndSave(s, saved_, [this](const SaveResult& saved, int cards) {
        last_saved_ = Path(saved.path);
        statusBar()->showMessage(tr("%1 (card %2 of %3)")
                                     .arg(QString::fromStdString(saved.message))
                                     .arg(cards)
                                     .arg(kLoopSaveLimit));
      });
      CardChanged(false);
      unsaved_ = !r.ok;
      if (r.next == Next::kEndProgram)
        EndNow();
      else if (!r.ok)
        ReportFailure(tr("Loop with saving stopped"), QString::fromStdString(r.message));
      break;
    }
    case Button::kFlipHorizontal:
    case Button::kFlipVertical:
      if (b == Button::kFlipHorizontal) CommandFlipHorizontal(s);
      else CommandFlipVertical(s);
      // The names stay; the report no longer tells how this card was made.
      if (made_) made_->stats = {}, made_->settings = {};
      CardChanged(true);
      break;
    case Button::kEffectMode: CommandLinePix(s); break;
    case Button::kPlainPicture: CommandPlainPicture(s); break;
    case Button::kSendGreetings: SendGreetings(); break;
  }
  return true;
}

QString MainWindow::SuggestedFileName() const {
  QString name = made_ ? tr("%1 from %2").arg(QString::fromStdString(state_.names.friend_name),
                                              QString::fromStdString(state_.names.own_name))
                       : QString::fromStdString(state_.names.image_name);
  // Not a path, nor a hidden file, whatever the names hold.
  for (QChar& c : name)
    if (c == '/' || c == '\\' || c.category() == QChar::Other_Control) c = '_';
  while (name.startsWith('.')) name.remove(0, 1);
  if (name.trimmed().isEmpty()) name = kCaption;
  return name.left(120) + ".png";
}

Result<Bytes> MainWindow::CardBytes(ImageFormat format) const {
  PngText text;
  text.software = "Mirelune " + VersionText();
  // The report tells how the card was made, and so only while it is that card.
  if (made_ && made_->stats.total > 0) text = CardPngText(state_, CardReport(state_, made_->stats, made_->settings));
  return EncodeImage(state_.card.image(), format, &text);
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
  return {};
}

void MainWindow::SaveAs() {
  if (!has_card_ || busy()) return;
  QString folder = QSettings().value(kFolderKey).toString();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
    folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QDir().mkpath(folder);
  }
  QFileDialog dialog(this, tr("Save the Card As"), folder);
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

void MainWindow::CopyCard() {
  if (!has_card_ || busy()) return;
  QGuiApplication::clipboard()->setImage(SurfaceView::ToQImage(state_.card.image()));
  statusBar()->showMessage(tr("The card is on the clipboard."));
}

QMimeData* MainWindow::CardMimeData() {
  auto* data = new QMimeData;
  data->setImageData(SurfaceView::ToQImage(state_.card.image()));
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
  drag->setPixmap(QPixmap::fromImage(SurfaceView::ToQImage(state_.card.image())).scaledToWidth(160, Qt::SmoothTransformation));
  drag->exec(Qt::CopyAction);
}

void MainWindow::PrintCard(QPrinter* printer) {
  QPainter painter(printer);
  const QImage card = SurfaceView::ToQImage(state_.card.image());
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
  MailItem item;
  const SaveResult saved = SaveCardForMail(state_);  // the card first, then address and message
  const AskLine ask = [this](const std::string& title, int x, int y) { return state_.host->InputBox(" ", title, x, y); };
  const Result<> asked = saved ? AskGreetings(saved.path, state_.host ? ask : AskLine(), &item) : Result<>(saved);
  if (!asked) {
    ReportFailure(tr("Greetings not sent"), QString::fromStdString(asked.message));
    return;
  }
  if (!item.attachments.empty()) last_saved_ = Path(item.attachments.front());
  unsaved_ = false;
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
                              .arg(QString::fromStdString(state_.names.friend_name),
                                   QString::fromStdString(state_.names.own_name))
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
  if (busy() || MayDiscardCard()) {
    state_.settings.loop_running = 0;
    EndNow();
  }
}

void MainWindow::EndNow() {
  if (ending_) return;
  ending_ = true;
  // A command running further out stops at its next LetEventsIn; this one is over.
  if (end_action_) end_action_();
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
