#include "ui/lamp.h"

#include <QPainter>

#include "device/command_frame.h"

Lamp::Lamp(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TranslucentBackground); }

void Lamp::setColorRef(quint32 colorref) {
  if (colorref == colorref_) return;
  colorref_ = colorref;
  update();
}

void Lamp::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(QColor(colorref_red(colorref_), colorref_green(colorref_), colorref_blue(colorref_)));
  p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
