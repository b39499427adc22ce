// qt_host.cpp — dialogs, events and progress marks for the engine.
#include "window/qt_host.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

#include "window/main_window.h"
#include "window/surface_view.h"

namespace mirelune {
namespace {

// Often enough for the card to grow visibly, rarely enough to cost nothing.
constexpr qint64 kRefreshMs = 40;

}  // namespace

std::string QtHost::InputBox(const std::string& prompt, const std::string& title, int x, int y) {
  if (window_->ending()) throw WindowClosing{};
  // What the engine has drawn so far (the chooser's swatches) is seen behind the dialog.
  window_->RefreshSurfaces();
  QInputDialog dialog(window_);
  dialog.setObjectName("InputBox");
  dialog.setInputMode(QInputDialog::TextInput);
  const QString shown_title = title.empty() ? QString(MainWindow::kCaption) : QString::fromStdString(title);
  const QString label = QString::fromStdString(prompt).replace(QChar('\r'), QChar('\n'));
  dialog.setWindowTitle(shown_title);
  dialog.setLabelText(label.trimmed().isEmpty() ? shown_title : label);
  dialog.setAccessibleName(dialog.labelText());
  dialog.setTextValue(QString());
  dialog.move(x, y);
  // The pointer is the user's while a dialog asks, even in the middle of a command.
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  QGuiApplication::restoreOverrideCursor();
  if (window_->ending()) throw WindowClosing{};
  cancelled_ = !accepted;
  return accepted ? dialog.textValue().toStdString() : std::string();
}

void QtHost::LetEventsIn() {
  if (!since_refresh_.isValid() || since_refresh_.elapsed() >= kRefreshMs) {
    window_->RefreshSurfaces();
    since_refresh_.restart();
  }
  QCoreApplication::processEvents();
  if (window_->ending()) throw WindowClosing{};
}

void QtHost::ClearProgress() { window_->form()->Clear(); }

void QtHost::MoveProgressCursor(double x, double y) { window_->form()->SetPos(x, y); }

void QtHost::PrintProgress(std::string_view text) {
  window_->form()->Print(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtHost::Report(std::string_view message) {
  Host::Report(message);
  auto* box = new QMessageBox(QMessageBox::Warning, MainWindow::kCaption,
                              QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())),
                              QMessageBox::Ok, window_);
  box->setObjectName("Report");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

}  // namespace mirelune
