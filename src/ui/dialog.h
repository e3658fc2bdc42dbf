#pragma once

#include <QDialog>
#include <array>

#include "core/clsdata.h"
#include "editing/entry_editor.h"

class AppLogic;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QPushButton;
class QRadioButton;

// The entry editor "添加动作": creates a new entry on the current route page (bIsnew) or edits
// mydata in place; its title names which ("添加第3路的条目", "修改第3路的条目"). The caller sets
// bIsnew and mydata, then runs exec(); the controls are set up anew at every opening. OK writes
// the entry (or, for a new entry on a full page, tells "最多99条" and stays open); a weekly entry
// without a day is refused ("每星期至少选择一天"); a fixed date already past is written only after
// "日期已过，仍要保存吗？" is answered OK. Cancel changes nothing. Digits typed into the time lists
// select a number.
class Dialog : public QDialog {
  Q_OBJECT
 public:
  Dialog(AppLogic& logic, QWidget* owner);

  bool bIsnew = true;
  EntryPtr mydata;

  int exec() override;

  // The controls, by their names.
  std::array<QRadioButton*, 3> Option1{};
  std::array<QCheckBox*, 7> Check1{};
  QDateEdit* DT = nullptr;
  QComboBox* Combo1 = nullptr;
  QComboBox* Combo2 = nullptr;
  QComboBox* Combo3 = nullptr;
  QComboBox* CmbStatus = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

  // The state the controls show, and setting them from one.
  EditorState state() const;
  void show(const EditorState& s);

 private:
  void Form_Load();
  void Option1_Click(int element);
  void OKButton_Click();

  AppLogic& logic_;
  QButtonGroup* options_ = nullptr;
};
