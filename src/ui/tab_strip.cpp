#include "ui/tab_strip.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QToolTip>

TabStrip::TabStrip(int count, int perRow, QWidget* parent) : QWidget(parent), perRow_(perRow) {
  for (int i = 0; i < count; ++i) captions_ << QString();
  setFocusPolicy(Qt::StrongFocus);
}

void TabStrip::setCurrentIndex(int index) {
  if (index < 0 || index >= count() || index == current_) return;
  current_ = index;
  update();
  emit currentChanged(index);
}

void TabStrip::setTabText(int index, const QString& text) {
  if (index < 0 || index >= count()) return;
  captions_[index] = text;
  update();
}

QRect TabStrip::tabRect(int index) const {
  const int rows = (count() + perRow_ - 1) / perRow_;
  const int row = index / perRow_, col = index % perRow_;
  const int h = height() / rows;
  const int x0 = col * width() / perRow_, x1 = (col + 1) * width() / perRow_;
  return QRect(x0, row * h, x1 - x0, h);
}

QString TabStrip::shownText(int index) const {
  const int room = tabRect(index).width() - 2 * kTextMargin;
  return fontMetrics().elidedText(captions_.value(index), Qt::ElideRight, room);
}

bool TabStrip::event(QEvent* e) {
  if (e->type() != QEvent::ToolTip) return QWidget::event(e);
  const auto* help = static_cast<QHelpEvent*>(e);
  const int i = tabAt(help->pos());
  if (i >= 0) {
    QToolTip::showText(help->globalPos(), captions_[i], this, tabRect(i));
    return true;
  }
  QToolTip::hideText();
  e->ignore();
  return true;
}

void TabStrip::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  for (int i = 0; i < count(); ++i) {
    QStyleOptionTab opt;
    opt.initFrom(this);
    opt.rect = tabRect(i);
    opt.shape = QTabBar::RoundedNorth;
    opt.position = QStyleOptionTab::Middle;
    opt.state &= ~QStyle::State_HasFocus;
    if (i == current_) {
      opt.state |= QStyle::State_Selected;
      if (hasFocus()) opt.state |= QStyle::State_HasFocus;
    }
    p.drawControl(QStyle::CE_TabBarTab, opt);  // the tab and its focus frame, no caption
    // The caption: the style would keep a wide padding free and cut a four-character name at
    // both ends; it gets the whole tab but for a small margin, at the style's height.
    QRect text = p.style()->subElementRect(QStyle::SE_TabBarTabText, &opt, this);
    text.setLeft(opt.rect.left() + kTextMargin);
    text.setRight(opt.rect.right() - kTextMargin);
    p.drawItemText(text, Qt::AlignCenter, opt.palette, isEnabled(), shownText(i),
                   QPalette::WindowText);
  }
}

int TabStrip::tabAt(const QPoint& pos) const {
  for (int i = 0; i < count(); ++i)
    if (tabRect(i).contains(pos)) return i;
  return -1;
}

void TabStrip::mousePressEvent(QMouseEvent* e) { setCurrentIndex(tabAt(e->position().toPoint())); }

void TabStrip::mouseDoubleClickEvent(QMouseEvent* e) {
  const int tab = tabAt(e->position().toPoint());
  if (e->button() == Qt::LeftButton && tab >= 0) emit tabDoubleClicked(tab);
}

void TabStrip::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Left:
      setCurrentIndex(qMax(0, current_ - 1));
      break;
    case Qt::Key_Right:
      setCurrentIndex(qMin(count() - 1, current_ + 1));
      break;
    case Qt::Key_Home:
      setCurrentIndex(0);
      break;
    case Qt::Key_End:
      setCurrentIndex(count() - 1);
      break;
    default:
      QWidget::keyPressEvent(e);
  }
}
