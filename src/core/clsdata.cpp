#include "core/clsdata.h"

#include <QDate>
#include <QTime>

#include "core/route_state.h"

namespace {

// Zero-pads n on the left to width digits; a negative number keeps its "-" in front.
QString padded(int n, int width) {
  const QString digits = QString::number(qAbs(n)).rightJustified(width, QLatin1Char('0'));
  return n < 0 ? QLatin1Char('-') + digits : digits;
}

bool is_ascii_digit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

qint16 number_at(const QString& text, int pos, int len) {
  // Only called on verified ASCII digits; at most four of them, so the value fits.
  int v = 0;
  for (int i = pos; i < pos + len; ++i) v = v * 10 + (text.at(i).unicode() - '0');
  return static_cast<qint16>(v);
}

}  // namespace

QString Clsdata::GetStr() const {
  QString s;
  s.reserve(26);
  s += bIsOpen ? QLatin1Char('1') : QLatin1Char('0');
  s += bIsEveryDay ? QLatin1Char('1') : QLatin1Char('0');
  s += bIsWeek ? QLatin1Char('1') : QLatin1Char('0');
  s += strWeek;
  s += padded(nRoute, 2);
  s += padded(nStartYear, 4);
  s += padded(nStartMonth, 2);
  s += padded(nStartDay, 2);
  s += padded(nStartHour, 2);
  s += padded(nStartMin, 2);
  s += padded(nStartSecond, 2);
  return s;
}

void Clsdata::ClearData() {
  nStartHour = 0;
  nStartMin = 0;
  nStartSecond = 0;
}

EntryPtr StrToData(const QString& text) {
  auto e = std::make_shared<Clsdata>();
  if (text.size() != 26) return e;
  for (int i = 0; i < 26; ++i) {
    const bool digitPosition = i < 3 || i >= 10;
    if (digitPosition && !is_ascii_digit(text.at(i))) return e;
  }
  e->bIsOpen = text.at(0) != QLatin1Char('0');
  e->bIsEveryDay = text.at(1) != QLatin1Char('0');
  e->bIsWeek = text.at(2) != QLatin1Char('0');
  e->strWeek = text.mid(3, 7);
  e->nRoute = number_at(text, 10, 2);
  e->nStartYear = number_at(text, 12, 4);
  e->nStartMonth = number_at(text, 16, 2);
  e->nStartDay = number_at(text, 18, 2);
  e->nStartHour = number_at(text, 20, 2);
  e->nStartMin = number_at(text, 22, 2);
  e->nStartSecond = number_at(text, 24, 2);
  return e;
}

QString entry_key(int route, int no) {
  return QStringLiteral("key") + padded(route, 2) + padded(no, 2);
}

Recurrence recurrence(const Clsdata& e) {
  if (e.bIsEveryDay) return Recurrence::EveryDay;
  return e.bIsWeek ? Recurrence::Weekly : Recurrence::Date;
}

bool entry_can_fall_due(const Clsdata& e) {
  if (e.nRoute < 1 || e.nRoute > kRouteCount ||
      !QTime::isValid(e.nStartHour, e.nStartMin, e.nStartSecond))
    return false;
  switch (recurrence(e)) {
    case Recurrence::EveryDay:
      return true;
    case Recurrence::Weekly:
      return QStringView(e.strWeek).left(7).contains(QLatin1Char('1'));
    case Recurrence::Date:
      break;
  }
  return QDate::isValid(e.nStartYear, e.nStartMonth, e.nStartDay);
}

std::optional<QTime> due_time_on(const Clsdata& e, const QDate& d) {
  if (!entry_can_fall_due(e)) return std::nullopt;
  bool due = false;
  switch (recurrence(e)) {
    case Recurrence::EveryDay:
      due = true;
      break;
    case Recurrence::Weekly: {
      const int pos = d.dayOfWeek() - 1;  // Monday 0 .. Sunday 6
      due = pos >= 0 && pos < e.strWeek.size() && e.strWeek.at(pos) == QLatin1Char('1');
      break;
    }
    case Recurrence::Date:
      due = d == QDate(e.nStartYear, e.nStartMonth, e.nStartDay);
      break;
  }
  if (!due) return std::nullopt;
  return QTime(e.nStartHour, e.nStartMin, e.nStartSecond);
}
