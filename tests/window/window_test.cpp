// The window on the offscreen platform: the layout, the buttons' and menus'
// wiring, "new" from its dialogs to the saved card (the command line's file),
// presses while a card is being made on the worker, stopping it, what is asked
// before quitting, settings, translations and what a screen reader is told.
#include <QtTest>
#include <QtWidgets>
#include <QPrinter>
#include <chrono>
#include <memory>

#include "card/card.h"
#include "commands/commands.h"
#include "files/files.h"
#include "palette/palette.h"
#include "window/main_window.h"
#include "window/surface_view.h"

using namespace mirelune;
using namespace std::chrono_literals;

namespace {

const QString kCancel = QStringLiteral("\x1b<cancel>");
QtMessageHandler g_previous_handler = nullptr;

// The offscreen platform warns about size hints for every dialog it shows.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (!message.contains("propagateSizeHints") && g_previous_handler) g_previous_handler(type, context, message);
}

// Answers the dialogs as they open, as a user would: the answer typed and OK
// pressed, or Cancel for kCancel; records what each showed and where ("label |
// title | x,y"). The New Card dialog takes "friend|sender|year|wish" (the fields it
// leaves out keep what the dialog offered) and records "New Card | sender
// offered | its centre | the wish's placeholder and longest"; the Own Words
// dialog takes the words and records "Own Words | placeholder | the words offered";
// Print PDF takes "paper index|crop marks 0 or 1" and records the paper offered,
// Export the path and records the name offered. A dialog beyond the script ends
// the run at once: nothing can ask forever.
class DialogScript : public QObject {
 public:
  QStringList seen;

  explicit DialogScript(QStringList answers) : answers_(std::move(answers)) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (auto* card = qobject_cast<QDialog*>(QApplication::activeModalWidget());
          card && card->objectName() == "NewCardDialog" && card->isVisible())
        return AnswerNewCard(card);
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()); dialog && dialog->isVisible() &&
          (dialog->objectName() == "PrintPageDialog" || dialog->objectName() == "ExportDialog"))
        return AnswerExport(dialog);
      auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      if (dialog->objectName() == "WordsDialog") return AnswerWords(dialog);
      const QString where = QString(" | %1,%2").arg(dialog->x()).arg(dialog->y());
      seen.append(dialog->labelText() + " | " + dialog->windowTitle() + where);
      if (answers_.isEmpty()) qFatal("a dialog the script has no answer for: %s", qPrintable(dialog->labelText()));
      const QString answer = answers_.takeFirst();
      if (answer == kCancel) return dialog->reject();
      QTest::keyClicks(dialog->findChild<QLineEdit*>(), answer);
      dialog->accept();
    });
    timer_.start(5);
  }

 private:
  void AnswerNewCard(QDialog* dialog) {
    auto* sender = dialog->findChild<QLineEdit*>("senderName");
    const QPoint centre = dialog->geometry().center();
    auto* wish = dialog->findChild<QLineEdit*>("wish");
    seen.append(QString("New Card | %1 | %2,%3 | %4 %5")
                    .arg(sender->text()).arg(centre.x()).arg(centre.y()).arg(wish->placeholderText()).arg(wish->maxLength()));
    const QStringList fields = answers_.isEmpty() ? QStringList() : answers_.takeFirst().split('|');
    if (fields.value(0) == kCancel || fields.isEmpty()) return dialog->reject();
    const char* names[] = {"friendName", "senderName", "cardYear", "wish"};
    for (int k = 0; k < fields.size(); ++k) {
      if (auto* line = dialog->findChild<QLineEdit*>(names[k])) line->setText(fields[k]);
      if (auto* year = dialog->findChild<QSpinBox*>(names[k])) year->setValue(fields[k].toInt());
    }
    auto* make = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    if (make->isEnabled()) make->click();
    else seen.append("refused"), dialog->reject();
  }

  void AnswerExport(QDialog* dialog) {
    if (answers_.isEmpty()) qFatal("the %s has no answer", qPrintable(dialog->objectName()));
    const QString answer = answers_.takeFirst();
    if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
      seen.append("Export | " + files->selectedFiles().value(0).section('/', -1));
      files->selectFile(answer);
    } else {
      auto* paper = dialog->findChild<QComboBox*>("paper");
      seen.append("Print PDF | " + paper->currentText());
      paper->setCurrentIndex(answer.section('|', 0, 0).toInt());
      dialog->findChild<QCheckBox*>("cropMarks")->setChecked(answer.section('|', 1) == "1");
    }
    dialog->accept();
  }

  void AnswerWords(QInputDialog* dialog) {
    auto* wish = dialog->findChild<QLineEdit*>("wish");
    seen.append(QString("Own Words | %1 | %2").arg(wish->placeholderText(), dialog->textValue()));
    if (answers_.isEmpty()) qFatal("the Own Words dialog has no answer");
    const QString answer = answers_.takeFirst();
    if (answer == kCancel) return dialog->reject();
    wish->setText(answer);
    dialog->accept();
  }

  QStringList answers_;
  QTimer timer_;
};

