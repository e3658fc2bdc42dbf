#pragma once

#include <QDialog>
#include <functional>

#include "core/entry_collection.h"
#include "station/switch_record.h"

class QCheckBox;
class QTreeWidget;

// The window "记录": the newest kShown events of the switch record, newest first, of the current
// route (and the link's events) or, with "显示全部" ticked, of every route. It follows the record
// while it is open. A scheduled switch shows its entry's text ("每天 07:30:00") where the file
// keeps the entry's key, as long as the entry under that key still is the one that switched (same
// route and action, due within the minute before the switch); otherwise the key, read as a
// deleted entry's ("已删除的条目 key0101") when no entry holds it any more. A route's number
// carries its name when it has one; the title names the route shown ("记录 - 第3路").
class RecordWindow : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kShown = 1000;

  // record and entries must outlive the window; route() gives the current route when the list is
  // filled, names() the sixteen routes' names (empty for an unnamed one).
  RecordWindow(const SwitchRecord& record, std::function<int()> route,
               const EntryCollection& entries, std::function<QStringList()> names,
               QWidget* parent = nullptr);

  // Reads the newest events again and shows them (showing the window does this too).
  void refill();

  QTreeWidget* list() const { return list_; }
  QCheckBox* showAll() const { return showAll_; }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  bool shown(const RecordEvent& e) const;
  void addEvent(const RecordEvent& e, bool atTop);
  QString causeText(const RecordEvent& e) const;

  const SwitchRecord& record_;
  std::function<int()> route_;
  std::function<QStringList()> names_;
  QStringList shownNames_;  // as read at the last refill
  const EntryCollection& entries_;
  QTreeWidget* list_;
  QCheckBox* showAll_;
};
