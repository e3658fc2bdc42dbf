#pragma once

#include <QString>
#include <optional>

#include "core/clsdata.h"
#include "core/due_moments.h"

// The one-line description of an entry as the list shows it, e.g.
//   "第3路, 每天, 07:05:00 ,吸合 "
//   "第12路, 每星期一三五， 18:30:09 ,断开 "   (full-width comma after the weekday names)
//   "第1路, 固定日期 2024-05-01 08:00:00 ,吸合 "
// Every day wins over weekly; a weekday counts only where strWeek holds "1". Two-digit fields keep
// extra digits; the year is padded to four. Every description ends with one space; an entry that
// can never fall due (entry_can_fall_due) has "（无效）" after it.
QString entry_text(const Clsdata& e);
// When the entry falls due, as the record shows a scheduled switch's cause: "每天 07:30:00",
// "每星期一三五 18:30:09", "固定日期 2024-05-01 08:00:00".
QString entry_when_text(const Clsdata& e);

// What the record's line of an entry's switch (its key, route, action and time) names among the
// entries as they are now. Same: the key still names an entry of that route and action that fell
// due on the line's day or the day before, at most a minute before it (a late tick switches that
// late); its when-text in *text. Other: the key names another entry now (keys follow the list's
// order). Deleted: no entry has the key.
enum class RecordedEntry { Same, Other, Deleted };
RecordedEntry recorded_entry(const EntryCollection& entries, const QString& key, int route,
                             bool energise, const QDateTime& at, QString* text);

// The line under the list that names a route's next switch, e.g. "下次：12-08 07:05:00 吸合", or
// "下次：无" when none of its entries falls due within the look-ahead, or
// "下次：自动功能未允许" while the scheduler is not allowed (ChkAuto clear).
QString next_switch_text(const std::optional<RouteSwitch>& next, bool allowed = true);
