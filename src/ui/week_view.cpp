#include "ui/week_view.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <iterator>

#include "core/due_moments.h"
#include "editing/entry_text.h"
#include "ui/ui_support.h"

namespace {

constexpr qint64 kMinuteMs = 60 * 1000;
constexpr qint64 kHourMs = 60 * kMinuteMs;
constexpr qint64 kDayMs = 24 * kHourMs;
constexpr qint64 kWeekMs = 7 * kDayMs;
// The time shown at once, zoomed out to in: a notch of the wheel or a button's click is a level.
constexpr qint64 kLengths[] = {kWeekMs,     3 * kDayMs,  kDayMs, 12 * kHourMs,
                               6 * kHourMs, 3 * kHourMs, kHourMs};
static_assert(kLengths[std::size(kLengths) - 1] == WeekView::kShortestMs);
// The axis' steps in minutes: labelled lines, and short ticks between them.
constexpr int kTickMinutes[] = {1, 5, 10, 30, 60, 180, 360, 720};
constexpr int kMinorTickPixels = 6;  // the closest unlabelled ticks
constexpr int kScrollUnitMs = 1000;  // the scroll bar counts seconds
constexpr int kRightMargin = 6;
constexpr int kFrameAllowance = 48;  // the window manager's title bar and frame, in pixels
constexpr int kMarkReach = 3;        // pixels either side of a mark that hovering counts as on it
constexpr int kTipLines = 12;        // a route's conflicts named at its name, at most

qint64 midnight(const QDate& d) { return QDateTime(d, QTime(0, 0)).toMSecsSinceEpoch(); }

QString moment_text(qint64 ms) {
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("MM-dd HH:mm:ss"));
}

// The period of `periods` that holds moment t, or null.
template <typename Period>
const Period* period_at(const QList<Period>& periods, qint64 t) {
  const auto it = std::upper_bound(periods.begin(), periods.end(), t,
                                   [](qint64 v, const Period& p) { return v < p.from; });
  if (it == periods.begin()) return nullptr;
  const Period& p = *std::prev(it);
  return t < p.to ? &p : nullptr;
}

QBrush hatch() { return QBrush(WeekChart::unknownColour(), Qt::BDiagPattern); }

}  // namespace

WeekChart::WeekChart(std::function<QString(const QString&)> entryText, QWidget* parent)
    : QWidget(parent), entryText_(std::move(entryText)) {
  setObjectName(QStringLiteral("WeekChart"));
  setMouseTracking(true);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setMinimumSize(kNameWidth + 360, kHeader + 16 * kRowHeight + 1);
}

QSize WeekChart::sizeHint() const { return QSize(960, kHeader + 16 * kRowHeight + 1); }

void WeekChart::setData(const WeekPlan& plan, const ActualRoutes& actual, const QStringList& names,
                        qint64 now) {
  plan_ = plan;
  actual_ = actual;
  names_ = names;
  now_ = now;
  update();
}

void WeekChart::setWindow(qint64 from, qint64 to) {
  from_ = from;
  to_ = std::max(to, from + 1);
  update();
}

int WeekChart::xOf(qint64 ms) const {
  const double w = width() - kNameWidth - kRightMargin;
  return kNameWidth + static_cast<int>(std::floor(double(ms - from_) * w / double(to_ - from_)));
}

qint64 WeekChart::timeAt(int x) const {
  const double w = width() - kNameWidth - kRightMargin;
  return from_ + static_cast<qint64>(double(x - kNameWidth) * double(to_ - from_) / w);
}

double WeekChart::fractionAt(int x) const {
  const double w = width() - kNameWidth - kRightMargin;
  return std::clamp(double(x - kNameWidth) / w, 0.0, 1.0);
}

QRect WeekChart::planLane(int route) const {
  return QRect(kNameWidth, kHeader + (route - 1) * kRowHeight + 3,
               width() - kNameWidth - kRightMargin, 12);
}

QRect WeekChart::actualLane(int route) const {
  return QRect(kNameWidth, kHeader + (route - 1) * kRowHeight + 17,
               width() - kNameWidth - kRightMargin, 6);
}

int WeekChart::routeAt(int y) const {
  if (y < kHeader) return 0;
  const int r = (y - kHeader) / kRowHeight + 1;
  return r <= kRouteCount ? r : 0;
}

void WeekChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  p.fillRect(QRect(kNameWidth, kHeader, width() - kNameWidth - kRightMargin, 16 * kRowHeight),
             Qt::white);
  drawAxis(p);
  for (int r = 1; r <= kRouteCount; ++r) drawRow(p, r);
  if (now_ >= from_ && now_ < to_) {
    const int x = xOf(now_);
    p.fillRect(QRect(x - 1, kHeader - 4, 2, 16 * kRowHeight + 4), nowColour());
  }
}

void WeekChart::drawAxis(QPainter& p) const {
  p.setFont(song_bold(9));
  const QFontMetrics fm(p.font());
  const int bottom = kHeader + 16 * kRowHeight;
  // Lines with the time at the closest step whose labels have room ("07", or "07:05" under an
  // hour), and short ticks between them at the closest step at least kMinorTickPixels apart.
  const double minutePixels =
      double(width() - kNameWidth - kRightMargin) * kMinuteMs / double(to_ - from_);
  const auto labelOf = [](int minute, int step) {
    const QString hour = QStringLiteral("%1").arg(minute / 60, 2, 10, QLatin1Char('0'));
    return step >= 60 ? hour
                      : hour + QStringLiteral(":%1").arg(minute % 60, 2, 10, QLatin1Char('0'));
  };
  int step = kTickMinutes[std::size(kTickMinutes) - 1];
  for (const int s : kTickMinutes)
    if (s * minutePixels > fm.horizontalAdvance(labelOf(0, s)) + 8) {
      step = s;
      break;
    }
  int tick = step;
  for (const int s : kTickMinutes)
    if (step % s == 0 && s * minutePixels >= kMinorTickPixels) {
      tick = s;
      break;
    }
  const QDate first = QDateTime::fromMSecsSinceEpoch(from_).date();
  for (QDate d = first; midnight(d) < to_; d = d.addDays(1)) {
    const qint64 day = midnight(d);
    // The day's ticks in the time shown (a clock change moves them by an hour at most).
    const int firstMinute = static_cast<int>(std::max<qint64>(0, (from_ - day) / kMinuteMs - 60));
    const int endMinute = static_cast<int>(std::min<qint64>(24 * 60, (to_ - day) / kMinuteMs + 61));
    for (int m = firstMinute / tick * tick; m < endMinute; m += tick) {
      const qint64 t = QDateTime(d, QTime(m / 60, m % 60)).toMSecsSinceEpoch();
      if (t < from_ || t >= to_) continue;
      const int x = xOf(t);
      if (m % step != 0) {
        p.setPen(QColor(0xb0, 0xb0, 0xb0));
        p.drawLine(x, kHeader - 3, x, kHeader - 1);
        continue;
      }
      p.setPen(m == 0 ? QColor(0x90, 0x90, 0x90) : QColor(0xe2, 0xe2, 0xe2));
      p.drawLine(x, m == 0 ? 0 : kHeader - 6, x, bottom - 1);
      if (m > 0 || step <= 60) {
        p.setPen(Qt::darkGray);
        const QString label = labelOf(m, step);
        if (xOf(t + step * kMinuteMs) - x > fm.horizontalAdvance(label) + 2)
          p.drawText(x + 2, kHeader - 8, label);
      }
    }
    // The day's name, in its part of the chart.
    const int x1 = std::max(xOf(day), kNameWidth),
              x2 = std::min(xOf(midnight(d.addDays(1))), width() - kRightMargin);
    const QString name = d.toString(QStringLiteral("MM-dd ")) +
                         QLocale().dayName(d.dayOfWeek(), QLocale::ShortFormat);
    p.setPen(d == QDateTime::fromMSecsSinceEpoch(now_).date() ? markColour() : Qt::black);
    if (x2 - x1 > fm.horizontalAdvance(name) + 4)
      p.drawText(QRect(x1 + 3, 1, x2 - x1 - 4, 14), Qt::AlignLeft | Qt::AlignVCenter, name);
  }
}

