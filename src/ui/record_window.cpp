#include "ui/record_window.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "editing/entry_text.h"

RecordWindow::RecordWindow(const SwitchRecord& record, std::function<int()> route,
                           const EntryCollection& entries, std::function<QStringList()> names,
                           QWidget* parent)
    : QDialog(parent),
      record_(record),
      route_(std::move(route)),
      names_(std::move(names)),
      entries_(entries) {
  setObjectName(QStringLiteral("RecordWindow"));
  setWindowTitle(tr("记录"));
  resize(560, 420);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("RecordList"));
  list_->setHeaderLabels({tr("时间"), tr("路"), tr("动作"), tr("来源")});
  list_->setRootIsDecorated(false);
  // Each column as wide as what it holds (the time's offset in an autumn hour, a long source).
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  list_->header()->setStretchLastSection(false);
  showAll_ = new QCheckBox(tr("显示全部"), this);
  showAll_->setObjectName(QStringLiteral("ChkShowAll"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(showAll_);
  connect(showAll_, &QCheckBox::toggled, this, &RecordWindow::refill);
  connect(&record_, &SwitchRecord::appended, this, [this](const RecordEvent& e) {
    if (!isVisible() || !shown(e)) return;
    addEvent(e, true);
    while (list_->topLevelItemCount() > kShown) delete list_->takeTopLevelItem(kShown);
  });
}

bool RecordWindow::shown(const RecordEvent& e) const {
  return showAll_->isChecked() || e.route == 0 || e.route == route_();
}

void RecordWindow::addEvent(const RecordEvent& e, bool atTop) {
  const QString name = shownNames_.value(e.route - 1);
  QString route = e.route > 0 ? QString::number(e.route) : QString();
  if (e.route > 0 && !name.isEmpty()) route += QLatin1Char(' ') + name;
  auto* item = new QTreeWidgetItem(
      {RecordLine::timeText(e.at), route, RecordLine::actionWord(e, true), causeText(e)});
  if (atTop)
    list_->insertTopLevelItem(0, item);
  else
    list_->addTopLevelItem(item);
}

QString RecordWindow::causeText(const RecordEvent& e) const {
  const QString key = RecordLine::causeWord(e, true);
  if (e.cause != RecordCause::Entry) return key;
  QString text;
  switch (recorded_entry(entries_, e.detail, e.route, e.action == RecordAction::Energise, e.at,
                         &text)) {
    case RecordedEntry::Same:
      return text;
    case RecordedEntry::Deleted:
      return tr("已删除的条目 %1").arg(key);
    case RecordedEntry::Other:
      break;
  }
  return key;
}

void RecordWindow::refill() {
  list_->clear();
  shownNames_ = names_ ? names_() : QStringList();
  setWindowTitle(showAll_->isChecked() ? tr("记录") : tr("记录 - 第%1路").arg(route_()));
  // Only what is shown is read, from the record's end.
  for (const RecordEvent& e :
       record_.newest(kShown, showAll_->isChecked() ? SwitchRecord::kEveryRoute : route_()))
    addEvent(e, false);
}

void RecordWindow::showEvent(QShowEvent* e) {
  refill();
  QDialog::showEvent(e);
}
