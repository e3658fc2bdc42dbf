#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QtGlobal>
#include <memory>
#include <optional>

// One timed switching entry: on route nRoute, at nStartHour:nStartMin:nStartSecond, on the days
// its recurrence names, energise (bIsOpen) or release the relay.
//
// Recurrence: bIsEveryDay wins over bIsWeek; with both false the entry fires on the fixed date
// nStartYear-nStartMonth-nStartDay only. strWeek holds seven characters, Monday first and Sunday
// last, "1" marking an active day. The record checks no ranges; the editor keeps them.
//
// Entries are shared: the collection, the editor and the list all hold the very same object.
class Clsdata {
 public:
  qint16 nRoute = 0;
  qint16 nNo = 0;
  qint16 nStartYear = 0;
  qint16 nStartMonth = 0;
  qint16 nStartDay = 0;
  QString strWeek = QStringLiteral("0000000");
  qint16 nStartHour = 0;
  qint16 nStartMin = 0;
  qint16 nStartSecond = 0;
  bool bIsOpen = false;
  bool bIsEveryDay = false;
  bool bIsWeek = false;

  // The text form: the three flags ("1"/"0"), strWeek unchanged, then route (2 digits), year (4),
  // month, day, hour, minute, second (2 each), zero-padded on the left. 26 characters for any
  // entry whose values fit their widths; a wider or negative number is written in full (with a
  // leading "-") and makes the text longer. nNo is not part of it.
  QString GetStr() const;

  // Sets the time of day to 00:00:00; leaves every other field alone.
  void ClearData();
};

using EntryPtr = std::shared_ptr<Clsdata>;

// Text of 26 zeros: the store's marker for a missing entry (a blank entry's GetStr()).
inline const QString kBlankEntryText = QStringLiteral("00000000000000000000000000");

// Builds a new entry from its text form. A text of exactly 26 characters with decimal digits in
// positions 1-3 and 11-26 fills every field but nNo ("0" is false, any other digit true; strWeek is
// copied unchecked). Any other text gives a blank entry (route 0, all fields initial). Never
// throws. nNo is 0; the caller sets it.
EntryPtr StrToData(const QString& text);

// How an entry recurs: bIsEveryDay wins over bIsWeek; with both false, on its fixed date.
enum class Recurrence { EveryDay, Weekly, Date };
Recurrence recurrence(const Clsdata& e);

// The one rule of when an entry falls due on a day: the time of day at which e falls due on the
// local date d, or none: every day; on a weekday strWeek marks (position 1 Monday .. 7 Sunday);
// on its fixed date only. An entry that can never fall due (entry_can_fall_due) never does.
std::optional<QTime> due_time_on(const Clsdata& e, const QDate& d);

// Whether some moment exists at which the entry falls due: its route lies in 1..16, its time of day
// is a real one (not 24:00:00 or 99:00:00), and it has a day: every day, a weekday marked in
// strWeek, or a fixed date that exists (not 2027-02-30). A fixed date long past still counts.
bool entry_can_fall_due(const Clsdata& e);

// The collection key of an entry: "key" + route (2 digits) + number within the route (2 digits),
// e.g. route 1, number 3 -> "key0103".
QString entry_key(int route, int no);