void WeekChart::drawRow(QPainter& p, int route) const {
  const auto r = static_cast<size_t>(route);
  const int top = kHeader + (route - 1) * kRowHeight;
  p.setPen(QColor(0xe8, 0xe8, 0xe8));
  p.drawLine(0, top + kRowHeight - 1, width() - kRightMargin, top + kRowHeight - 1);
  // The name, with a red corner when the route has a conflict.
  p.setFont(song_bold(9));
  p.setPen(Qt::black);
  const QString name = QStringLiteral("%1 %2").arg(route).arg(names_.value(route - 1));
  const QRect nameRect(4, top, kNameWidth - 14, kRowHeight);
  p.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
             QFontMetrics(p.font()).elidedText(name, Qt::ElideRight, nameRect.width()));
  const RoutePlan& plan = plan_.routes[r];
  if (!plan.conflicts.isEmpty()) {
    const QPoint corner(kNameWidth - 4, top + 2);
    p.setPen(Qt::NoPen);
    p.setBrush(markColour());
    p.drawPolygon(QPolygon({corner, corner + QPoint(-8, 0), corner + QPoint(0, 8)}));
  }
  const auto bar = [&](const QRect& lane, qint64 a, qint64 b, const QBrush& brush) {
    a = std::max(a, from_);
    b = std::min(b, to_);
    if (b <= a) return;
    const int x1 = xOf(a), x2 = xOf(b);
    p.fillRect(QRect(x1, lane.top(), std::max(1, x2 - x1), lane.height()), brush);
  };
  const QRect planRect = planLane(route), actualRect = actualLane(route);
  for (const PlanPeriod& period : plan.periods) {
    if (period.state == PlanState::Energised)
      bar(planRect, period.from, period.to, planColour());
    else if (period.state == PlanState::Unknown)
      bar(planRect, period.from, period.to, hatch());
  }
  for (const ActualPeriod& period : actual_[r]) {
    if (period.state == ActualState::Energised)
      bar(actualRect, period.from, period.to, actualColour());
    else if (period.state == ActualState::NoLink)
      bar(actualRect, period.from, period.to, noLinkColour());
    else if (period.state == ActualState::Unknown)
      bar(actualRect, period.from, period.to, hatch());
  }
  for (const ActualMiss& m : misses_[r]) {
    if (m.at < from_ || m.at >= to_) continue;
    const int x = xOf(m.at);
    p.fillRect(QRect(x, actualRect.top() - 2, 1, actualRect.height() + 4), markColour());
  }
  for (const PlanConflict& c : plan.conflicts) {
    if (c.at < from_ || c.at >= to_) continue;
    const int x = xOf(c.at);
    p.fillRect(QRect(x, top + 1, 1, kRowHeight - 3), markColour());
    p.setPen(Qt::NoPen);
    p.setBrush(markColour());
    p.drawPolygon(QPolygon({QPoint(x - 4, top + 1), QPoint(x + 4, top + 1), QPoint(x, top + 6)}));
  }
}

QString WeekChart::span(qint64 from, qint64 to) const {
  // A period may begin before the span and last beyond it; the actual ones end now.
  const bool fromStart = from <= plan_.from, untilNow = to == now_;
  if (fromStart && (untilNow || to >= plan_.to)) return {};
  if (fromStart) return tr("至 %1").arg(moment_text(to));
  if (untilNow) return tr("%1 至今").arg(moment_text(from));
  if (to >= plan_.to) return tr("%1 起").arg(moment_text(from));
  return tr("%1 至 %2").arg(moment_text(from), moment_text(to));
}

QString WeekChart::conflictText(const PlanConflict& c) const {
  if (c.kind == PlanConflict::Past) return tr("已过期：%1").arg(entryText_(c.keys.value(0)));
  QString text = tr("同一秒动作冲突（以最后一条为准）：");
  for (const QString& key : c.keys) text += QLatin1Char('\n') + entryText_(key);
  return text;
}

