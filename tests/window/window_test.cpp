// The window on the offscreen platform: start-up state, captions and counters,
// the dialogs as the user sees them, the chooser, mirroring, saving, and presses
// that arrive while a card is being made.
#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "commands/commands.h"
#include "card/card.h"
#include "files/files.h"
#include "palette/palette.h"
#include "window/main_window.h"
#include "window/qt_host.h"
#include "window/surface_view.h"

using namespace mirelune;

namespace {

const QString kCancel = QStringLiteral("\x1b<cancel>");

QtMessageHandler g_previous_handler = nullptr;

// The offscreen platform warns about size hints for every dialog it shows.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("propagateSizeHints")) return;
  if (g_previous_handler) g_previous_handler(type, context, message);
}

// Answers the program's input dialogs as they open, the way a user would: the
// answer typed into the field and OK pressed, or Cancel for kCancel. Records
// what each dialog showed and where it stood.
class DialogScript : public QObject {
 public:
  struct Seen {
    QString label, title;
    QPoint pos;
  };

  explicit DialogScript(QStringList answers) : answers_(std::move(answers)) {
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start(5);
  }

  QList<Seen> seen;

 private:
  void Poll() {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    seen.append({dialog->labelText(), dialog->windowTitle(), dialog->pos()});
    const QString answer = answers_.isEmpty() ? kCancel : answers_.takeFirst();
    if (answer == kCancel) {
      dialog->reject();
      return;
    }
    auto* field = dialog->findChild<QLineEdit*>();
    QTest::keyClicks(field, answer);
    dialog->accept();
  }

  QStringList answers_;
  QTimer timer_;
};

