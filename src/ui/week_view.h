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
// names what lies under the pointer; a click on a row raises routeClicked.
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

  static QColor planColour() { return QColor(0x2f, 0x6f, 0xd0); }
  static QColor actualColour() { return QColor(0x1f, 0xa0, 0x46); }
  static QColor noLinkColour() { return QColor(0xb8, 0xb8, 0xb8); }
  static QColor markColour() { return QColor(0xd0, 0x10, 0x10); }
  static QColor nowColour() { return QColor(0xf0, 0x80, 0x00); }
  static QColor unknownColour() { return QColor(0x90, 0x90, 0x90); }

  QSize sizeHint() const override;

 signals:
  void routeClicked(int route);

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  int routeAt(int y) const;
  qint64 timeAt(int x) const;
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
};

// The window "一周": the plan and what the board reported, from 7 days ago to 7 days ahead, a day
// or a week at a time (the scroll bar and the wheel move through the span; "现在" brings now into
// view). It follows the entries, the record and the clock while it is open; a click on a route's
// row raises routeChosen.
class WeekView : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kSpanDays = 7;        // back and ahead of today
  static constexpr int kRefreshMs = 30000;   // the clock's check while open
  static constexpr int kMaxEvents = 100000;  // read from the record at most

  // logic must outlive the view.
  explicit WeekView(const AppLogic& logic, QWidget* parent = nullptr);

  WeekChart* chart() const { return chart_; }
  // Works the plan and the actual out again now.
  void refresh();
  // Shows a day (true) or a week at a time.
  void showDays(bool oneDay);

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
  qint64 windowLength() const;

  const AppLogic& logic_;
  WeekChart* chart_;
  QScrollBar* scroll_;
  QPushButton* day_;
  QPushButton* week_;
  QTimer clock_;
  bool refreshing_ = false;    // a refresh is on its way
  QList<RecordEvent> events_;  // from two weeks before today on, their times in UTC
  QStringList names_;
  qint64 spanFrom_ = 0;
  qint64 spanTo_ = 0;
};
