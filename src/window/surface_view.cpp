// surface_view.cpp — painting copies of rasters and progress marks.
#include "window/surface_view.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace mirelune {

SurfaceView::SurfaceView(int pixel_width, int pixel_height, QWidget* parent)
    : QWidget(parent), pixel_width_(pixel_width), pixel_height_(pixel_height) {
  // Every pixel is painted, so Qt need not clear underneath first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  picture_ = QImage(pixel_width, pixel_height, QImage::Format_RGB32);
  picture_.fill(QColor::fromRgb(kDefaultBackground & 0xFF, (kDefaultBackground >> 8) & 0xFF, (kDefaultBackground >> 16) & 0xFF));
  resize(pixel_width + 2 * kFrame, pixel_height + 2 * kFrame);
}

void SurfaceView::SetScale(double factor) {
  scale_ = factor;
  resize(static_cast<int>(std::lround(pixel_width_ * scale_)) + 2 * kFrame,
         static_cast<int>(std::lround(pixel_height_ * scale_)) + 2 * kFrame);
  update();
}

void SurfaceView::Show(const Image& image) { Show(ToQImage(image), IsBlank(image)); }

void SurfaceView::Show(QImage picture, bool blank) {
  picture_ = std::move(picture);
  blank_ = blank;
  if (isVisible()) update();
}

bool SurfaceView::IsBlank(const Image& image) {
  return std::all_of(image.pixels.begin(), image.pixels.end(), [](std::uint32_t c) { return c == kDefaultBackground; });
}

void SurfaceView::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  press_ = event->position().toPoint();
  QWidget::mousePressEvent(event);
}

void SurfaceView::mouseMoveEvent(QMouseEvent* event) {
  if (pressed_ && drag_enabled_ && (event->buttons() & Qt::LeftButton) &&
      (event->position().toPoint() - press_).manhattanLength() >= QApplication::startDragDistance()) {
    pressed_ = false;
    emit dragStarted();
  }
  QWidget::mouseMoveEvent(event);
}

QImage SurfaceView::ToQImage(const Image& image) {
  QImage out(image.width, image.height, QImage::Format_RGB32);
  for (int y = 0; y < image.height; ++y) {
    auto* dst = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
    const std::uint32_t* src = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
    for (int x = 0; x < image.width; ++x) {
      const std::uint32_t c = src[x];  // 0x00BBGGRR
      dst[x] = 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
    }
  }
  return out;
}

void SurfaceView::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.setClipRegion(event->region());
  const int w = width(), h = height();
  // A sunken 3-D border, two pixels on every side, in the desktop's colours.
  const QPalette& colours = palette();
  p.setPen(colours.color(QPalette::Mid));
  p.drawLine(0, 0, w - 2, 0);
  p.drawLine(0, 0, 0, h - 2);
  p.setPen(colours.color(QPalette::Dark));
  p.drawLine(1, 1, w - 3, 1);
  p.drawLine(1, 1, 1, h - 3);
  p.setPen(colours.color(QPalette::Light));
  p.drawLine(0, h - 1, w - 1, h - 1);
  p.drawLine(w - 1, 0, w - 1, h - 1);
  p.setPen(colours.color(QPalette::Midlight));
  p.drawLine(1, h - 2, w - 2, h - 2);
  p.drawLine(w - 2, 1, w - 2, h - 2);
  if (palette_when_blank_ && blank_) {
    p.fillRect(kFrame, kFrame, w - 2 * kFrame, h - 2 * kFrame, colours.color(QPalette::Base));
  } else if (scale_ == 1) {
    p.drawImage(kFrame, kFrame, picture_);
  } else {
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(kFrame, kFrame, w - 2 * kFrame, h - 2 * kFrame), picture_);
  }
}

FormSurface::FormSurface(QWidget* parent) : QWidget(parent) { setAutoFillBackground(true); }

void FormSurface::Clear() {
  marks_.clear();
  x_ = y_ = 0;
  update();
}

void FormSurface::SetPos(double x_units, double y_units) {
  x_ = x_units / 15.0;
  y_ = y_units / 15.0;
}

void FormSurface::Print(const QString& text) {
  const QFontMetrics fm(font());
  const QPoint at(static_cast<int>(std::lround(x_)), static_cast<int>(std::lround(y_)));
  marks_.push_back({at, text});
  update(QRect(at, QSize(fm.horizontalAdvance(text) + 2, fm.lineSpacing() + 1)));
  x_ = 0;
  y_ += fm.lineSpacing();
}

void FormSurface::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.setClipRegion(event->region());
  p.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics fm(font());
  for (const Mark& m : marks_) p.drawText(m.at + QPoint(0, fm.ascent()), m.text);
}

}  // namespace mirelune