QByteArray Bmp(const Image& img) {
  const auto bytes = EncodeBmp(img);
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// The first card of a loop in a freshly started program, made without the window.
Image FirstLoopCard() {
  ScriptedHost host;
  auto s = std::make_unique<State>();
  s->host = &host;
  DrawPaletteStrip(*s);
  MakeCard(*s);
  return s->Picture4.GetImage();
}

QRgb Shown(const Image& img, int x, int y) {
  const std::uint32_t c = img.at(x, y);
  return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
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

  void startUpShowsTheCardMaker() {
    QDir(Folder()).removeRecursively();
    MainWindow& w = Start(false);
    QCOMPARE(w.windowTitle(), QString("Mirelune"));
    QCOMPARE(w.findChildren<QPushButton*>().size(), 20);
    for (const ButtonLayout& layout : kButtons) {
      QPushButton* b = w.button(layout.number);
      QCOMPARE(b->objectName(), QString("Command%1").arg(layout.number));
      QCOMPARE(b->geometry(), QRect(layout.left, layout.top, layout.width, 17));
      QCOMPARE(b->isVisible(), layout.shown);
      if (layout.number != 11 && layout.number != 12 && layout.number != 18) QCOMPARE(b->text(), QString(layout.caption));
    }
    QCOMPARE(w.button(12)->text(), QString("15"));  // hidden, yet showing its start value
    QVERIFY(w.button(3)->toolTip().contains(Folder()));
    QVERIFY(QDir(Folder()).exists());

    // The surfaces: all at (24, 56), the card in front of the strip, the plain picture hidden in front.
    QCOMPARE(w.surface(4)->geometry(), QRect(24, 56, 900, 675));
    QCOMPARE(w.surface(6)->geometry(), QRect(24, 56, 900, 675));
    QCOMPARE(w.surface(3)->geometry(), QRect(24, 56, 25, 675));
    QVERIFY(w.surface(4)->isVisible());
    QVERIFY(!w.surface(6)->isVisible());
    const QObjectList order = w.form()->children();
    auto z = [&](int n) { return order.indexOf(w.surface(n)); };
    QVERIFY(z(3) < z(2) && z(2) < z(1) && z(1) < z(4) && z(4) < z(6));
    QVERIFY(w.form()->width() >= 1001 && w.form()->height() >= 731);

    // The blank card inside its 2-pixel frame.
    const QImage shot = w.surface(4)->grab().toImage();
    QCOMPARE(shot.pixel(2, 2), qRgb(0xF0, 0xF0, 0xF0));
    QCOMPARE(shot.pixel(897, 672), qRgb(0xF0, 0xF0, 0xF0));
    QVERIFY(shot.pixel(0, 0) != qRgb(0xF0, 0xF0, 0xF0));
    QVERIFY(w.form()->marks().empty());
  }

  // The buttons reach their commands and show what they leave (the bounds are the engine tests').
  void countersFollowThePresses() {
    MainWindow& w = Start(true);
    for (const ButtonLayout& layout : kButtons) QVERIFY2(w.button(layout.number)->isVisible(), layout.caption);
    w.button(11)->click();
    QCOMPARE(w.button(11)->text(), QString("ba=1"));
    w.button(14)->click();
    QCOMPARE(w.button(12)->text(), QString("14"));
    w.button(13)->click();
    w.button(13)->click();
    QCOMPARE(w.button(12)->text(), QString("16"));
    w.button(18)->click();
    QCOMPARE(w.button(18)->text(), QString("pix"));
    w.button(19)->click();
    QVERIFY(w.surface(6)->isVisible());
  }

  void newAsksTheNamesAndMakesTheCommandLinesCard() {
    MainWindow& w = Start(false);
    DialogScript script({"Mary", "Bob"});
    w.button(5)->click();
    QCOMPARE(script.seen.size(), 2);
    QCOMPARE(script.seen[0].label, QString("ENTER YOUR FRIEND'S NAME\nCASE SENSITIVE (Mary not equal mary)"));
    QCOMPARE(script.seen[0].title, QString("Mirelune"));
    QCOMPARE(script.seen[0].pos, QPoint(33, 200));
    QCOMPARE(script.seen[1].label, QString("ENTER YOUR NAME\nCASE SENSITIVE (Mary not equal mary)"));
    QCOMPARE(script.seen[1].title, QString("Mirelune"));
    QCOMPARE(script.seen[1].pos, QPoint(33, 400));
    QVERIFY(!w.busy());
    QVERIFY(w.button(3)->isEnabled());

    // The command line makes the same card for the same names.
    const QString cli_card = root_.filePath("cli-mary-bob.bmp");
    QProcess cli;
    cli.start(MIRELUNE_CLI, {"card", "--friend", "Mary", "--sender", "Bob", "--out", cli_card});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    const QByteArray expected = ReadFile(cli_card);
    QVERIFY(!expected.isEmpty());
    QVERIFY(Bmp(w.state().Picture4.image()) == expected);

    // And the window shows it, inside the frame.
    const QImage shot = w.surface(4)->grab().toImage();
    const Image card = w.state().Picture4.GetImage();
    for (QPoint p : {QPoint(0, 0), QPoint(895, 0), QPoint(448, 335), QPoint(0, 670), QPoint(895, 670)})
      QCOMPARE(shot.pixel(p + QPoint(2, 2)), Shown(card, p.x(), p.y()));

    // Progress down the left edge: "lllll" per pass from the top-left, then 31 "#".
    const auto& marks = w.form()->marks();
    const int passes = static_cast<int>(w.state().no);
    QCOMPARE(static_cast<int>(marks.size()), passes + 31);
    QCOMPARE(marks[0].at, QPoint(1, 2));
    for (int k = 0; k < static_cast<int>(marks.size()); ++k) {
      QCOMPARE(marks[k].text, QString(k < passes ? "lllll" : "#"));
      if (k > 0) {
        QCOMPARE(marks[k].at.x(), 0);
        QVERIFY(marks[k].at.y() > marks[k - 1].at.y());
      }
    }

    // "save on C:\wimgx" writes it and says where.
    w.button(3)->click();
    const QString path = Folder() + "/" + QString::fromStdString(w.state().imeslike) + ".bmp";
    QCOMPARE(w.statusText(), "Saved " + path);
    QVERIFY(ReadFile(path) == expected);

    // Mirroring: once moves every pixel to the other side, twice gives the card back.
    w.button(16)->click();
    QCOMPARE(Shown(w.state().Picture4.image(), 17, 10), Shown(card, 895 - 17, 10));
    w.button(16)->click();
    w.button(17)->click();
    w.button(17)->click();
    QVERIFY(Bmp(w.state().Picture4.image()) == expected);
  }

  void aLongNameBringsTheSameDialogBack() {
    MainWindow& w = Start(false);
    DialogScript script({QString(101, 'a'), "Mary", kCancel});
    w.button(5)->click();
    QCOMPARE(script.seen.size(), 3);
    QCOMPARE(script.seen[1].label, script.seen[0].label);
    QCOMPARE(script.seen[1].pos, script.seen[0].pos);
    QCOMPARE(script.seen[2].pos, QPoint(33, 400));
    QCOMPARE(w.state().tt, std::string("Mary"));
    QCOMPARE(w.state().t, std::string());  // Cancel: an empty name
  }

  void theChooserAsksUntilItGetsAPalette() {
    MainWindow& w = Start(true);
    DialogScript script({"27", "abc", "-1", kCancel, "", "5"});
    w.button(9)->click();
    QCOMPARE(script.seen.size(), 6);
    for (const auto& seen : script.seen) {
      QCOMPARE(seen.label, QString::fromUtf8("vnesi \xC5\xA1tevilko palete\n0 za izhod"));
      QCOMPARE(seen.title, QString("IZBOR PALETE"));
      QCOMPARE(seen.pos, QPoint(300, 333));
    }
    QCOMPARE(w.button(11)->text(), QString("ba=5"));
    QCOMPARE(w.state().colorr, 5.0);
    QCOMPARE(w.state().tipp, 5.0);
    // The swatches are on the card: palette 3, colour 2 has blue 255.
    const QImage shot = w.surface(4)->grab().toImage();
    const long px = w.state().Picture4.PixelX(45), py = w.state().Picture4.PixelY(57);
    QCOMPARE(qBlue(shot.pixel(static_cast<int>(px) + 2, static_cast<int>(py) + 2)), 255);
  }

  void aFailedSaveSaysSoAndKeepsTheCard() {
    MainWindow& w = Start(false);
    w.state().Picture4.SetBackColor(RGB(1, 2, 3));
    const QByteArray card = Bmp(w.state().Picture4.image());
    QVERIFY(QDir(Folder()).removeRecursively());
    w.button(3)->click();
    QVERIFY2(w.statusText().contains("could not be saved"), qPrintable(w.statusText()));
    QVERIFY(w.statusText().contains(Folder()));
    auto* box = w.findChild<QMessageBox*>("FailureMessage");
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QVERIFY(box->text().contains("still on screen"));
    box->close();
    QVERIFY(Bmp(w.state().Picture4.image()) == card);
    QDir().mkpath(Folder());
  }

  void stopEndsTheLoopAfterTheCardUnderWay() {
    MainWindow& w = Start(true);
    DialogScript script({});  // a dialog here would be a press that should have been ignored
    bool checked = false;
    QTimer::singleShot(0, &w, [&] {
      // Inside the running loop: generation presses are ignored, stop is not.
      QVERIFY(w.busy());
      QVERIFY(!w.button(5)->isEnabled());
      QVERIFY(!w.button(3)->isEnabled());
      QVERIFY(w.button(4)->isEnabled());
      QVERIFY(w.button(2)->isEnabled());
      w.button(5)->click();
      w.button(13)->click();  // the style limit may change at any time
      w.button(14)->click();
      w.button(4)->click();
      checked = true;
    });
    w.button(1)->click();
    QVERIFY(checked);
    QVERIFY(script.seen.isEmpty());
    QVERIFY(!w.busy());
    QCOMPARE(w.state().delaj, 0.0);
    QVERIFY(w.button(5)->isEnabled());
    QVERIFY(w.state().Picture4.image() == FirstLoopCard());  // one card, complete
  }

  void exitDuringALoopEndsAtOnce() {
    MainWindow& w = Start(true);
    std::uint64_t draws_at_exit = 0;
    QTimer::singleShot(0, &w, [&] {
      draws_at_exit = w.state().rng.draws();
      w.button(2)->click();
    });
    w.button(1)->click();
    QVERIFY(ended_);
    QVERIFY(w.ending());
    QCOMPARE(w.state().rng.draws(), draws_at_exit);  // nothing more was drawn
    ended_ = false;
    w.button(5)->click();  // the program is over: nothing runs
    QCOMPARE(w.state().rng.draws(), draws_at_exit);
    QVERIFY(!ended_);
  }

  void exitAndClosingEndTheProgram() {
    {
      MainWindow& w = Start(false);
      w.button(2)->click();
      QVERIFY(ended_);
    }
    {
      MainWindow& w = Start(false);
      w.close();
      QVERIFY(ended_);
    }
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
