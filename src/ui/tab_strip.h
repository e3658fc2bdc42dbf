#pragma once

#include <QStringList>
#include <QWidget>

// A strip of tabs in several rows (the route selector: sixteen tabs, two rows of eight) with no
// page below them. Exactly one tab is selected; a click or the arrow keys (Left/Right, Home/End)
// select another and raise currentChanged. A double click on a tab raises tabDoubleClicked.
class TabStrip : public QWidget {
  Q_OBJECT
 public:
  TabStrip(int count, int perRow, QWidget* parent = nullptr);

  int count() const { return static_cast<int>(captions_.size()); }
  int currentIndex() const { return current_; }
  void setCurrentIndex(int index);  // raises currentChanged when it changes
  QString tabText(int index) const { return captions_.value(index); }
  void setTabText(int index, const QString& text);
  // Where tab index lies, in the strip's coordinates.
  QRect tabRect(int index) const;
  // The tab at pos, or -1.
  int tabAt(const QPoint& pos) const;
  // The caption as the tab shows it: cut at the right end with "…" when it does not fit.
  // The whole caption is the tab's tooltip.
  QString shownText(int index) const;

 signals:
  void currentChanged(int index);
  void tabDoubleClicked(int index);

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  static constexpr int kTextMargin = 3;  // pixels kept free at each side of a tab's caption
  QStringList captions_;
  int perRow_;
  int current_ = 0;
};
