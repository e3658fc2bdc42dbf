#pragma once

#include <QDate>
#include <QDateTime>
#include <array>
#include <optional>

#include "core/entry_collection.h"

// What the entry editor shows, free of widgets: the dialog copies it into its controls and back.
struct EditorState {
  int option = -1;             // recurrence: 0 every day, 1 weekly, 2 fixed date, -1 none
  std::array<bool, 7> week{};  // weekday boxes, Monday first
  bool weekEnabled = false;    // the weekday boxes
  bool dateEnabled = false;    // the date picker
  QDate date = QDate(2010, 12, 22);
  int hour = 0;  // list indices
  int minute = 0;
  int second = 0;
  int status = 0;  // 0 "吸合" (energise), 1 "断开" (release)
};

constexpr int kMaxEntriesPerRoute = 99;
inline const QDate kFirstPickerDate(2001, 1, 1);
inline const QDate kLastPickerDate(2099, 12, 31);

// Selecting a recurrence: every day disables and clears the weekday boxes and disables the date;
// weekly enables and clears the boxes, date disabled; fixed date disables and clears the boxes
// and enables the date.
void apply_option(EditorState& s, int element);

// The controls at opening. A new entry: every day, 00:00:00, "吸合", the date today. An edited
// entry shows its own values (an entry that is not a fixed-date one shows today's date, ready for
// a change to "固定日期"); one with both recurrence flags shows as every day (as the list does).
// Values the controls cannot show (an hour of 30, a date beyond 2099) are clamped for display
// only: the entry changes only when the user confirms.
EditorState editor_load(bool bIsnew, const Clsdata* mydata, const QDate& today);

enum class ConfirmResult { Written, LimitReached };

// OK: for a new entry, refused with LimitReached when route page nPage already holds 99 entries;
// otherwise mydata becomes a fresh entry written from the state and appended to colData under
// "key" + route + number (count + 1). An edited entry is written in place (its number, key and
// place stay). Fields the chosen recurrence does not use keep their old values.
ConfirmResult editor_confirm(const EditorState& s, bool bIsnew, EntryPtr& mydata,
                             EntryCollection& colData, int nPage);

// Whether the state is a fixed-date entry whose moment lies before now: it would never fall due.
bool editor_moment_past(const EditorState& s, const QDateTime& now);

// Whether the state is a weekly entry without a day: it would never fall due, and OK refuses it.
bool editor_week_empty(const EditorState& s);

// Digits typed into a list of the numbers 0..count-1 (the hour, minute and second lists): a digit
// selects its own number at once ("7": 7), and a second one typed within kPauseMs makes one number
// with it ("4", "5": 45; "0", "7": 7). When the list does not hold the pair's number, the second
// digit starts anew ("4", "5" in the hour list: 5).
class TypedNumber {
 public:
  static constexpr int kPauseMs = 1000;

  explicit TypedNumber(int count) : count_(count) {}
  // A digit 0..9: the number to select now, if the list holds one.
  std::optional<int> digit(int d);
  // The pause: the next digit starts a new number.
  void pause() { first_ = -1; }

 private:
  std::optional<int> held(int n) const;

  int count_;
  int first_ = -1;
};
