// mirelune — the desktop window.
//
//   mirelune               the four buttons of the card maker
//   mirelune --workbench   also the artist's sixteen workbench buttons
#include <QApplication>
#include <QStyleFactory>
#include <cstdio>
#include <cstring>

#include "window/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Mirelune");
  // One look on every desktop, so the small 17-pixel buttons fit their captions.
  if (QStyle* style = QStyleFactory::create("Fusion")) QApplication::setStyle(style);

  bool workbench = false;
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--workbench") == 0) {
      workbench = true;
    } else if (std::strcmp(argv[k], "--help") == 0 || std::strcmp(argv[k], "-h") == 0) {
      std::printf("usage: mirelune [--workbench]\n");
      return 0;
    } else {
      std::fprintf(stderr, "mirelune: unknown argument \"%s\"\nusage: mirelune [--workbench]\n", argv[k]);
      return 2;
    }
  }

  mirelune::MainWindow window(workbench);
  window.Load();
  return app.exec();
}