QString WeekChart::tipAt(const QPoint& pos) const {
  const int route = routeAt(pos.y());
  if (route == 0) return {};
  const RoutePlan& plan = plan_.routes[static_cast<size_t>(route)];
  if (pos.x() < kNameWidth) {
    // The route's conflicts, each told once (a tie of every-day entries comes every day).
    QStringList lines{QStringLiteral("%1 %2").arg(route).arg(names_.value(route - 1))};
    for (const PlanConflict& c : plan.conflicts) lines << conflictText(c);
    lines.removeDuplicates();
    if (lines.size() > kTipLines) lines = lines.mid(0, kTipLines) << QStringLiteral("…");
    return lines.join(QLatin1Char('\n'));
  }
  const qint64 t = timeAt(pos.x());
  for (const PlanConflict& c : plan.conflicts)
    if (c.at >= from_ && c.at < to_ && std::abs(xOf(c.at) - pos.x()) <= kMarkReach)
      return conflictText(c);
  const auto word = [](bool energise) {
    return energise ? QCoreApplication::translate("Record", "吸合")
                    : QCoreApplication::translate("Record", "断开");
  };
  if (pos.y() >= actualLane(route).top() - 1) {
    for (const ActualMiss& m : misses_[static_cast<size_t>(route)])
      if (m.at >= from_ && m.at < to_ && std::abs(xOf(m.at) - pos.x()) <= kMarkReach)
        return tr("未执行：%1").arg(entryText_(m.key).trimmed());
    const ActualPeriod* a = period_at(actual_[static_cast<size_t>(route)], t);
    if (!a) return {};
    QString what = tr("未知");
    if (a->state == ActualState::NoLink) what = tr("无连接");
    if (a->state == ActualState::Energised || a->state == ActualState::Released)
      what = word(a->state == ActualState::Energised);
    const QString when = span(a->from, a->to);
    return tr("实际：%1").arg(what) + (when.isEmpty() ? QString() : QLatin1Char('\n') + when);
  }
  const PlanPeriod* period = period_at(plan.periods, t);
  if (!period) return {};
  QString what = period->key.isEmpty() ? QString() : entryText_(period->key).trimmed();
  if (what.isEmpty())
    what = period->state == PlanState::Unknown ? tr("未知")
                                               : word(period->state == PlanState::Energised);
  const QString when = span(period->from, period->to);
  return tr("计划：%1").arg(what) + (when.isEmpty() ? QString() : QLatin1Char('\n') + when);
}

bool WeekChart::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(e);
    const QString tip = tipAt(help->pos());
    if (tip.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), tip, this);
    return true;
  }
  return QWidget::event(e);
}

void WeekChart::mousePressEvent(QMouseEvent* e) {
  const int route = routeAt(qRound(e->position().y()));
  if (e->button() == Qt::LeftButton && route > 0) emit routeClicked(route);
}

void WeekChart::wheelEvent(QWheelEvent* e) {
  if (!(e->modifiers() & Qt::ControlModifier)) {
    e->ignore();  // the rows' scroll area, then the window, scroll
    return;
  }
  e->accept();
  wheelRest_ += e->angleDelta().y();
  const int steps = wheelRest_ / QWheelEvent::DefaultDeltasPerStep;
  wheelRest_ -= steps * QWheelEvent::DefaultDeltasPerStep;
  if (steps != 0) emit zoomRequested(steps, qRound(e->position().x()));
}

namespace {

// A small sample of a look, for the legend.
QLabel* swatch(const QBrush& brush, QWidget* parent) {
  QPixmap pixmap(18, 10);
  pixmap.fill(Qt::white);
  QPainter p(&pixmap);
  p.fillRect(pixmap.rect(), brush);
  p.setPen(QColor(0xa0, 0xa0, 0xa0));
  p.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
  p.end();
  auto* label = new QLabel(parent);
  label->setPixmap(pixmap);
  return label;
}

}  // namespace

