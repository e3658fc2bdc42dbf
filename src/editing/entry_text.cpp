#include "editing/entry_text.h"

namespace {

QString pad(int v, int width) { return QString::number(v).rightJustified(width, QLatin1Char('0')); }

}  // namespace

QString entry_text(const Clsdata& e) {
  static const QString kDayNames[7] = {
      QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"), QStringLiteral("四"),
      QStringLiteral("五"), QStringLiteral("六"), QStringLiteral("日")};
  const QString action = e.bIsOpen ? QStringLiteral(",吸合 ") : QStringLiteral(",断开 ");
  const QString time = pad(e.nStartHour, 2) + QLatin1Char(':') + pad(e.nStartMin, 2) +
                       QLatin1Char(':') + pad(e.nStartSecond, 2);
  const QString route = QStringLiteral("第") + QString::number(e.nRoute);
  if (e.bIsEveryDay) return route + QStringLiteral("路, 每天, ") + time + QLatin1Char(' ') + action;
  if (e.bIsWeek) {
    QString days;
    for (int i = 0; i < 7 && i < e.strWeek.size(); ++i)
      if (e.strWeek.at(i) == QLatin1Char('1')) days += kDayNames[i];
    return route + QStringLiteral("路, 每星期") + days + QStringLiteral("， ") + time +
           QLatin1Char(' ') + action;
  }
  return route + QStringLiteral("路, 固定日期 ") + pad(e.nStartYear, 4) + QLatin1Char('-') +
         pad(e.nStartMonth, 2) + QLatin1Char('-') + pad(e.nStartDay, 2) + QLatin1Char(' ') + time +
         QLatin1Char(' ') + action;
}

QString next_switch_text(const std::optional<RouteSwitch>& next) {
  if (!next) return QStringLiteral("下次：无");
  return QStringLiteral("下次：") + next->at.toString(QStringLiteral("MM-dd HH:mm:ss")) +
         (next->energise ? QStringLiteral(" 吸合") : QStringLiteral(" 断开"));
}