// Presses the button captioned `caption` on the next message box that opens
// modally; gives up after a few seconds, when nothing asked.
std::shared_ptr<int> ClickOnNextMessage(const QString& caption) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, caption] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QAbstractButton* button = nullptr;
    for (QAbstractButton* b : box ? box->buttons() : QList<QAbstractButton*>())
      if (b->text() == caption) button = b;
    if (button || ++*tries > 600) timer->stop(), timer->deleteLater();
    if (button) *tries = -1, button->click();
  });
  timer->start(5);
  return tries;  // -1 once clicked
}

QString Spoken(QObject* o, QAccessible::Text what = QAccessible::Name) {
  return QAccessible::queryAccessibleInterface(o)->text(what);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir root_;
  std::unique_ptr<MainWindow> window_;
  bool ended_ = false;

  MainWindow& Start(bool workbench) {
    window_ = std::make_unique<MainWindow>(workbench);
    ended_ = false;
    window_->setEndAction([this] { ended_ = true; });
    window_->Load();
    return *window_;
  }
  QString Folder() const { return QString::fromStdString(OutputFolder().string()); }
  // Waits for the job under way; a minute at most, so a stuck card fails instead of hanging.
  static bool Idle(MainWindow& w) { return QTest::qWaitFor([&] { return !w.busy(); }, 60000); }

 private slots:
  void initTestCase() {
    g_previous_handler = qInstallMessageHandler(QuietOffscreen);
    QVERIFY(root_.isValid());
    qputenv("MIRELUNE_ROOT", root_.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", root_.filePath("config").toUtf8());  // the settings
  }
  void cleanup() { window_.reset(); }

  // The layout as it starts, then the workbench buttons reaching their commands
  // (the bounds are the engine tests'), the palette chooser among them.
  void theButtonsStandAndReachTheirCommands() {
    MainWindow& w = Start(false);
    QCOMPARE(w.windowTitle(), QString("Mirelune"));
    // Hidden buttons show their settings' start values.
    QCOMPARE(w.button(Button::kColour)->text() + w.button(Button::kStyleLimit)->text() + w.button(Button::kEffectMode)->text(),
             QString("ba=015line"));
    QVERIFY(QDir(Folder()).exists());
    // At (24, 56): the strip behind the card, the plain picture hidden in front.
    SurfaceView *strip = w.surface(View::kStrip), *card_view = w.surface(View::kCard), *plain = w.surface(View::kPlainPicture);
    QVERIFY(card_view->geometry() == QRect(24, 56, 900, 675) && strip->geometry() == QRect(24, 56, 25, 675));
    const QObjectList z = w.form()->children();
    QVERIFY(z.indexOf(strip) < z.indexOf(card_view) && z.indexOf(card_view) < z.indexOf(plain));
    QVERIFY(card_view->isVisible() && !plain->isVisible());
    // No card yet: a sample card, its greeting on the pale band, and the prompt above it.
    QVERIFY(QTest::qWaitFor([&] { return w.hasSample(); }, 60000) && !w.busy() && !w.hasCard());
    const QImage first = card_view->grab().toImage();
    QSet<QRgb> colours;
    for (int y = 2; y < 600; y += 7)
      for (int x = 2; x < 898; x += 7) colours.insert(first.pixel(x, y));
    QVERIFY2(colours.size() > 300 && first.pixel(2 + 8, 2 + 650) == qRgb(250, 250, 150), qPrintable(QString::number(colours.size())));
    QVERIFY(w.prompt()->isVisible() && w.prompt()->geometry().bottom() < card_view->y());
    for (const ButtonLayout& b : kButtons)  // every button says what it does
      QVERIFY2(w.button(b.button)->toolTip().size() > 10, b.name);
    // What a screen reader hears, and what may be done before a card exists.
    QCOMPARE(QAccessible::queryAccessibleInterface(card_view)->role(), QAccessible::Graphic);
    QCOMPARE(Spoken(card_view) + "|" + Spoken(w.yearBox()) + "|" + Spoken(w.button(Button::kFewerStyles)),
             QString("No card yet|Year|Fewer styles per card"));
    const struct { Action action; const char* keys; bool enabled; } actions[] = {
        {Action::kNew, "Ctrl+N", true},      {Action::kSave, "Ctrl+S", false},  {Action::kSaveAs, "Ctrl+Shift+S", false},
        {Action::kSend, "", false},          {Action::kCopy, "Ctrl+C", false},  {Action::kPrint, "Ctrl+P", false},
        {Action::kOpenFolder, "", false},    {Action::kQuit, "Ctrl+Q", true},   {Action::kStop, "Esc", false},
        {Action::kShortcuts, "F1", true},    {Action::kAbout, "", true},       {Action::kOpen, "Ctrl+O", true}};
    for (const auto& a : actions)
      QVERIFY2(w.action(a.action)->shortcut().toString() == a.keys && w.action(a.action)->isEnabled() == a.enabled,
               qPrintable(w.action(a.action)->objectName()));
    QVERIFY(!w.button(Button::kSave)->isEnabled() && !w.button(Button::kSendGreetings)->isEnabled());

    MainWindow& bench = Start(true);
    QString shown;  // what the pressed button (or the style limit) shows after each press
    for (Button b : {Button::kColour, Button::kFewerStyles, Button::kMoreStyles, Button::kMoreStyles, Button::kEffectMode}) {
      bench.button(b)->click();
      shown += bench.button(b == Button::kMoreStyles || b == Button::kFewerStyles ? Button::kStyleLimit : b)->text() + " ";
    }
    QCOMPARE(shown, QString("ba=1 14 15 16 pix "));
    bench.button(Button::kPlainPicture)->click();
    QVERIFY(bench.surface(View::kPlainPicture)->isVisible());
    DialogScript script({"27", kCancel, "5.0", "0"});  // the chooser; what it asks is the engine tests'
    bench.button(Button::kPalette)->click();
    QVERIFY(script.seen.size() == 3 && bench.button(Button::kColour)->text() == "ba=5.0");  // as typed
    bench.button(Button::kPalette)->click();  // 0 leaves the caption
    QVERIFY(script.seen.size() == 4 && bench.button(Button::kColour)->text() == "ba=5.0");
    // Its swatches are on the card: palette 3, colour 2 has blue 255.
    const auto& card = bench.session().card;
    const int x = static_cast<int>(card.PixelX(45)), y = static_cast<int>(card.PixelY(57));
    QCOMPARE(qBlue(bench.surface(View::kCard)->grab().toImage().pixel(x + 2, y + 2)), 255);
  }

  // "new": Cancel on either dialog keeps what was there; then the dialogs (a name
  // too long is asked again), the command line's card for the same names and
  // year, shown, marked, named, saved in every format; a failed save keeps it.
  void newMakesTheCommandLinesCardAndSavesIt() {
    MainWindow& w = Start(false);
    w.SetYear(2031, true);
    for (QString answer : {kCancel, QString("Ann| ")}) {  // a blank name is no name
      DialogScript script({answer});
      w.button(Button::kNew)->click();
      QVERIFY(!w.hasCard() && !w.busy() && w.session().names.friend_name.empty() && w.session().names.year != 2031);
      QVERIFY(!w.action(Action::kSaveAs)->isEnabled() && w.windowTitle() == "Mirelune");
      if (answer != kCancel) QCOMPARE(script.seen.value(1), QString("refused"));
    }
    // The names (the year offered is the Year box's), then mail twice.
    DialogScript script({"Mary|Bob", "mary@example.org", kCancel, "mary@example.org", "Hello"});
    w.button(Button::kNew)->setFocus();
    QTest::keyClick(w.button(Button::kNew), Qt::Key_Return);  // Enter presses the focused button
    QVERIFY(w.busy() && Idle(w));  // the card is made on the worker
    const QStringList centre = script.seen.value(0).section(" | ", 2, 2).split(',');  // over the middle of the window
    QVERIFY((QPoint(centre.value(0).toInt(), centre.value(1).toInt()) - w.frameGeometry().center()).manhattanLength() <= 4);
    SurfaceView* view = w.surface(View::kCard);
    QVERIFY(w.windowTitle() == "Mary from Bob — Mirelune" && w.focusWidget() == view);
    QCOMPARE(Spoken(view) + "|" + Spoken(view, QAccessible::Description),
             "Greeting card for Mary from Bob|" + QString::fromStdString(GreetingLine(w.session().names)));
    QVERIFY(w.session().names.year == 2031 && w.action(Action::kSaveAs)->isEnabled() && w.unsaved());
    const Image card = w.session().card.Snapshot();  // shown whole inside the frame
    const QImage shown(reinterpret_cast<const uchar*>(card.pixels.data()), 896, 671, QImage::Format_RGBX8888);
    QCOMPARE(view->grab().toImage().copy(2, 2, 896, 671).convertToFormat(QImage::Format_RGB32),
             shown.convertToFormat(QImage::Format_RGB32));

    // Progress down the left edge: "lllll" per pass from the top-left, then 31 "#".
    const auto& marks = w.form()->marks();
    const auto passes = static_cast<std::size_t>(w.session().stats.passes);
    QVERIFY(marks.size() == passes + 31 && marks[0].at == QPoint(1, 2) && marks.back().text == "#");
    for (const auto& m : marks)  // in their gutter, never over the card
      QVERIFY(m.at.x() + QFontMetrics(w.form()->font()).horizontalAdvance(m.text) < view->x());
    QVERIFY(marks[passes - 1].text == "lllll" && marks[passes].text == "#" && marks.back().at.x() == 0);

    // Every file of the card is the command line's, byte for byte; dragging gives the PNG.
    std::unique_ptr<QMimeData> dragged(w.CardMimeData());
    QCOMPARE(dragged->urls().size(), 1);
    const auto bytes = [](const QString& path) {
      QFile f(path);
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
    };
    const auto cli = [&](const char* year, const QString& format) {
      QProcess run;
      run.start(MIRELUNE_CLI, {"card", "--friend", "Mary", "--sender", "Bob", "--year", year, "--format", format,
                               "--out", root_.filePath("cli")});
      return run.waitForFinished(60000) && run.exitCode() == 0 ? bytes(root_.filePath("cli")) : QByteArray();
    };
    w.button(Button::kSave)->click();  // a PNG in the output folder, said where
    const QString quick = Folder() + "/" + QString::fromStdString(w.session().image_name) + ".png";
    QVERIFY(w.statusText() == "Saved " + quick && !w.unsaved() && w.action(Action::kOpenFolder)->isEnabled());
    const struct { QString saved, format; } files[] = {
        {quick, "png"}, {root_.filePath("as.JPEG"), "jpg"}, {root_.filePath("as"), "png"},
        {dragged->urls().value(0).toLocalFile(), "png"}, {root_.filePath("as.bmp"), "bmp"}};
    for (const auto& f : files) {
      if (f.saved.startsWith(root_.path() + "/as")) QVERIFY(w.SaveCardTo(f.saved));
      const QString saved = f.saved + (f.saved.endsWith("as") ? ".png" : "");
      QVERIFY2(bytes(saved) == cli("2031", f.format), qPrintable(saved));
    }
    w.button(Button::kSave)->click();  // a bitmap now the user chose one
    const QString bmp = Folder() + "/" + QString::fromStdString(w.session().image_name) + ".bmp";
    QVERIFY2(w.statusText() == "Saved " + bmp && bytes(bmp) == cli("2031", "bmp"), qPrintable(w.statusText()));

    // Another year redraws the greeting alone: the command line's card for that year.
    w.yearBox()->setValue(2032);
    QVERIFY(w.unsaved() && w.SaveCardTo(root_.filePath("2032.png")) && bytes(root_.filePath("2032.png")) == cli("2032", "png"));
    QVERIFY(std::equal(card.pixels.begin(), card.pixels.begin() + 630 * 896, w.session().card.image().pixels.begin()));
    w.yearBox()->setValue(2031);
    QVERIFY(w.session().card.image() == card && w.windowTitle() == "Mary from Bob — Mirelune");
    QCOMPARE(QSettings().value("lastFolder").toString(), root_.path());
    QPrinter printer;  // printed: the card fitted to an A4 page of a PDF
    printer.setOutputFileName(root_.filePath("card.pdf"));
    w.PrintCard(&printer);
    QVERIFY(QFileInfo(root_.filePath("card.pdf")).size() > 100000);
    const Result<> gif = w.SaveCardTo(root_.filePath("card.gif"));
    QVERIFY(!gif && gif.message == root_.filePath("card.gif").toStdString() + ": a card is saved as .png, .jpg or .bmp, not as .gif");

    w.button(Button::kFlipHorizontal)->click();
    QCOMPARE(w.session().card.image().at(17, 10), card.at(895 - 17, 10));
    for (Button b : {Button::kFlipHorizontal, Button::kFlipVertical, Button::kFlipVertical}) w.button(b)->click();
    QVERIFY(w.session().card.image() == card);

    // Sending saves the card under its name, then asks; Cancel sends nothing.
    w.button(Button::kSendGreetings)->click();
    QCOMPARE(script.seen.mid(1), QStringList({"FRIEND'S E-MAIL ADDRESS | FRIEND'S E-MAIL ADDRESS | 300,333",
                                               "MESSAGE TO FRIEND | MESSAGE TO FRIEND | 300,333"}));
    QVERIFY2(w.statusText() == "Nothing was sent; the card is saved as " + bmp + "." && !w.sending(), qPrintable(w.statusText()));
    // A mail program that cannot take the card (xdg-email's status 3) is a failure that says where the card is.
    QFile fake(root_.filePath("xdg-email"));
    QVERIFY(fake.open(QIODevice::WriteOnly) && fake.write("#!/bin/sh\nexit 3\n") > 0);
    fake.close();
    fake.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", root_.path().toUtf8() + ":" + path);
    qunsetenv("MIRELUNE_SMTP_URL");
    w.button(Button::kSendGreetings)->click();
    QVERIFY(QTest::qWaitFor([&] { return !w.sending(); }, 20000));
    qputenv("PATH", path);
    QVERIFY2(w.statusText().startsWith("xdg-email found no mail program") && w.statusText().endsWith(bmp + ".") &&
             w.findChild<QMessageBox*>("FailureMessage"), qPrintable(w.statusText()));
    delete w.findChild<QMessageBox*>("FailureMessage");

    QVERIFY(QDir(Folder()).removeRecursively());
    w.button(Button::kSave)->click();
    QVERIFY2(w.statusText().contains("could not be saved") && w.findChild<QMessageBox*>("FailureMessage") &&
             w.session().card.image() == card, qPrintable(w.statusText()));
  }

  // Words of one's own, in another script: the card, the same after a new year
  // or other words (on the picture as it was, not painted again), and a card
  // file opened, are each the command line's card for those settings.
  void ownWordsGiveTheCommandLinesCard() {
    MainWindow& w = Start(false);
    const QString wish = QString::fromUtf8("Frohes neues Jahr, \u674e\u96f7!");
    const QString two_lines = QString(44, 'w') + " " + QString(50, 'v');
    DialogScript script({"Ann|Bob|2031|" + wish, two_lines, kCancel, ""});
    w.button(Button::kNew)->click();
    QVERIFY(Idle(w));
    QVERIFY2(script.seen.value(0).endsWith(" | I wish you a happy new year 2031! 100"), qPrintable(script.seen.value(0)));
    const auto bytes = [](const QString& path) {
      QFile f(path);
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
    };
    const auto cli = [&](const char* year, const QString& words, const QString& format) {
      QStringList args{"card", "--friend", "Ann", "--sender", "Bob", "--year", year, "--format", format, "--out",
                       root_.filePath("cli." + format)};
      if (!words.isEmpty()) args << "--wish" << words;
      QProcess run;
      run.start(MIRELUNE_CLI, args);
      return run.waitForFinished(60000) && run.exitCode() == 0;
    };
    const auto same_as_cli = [&](const char* year, const QString& words, const QString& format = "png") {
      return cli(year, words, format) && w.SaveCardTo(root_.filePath("window." + format)) &&
             bytes(root_.filePath("window." + format)) == bytes(root_.filePath("cli." + format));
    };
    QVERIFY(w.session().names.wish == wish.toStdString() && same_as_cli("2031", wish));
    QVERIFY(Spoken(w.surface(View::kCard), QAccessible::Description).contains(wish));
    const Image picture = w.session().card.Snapshot();
    w.yearBox()->setValue(2032);  // the words stay
    QVERIFY(same_as_cli("2032", wish) && w.session().card.image() == picture);
    QVERIFY(w.action(Action::kWords)->isEnabled());
    w.action(Action::kWords)->trigger();  // two lines: a taller band
    QCOMPARE(script.seen.value(1), "Own Words | I wish you a happy new year 2032! | " + wish);
    QVERIFY(w.unsaved() && same_as_cli("2032", two_lines));
    QVERIFY(std::equal(picture.pixels.begin(), picture.pixels.begin() + 600 * 896, w.session().card.image().pixels.begin()));
    w.action(Action::kWords)->trigger();  // Cancel keeps them
    QVERIFY(w.session().names.wish == two_lines.toStdString());
    w.action(Action::kWords)->trigger();  // none: the usual words, the first band again
    QVERIFY(w.session().names.wish.empty() && same_as_cli("2032", ""));

    QCOMPARE(script.seen.size(), 4);

    // A card file of the command line's with a wish brings its settings back.
    for (const QString format : {"jpg", "png"}) {
      QVERIFY(cli(format == "jpg" ? "2033" : "2034", wish, format));
      QVERIFY(w.OpenCard(root_.filePath("cli." + format)) && Idle(w));
      QVERIFY2(w.session().names.wish == wish.toStdString() && w.yearBox()->value() == (format == "jpg" ? 2033 : 2034) &&
                   same_as_cli(format == "jpg" ? "2033" : "2034", wish, format),
               qPrintable(format));
    }
  }

  // An unsaved card is asked about before "exit", Ctrl+Q or closing ends the
  // program; Cancel keeps it running. Names that are paths are not taken as one.
  void quittingWithAnUnsavedCardAsksFirst() {
    MainWindow& w = Start(false);
    DialogScript script({"../Mary|Bob/", "Ann"});  // the sender offered the second time is the last one
    w.button(Button::kNew)->click();
    QVERIFY(Idle(w));
    QCOMPARE(w.SuggestedFileName(), QString("_Mary from Bob_.png"));
    // Opened, a card file is made again from its report, and is a recent card.
    QVERIFY(w.SaveCardTo(root_.filePath("open.png")) && !w.OpenCard(Folder()));
    delete w.findChild<QMessageBox*>("FailureMessage");
    const Image card = w.session().card.Snapshot();
    w.button(Button::kNew)->click();
    QVERIFY(Idle(w) && script.seen.value(1).startsWith("New Card | Bob/ |") && w.session().names.friend_name == "Ann");
    QVERIFY(w.OpenCard(root_.filePath("open.png")) && Idle(w) && w.session().card.image() == card);
    w.recentMenu()->aboutToShow();
    QCOMPARE(w.recentMenu()->actions().value(0)->text(), QString("open.png"));
    const std::function<void()> ways[] = {[&] { w.button(Button::kExit)->click(); },
                                          [&] {
                                            w.activateWindow();  // a shortcut needs the window active
                                            QVERIFY(QTest::qWaitForWindowActive(&w));
                                            QTest::keySequence(&w, QKeySequence("Ctrl+Q"));
                                          },
                                          [&] { w.close(); }};
    for (const auto& quit : ways) {
      const auto clicked = ClickOnNextMessage("Cancel");
      quit();
      QVERIFY(*clicked == -1 && !ended_ && w.isVisible());
    }
    const auto clicked = ClickOnNextMessage("&Quit without Saving");
    w.action(Action::kQuit)->trigger();
    QVERIFY(*clicked == -1 && ended_);
  }

  // File > Export makes the card again on the worker, as the command line does
  // for its settings: the printed page on the paper asked for, the card drawn
  // larger, the card painting itself. The card shown stays; an export stopped
  // writes nothing, and one into a folder that cannot be written says so.
  void exportMakesTheCommandLinesFiles() {
    MainWindow& w = Start(false);
    DialogScript script({"Mary|Bob|2031|Viel Glück", "1|1", root_.filePath("page")});
    w.button(Button::kNew)->click();
    QVERIFY(Idle(w) && w.action(Action::kExportPdf)->isEnabled());
    const Image card = w.session().card.Snapshot();
    const QImage shown = w.surface(View::kCard)->grab().toImage();
    const auto cli = [&](const QStringList& args) {
      QProcess run;
      run.start(MIRELUNE_CLI, QStringList{"card", "--friend", "Mary", "--sender", "Bob", "--year", "2031", "--wish",
                                          "Viel Glück"} + args);
      return run.waitForFinished(60000) && run.exitCode() == 0;
    };
    const auto bytes = [](const QString& path) {  // a PDF less its creation date
      QFile f(path);
      const QRegularExpression date("/CreationDate \\(D:\\d+Z\\)");
      return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).remove(date) : QString("unreadable");
    };
    w.action(Action::kExportPdf)->trigger();  // 5 x 7 in with crop marks
    QVERIFY(w.busy() && Idle(w) && w.findChild<QProgressBar*>("progress")->value() == 100);
    QCOMPARE(script.seen.mid(1), QStringList({"Print PDF | A6 (148 × 105 mm)", "Export | Mary from Bob.pdf"}));
    QVERIFY(w.statusText() == "Saved " + root_.filePath("page.pdf") && w.session().card.image() == card);
    QProcess info;
    info.start("pdfinfo", {root_.filePath("page.pdf")});
    QVERIFY(info.waitForFinished(20000));
    const QString said = info.readAllStandardOutput();
    QVERIFY2(said.contains(QRegularExpression("Pages: +1\\n")) && said.contains("577.701 x 433.701 pts"), qPrintable(said));
    QVERIFY(cli({"--print", "5x7", "--crop-marks", "--out", root_.filePath("cli.pdf")}));
    QVERIFY(bytes(root_.filePath("page.pdf")) == bytes(root_.filePath("cli.pdf")));
    const struct { ExportKind kind; QStringList cli; } kinds[] = {
        {ExportKind::kLargePng, {"--scale", "3", "--out", root_.filePath("cli.png")}},
        {ExportKind::kGif, {"--animate", root_.filePath("cli.gif")}},
        {ExportKind::kWebp, {"--animate", root_.filePath("cli.webp")}}};
    for (const auto& k : kinds) {
      const QString ext = ExportExtension(k.kind);
      QVERIFY(w.ExportTo(root_.filePath("export"), {k.kind}) && Idle(w) && cli(k.cli));
      QVERIFY2(bytes(root_.filePath("export." + ext)) == bytes(root_.filePath("cli." + ext)), qPrintable(ext));
    }
    QVERIFY(w.surface(View::kCard)->grab().toImage() == shown && w.session().card.image() == card);
    QVERIFY(w.ExportTo(root_.filePath("stopped.gif"), {ExportKind::kGif}));
    w.action(Action::kStop)->trigger();
    QVERIFY(Idle(w) && w.statusText() == "Stopped; nothing was exported." && !QFile::exists(root_.filePath("stopped.gif")));
    QVERIFY(w.ExportTo(root_.filePath("page.pdf/card.gif"), {ExportKind::kGif}) && Idle(w));  // a file is no folder
    QVERIFY2(w.statusText().contains("page.pdf/card.gif") && w.findChild<QMessageBox*>("FailureMessage") &&
             w.session().card.image() == card, qPrintable(w.statusText()));
  }

  // The year starts at the coming new year and is remembered, as is the window's
  // size; a translation follows the locale.
  void settingsAndTranslations() {
    QSettings().clear();
    QCOMPARE(Start(false).yearBox()->value(), ComingYear(std::time(nullptr)));
    window_->yearBox()->setValue(2040);
    window_->resize(700, 500);
    window_.reset();
    MainWindow& w = Start(false);
    w.FitToScreen(QRect(0, 0, 4000, 3000));
    QVERIFY(w.yearBox()->value() == 2040 && w.size() == QSize(700, 500));
    QCoreApplication::processEvents();
    QVERIFY(w.surface(View::kCard)->width() < 700 - 24);  // the card is shown smaller, whole

    QVERIFY(LoadTranslations(QLocale("de_DE"), MIRELUNE_QM_DIR));
    MainWindow& de = Start(false);
    QCOMPARE(de.button(Button::kNew)->text() + "|" + de.menuBar()->actions().value(0)->text() + "|" +
                 de.action(Action::kSaveAs)->text() + "|" + de.action(Action::kWords)->text() + "|" +
                 de.action(Action::kExportPdf)->text() + "|" +
                 Spoken(de.surface(View::kCard)),
             QString("&neu|&Datei|Speichern &unter …|&Eigene Worte …|&Druck-PDF …|Noch keine Karte"));
    QVERIFY(!LoadTranslations(QLocale::c()));
    QCOMPARE(Start(false).button(Button::kNew)->text(), QString("&new"));
  }

  // While a loop runs on the worker the window answers: card-making presses are
  // ignored (a dialog would end the run), the style counters are queued for the
  // session; stop or Escape ends it with the last card it finished, which is the
  // engine's; exit ends the program. A "new" stopped keeps the card there was.
  void stoppingTheWorker() {
    const auto stop_and_wait = [](MainWindow& w, const std::function<void()>& stop) {
      QSignalSpy finished(&w, &MainWindow::jobFinished);
      const auto start = std::chrono::steady_clock::now();
      stop();
      const bool ended = finished.count() == 1 || finished.wait(10000);
      qInfo("the job ended %lld ms after the stop", static_cast<long long>((std::chrono::steady_clock::now() - start) / 1ms));
      return ended && !w.busy();
    };
    for (int way : {0, 1, 2}) {  // "stop", Card > Stop (Escape), "exit"
      MainWindow& w = Start(true);
      DialogScript script({});
      w.button(Button::kLoop)->click();
      QVERIFY(w.busy() && !w.button(Button::kNew)->isEnabled() && !w.button(Button::kSave)->isEnabled() &&
              w.button(Button::kStop)->isEnabled() && !w.yearBox()->isEnabled() &&
              QApplication::overrideCursor()->shape() == Qt::BusyCursor);
      w.button(Button::kNew)->click();
      if (way == 2)
        for (Button b : {Button::kMoreStyles, Button::kMoreStyles}) w.button(b)->click();
      QTRY_VERIFY_WITH_TIMEOUT(w.loopCards() >= 1, 60000);
      QVERIFY(stop_and_wait(w, [&] {
        way == 1 ? w.action(Action::kStop)->trigger() : w.button(way == 0 ? Button::kStop : Button::kExit)->click();
      }));
      QVERIFY(ended_ == (way == 2) && QApplication::overrideCursor() == nullptr);
      if (way == 2) {
        // The counters reached the session, between cards or after the loop.
        QVERIFY(w.session().settings.max_styles == 17 && w.button(Button::kStyleLimit)->text() == "17");
        w.button(Button::kNew)->click();  // after the end nothing runs
        QVERIFY(!w.busy());
        continue;
      }
      // The card shown is the last the loop finished: the engine's, as a fresh session makes it.
      Session fresh;
      for (int card = 0; card < w.loopCards(); ++card) QVERIFY(PaintNextCard(fresh));
      QVERIFY(w.hasCard() && w.session().card.image() == fresh.card.image());
    }
    // A "new" stopped under way keeps what there was.
    MainWindow& w = Start(false);
    DialogScript script({"Mary|Bob"});
    w.button(Button::kNew)->click();  // the names asked, the card begun
    QVERIFY(stop_and_wait(w, [&] { w.action(Action::kStop)->trigger(); }));
    QVERIFY(!w.hasCard() && w.windowTitle() == "Mirelune" && w.session().names.friend_name.empty() &&
            SurfaceView::IsBlank(w.session().card.image()));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