WeekView::WeekView(const AppLogic& logic, QWidget* parent) : QDialog(parent), logic_(logic) {
  setObjectName(QStringLiteral("WeekView"));
  setWindowTitle(tr("一周"));
  const EntryCollection& entries = logic_.entries();
  chart_ = new WeekChart(
      [&entries](const QString& key) {
        const EntryPtr e = entries.item(key);
        return e ? entry_text(*e) : QString();
      },
      this);
  day_ = new QPushButton(tr("一天"), this);
  week_ = new QPushButton(tr("一周"), this);
  zoomIn_ = new QPushButton(tr("放大"), this);
  zoomOut_ = new QPushButton(tr("缩小"), this);
  zoomIn_->setObjectName(QStringLiteral("ZoomIn"));
  zoomOut_->setObjectName(QStringLiteral("ZoomOut"));
  auto* now = new QPushButton(tr("现在"), this);
  for (QPushButton* b : {day_, week_}) b->setCheckable(true);
  for (QPushButton* b : {day_, week_, zoomIn_, zoomOut_, now})
    b->setAutoDefault(false);  // no button is Return's
  length_ = kWeekMs;
  week_->setChecked(true);
  zoomOut_->setEnabled(false);
  scroll_ = new QScrollBar(Qt::Horizontal, this);

  auto* top = new QHBoxLayout;
  top->addWidget(day_);
  top->addWidget(week_);
  top->addSpacing(10);
  top->addWidget(zoomIn_);
  top->addWidget(zoomOut_);
  top->addStretch();
  top->addWidget(now);
  auto* legend = new QHBoxLayout;
  const std::pair<QBrush, QString> looks[] = {
      {WeekChart::planColour(), tr("计划吸合")}, {WeekChart::actualColour(), tr("实际吸合")},
      {WeekChart::noLinkColour(), tr("无连接")}, {hatch(), tr("未知")},
      {WeekChart::markColour(), tr("冲突")},     {WeekChart::nowColour(), tr("现在")}};
  for (const auto& [brush, text] : looks) {
    legend->addWidget(swatch(brush, this));
    legend->addWidget(new QLabel(text, this));
    legend->addSpacing(10);
  }
  legend->addStretch();
  // The sixteen rows scroll when the screen is too low for them (a large scale factor), so the
  // window, its time bar and its legend always fit the screen.
  auto* rows = new QScrollArea(this);
  rows->setWidget(chart_);
  rows->setWidgetResizable(true);
  rows->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  rows->setFrameShape(QFrame::NoFrame);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(rows);
  layout->addWidget(scroll_);
  layout->addLayout(legend);
  const int whole = sizeHint().height() - rows->sizeHint().height() + chart_->sizeHint().height();
  const QRect screen = this->screen()->availableGeometry();
  resize(qMin(960, screen.width()), qMin(whole, screen.height() - kFrameAllowance));

  connect(day_, &QPushButton::clicked, this, [this] { showDays(true); });
  connect(week_, &QPushButton::clicked, this, [this] { showDays(false); });
  connect(zoomIn_, &QPushButton::clicked, this, [this] { zoom(1); });
  connect(zoomOut_, &QPushButton::clicked, this, [this] { zoom(-1); });
  connect(now, &QPushButton::clicked, this, [this] {
    // Whole days with today in the middle, or now in the middle of a shorter time.
    const QDateTime clock = logic_.clock()();
    if (length_ < kDayMs) {
      placeWindow(clock.toMSecsSinceEpoch() - length_ / 2);
      return;
    }
    const int days = static_cast<int>(length_ / kDayMs);
    placeWindow(midnight(clock.date().addDays(-(days - 1) / 2)));
  });
  connect(scroll_, &QScrollBar::valueChanged, this,
          [this](int units) { placeWindow(spanFrom_ + qint64(units) * kScrollUnitMs); });
  connect(chart_, &WeekChart::routeClicked, this, &WeekView::routeChosen);
  connect(chart_, &WeekChart::zoomRequested, this,
          [this](int steps, int x) { zoom(steps, chart_->fractionAt(x)); });
  connect(&logic_, &AppLogic::entriesChanged, this, &WeekView::refreshSoon);
  connect(&logic_.record(), &SwitchRecord::appended, this, [this](const RecordEvent& e) {
    if (!isVisible()) return;
    events_ << e;
    events_.last().at = e.at.toUTC();
    refreshSoon();
  });
  clock_.setInterval(kRefreshMs);
  connect(&clock_, &QTimer::timeout, this, [this] {
    readNames();  // a route renamed meanwhile
    refresh();
  });
}

void WeekView::refresh() {
  const QDateTime now = logic_.clock()();
  const QDate today = now.date();
  spanFrom_ = midnight(today.addDays(-kSpanDays));
  spanTo_ = midnight(today.addDays(kSpanDays + 1));
  const EntryCollection& entries = logic_.entries();
  std::array<QString, kRouteCount + 1> startKeys;
  const RouteStateTable start =
      last_route_states(entries, QDateTime::fromMSecsSinceEpoch(spanFrom_), &startKeys);
  const WeekPlan plan =
      week_plan(entries, spanFrom_, spanTo_, start, now.toMSecsSinceEpoch(), &startKeys);
  std::optional<quint16> reported;
  if (logic_.health() == LinkHealth::Answering) reported = logic_.reportedStates();
  const ActualRoutes actual =
      actual_periods(events_, spanFrom_, spanTo_, now.toMSecsSinceEpoch(), reported);
  if (names_.isEmpty()) readNames();
  chart_->setMisses(actual_misses(events_, spanFrom_, spanTo_));
  chart_->setData(plan, actual, names_, now.toMSecsSinceEpoch());
  placeWindow(chart_->windowFrom() > 0 ? chart_->windowFrom() : midnight(today.addDays(-3)));
}

