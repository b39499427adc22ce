// main_window.cpp — buttons, surfaces and the dispatch of presses to commands.
#include "window/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>
#include <exception>
#include <optional>
#include <tuple>

#include "commands/commands.h"
#include "mail/mail.h"
#include "files/files.h"
#include "window/qt_host.h"
#include "window/surface_view.h"

namespace mirelune {
namespace {

// The client area the controls need (the widest button ends at 1001, the
// surfaces at 731), with a small margin.
constexpr int kClientW = 1008, kClientH = 738;

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

std::size_t Index(Button b) { return static_cast<std::size_t>(b); }

QString Path(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

MainWindow::MainWindow(bool workbench, QWidget* parent)
    : QMainWindow(parent), host_(std::make_unique<QtHost>(this)), workbench_(workbench) {
  state_.host = host_.get();
  setWindowTitle(kCaption);
  end_action_ = [] { QCoreApplication::exit(0); };

  form_ = new FormSurface(this);
  form_->setObjectName("clientArea");
  form_->setFixedSize(kClientW, kClientH);
  QFont small = form_->font();
  small.setPixelSize(11);
  form_->setFont(small);
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

  for (const ButtonLayout& layout : kButtons) {
    auto* b = new QPushButton(QString::fromUtf8(layout.caption), form_);
    b->setObjectName(layout.name);
    b->setGeometry(layout.left, layout.top, layout.width, kButtonHeight);
    b->setFocusPolicy(Qt::TabFocus);
    const Button pressed = layout.button;
    connect(b, &QPushButton::clicked, this, [this, pressed] { Press(pressed); });
    buttons_[Index(layout.button)] = b;
  }
  // The captions keep their classic look; the tooltips say where files really go.
  button(Button::kSave)->setToolTip("Saves the card as a bitmap in " + Path(OutputFolder()));
  button(Button::kSendGreetings)->setToolTip("Saves the card in " + Path(OutputFolder()) + " and mails it to your friend");
  button(Button::kArchiveSave)->setToolTip("Copies the card to " + Path(ArchivePathGroup()) + " and " + Path(ArchivePathArtist()) +
                          " where those folders exist");

  statusBar()->setSizeGripEnabled(false);
  year_ = new QLabel(this);
  year_->setObjectName("Year");
  statusBar()->addPermanentWidget(year_);
}

MainWindow::~MainWindow() {
  // A send still under way is stopped: libcurl gives up within about a second.
  cancel_send_ = true;
  if (mailer_.joinable()) mailer_.join();
  state_.host = nullptr;
}

void MainWindow::Load() {
  show();
  if (!workbench_)
    for (Button b : kWorkbenchHideOrder) button(b)->setVisible(false);
  StartUp(state_);
  colour_caption_ = ColourModeCaption(state_.settings);
  Sync();
}

void MainWindow::FitToScreen(const QRect& available) {
  // Room for the title bar the window manager adds, which is not known before showing.
  constexpr int kTitleBar = 40;
  const int chrome = kTitleBar + statusBar()->sizeHint().height();
  const int view_h = state_.canvas.pixel_height() + 2 * SurfaceView::kFrame;
  const int rest = kClientH - view_h;  // the buttons above the surfaces, the margin below
  const double factor = std::clamp(static_cast<double>(available.height() - chrome - rest) / view_h, 0.25, 1.0);
  if (factor >= 1) return;
  for (SurfaceView* v : surfaces_)
    if (v) v->SetScale(factor);
  form_->setFixedSize(kClientW, rest + surface(View::kCanvas)->height());
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
  year_->setText(QString("Greetings for %1").arg(state_.names.year));
  for (const ButtonLayout& layout : kButtons)
    button(layout.button)
        ->setEnabled((!busy() || RunsAnyTime(layout.button)) && !(layout.button == Button::kSendGreetings && sending_));
  RefreshSurfaces();
}

void MainWindow::Press(Button b) {
  if (ending_) return;
  const bool any_time = RunsAnyTime(b);
  if (busy() && !any_time) return;  // a card is under way
  if (!any_time) {
    ++busy_;
    statusBar()->clearMessage();  // the last command's news is old now
  }
  Sync();
  try {
    Run(b);
  } catch (const WindowClosing&) {
    EndNow();
  } catch (const std::exception& e) {
    ReportFailure("Mirelune", QString("The command failed: %1").arg(e.what()));
  }
  if (!any_time) --busy_;
  if (!ending_) Sync();
}

void MainWindow::Run(Button b) {
  State& s = state_;
  switch (b) {
    case Button::kLoop: CommandLoop(s); break;
    case Button::kExit:
      if (CommandExit(s) == Next::kEndProgram) EndNow();
      break;
    case Button::kSave: {
      const SaveResult r = CommandSaveCard(s, saved_);
      if (r.ok) {
        statusBar()->showMessage(QString::fromStdString(r.message));
      } else {
        ReportFailure("Card not saved", QString::fromStdString(r.message));
      }
      break;
    }
    case Button::kStop: CommandStop(s); break;
    case Button::kNew: CommandNew(s); break;
    case Button::kNewImage: CommandNewImage(s); break;
    case Button::kDefPlus: CommandDefPlus(s); break;
    case Button::kArchiveSave: {
      const auto written = CommandArchiveSave(s);
      QStringList paths;
      for (const auto& p : written) paths << Path(p);
      if (!paths.isEmpty()) statusBar()->showMessage("Saved " + paths.join(" and "));
      break;
    }
    case Button::kPalette:
      if (std::optional<std::string> caption = CommandPalette(s)) colour_caption_ = std::move(*caption);
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
        statusBar()->showMessage(QString("%1 (card %2 of %3)")
                                     .arg(QString::fromStdString(saved.message))
                                     .arg(cards)
                                     .arg(kLoopSaveLimit));
      });
      if (r.next == Next::kEndProgram)
        EndNow();
      else if (!r.ok)
        ReportFailure("Loop with saving stopped", QString::fromStdString(r.message));
      break;
    }
    case Button::kFlipHorizontal: CommandFlipHorizontal(s); break;
    case Button::kFlipVertical: CommandFlipVertical(s); break;
    case Button::kEffectMode: CommandLinePix(s); break;
    case Button::kPlainPicture: CommandPlainPicture(s); break;
    case Button::kSendGreetings: SendGreetings(); break;
  }
}

void MainWindow::SendGreetings() {
  if (sending_) return;
  MailItem item;
  const Result<> asked = AskGreetings(state_, &item);  // saves the card, asks address and message
  if (!asked) {
    ReportFailure("Greetings not sent", QString::fromStdString(asked.message));
    return;
  }
  sending_ = true;
  cancel_send_ = false;
  statusBar()->showMessage(QString("Sending the card to %1 ...").arg(QString::fromStdString(item.to)));
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
    statusBar()->showMessage(r.message.empty() ? QString("Greetings sent.") : QString::fromStdString(r.message));
  } else {
    ReportFailure("Greetings not sent", QString::fromStdString(r.message));
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

void MainWindow::EndNow() {
  if (ending_) return;
  ending_ = true;
  // A command running further out stops at its next LetEventsIn; this one is over.
  if (end_action_) end_action_();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing the window ends the program, also in the middle of a card.
  EndNow();
  event->accept();
}

}  // namespace mirelune
