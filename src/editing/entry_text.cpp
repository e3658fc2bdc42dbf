#include "editing/entry_text.h"

#include <QCoreApplication>

namespace {

struct EntryText {
  Q_DECLARE_TR_FUNCTIONS(EntryText)
};

QString pad(int v, int width) { return QString::number(v).rightJustified(width, QLatin1Char('0')); }

QString action_word(bool energise) {
  return energise ? EntryText::tr("吸合") : EntryText::tr("断开");
}

QString time_text(const Clsdata& e) {
  return pad(e.nStartHour, 2) + QLatin1Char(':') + pad(e.nStartMin, 2) + QLatin1Char(':') +
         pad(e.nStartSecond, 2);
}

QString days_text(const Clsdata& e) {
  static const char* const kDayNames[7] = {
      QT_TRANSLATE_NOOP("EntryText", "一"), QT_TRANSLATE_NOOP("EntryText", "二"),
      QT_TRANSLATE_NOOP("EntryText", "三"), QT_TRANSLATE_NOOP("EntryText", "四"),
      QT_TRANSLATE_NOOP("EntryText", "五"), QT_TRANSLATE_NOOP("EntryText", "六"),
      QT_TRANSLATE_NOOP("EntryText", "日")};
  QString days;
  for (int i = 0; i < 7 && i < e.strWeek.size(); ++i)
    if (e.strWeek.at(i) == QLatin1Char('1'))
      days = days.isEmpty() ? EntryText::tr(kDayNames[i])
                            : EntryText::tr("%1%2", "two weekday names in a row")
                                  .arg(days, EntryText::tr(kDayNames[i]));
  return days;
}

QString date_text(const Clsdata& e) {
  return pad(e.nStartYear, 4) + QLatin1Char('-') + pad(e.nStartMonth, 2) + QLatin1Char('-') +
         pad(e.nStartDay, 2);
}

QString description(const Clsdata& e) {
  const QString action = action_word(e.bIsOpen);
  const QString time = time_text(e);
  const QString route = QString::number(e.nRoute);
  switch (recurrence(e)) {
    case Recurrence::EveryDay:
      return EntryText::tr("第%1路, 每天, %2 ,%3 ").arg(route, time, action);
    case Recurrence::Weekly:
      return EntryText::tr("第%1路, 每星期%2， %3 ,%4 ").arg(route, days_text(e), time, action);
    case Recurrence::Date:
      break;
  }
  return EntryText::tr("第%1路, 固定日期 %2 %3 ,%4 ").arg(route, date_text(e), time, action);
}

}  // namespace

QString entry_text(const Clsdata& e) {
  const QString text = description(e);
  return entry_can_fall_due(e) ? text : text + EntryText::tr("（无效）");
}

RecordedEntry recorded_entry(const EntryCollection& entries, const QString& key, int route,
                             bool energise, const QDateTime& at, QString* text) {
  const EntryPtr entry = entries.item(key);
  if (!entry) return RecordedEntry::Deleted;
  if (entry->nRoute != route || entry->bIsOpen != energise) return RecordedEntry::Other;
  const QDateTime second = at.addMSecs(-at.time().msec());
  for (const QDate& d : {second.date(), second.date().addDays(-1)}) {
    const std::optional<QTime> due = due_time_on(*entry, d);
    if (!due) continue;
    const qint64 late = QDateTime(d, *due).secsTo(second);
    if (late >= 0 && late <= 60) {
      *text = entry_when_text(*entry);
      return RecordedEntry::Same;
    }
  }
  return RecordedEntry::Other;
}

QString entry_when_text(const Clsdata& e) {
  switch (recurrence(e)) {
    case Recurrence::EveryDay:
      return EntryText::tr("每天 %1").arg(time_text(e));
    case Recurrence::Weekly:
      return EntryText::tr("每星期%1 %2").arg(days_text(e), time_text(e));
    case Recurrence::Date:
      break;
  }
  return EntryText::tr("固定日期 %1 %2").arg(date_text(e), time_text(e));
}

QString next_switch_text(const std::optional<RouteSwitch>& next, bool allowed) {
  if (!allowed) return EntryText::tr("下次：自动功能未允许");
  if (!next) return EntryText::tr("下次：无");
  return EntryText::tr("下次：%1 %2")
      .arg(next->at.toString(QStringLiteral("MM-dd HH:mm:ss")), action_word(next->energise));
}