void WeekView::readNames() {
  const ProfileFile names = logic_.settings().load();
  names_.clear();
  for (int r = 1; r <= kRouteCount; ++r) names_ << logic_.settings().ReadRouteName(names, r);
}

void WeekView::refreshSoon() {
  if (!isVisible() || refreshing_) return;
  refreshing_ = true;
  QTimer::singleShot(0, this, [this] {
    refreshing_ = false;
    refresh();
  });
}

void WeekView::placeWindow(qint64 from) {
  from = std::clamp(from, spanFrom_, std::max(spanFrom_, spanTo_ - length_));
  chart_->setWindow(from, from + length_);
  const QSignalBlocker block(scroll_);
  scroll_->setRange(0, static_cast<int>((spanTo_ - length_ - spanFrom_) / kScrollUnitMs));
  scroll_->setPageStep(static_cast<int>(length_ / kScrollUnitMs));
  // A notch of the wheel: six hours of a week, an hour of a day, two and a half minutes of an hour.
  const qint64 notch = length_ >= kWeekMs ? 6 * kHourMs : length_ / 24;
  scroll_->setSingleStep(static_cast<int>(notch / kScrollUnitMs));
  scroll_->setValue(static_cast<int>((from - spanFrom_) / kScrollUnitMs));
}

void WeekView::showLength(qint64 length, qint64 from) {
  length_ = length;
  day_->setChecked(length_ == kDayMs);
  week_->setChecked(length_ == kWeekMs);
  zoomIn_->setEnabled(length_ > kLengths[std::size(kLengths) - 1]);
  zoomOut_->setEnabled(length_ < kLengths[0]);
  placeWindow(from);
}

void WeekView::showDays(bool oneDay) {
  // The day in the middle of what was shown stays in view.
  const qint64 middle = (chart_->windowFrom() + chart_->windowTo()) / 2;
  const QDate day = QDateTime::fromMSecsSinceEpoch(middle).date();
  showLength(oneDay ? kDayMs : kWeekMs, midnight(oneDay ? day : day.addDays(-3)));
}

void WeekView::zoom(int steps, double at) {
  const auto level = std::find(std::begin(kLengths), std::end(kLengths), length_) - kLengths;
  const auto next = std::clamp<qint64>(level + steps, 0, qint64(std::size(kLengths)) - 1);
  const qint64 from = chart_->windowFrom(), length = chart_->windowTo() - from;
  const qint64 anchor = from + static_cast<qint64>(at * double(length));
  showLength(kLengths[next], anchor - static_cast<qint64>(at * double(kLengths[next])));
}

void WeekView::showEvent(QShowEvent* e) {
  // The record from a week before the span on, for the states it starts in.
  const QDate today = logic_.clock()().date();
  // Only what the board and the link told, and at most kMaxEvents of it (a record that holds
  // more, a route toggled every second by an automation, shows "unknown" before them).
  events_ = logic_.record().since(QDateTime(today.addDays(-2 * kSpanDays), QTime(0, 0)), true,
                                  kMaxEvents);
  // Local times cost a look-up of the zone at every reading; the events are read many times.
  for (RecordEvent& event : events_) event.at = event.at.toUTC();
  readNames();
  refresh();
  clock_.start();
  QDialog::showEvent(e);
}

void WeekView::hideEvent(QHideEvent* e) {
  clock_.stop();
  events_.clear();
  QDialog::hideEvent(e);
}

void WeekView::wheelEvent(QWheelEvent* e) {
  if (e->modifiers() & Qt::ControlModifier) {  // off the chart: about the middle
    const int delta = e->angleDelta().y();
    if (delta != 0) zoom(delta > 0 ? 1 : -1);
    return;
  }
  // Up and down, or a touchpad's sideways swipe, move through the span.
  const int delta = e->angleDelta().y() != 0 ? e->angleDelta().y() : e->angleDelta().x();
  const int steps = delta / 120 != 0 ? delta / 120 : (delta > 0) - (delta < 0);
  scroll_->setValue(scroll_->value() - steps * scroll_->singleStep());
}
