#include "ui/dialog.h"

#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/app_logic.h"
#include "ui/ui_support.h"

Dialog::Dialog(AppLogic& logic, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      logic_(logic) {
  setObjectName(QStringLiteral("Dialog"));
  setWindowTitle(tr("添加动作"));
  setFixedSize(427, 193);
  setModal(true);
  const QFont bold = song_bold(12);

  options_ = new QButtonGroup(this);
  const char* const optionText[3] = {QT_TR_NOOP("每天"), QT_TR_NOOP("每星期"),
                                     QT_TR_NOOP("固定日期")};
  const int optionGeom[3][4] = {{35, 14, 64, 22}, {35, 42, 78, 22}, {35, 70, 92, 22}};
  for (int i = 0; i < 3; ++i) {
    auto* r = new QRadioButton(tr(optionText[i]), this);
    r->setObjectName(QStringLiteral("Option1_%1").arg(i));
    r->setFont(bold);
    place(r, optionGeom[i][0], optionGeom[i][1], optionGeom[i][2], optionGeom[i][3]);
    options_->addButton(r, i);
    Option1[i] = r;
  }
  connect(options_, &QButtonGroup::idClicked, this, &Dialog::Option1_Click);

  const char* const dayText[7] = {"1", "2", "3", "4", "5", "6", QT_TR_NOOP("日")};
  const int dayX[7] = {126, 168, 210, 252, 294, 336, 371};
  for (int i = 0; i < 7; ++i) {
    auto* c = new QCheckBox(tr(dayText[i]), this);
    c->setObjectName(QStringLiteral("Check1_%1").arg(i));
    place(c, dayX[i], 42, i == 6 ? 40 : 29, 15);
    Check1[i] = c;
  }

  DT = new QDateEdit(QDate(2010, 12, 22), this);
  DT->setObjectName(QStringLiteral("DT"));
  DT->setDateRange(kFirstPickerDate, kLastPickerDate);
  DT->setCalendarPopup(true);
  // Month and weekday names in the program's language like the rest of the dialog, whatever the
  // system's; the popup calendar is a window of its own and does not inherit the editor's locale.
  DT->setLocale(QLocale());
  auto* calendar = new QCalendarWidget(DT);
  calendar->setLocale(QLocale());
  DT->setCalendarWidget(calendar);
  DT->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  type_whole_dates(DT);
  place(DT, 136, 72, 209, 25);

  // The time lists take typed digits; the action list takes no typing.
  auto makeList = [&](const QString& name, int x, int w, int numbers) {
    auto* box = new QComboBox(this);
    box->setObjectName(name);
    place(box, x, 112, w, 21);
    if (numbers)
      select_typed_numbers(box, numbers);
    else
      discard_typing(box);
    return box;
  };
  Combo1 = makeList(QStringLiteral("Combo1"), 35, 41, 24);
  Combo2 = makeList(QStringLiteral("Combo2"), 112, 41, 60);
  Combo3 = makeList(QStringLiteral("Combo3"), 203, 41, 60);
  CmbStatus = makeList(QStringLiteral("CmbStatus"), 304, 49, 0);
  CmbStatus->addItems({tr("吸合"), tr("断开")});

  const char* const unitText[3] = {QT_TR_NOOP("时"), QT_TR_NOOP("分"), QT_TR_NOOP("秒")};
  const int unitX[3] = {80, 161, 245};
  for (int i = 0; i < 3; ++i) {
    auto* l = new QLabel(tr(unitText[i]), this);
    l->setObjectName(QStringLiteral("Label%1").arg(4 + i));
    l->setFont(bold);
    place(l, unitX[i], 112, 24, 25);
  }

  const OkCancel buttons = ok_cancel_buttons(this, bold, 84, 264, 152);
  OKButton = buttons.ok;
  CancelButton = buttons.cancel;
  connect(OKButton, &QPushButton::clicked, this, &Dialog::OKButton_Click);
}

int Dialog::exec() {
  Form_Load();
  return QDialog::exec();
}

void Dialog::Form_Load() {
  // The lists are filled afresh at every opening, as the dialog is built anew each time.
  Combo1->clear();
  Combo2->clear();
  Combo3->clear();
  for (int h = 0; h < 24; ++h)
    Combo1->addItem(QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0')));
  for (int m = 0; m < 60; ++m) {
    Combo2->addItem(QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')));
    Combo3->addItem(QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')));
  }
  setWindowTitle(bIsnew ? tr("添加第%1路的条目").arg(logic_.nPage())
                        : tr("修改第%1路的条目").arg(logic_.nPage()));
  show(editor_load(bIsnew, mydata.get(), QDate::currentDate()));
  // Every opening starts at the first control, the recurrence options (on the chosen one, as the
  // Tab key enters a group of option buttons), not where the last opening left the focus.
  QAbstractButton* first = options_->checkedButton();
  (first ? first : Option1[0])->setFocus(Qt::OtherFocusReason);
}

void Dialog::show(const EditorState& s) {
  options_->setExclusive(false);
  for (int i = 0; i < 3; ++i) Option1[i]->setChecked(i == s.option);
  options_->setExclusive(true);
  for (int i = 0; i < 7; ++i) {
    Check1[i]->setEnabled(s.weekEnabled);
    Check1[i]->setChecked(s.week[i]);
  }
  DT->setEnabled(s.dateEnabled);
  DT->setDate(s.date);
  Combo1->setCurrentIndex(s.hour);
  Combo2->setCurrentIndex(s.minute);
  Combo3->setCurrentIndex(s.second);
  CmbStatus->setCurrentIndex(s.status);
}

EditorState Dialog::state() const {
  EditorState s;
  s.option = options_->checkedId();
  for (int i = 0; i < 7; ++i) s.week[i] = Check1[i]->isChecked();
  s.weekEnabled = Check1[0]->isEnabled();
  s.dateEnabled = DT->isEnabled();
  s.date = DT->date();
  s.hour = qMax(0, Combo1->currentIndex());
  s.minute = qMax(0, Combo2->currentIndex());
  s.second = qMax(0, Combo3->currentIndex());
  s.status = qMax(0, CmbStatus->currentIndex());
  return s;
}

void Dialog::Option1_Click(int element) {
  EditorState s = state();
  apply_option(s, element);
  show(s);
}

void Dialog::OKButton_Click() {
  if (editor_week_empty(state())) {
    logic_.prompt().message(tr("每星期至少选择一天"));
    return;
  }
  if (editor_moment_past(state(), QDateTime::currentDateTime()) &&
      !logic_.prompt().confirm(tr("日期已过，仍要保存吗？")))
    return;
  if (logic_.confirmEntry(state(), bIsnew, mydata) == ConfirmResult::LimitReached) {
    logic_.prompt().message(tr("最多99条"));
    return;
  }
  accept();
}
