#include "editing/entry_editor.h"

#include <algorithm>

#include "editing/route_pages.h"

void apply_option(EditorState& s, int element) {
  s.option = element;
  s.weekEnabled = element == 1;
  s.week.fill(false);
  s.dateEnabled = element == 2;
}

EditorState editor_load(bool bIsnew, const Clsdata* mydata, const QDate& today) {
  EditorState s;
  s.date = qBound(kFirstPickerDate, today, kLastPickerDate);
  if (bIsnew || !mydata) {
    apply_option(s, 0);
    return s;
  }
  const Clsdata& e = *mydata;
  if (e.bIsEveryDay) {
    apply_option(s, 0);
  } else if (e.bIsWeek) {
    apply_option(s, 1);
    for (int i = 0; i < 7; ++i)
      s.week[i] = i < e.strWeek.size() && e.strWeek.at(i) == QLatin1Char('1');
  } else {
    apply_option(s, 2);
    const int year = qBound(kFirstPickerDate.year(), int(e.nStartYear), kLastPickerDate.year());
    const int month = qBound(1, int(e.nStartMonth), 12);
    const int day = qBound(1, int(e.nStartDay), QDate(year, month, 1).daysInMonth());
    s.date = QDate(year, month, day);
  }
  s.hour = qBound(0, int(e.nStartHour), 23);
  s.minute = qBound(0, int(e.nStartMin), 59);
  s.second = qBound(0, int(e.nStartSecond), 59);
  s.status = e.bIsOpen ? 0 : 1;
  return s;
}

ConfirmResult editor_confirm(const EditorState& s, bool bIsnew, EntryPtr& mydata,
                             EntryCollection& colData, int nPage) {
  const int count = count_page(colData, nPage);
  if (bIsnew && count >= kMaxEntriesPerRoute) return ConfirmResult::LimitReached;
  if (bIsnew || !mydata) mydata = std::make_shared<Clsdata>();
  Clsdata& e = *mydata;
  e.nStartHour = static_cast<qint16>(s.hour);
  e.nStartMin = static_cast<qint16>(s.minute);
  e.nStartSecond = static_cast<qint16>(s.second);
  e.nRoute = static_cast<qint16>(nPage);
  e.bIsOpen = s.status == 0;
  if (s.option == 0 || s.option == -1) {
    e.bIsEveryDay = true;
    e.bIsWeek = false;
  } else if (s.option == 1) {
    e.bIsEveryDay = false;
    e.bIsWeek = true;
    e.strWeek.clear();
    for (bool on : s.week) e.strWeek += on ? QLatin1Char('1') : QLatin1Char('0');
  } else {
    e.bIsEveryDay = false;
    e.bIsWeek = false;
    e.nStartYear = static_cast<qint16>(s.date.year());
    e.nStartMonth = static_cast<qint16>(s.date.month());
    e.nStartDay = static_cast<qint16>(s.date.day());
  }
  if (bIsnew) {
    e.nNo = static_cast<qint16>(count + 1);
    // The page's entries carry the numbers 1..count under matching keys, so the next key is free;
    // only a hand-edited file can have taken it, and then the keys are set right first.
    if (!colData.add(entry_key(nPage, e.nNo), mydata)) {
      rebuild_keys(colData);
      e.nNo = static_cast<qint16>(count + 1);
      add_unique(colData, entry_key(nPage, e.nNo), mydata);
    }
  } else {
    colData.markChanged();
  }
  return ConfirmResult::Written;
}

bool editor_moment_past(const EditorState& s, const QDateTime& now) {
  return s.option == 2 && QDateTime(s.date, QTime(s.hour, s.minute, s.second)) < now;
}

bool editor_week_empty(const EditorState& s) {
  return s.option == 1 && std::none_of(s.week.begin(), s.week.end(), [](bool on) { return on; });
}

std::optional<int> TypedNumber::held(int n) const {
  return n >= 0 && n < count_ ? std::optional<int>(n) : std::nullopt;
}

std::optional<int> TypedNumber::digit(int d) {
  if (first_ >= 0) {
    const std::optional<int> pair = held(first_ * 10 + d);
    first_ = -1;
    if (pair) return pair;
  }
  first_ = d;
  return held(d);
}
