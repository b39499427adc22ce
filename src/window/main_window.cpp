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
bool RunsAnyTime(int number) {
  switch (number) {
    case 2:   // exit
    case 4:   // stop
    case 12:  // shows the style limit
    case 13:  // +
    case 14:  // --
    case 19:  // plain picture view
      return true;
    default:
      return false;
  }
}

QString Path(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

MainWindow::MainWindow(bool workbench, QWidget* parent)
    : QMainWindow(parent), host_(std::make_unique<QtHost>(this)), workbench_(workbench) {
  state_.host = host_.get();
  setWindowTitle(kCaption);
  end_action_ = [] { QCoreApplication::exit(0); };

  form_ = new FormSurface(this);
  form_->setObjectName("Form1");
  form_->setFixedSize(kClientW, kClientH);
  QFont small = form_->font();
  small.setPixelSize(11);
  form_->setFont(small);
  setCentralWidget(form_);

  // Back to front: strip, effect_source, canvas, card, plain_picture (Picture5 has no role).
  const std::array<std::pair<int, const Surface*>, 5> stack{{{3, &state_.strip},
                                                             {2, &state_.effect_source},
                                                             {1, &state_.canvas},
                                                             {4, &state_.card},
                                                             {6, &state_.plain_picture}}};
  for (const auto& [number, surface] : stack) {
    auto* view = new SurfaceView(surface, form_);
    view->setObjectName(QString("Picture%1").arg(number));
    view->move(kSurfaceLeft, kSurfaceTop);
    view->raise();
    surfaces_[number] = view;
  }

  for (const ButtonLayout& layout : kButtons) {
    auto* b = new QPushButton(QString::fromUtf8(layout.caption), form_);
    b->setObjectName(QString("Command%1").arg(layout.number));
    b->setGeometry(layout.left, layout.top, layout.width, kButtonHeight);
    b->setFocusPolicy(Qt::TabFocus);
    const int number = layout.number;
    connect(b, &QPushButton::clicked, this, [this, number] { Press(number); });
    buttons_[number] = b;
  }
  // The captions keep their Windows look; the tooltips say where files really go.
  buttons_[3]->setToolTip("Saves the card as a bitmap in " + Path(OutputFolder()));
  buttons_[20]->setToolTip("Saves the card in " + Path(OutputFolder()) + " and mails it to your friend");
  buttons_[8]->setToolTip("Copies the card to " + Path(ArchivePathGroup()) + " and " + Path(ArchivePathArtist()) +
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
    for (int number : kWorkbenchHideOrder) buttons_[number]->setVisible(false);
  StartUp(state_);
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
  form_->setFixedSize(kClientW, rest + surfaces_[1]->height());
}

QString MainWindow::statusText() const { return statusBar()->currentMessage(); }

void MainWindow::RefreshSurfaces() {
  for (SurfaceView* v : surfaces_)
    if (v && v->isVisible()) v->update();
}

void MainWindow::Sync() {
  buttons_[11]->setText(QString::fromStdString(state_.colour_mode_caption));
  buttons_[12]->setText(QString::fromStdString(state_.max_styles_caption));
  buttons_[18]->setText(QString::fromStdString(state_.effect_mode_caption));
  surfaces_[6]->setVisible(state_.plain_picture.visible);
  year_->setText(QString("Greetings for %1").arg(state_.names.year));
  for (const ButtonLayout& layout : kButtons)
    buttons_[layout.number]->setEnabled((!busy() || RunsAnyTime(layout.number)) && !(layout.number == 20 && sending_));
  RefreshSurfaces();
}

void MainWindow::Press(int number) {
  if (ending_) return;
  const bool any_time = RunsAnyTime(number);
  if (busy() && !any_time) return;  // a card is under way
  if (!any_time) {
    ++busy_;
    statusBar()->clearMessage();  // the last command's news is old now
  }
  Sync();
  try {
    Run(number);
  } catch (const WindowClosing&) {
    EndNow();
  } catch (const std::exception& e) {
    ReportFailure("Mirelune", QString("The command failed: %1").arg(e.what()));
  }
  if (!any_time) --busy_;
  if (!ending_) Sync();
}

void MainWindow::Run(int number) {
  State& s = state_;
  switch (number) {
    case 1: CommandLoop(s); break;
    case 2:
      if (CommandExit(s) == Next::kEndProgram) EndNow();
      break;
    case 3: {
      const SaveResult r = CommandSaveCard(s, saved_);
      if (r.ok) {
        statusBar()->showMessage(QString::fromStdString(r.message));
      } else {
        ReportFailure("Card not saved", QString::fromStdString(r.message));
      }
      break;
    }
    case 4: CommandStop(s); break;
    case 5: CommandNew(s); break;
    case 6: CommandNewImage(s); break;
    case 7: CommandDefPlus(s); break;
    case 8: {
      const auto written = CommandArchiveSave(s);
      QStringList paths;
      for (const auto& p : written) paths << Path(p);
      if (!paths.isEmpty()) statusBar()->showMessage("Saved " + paths.join(" and "));
      break;
    }
    case 9: CommandPalette(s); break;
    case 10: CommandNewPalette(s); break;
    case 11: CommandColor(s); break;
    case 12: break;  // its caption only shows the style limit
    case 13: CommandMoreStyles(s); break;
    case 14: CommandFewerStyles(s); break;
    case 15: {
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
    case 16: CommandFlipHorizontal(s); break;
    case 17: CommandFlipVertical(s); break;
    case 18: CommandLinePix(s); break;
    case 19: CommandPlainPicture(s); break;
    case 20: SendGreetings(); break;
    default: break;
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
