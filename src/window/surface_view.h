// surface_view.h — the widgets that show the engine's rasters and the window's
// own surface with its progress marks.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

#include "raster/surface.h"

namespace mirelune {

// One drawing surface on screen: a 2-pixel sunken frame around the raster, which
// is read straight from the engine's Surface whenever the widget repaints.
class SurfaceView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFrame = 2;

  SurfaceView(const Surface* surface, QWidget* parent);
  const Surface* surface() const { return surface_; }

  // Shows the raster at `factor` of its size, to fill the window it is in. The
  // raster itself keeps its size.
  void SetScale(double factor);
  double scale() const { return scale_; }

  // While nothing is drawn on the raster, shows the desktop's colour for an
  // empty pane instead of the raster's grey (a dark theme stays dark).
  void SetPaletteWhenBlank(bool on) { palette_when_blank_ = on; }
  // Whether dragging the view may start (dragStarted).
  void SetDragEnabled(bool on) { drag_enabled_ = on; }

  // The raster as it is now, in Qt's pixel format.
  static QImage ToQImage(const Image& image);

 signals:
  // The mouse, pressed on the view, moved far enough to drag what it shows.
  void dragStarted();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  bool Blank() const;

  const Surface* surface_;
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
  // In the window's layout units, 15 to a pixel (as the host's progress cursor moves).
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
