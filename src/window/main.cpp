// mirelune — the desktop window.
//
//   mirelune               the four buttons of the card maker
//   mirelune --workbench   also the artist's sixteen workbench buttons
//   mirelune --year 2030   greetings for another year (this run only)
//
// The arguments are read before Qt starts, so --help and --version work without
// a display; without one the window is not tried.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QLocale>
#include <cstdio>
#include <cstring>

#include "card/card.h"
#include "mail/mail_smtp.h"
#include "mirelune_version.h"
#include "window/display.h"
#include "window/main_window.h"

namespace {

// Standard output is checked: a full disk or a closed descriptor is an error.
int Print(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "mirelune: cannot write to standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

// Qt's own command-line options, which QApplication takes out of the arguments.
bool IsQtOption(std::string arg) {
  arg.erase(0, arg.find_first_not_of('-'));
  arg = arg.substr(0, arg.find('='));
  static const char* const kQt[] = {"platform",
                                    "platformpluginpath",
                                    "platformtheme",
                                    "plugin",
                                    "qwindowgeometry",
                                    "qwindowicon",
                                    "qwindowtitle",
                                    "reverse",
                                    "session",
                                    "display",
                                    "geometry",
                                    "style",
                                    "stylesheet",
                                    "widgetcount",
                                    "nograb",
                                    "dograb",
                                    "sync",
                                    "qmljsdebugger"};
  for (const char* q : kQt)
    if (arg == q) return true;
  return false;
}

// The Qt options that take no value.
bool IsQtSwitch(std::string arg) {
  arg.erase(0, arg.find_first_not_of('-'));
  return arg == "reverse" || arg == "nograb" || arg == "dograb" || arg == "sync" || arg == "widgetcount";
}

int Unknown(const std::string& arg) {
  std::fprintf(stderr, "mirelune: unknown argument \"%s\"\nTry 'mirelune --help'.\n", arg.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const mirelune::MailLibrary mail_library;  // before any thread
  std::string version = mirelune::kVersion;
  if (*mirelune::kGitDescription) version.append(" (git ").append(mirelune::kGitDescription).append(")");

  CLI::App cli{"mirelune: generative-art new-year greeting cards from two names", "mirelune"};
  bool workbench = false;
  int year = 0;
  cli.add_flag("--workbench", workbench, "also show the artist's sixteen workbench buttons");
  cli.add_option("--year", year,
                 "the year the greetings wish for (default: the year chosen last in the window, else the "
                 "coming new year)")
      ->type_name("N")
      ->check(CLI::Range(mirelune::kFirstYear, mirelune::kLastYear));
  cli.set_version_flag("--version", "mirelune " + version);
  cli.footer("Qt's own options (-platform, -style, ...) are passed on to Qt.");
  cli.allow_extras();
  try {
    cli.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return Print(cli.help());
  } catch (const CLI::CallForVersion& e) {
    return Print(std::string(e.what()) + "\n");
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "mirelune: %s\nTry 'mirelune --help'.\n", e.what());
    return 2;
  }
  // Qt's options pass on, with the value that follows those that take one.
  bool value_expected = false;
  for (const std::string& extra : cli.remaining()) {
    const bool option = extra.size() > 1 && extra[0] == '-';
    if (option ? !IsQtOption(extra) : !value_expected) return Unknown(extra);
    value_expected = option && extra.find('=') == std::string::npos && !IsQtSwitch(extra);
  }

  // Qt's X11 platform would abort without its display; one line says so instead.
  if (const std::string why = mirelune::NoDisplayProblem(cli.remaining()); !why.empty()) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Mirelune");
  QApplication::setOrganizationName("mirelune");  // settings in ~/.config/mirelune/
  QApplication::setApplicationVersion(QString::fromStdString(version));
  QGuiApplication::setDesktopFileName("io.mirelune.Mirelune");
  // Anything Qt did not take either is no option of ours.
  const QStringList left = QApplication::arguments();
  for (const std::string& extra : cli.remaining()) {
    if (left.contains(QString::fromStdString(extra))) return Unknown(extra);
  }
  QIcon own;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) own.addFile(QString(":/icons/mirelune-%1.png").arg(size));
  QApplication::setWindowIcon(QIcon::fromTheme("mirelune", own));
  mirelune::LoadTranslations(QLocale());

  mirelune::MainWindow window(workbench);
  if (year != 0) window.SetYear(year, false);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) window.FitToScreen(screen->availableGeometry());
  window.Load();
  return app.exec();
}
