#include "ui/lamp.h"

#include <QPainter>

namespace {

constexpr int colorref_red(quint32 c) { return static_cast<int>(c & 0xFF); }
constexpr int colorref_green(quint32 c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int colorref_blue(quint32 c) { return static_cast<int>((c >> 16) & 0xFF); }

}  // namespace

quint32 lamp_colour(LampLook look) {
  switch (look) {
    case LampLook::Energised:
      return kLampGreen;
    case LampLook::Released:
      return kLampRed;
    case LampLook::Grey:
      break;
  }
  return kLampGrey;
}

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
