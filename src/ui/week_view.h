#pragma once

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "app/app_logic.h"
#include "core/week_plan.h"
#include "station/actual_periods.h"

class QPushButton;
class QScrollBar;

// The chart of the window "一周": one row per route (its number and name), time running to the
// right over a window of the plan's span. Each row has a plan lane (the timetable's energised
// periods as bars, unknown hatched) over an actual lane (what the board reported: energised as a
// bar of another colour, no link grey, unknown hatched); a tie of entries or a passed fixed date is
// a red mark at its moment and a red corner at the route's name; a line stands at "now". Hovering
// names what lies under the pointer; a click on a row raises routeClicked, the wheel with Ctrl
// zoomRequested.
class WeekChart : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kHeader = 34;  // the dates and hours above the rows
  static constexpr int kRowHeight = 26;
  static constexpr int kNameWidth = 104;

  // entryText gives the text of the entry under a key (empty for none).
  explicit WeekChart(std::function<QString(const QString&)> entryText, QWidget* parent = nullptr);

  void setData(const WeekPlan& plan, const ActualRoutes& actual, const QStringList& names,
               qint64 now);
  // The entries that did not act, marked on the actual lanes (until the next call).
  void setMisses(const ActualMisses& misses) { misses_ = misses; }
  // The time shown, from..to in milliseconds since the epoch.
  void setWindow(qint64 from, qint64 to);
  qint64 windowFrom() const { return from_; }
  qint64 windowTo() const { return to_; }

  // Where things are drawn: the x of a moment, a route's lanes.
  int xOf(qint64 ms) const;
  QRect planLane(int route) const;
  QRect actualLane(int route) const;
  // What hovering at pos names (empty for nothing).
  QString tipAt(const QPoint& pos) const;
  // The moment at x (the inverse of xOf), and where it lies across the time shown, 0..1.
  qint64 timeAt(int x) const;
  double fractionAt(int x) const;

  static QColor planColour() { return QColor(0x2f, 0x6f, 0xd0); }
  static QColor actualColour() { return QColor(0x1f, 0xa0, 0x46); }
  static QColor noLinkColour() { return QColor(0xb8, 0xb8, 0xb8); }
  static QColor markColour() { return QColor(0xd0, 0x10, 0x10); }
  static QColor nowColour() { return QColor(0xf0, 0x80, 0x00); }
  static QColor unknownColour() { return QColor(0x90, 0x90, 0x90); }

  QSize sizeHint() const override;

 signals:
  void routeClicked(int route);
  // The wheel turned with Ctrl held at x: steps notches (positive away from the user, in).
  void zoomRequested(int steps, int x);

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;

 private:
  int routeAt(int y) const;
  void drawAxis(QPainter& p) const;
  void drawRow(QPainter& p, int route) const;
  QString span(qint64 from, qint64 to) const;
  QString conflictText(const PlanConflict& c) const;

  std::function<QString(const QString&)> entryText_;
  WeekPlan plan_;
  ActualRoutes actual_;
  ActualMisses misses_;
  QStringList names_;
  qint64 now_ = 0;
  qint64 from_ = 0;
  qint64 to_ = 1;
  int wheelRest_ = 0;  // a fine wheel's (a touchpad's) turn short of a notch
};

// The window "一周": the plan and what the board reported, from 7 days ago to 7 days ahead, a day
// or a week at a time, or zoomed in ("放大", "缩小", the wheel with Ctrl) down to an hour across
// the view, where switches a minute apart stand apart (the scroll bar and the wheel move through
// the span; "现在" brings now into view). Zooming keeps the moment under the pointer (the wheel) or
// in the middle (the buttons) where it was. It follows the entries, the record and the clock while
// it is open; a click on a route's row raises routeChosen.
class WeekView : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kSpanDays = 7;                 // back and ahead of today
  static constexpr int kRefreshMs = 30000;            // the clock's check while open
  static constexpr int kMaxEvents = 100000;           // read from the record at most
  static constexpr qint64 kShortestMs = 3600 * 1000;  // the closest zoom: an hour across

  // logic must outlive the view.
  explicit WeekView(const AppLogic& logic, QWidget* parent = nullptr);

  WeekChart* chart() const { return chart_; }
  // Works the plan and the actual out again now.
  void refresh();
  // Shows a day (true) or a week at a time.
  void showDays(bool oneDay);
  // Zooms steps levels in (positive) or out, keeping the moment at fraction `at` (0..1) of the
  // time shown where it is.
  void zoom(int steps, double at = 0.5);

 signals:
  void routeChosen(int route);

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;

 private:
  void refreshSoon();
  // The routes' names from Name.ini: at opening and with the clock's check, not at every event.
  void readNames();
  void placeWindow(qint64 from);
  // Shows length at a time from `from` on (within the span).
  void showLength(qint64 length, qint64 from);

  const AppLogic& logic_;
  WeekChart* chart_;
  QScrollBar* scroll_;
  QPushButton* day_;
  QPushButton* week_;
  QPushButton* zoomIn_;
  QPushButton* zoomOut_;
  qint64 length_ = 0;  // the time shown at once (a week at first)
  QTimer clock_;
  bool refreshing_ = false;    // a refresh is on its way
  QList<RecordEvent> events_;  // from two weeks before today on, their times in UTC
  QStringList names_;
  qint64 spanFrom_ = 0;
  qint64 spanTo_ = 0;
};
