// The window on the offscreen platform: the layout, the buttons' wiring, "new"
// from its dialogs to the saved card, and presses while a card is being made.
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "commands/commands.h"
#include "files/files.h"
#include "palette/palette.h"
#include "window/main_window.h"
#include "window/surface_view.h"

using namespace mirelune;

namespace {

const QString kCancel = QStringLiteral("\x1b<cancel>");
QtMessageHandler g_previous_handler = nullptr;

// The offscreen platform warns about size hints for every dialog it shows.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (!message.contains("propagateSizeHints") && g_previous_handler) g_previous_handler(type, context, message);
}

// Answers the input dialogs as they open, as a user would: the answer typed and OK
// pressed, or Cancel for kCancel; records what each showed and where ("label |
// title | x,y"). A dialog beyond the script ends the run at once: nothing can ask
// forever.
class DialogScript : public QObject {
 public:
  QStringList seen;

  explicit DialogScript(QStringList answers) : answers_(std::move(answers)) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
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
  QStringList answers_;
  QTimer timer_;
};

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

 private slots:
  void initTestCase() {
    g_previous_handler = qInstallMessageHandler(QuietOffscreen);
    QVERIFY(root_.isValid());
    qputenv("MIRELUNE_ROOT", root_.path().toUtf8());
  }
  void cleanup() { window_.reset(); }

  // The layout as it starts, then the workbench buttons reaching their commands
  // (the bounds are the engine tests'), the palette chooser among them.
  void theButtonsStandAndReachTheirCommands() {
    MainWindow& w = Start(false);
    QCOMPARE(w.windowTitle(), QString("Mirelune"));
    for (const ButtonLayout& b : kButtons) {
      QPushButton* button = w.button(b.button);
      QCOMPARE(button->objectName(), QString(b.name));
      QVERIFY(button->geometry() == QRect(b.left, b.top, b.width, 17) && button->isVisible() == b.shown);
      if (*b.caption) QCOMPARE(button->text(), QString(b.caption));
    }
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
    const QImage shot = card_view->grab().toImage();  // the blank card inside a 2-pixel frame
    QVERIFY(shot.pixel(2, 2) == 0xFFF0F0F0 && shot.pixel(897, 672) == 0xFFF0F0F0 && shot.pixel(0, 0) != 0xFFF0F0F0);

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
    const auto& card = bench.state().card;
    const int x = static_cast<int>(card.PixelX(45)), y = static_cast<int>(card.PixelY(57));
    QCOMPARE(qBlue(bench.surface(View::kCard)->grab().toImage().pixel(x + 2, y + 2)), 255);
  }

  // "new": the dialogs (a name too long is asked again), the command line's card
  // for the same names, shown, marked, saved, mirrored; a failed save keeps it.
  void newMakesTheCommandLinesCardAndSavesIt() {
    MainWindow& w = Start(false);
    DialogScript script({QString(101, 'a'), "Mary", "Bob"});
    w.button(Button::kNew)->click();
    const QString rest = "\nCASE SENSITIVE (Mary not equal mary) | Mirelune | 33,";
    const QString friend_name = "ENTER YOUR FRIEND'S NAME" + rest + "200";
    QCOMPARE(script.seen, QStringList({friend_name, friend_name, "ENTER YOUR NAME" + rest + "400"}));
    const Image card = w.state().card.Snapshot();  // shown whole inside the frame
    const QImage shown(reinterpret_cast<const uchar*>(card.pixels.data()), 896, 671, QImage::Format_RGBX8888);
    QCOMPARE(w.surface(View::kCard)->grab().toImage().copy(2, 2, 896, 671).convertToFormat(QImage::Format_RGB32),
             shown.convertToFormat(QImage::Format_RGB32));

    // Progress down the left edge: "lllll" per pass from the top-left, then 31 "#".
    const auto& marks = w.form()->marks();
    QVERIFY(marks.size() == w.state().pass.passes + 31 && marks[0].at == QPoint(1, 2) && marks.back().text == "#");
    QVERIFY(marks[w.state().pass.passes - 1].text == "lllll" && marks[w.state().pass.passes].text == "#" && marks.back().at.x() == 0);

    w.button(Button::kSave)->click();
    QFile saved(Folder() + "/" + QString::fromStdString(w.state().names.image_name) + ".bmp"), cli(root_.filePath("cli.bmp"));
    QCOMPARE(w.statusText(), "Saved " + saved.fileName());
    QProcess run;
    run.start(MIRELUNE_CLI, {"card", "--friend", "Mary", "--sender", "Bob", "--out", cli.fileName()});
    QVERIFY(run.waitForFinished(60000) && run.exitCode() == 0);
    QVERIFY(saved.open(QIODevice::ReadOnly) && cli.open(QIODevice::ReadOnly) && saved.readAll() == cli.readAll());

    w.button(Button::kFlipHorizontal)->click();
    QCOMPARE(w.state().card.image().at(17, 10), card.at(895 - 17, 10));
    for (Button b : {Button::kFlipHorizontal, Button::kFlipVertical, Button::kFlipVertical}) w.button(b)->click();
    QVERIFY(w.state().card.image() == card);

    QVERIFY(QDir(Folder()).removeRecursively());
    w.button(Button::kSave)->click();
    QVERIFY2(w.statusText().contains("could not be saved") && w.findChild<QMessageBox*>("FailureMessage") &&
             w.state().card.image() == card, qPrintable(w.statusText()));
  }

  // In a loop, card-making presses are ignored (a dialog would end the run); stop
  // ends it after the card under way, exit at once; after the end nothing runs.
  void stopAndExitDuringALoop() {
    ScriptedHost host;  // the first card of a loop in a fresh program, made without the window
    auto fresh = std::make_unique<State>();
    fresh->host = &host;
    DrawPaletteStrip(*fresh);
    MakeCard(*fresh);
    for (int exit : {0, 1}) {
      MainWindow& w = Start(true);
      DialogScript script({});
      std::uint64_t draws = 0;
      bool was_busy = false;
      QTimer::singleShot(0, &w, [&] {
        was_busy = w.busy() && !w.button(Button::kNew)->isEnabled() && !w.button(Button::kSave)->isEnabled() &&
                   w.button(Button::kStop)->isEnabled();
        for (Button b : {Button::kNew, Button::kMoreStyles, Button::kFewerStyles}) w.button(b)->click();  // the limit may change any time
        draws = w.state().rng.draws();
        w.button(exit ? Button::kExit : Button::kStop)->click();
      });
      w.button(Button::kLoop)->click();
      if (exit) w.button(Button::kNew)->click();
      QVERIFY(was_busy && !w.busy() && ended_ == static_cast<bool>(exit));
      QVERIFY(exit ? w.state().rng.draws() == draws : w.state().card.image() == fresh->card.Snapshot());
    }
    Start(false).close();
    QVERIFY(ended_);
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
