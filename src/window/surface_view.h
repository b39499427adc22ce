// surface_view.h — the widgets that show copies of the session's rasters and the
// window's own surface with its progress marks.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

#include "raster/surface.h"

namespace mirelune {

// One drawing surface on screen: a 2-pixel sunken frame around a copy of the
// raster, the view's own (a card under way is painted on another thread).
class SurfaceView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFrame = 2;

  // A view of a raster of this many pixels, blank until it is shown one.
  SurfaceView(int pixel_width, int pixel_height, QWidget* parent);
  int pixelWidth() const { return pixel_width_; }
  int pixelHeight() const { return pixel_height_; }

  // Shows a copy of `image`, or a picture already in Qt's format (the card
  // growing); `blank` is a picture where nothing is drawn yet.
  void Show(const Image& image);
  void Show(QImage picture, bool blank = false);

  // Shows the raster at `factor` of its size, to fill the window it is in. The
  // raster itself keeps its size.
  void SetScale(double factor);
  double scale() const { return scale_; }

  // While nothing is drawn on the raster, shows the desktop's colour for an
  // empty pane instead of the raster's grey (a dark theme stays dark).
  void SetPaletteWhenBlank(bool on) { palette_when_blank_ = on; }
  // Whether dragging the view may start (dragStarted).
  void SetDragEnabled(bool on) { drag_enabled_ = on; }

  // The raster as it is now, in Qt's pixel format (on any thread).
  static QImage ToQImage(const Image& image);
  // Nothing is drawn on it: every pixel the default background.
  static bool IsBlank(const Image& image);

 signals:
  // The mouse, pressed on the view, moved far enough to drag what it shows.
  void dragStarted();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  int pixel_width_, pixel_height_;
  QImage picture_;
  bool blank_ = true;
  double scale_ = 1;
  bool palette_when_blank_ = false, drag_enabled_ = false;
  QPoint press_;
  bool pressed_ = false;
};

// The window's own surface behind every control. Progress marks are printed on
// it the way text is printed on a form: at the current position, after which
// the position moves to the left edge of the next line.
class FormSurface : public QWidget {
  Q_OBJECT
 public:
  struct Mark {
    QPoint at;  // top-left of the text line, pixels
    QString text;
  };

  explicit FormSurface(QWidget* parent = nullptr);
  // The client area the controls need with the surfaces at their own size.
  void SetSizeHint(QSize hint) { hint_ = hint; }
  QSize sizeHint() const override { return hint_; }

  void Clear();
  // In the window's layout units, 15 to a pixel.
  void SetPos(double x_units, double y_units);
  void Print(const QString& text);

  const std::vector<Mark>& marks() const { return marks_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<Mark> marks_;
  double x_ = 0, y_ = 0;  // pixels
  QSize hint_;
};

}  // namespace mirelune
