#include <sys/stat.h>

#include <QtTest>
#include <QtWidgets>

#include "board_protocol.h"
#include "editing/entry_text.h"
#include "relay_board.h"
#include "support/entries.h"
#include "support/files.h"
#include "support/logic_rig.h"
#include "ui/dialog.h"
#include "ui/frmmain.h"
#include "ui/lamp.h"
#include "ui/mqtt_dialog.h"
#include "ui/record_window.h"
#include "ui/rename_dialog.h"
#include "ui/tab_strip.h"
#include "ui/tray.h"
#include "ui/ui_support.h"
#include "ui/week_view.h"
#include "ui/widget_prompt.h"

namespace {

struct Geometry {
  const char* name;
  const char* caption;
  int x, y, w, h;
};

// The main window's controls as the layout gives them.
const Geometry kMainControls[] = {
    {"Label1", "继电器板时间控制程序", 21, 7, 178, 25},
    {"Label5", "串口号", 200, 7, 52, 25},
    {"CmbCom", "Com1", 256, 7, 64, 21},
    {"CmdOpen", "打开", 328, 7, 43, 22},
    {"ChkOpen", "自动打开串口", 376, 8, 97, 25},
    {"ChkRun", "开机自启动", 472, 8, 89, 25},
    {"Label6", "地址", 560, 8, 38, 18},
    {"CmbID", "", 600, 7, 71, 21},
    {"Label3", "状态监视", 24, 40, 73, 25},
    {"SSTab2", "", 128, 40, 544, 51},
    {"List", "", 128, 96, 425, 243},
    {"LabNext", "", 128, 342, 190, 20},
    {"LabLink", "", 328, 343, 56, 20},
    {"CmdRecord", "记录", 390, 341, 49, 22},
    {"CmdWeek", "一周", 441, 341, 49, 22},
    {"CmdMqtt", "远程", 492, 341, 61, 22},
    {"ChkAuto", "自动功能允许", 560, 93, 110, 18},
    {"ChkRestore", "恢复定时状态", 560, 110, 110, 18},
    {"CmdAdd", "添加", 560, 128, 92, 22},
    {"CmdDel", "删除", 560, 168, 92, 22},
    {"CmdDelAll", "删除全部", 560, 208, 92, 22},
    {"CmdIn", "手动吸合", 560, 248, 92, 22},
    {"CmdOut", "手动断开", 560, 288, 92, 26},
    {"CmdQuit", "退出", 560, 336, 92, 22},
    {"CmdOpenFile", "打开", 16, 272, 92, 22},
    {"CmdSave", "保存", 16, 304, 92, 22},
    {"CmdSaveAs", "另存", 16, 336, 92, 22},
};
const Geometry kHidden[] = {
    {"CmdDown", "下载", 560, 336, 92, 22},
    {"CmdOpenAll", "吸合所有", -8, 240, 92, 29},
    {"CmdCloseAll", "断开所有", -8, 240, 92, 29},
    {"LabDebug", "", 72, 360, 537, 25},
};
const Geometry kDialogControls[] = {
    {"Option1_0", "每天", 35, 14, 64, 22},
    {"Option1_1", "每星期", 35, 42, 78, 22},
    {"Option1_2", "固定日期", 35, 70, 92, 22},
    {"DT", "", 136, 72, 209, 25},
    {"Combo1", "", 35, 112, 41, 21},
    {"Label4", "时", 80, 112, 24, 25},
    {"Combo2", "", 112, 112, 41, 21},
    {"Label5", "分", 161, 112, 24, 25},
    {"Combo3", "", 203, 112, 41, 21},
    {"Label6", "秒", 245, 112, 24, 25},
    {"CmbStatus", "吸合", 304, 112, 49, 21},
    {"OKButton", "确定", 84, 152, 81, 25},
    {"CancelButton", "取消", 264, 152, 81, 25},
};

QString captionOf(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  return {};
}

void checkGeometry(QWidget* root, const Geometry& g) {
  auto* w = root->findChild<QWidget*>(g.name);
  QVERIFY2(w, g.name);
  QCOMPARE(w->geometry(), QRect(g.x, g.y, g.w, g.h));
  if (*g.caption) QCOMPARE(captionOf(w), QString::fromUtf8(g.caption));
}

// Whether text holds a Chinese character (or full-width punctuation).
bool has_cjk(const QString& text) {
  for (QChar c : text)
    if ((c.unicode() >= 0x3000 && c.unicode() <= 0x9fff) ||
        (c.unicode() >= 0xff00 && c.unicode() <= 0xffef))
      return true;
  return false;
}

// Whether text fits control w at w's font: the text's width with what the style puts around it.
void checkFits(QWidget* w, const QString& text) {
  QStyle* st = w->style();
  const auto metric = [&](QStyle::PixelMetric m) { return st->pixelMetric(m, nullptr, w); };
  int need = QFontMetrics(w->font()).horizontalAdvance(text);
  if (auto* b = qobject_cast<QPushButton*>(w)) {
    need += metric(QStyle::PM_ButtonMargin) + 2 * metric(QStyle::PM_DefaultFrameWidth);
    if (!b->icon().isNull()) need += b->iconSize().width() + 4;
  } else if (qobject_cast<QCheckBox*>(w)) {
    need += metric(QStyle::PM_IndicatorWidth) + metric(QStyle::PM_CheckBoxLabelSpacing);
  } else if (qobject_cast<QRadioButton*>(w)) {
    need += metric(QStyle::PM_ExclusiveIndicatorWidth) + metric(QStyle::PM_RadioButtonLabelSpacing);
  } else if (auto* c = qobject_cast<QComboBox*>(w)) {
    // The box draws its text in its edit field, beside the arrow.
    QStyleOptionComboBox o;
    o.initFrom(c);
    need += w->width() -
            st->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, c).width();
  }
  QVERIFY2(
      need <= w->width(),
      qPrintable(
          QString("%1 \"%2\": %3 px in %4").arg(w->objectName(), text).arg(need).arg(w->width())));
}

// Every text of a window's controls fits its control, in the language the window was built in.
void checkTextsFit(QWidget* window) {
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || w->parentWidget() != window) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) checkFits(w, b->text());
    if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap()) checkFits(w, l->text());
    if (auto* c = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) checkFits(w, c->itemText(i));
  }
}

// The texts a window shows: captions, titles, tips, list and header items, tab captions.
QStringList texts_shown(QWidget* window) {
  QStringList out{window->windowTitle(), window->toolTip()};
  for (QWidget* w : window->findChildren<QWidget*>()) {
    out << w->toolTip() << w->windowTitle();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) out << b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) out << l->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    if (auto* e = qobject_cast<QLineEdit*>(w)) out << e->placeholderText();
    if (auto* t = qobject_cast<QTreeWidget*>(w)) {
      for (int c = 0; c < t->columnCount(); ++c) out << t->headerItem()->text(c);
      for (int i = 0; i < t->topLevelItemCount(); ++i)
        for (int c = 0; c < t->columnCount(); ++c) out << t->topLevelItem(i)->text(c);
    }
    if (auto* s = qobject_cast<TabStrip*>(w))
      for (int i = 0; i < s->count(); ++i) out << s->tabText(i);
  }
  return out;
}

EntryPtr everyDay(int route, int second) {
  auto e = std::make_shared<Clsdata>();
  e->nRoute = static_cast<qint16>(route);
  e->bIsEveryDay = true;
  e->bIsOpen = true;
  e->nStartSecond = static_cast<qint16>(second);
  return e;
}

// The control at each place of the layout is the one the user sees there: shown, and not lying
// under another control.
void checkOnTop(QWidget* root, const Geometry& g) {
  auto* w = root->findChild<QWidget*>(g.name);
  QWidget* at = root->childAt(QRect(g.x, g.y, g.w, g.h).center());
  QVERIFY2(w && at && (at == w || w->isAncestorOf(at)), g.name);
}

// Acts once on the next modal window of type W (a real message box or file dialog) as soon as it
// shows; closes it when the act left it open, so a failed check never hangs the test.
template <typename W>
void whenShown(std::function<void(W*)> act) {
  auto* poll = new QTimer(qApp);
  int ticks = 0;
  QObject::connect(poll, &QTimer::timeout, [poll, act, ticks]() mutable {
    auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
    if (++ticks > 250) poll->deleteLater();
    if (!w || !w->isVisible() || ticks > 250) return;
    poll->stop();
    poll->deleteLater();
    act(w);
    if (w->isVisible()) static_cast<QDialog*>(w)->done(QDialog::Rejected);
  });
  poll->start(20);
}

// The window on a temporary application folder whose Com1 may lead to a simulated board.
template <typename PromptT>
struct RigWith : LogicRigWith<PromptT> {
  Frmmain w{this->logic};

  void withEntries(std::initializer_list<std::pair<int, int>> routesAndCounts) {
    QFile f(this->dir.filePath("Note.ini"));
    f.open(QIODevice::WriteOnly);
    f.write("[Note]\r\n");
    for (auto [route, count] : routesAndCounts)
      for (int n = 1; n <= count; ++n)
        f.write(QString("%1%2=%3\r\n")
                    .arg(route, 2, 10, QChar('0'))
                    .arg(n, 2, 10, QChar('0'))
                    .arg(everyDay(route, n)->GetStr())
                    .toLatin1());
  }
  QStringList listTexts() const {
    QStringList out;
    for (int i = 0; i < w.List->topLevelItemCount(); ++i) out << w.List->topLevelItem(i)->text(0);
    return out;
  }
  void select(std::initializer_list<int> rows) {
    w.List->clearSelection();
    for (int r : rows) w.List->topLevelItem(r)->setSelected(true);
  }
  // Runs action, which opens the editor, and answers the editor with answer.
  void withDialog(const std::function<void()>& action, const std::function<void(Dialog&)>& answer) {
    QTimer::singleShot(0, [this, answer] {
      QTRY_VERIFY(w.dialog().isVisible());
      answer(w.dialog());
    });
    action();
  }
};
using Rig = RigWith<ScriptedPrompt>;

}  // namespace

class TestWindow : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void layoutOfMainWindow();
  void layoutOfDialog();
  void hiddenControlsStayHidden();
  void designCaptionsThenRouteNames();
  void startupWithoutFiles();
  void routeTabsSelectPages();
  void listShowsCurrentPage();
  void deleteSecondOfThree();
  void deleteWithNothingSelectedAndCancel();
  void deleteSeveralAtOnce();
  void deleteAllThenAdd();
  void dialogNewEntryDefaultsAndLimit();
  void dialogWritesEveryFieldAndSaveKeepsIt();
  void realPromptsAskAndCancel();
  void tabsAndLampsAsDrawn();
  void dialogShowsWeeklyEntryAndCancelKeepsIt();
  void typingIsDiscarded();
  void dialogStartsAtFirstControlAndReturnConfirms();
  void qtTextsAndCalendarInChinese();
  void longRouteNamesAreCutAtTheRight();
  void portAndAddressAreWrittenAtOnce();
  void failedOpenLocksNothing();
  void lockTableAndChkAutoInterplay();
  void manualCommandsReachNextSetFrame();
  void vanishedDeviceIsWaitedFor();
  void startupTellsAMissingPortWithoutWaiting();
  void recordShowsEntryTexts();
  void portBoxShowsWhatIsUsedAndWhereItLeads();
  void mqttDialogWritesTheBrokerSection();
  void weekChartDrawsPlanAndActual();
  void textsFitInBothLanguages_data();
  void textsFitInBothLanguages();
};

void TestWindow::initTestCase() { qputenv("XDG_DATA_HOME", QDir::tempPath().toLocal8Bit()); }

void TestWindow::layoutOfMainWindow() {
  Rig r;
  QCOMPARE(r.w.windowTitle(), QString("PC智能Tavrel"));
  QCOMPARE(r.w.size(), QSize(681, 366));
  QCOMPARE(r.w.minimumSize(), r.w.maximumSize());
  for (const Geometry& g : kMainControls) checkGeometry(&r.w, g);
  const QPoint lampAt[16] = {{7, 88},   {35, 88},  {63, 88},  {91, 88},  {8, 136},  {35, 136},
                             {64, 136}, {91, 136}, {8, 192},  {35, 192}, {64, 192}, {88, 192},
                             {8, 240},  {35, 240}, {64, 240}, {88, 240}};
  for (int i = 0; i < 16; ++i) QCOMPARE(r.w.Shape1[i]->geometry(), QRect(lampAt[i], QSize(22, 22)));
  // Each lamp's number stands over it, centred, and fits whatever font stands in for "宋体".
  const std::array<QLabel*, 4>* numberRows[4] = {&r.w.Label4, &r.w.Label2, &r.w.Label7,
                                                 &r.w.Label8};
  for (int i = 0; i < 16; ++i) {
    QLabel* n = (*numberRows[i / 4])[i % 4];
    const QRect lamp = r.w.Shape1[i]->geometry();
    QCOMPARE(n->text(), QString::number(i + 1));
    QCOMPARE(n->geometry().center().x(), lamp.center().x());
    QVERIFY(n->alignment() & Qt::AlignHCenter);
    QVERIFY(n->y() + n->fontMetrics().height() <= lamp.top());
    QVERIFY(n->fontMetrics().horizontalAdvance(n->text()) <= n->width());
    QCOMPARE(n->font().pixelSize(), 16);
  }
  // The window carries the program's icon at every size a panel may ask for.
  QCOMPARE(r.w.windowIcon().availableSizes(),
           QList<QSize>({{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {256, 256}}));
  QCOMPARE(r.w.CmbCom->count(), 20);
  QCOMPARE(r.w.CmbCom->itemText(19), QString("Com20"));
  QCOMPARE(r.w.CmbID->count(), 0);  // start-up fills it
  QCOMPARE(r.w.List->headerItem()->text(0), QString("内容"));

  QCOMPARE(r.w.List->selectionMode(), QAbstractItemView::ExtendedSelection);
  QCOMPARE(r.w.CmdAdd->font().bold(), true);
  QCOMPARE(r.w.CmdAdd->font().pixelSize(), 19);  // 14.25 pt at 96 dpi
  QCOMPARE(r.w.Label1->font().pixelSize(), 16);  // 12 pt
  QVERIFY(!r.w.CmdOpen->font().bold());
  r.w.show();
  QCOMPARE(r.w.List->columnWidth(0), r.w.List->viewport()->width());  // the column fills the list
  for (const Geometry& g : kMainControls) checkOnTop(&r.w, g);
  for (int i = 0; i < 16; ++i)
    checkOnTop(&r.w,
               {qPrintable(r.w.Shape1[i]->objectName()), "", lampAt[i].x(), lampAt[i].y(), 22, 22});
}

void TestWindow::layoutOfDialog() {
  Rig r;
  Dialog& d = r.w.dialog();
  QCOMPARE(d.windowTitle(), QString("添加动作"));
  QCOMPARE(d.size(), QSize(427, 193));
  QVERIFY(d.isModal());
  for (const Geometry& g : kDialogControls) checkGeometry(&d, g);
  const int dayX[7] = {126, 168, 210, 252, 294, 336, 371};
  for (int i = 0; i < 7; ++i) QCOMPARE(d.Check1[i]->pos(), QPoint(dayX[i], 42));
  QCOMPARE(d.Check1[6]->text(), QString("日"));
  QCOMPARE(d.DT->minimumDate(), QDate(2001, 1, 1));
  QCOMPARE(d.DT->maximumDate(), QDate(2099, 12, 31));
  QCOMPARE(d.DT->date(), QDate(2010, 12, 22));
  QVERIFY(d.DT->calendarPopup());
  d.QDialog::show();
  for (const Geometry& g : kDialogControls) checkOnTop(&d, g);
  d.hide();
}

void TestWindow::hiddenControlsStayHidden() {
  RelayBoard board({});
  Rig r;
  QVERIFY(board.open(r.dir.filePath("dosdevices/com1"), nullptr));
  r.w.show();
  r.w.Form_Load();
  auto check = [&] {
    for (const Geometry& g : kHidden) {
      checkGeometry(&r.w, g);
      QVERIFY2(!r.w.findChild<QWidget*>(g.name)->isVisibleTo(&r.w), g.name);
    }
    QVERIFY(!r.w.CmdDown->isEnabled());
  };
  check();
  r.logic.CmdOpen_Click();
  QTRY_VERIFY(!r.logic.station().link().bIsFirst());
  check();
  r.logic.setChkAuto(true);
  r.logic.setChkAuto(false);
  check();
  r.logic.CmdOpen_Click();
  check();
}

void TestWindow::designCaptionsThenRouteNames() {
  Rig r;
  QCOMPARE(r.w.SSTab2->tabText(0), QString("第一路"));
  QCOMPARE(r.w.SSTab2->tabText(15), QString("第十六路"));
  QCOMPARE(r.w.SSTab2->currentIndex(), 0);
  QFile f(r.dir.filePath("Name.ini"));
  f.open(QIODevice::WriteOnly);
  f.write(QString("[Note]\n01=水泵\n02=\n").toUtf8());
  f.close();
  r.w.Form_Load();
  QCOMPARE(r.w.SSTab2->tabText(0), QString("水泵"));
  // Unnamed routes (an empty name too) tell themselves apart by their numbers.
  for (int i = 1; i < 16; ++i) QCOMPARE(r.w.SSTab2->tabText(i), QString("%1 未命名").arg(i + 1));

  // Named in the program: a double click on the tab, at most 8 bytes, in the file's own GBK.
  Rig g;
  put(g.dir.filePath("Name.ini"), gbk("[Note]\r\n01=水泵\r\n"));
  g.w.Form_Load();
  const auto rename = [&](int tab, const QString& typed) {
    whenShown<RenameDialog>([=](RenameDialog* d) {
      d->TxtName->clear();
      for (const QChar c : typed) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(d->TxtName, &key);
      }
      d->OKButton->click();
    });
    QTest::mouseDClick(g.w.SSTab2, Qt::LeftButton, {}, g.w.SSTab2->tabRect(tab).center());
  };
  rename(2, "风机风机X");  // the ninth byte is refused
  QCOMPARE(g.w.renameDialog().LabBytes->text(), QString("8/8 字节"));
  QCOMPARE(g.w.SSTab2->tabText(2), QString("风机风机"));
  QVERIFY(get(g.dir.filePath("Name.ini")).contains(gbk("\r\n03=风机风机\r\n")));
  rename(3, "灯한光");  // a character the GBK file cannot hold is refused as it is typed
  QCOMPARE(g.w.SSTab2->tabText(3), QString("灯光"));
  rename(0, "");  // no name: the key goes, the route is unnamed again
  QCOMPARE(g.w.SSTab2->tabText(0), QString("1 未命名"));
  QVERIFY(!get(g.dir.filePath("Name.ini")).contains("01="));
}

void TestWindow::startupWithoutFiles() {
  Rig r;
  r.w.Form_Load();
  QCOMPARE(r.w.CmbID->count(), 16);
  QCOMPARE(r.w.CmbID->itemText(0), QString("1"));
  QCOMPARE(r.w.CmbID->itemText(15), QString("16"));
  QCOMPARE(r.w.CmbID->currentText(), QString("1"));
  QCOMPARE(r.w.CmbCom->currentText(), QString("Com1"));
  QCOMPARE(r.logic.settings().ReadID(), QString("1"));
  QCOMPARE(r.logic.settings().ReadCom(), QString("1"));
  QVERIFY(!r.w.ChkAuto->isChecked());
  QVERIFY(!r.logic.station().scheduler().isEnabled());
  QVERIFY(r.w.CmdAdd->isEnabled());
  QCOMPARE(r.w.CmdOpen->text(), QString("打开"));
  for (Lamp* l : r.w.Shape1) QCOMPARE(l->colorRef(), quint32(kLampGrey));
  QCOMPARE(r.logic.station().link().nState(), RouteStateTable{});
  QVERIFY(r.prompt.messages.isEmpty());
  // Nothing runs until ChkAuto is ticked, and the line says so; the first entry ticks it.
  QCOMPARE(r.w.LabNext->text(), QString("下次：自动功能未允许"));
  r.withDialog([&] { r.w.CmdAdd_Click(); }, [](Dialog& d) { d.OKButton->click(); });
  QVERIFY(r.w.ChkAuto->isChecked() && r.logic.station().scheduler().isEnabled());
  QTRY_VERIFY(r.w.LabNext->text().startsWith("下次：") && r.w.LabNext->text().endsWith(" 吸合"));
}

void TestWindow::routeTabsSelectPages() {
  Rig r;
  r.withEntries({{1, 2}, {16, 1}});
  r.w.show();
  r.w.Form_Load();
  QCOMPARE(r.listTexts().size(), 2);
  QTest::mouseClick(r.w.SSTab2, Qt::LeftButton, {}, r.w.SSTab2->tabRect(15).center());
  QCOMPARE(r.logic.nPage(), 16);
  QCOMPARE(r.listTexts(), QStringList({"第16路, 每天, 00:00:01 ,吸合 "}));
  r.w.SSTab2->setFocus();
  QTest::keyClick(r.w.SSTab2, Qt::Key_Home);
  QTest::keyClick(r.w.SSTab2, Qt::Key_Right);
  QCOMPARE(r.logic.nPage(), 2);
  QVERIFY(r.listTexts().isEmpty());
}

void TestWindow::listShowsCurrentPage() {
  Rig r;
  r.withEntries({{1, 3}, {2, 1}});
  r.w.Form_Load();
  QCOMPARE(r.listTexts(),
           QStringList({"第1路, 每天, 00:00:01 ,吸合 ", "第1路, 每天, 00:00:02 ,吸合 ",
                        "第1路, 每天, 00:00:03 ,吸合 "}));
  QVERIFY(r.w.ChkAuto->isChecked());
  QVERIFY(r.logic.station().scheduler().isEnabled());
}

void TestWindow::deleteSecondOfThree() {
  Rig r;
  r.withEntries({{3, 1}, {4, 3}});
  r.w.Form_Load();
  r.w.SSTab2->setCurrentIndex(3);
  r.select({1});
  QTest::mouseClick(r.w.CmdDel, Qt::LeftButton);
  QCOMPARE(r.prompt.questions, QStringList({"删除当前信息吗？"}));
  QCOMPARE(r.listTexts(),
           QStringList({"第4路, 每天, 00:00:01 ,吸合 ", "第4路, 每天, 00:00:03 ,吸合 "}));
  QVERIFY(r.logic.entries().contains("key0401"));
  QVERIFY(r.logic.entries().contains("key0402"));
  QVERIFY(!r.logic.entries().contains("key0403"));
  QCOMPARE(r.logic.entries().item("key0402")->nStartSecond, qint16(3));
}

void TestWindow::deleteWithNothingSelectedAndCancel() {
  Rig r;
  r.withEntries({{4, 3}});
  r.w.Form_Load();
  r.w.SSTab2->setCurrentIndex(3);
  r.w.List->clearSelection();
  r.w.CmdDel_Click();
  QCOMPARE(r.logic.entries().count(), 3);
  r.select({0, 2});
  r.prompt.answer = false;
  r.w.CmdDel_Click();
  QTest::mouseClick(r.w.CmdDelAll, Qt::LeftButton);
  QCOMPARE(r.logic.entries().count(), 3);
  QCOMPARE(r.listTexts().size(), 3);
}

void TestWindow::deleteSeveralAtOnce() {
  Rig r;
  r.withEntries({{4, 5}});
  r.w.Form_Load();
  r.w.SSTab2->setCurrentIndex(3);
  r.select({0, 2, 4});
  r.w.CmdDel_Click();
  QCOMPARE(r.listTexts(),
           QStringList({"第4路, 每天, 00:00:02 ,吸合 ", "第4路, 每天, 00:00:04 ,吸合 "}));
  QCOMPARE(r.logic.entries().count(), 2);
  QCOMPARE(r.logic.entries().at(1).key, QString("key0402"));
}

void TestWindow::deleteAllThenAdd() {
  Rig r;
  r.withEntries({{2, 1}, {3, 4}, {5, 1}});
  r.w.Form_Load();
  r.w.SSTab2->setCurrentIndex(2);
  QTest::mouseClick(r.w.CmdDelAll, Qt::LeftButton);
  QCOMPARE(r.prompt.questions, QStringList({"删除第3路的全部条目吗？"}));
  QVERIFY(r.listTexts().isEmpty());
  QCOMPARE(r.logic.entries().count(), 2);
  r.withDialog([&] { r.w.CmdAdd_Click(); }, [](Dialog& d) { d.OKButton->click(); });
  QCOMPARE(r.logic.entries().at(2).key, QString("key0301"));
  QCOMPARE(r.listTexts(), QStringList({"第3路, 每天, 00:00:00 ,吸合 "}));
}

void TestWindow::dialogNewEntryDefaultsAndLimit() {
  Rig r;
  r.withEntries({{7, 98}});
  r.w.Form_Load();
  r.w.SSTab2->setCurrentIndex(6);
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [](Dialog& d) {
                 QVERIFY(d.Option1[0]->isChecked());
                 for (QCheckBox* c : d.Check1) QVERIFY(!c->isEnabled() && !c->isChecked());
                 QVERIFY(!d.DT->isEnabled());
                 QCOMPARE(d.DT->date(), QDate::currentDate());
                 QCOMPARE(d.Combo1->count(), 24);
                 QCOMPARE(d.Combo2->count(), 60);
                 QCOMPARE(d.Combo3->itemText(59), QString("59"));
                 QCOMPARE(d.CmbStatus->currentText(), QString("吸合"));
                 d.OKButton->click();
               });
  QCOMPARE(r.logic.entries().item("key0799")->GetStr(), QString("11000000000700000000000000"));
  // The page is full now: "添加" tells so before the editor opens.
  r.w.CmdAdd_Click();
  QCOMPARE(r.prompt.messages, QStringList({"最多99条"}));
  QVERIFY(!r.w.dialog().isVisible());
  QCOMPARE(r.logic.entries().count(), 99);
}

void TestWindow::dialogWritesEveryFieldAndSaveKeepsIt() {
  Rig r;
  r.w.Form_Load();
  r.w.SSTab2->setCurrentIndex(11);  // route 12: every field below has a value of its own
  const auto at070809 = [](Dialog& d, int option) {
    QTest::mouseClick(d.Option1[option], Qt::LeftButton);
    d.Combo1->setCurrentIndex(7);
    d.Combo2->setCurrentIndex(8);
    d.Combo3->setCurrentIndex(9);
  };
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [&](Dialog& d) {
                 at070809(d, 1);
                 QTest::mouseClick(d.Check1[0], Qt::LeftButton);  // Monday
                 QTest::mouseClick(d.Check1[2], Qt::LeftButton);  // Wednesday
                 d.CmbStatus->setCurrentIndex(1);
                 d.OKButton->click();
               });
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [&](Dialog& d) {
                 at070809(d, 2);
                 d.DT->setDate(QDate(2027, 3, 4));
                 d.OKButton->click();
               });
  // A fixed date already past is asked about; declined, the editor stays open.
  r.prompt.answer = false;
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [&](Dialog& d) {
                 at070809(d, 2);
                 d.DT->setDate(QDate::currentDate().addDays(-1));
                 d.OKButton->click();
                 QCOMPARE(r.prompt.questions, QStringList({"日期已过，仍要保存吗？"}));
                 QVERIFY(d.isVisible());
                 d.CancelButton->click();
               });
  QCOMPARE(r.listTexts(), QStringList({"第12路, 每星期一三， 07:08:09 ,断开 ",
                                       "第12路, 固定日期 2027-03-04 07:08:09 ,吸合 "}));
  QTest::mouseClick(r.w.CmdSave, Qt::LeftButton);
  QCOMPARE(r.prompt.messages, QStringList({"保存成功！"}));
  QFile note(r.dir.filePath("Note.ini"));
  QVERIFY(note.open(QIODevice::ReadOnly));
  QCOMPARE(QString(note.readAll()).split("\r\n", Qt::SkipEmptyParts),
           QStringList(
               {"[Note]", "1201=00110100001200000000070809", "1202=10000000001220270304070809"}));
}

void TestWindow::realPromptsAskAndCancel() {
  RigWith<WidgetPrompt> r;
  r.prompt.setDataDir(r.dir.path());
  r.withEntries({{1, 2}});
  r.w.Form_Load();
  const auto answer = [](const QString& text, QMessageBox::StandardButton button) {
    whenShown<QMessageBox>([=](QMessageBox* box) {
      QCOMPARE(box->windowTitle(), QString("提示"));
      QCOMPARE(box->text(), text);
      QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
      box->button(button)->click();
    });
  };
  // Both delete confirmations offer OK and Cancel; Cancel keeps every entry, OK deletes.
  r.select({0});
  answer("删除当前信息吗？", QMessageBox::Cancel);
  QTest::mouseClick(r.w.CmdDel, Qt::LeftButton);
  answer("删除第1路的全部条目吗？", QMessageBox::Cancel);
  QTest::mouseClick(r.w.CmdDelAll, Qt::LeftButton);
  QCOMPARE(r.listTexts().size(), 2);
  r.select({0});
  answer("删除当前信息吗？", QMessageBox::Ok);
  QTest::mouseClick(r.w.CmdDel, Qt::LeftButton);
  QCOMPARE(r.listTexts(), QStringList({"第1路, 每天, 00:00:02 ,吸合 "}));
  // Save As offers entry files only and adds ".ini" to a bare name; a message tells where.
  const QString plan = r.dir.filePath("plan.ini");
  whenShown<QFileDialog>([&](QFileDialog* d) {
    QCOMPARE(d->nameFilters(), QStringList({"ini文件 (*.ini)"}));
    d->setDirectory(r.dir.path());
    auto* name = d->findChild<QLineEdit*>("fileNameEdit");
    QVERIFY(name);
    whenShown<QMessageBox>([&](QMessageBox* box) {
      QCOMPARE(box->windowTitle(), QString("提示"));
      QCOMPARE(box->text(), "文件已另存为\n" + plan);
      QCOMPARE(box->standardButtons(), QMessageBox::Ok);
      box->button(QMessageBox::Ok)->click();
    });
    QTest::keyClicks(name, "plan");
    QTest::keyClick(name, Qt::Key_Return);
  });
  QTest::mouseClick(r.w.CmdSaveAs, Qt::LeftButton);
  QVERIFY(QFile::exists(plan));
  // Over an existing file Qt asks first (the dialog offers the last name); "No" keeps its bytes.
  put(plan, "mine");
  whenShown<QFileDialog>([&](QFileDialog* d) {
    whenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    QTest::keyClick(d->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
  });
  QTest::mouseClick(r.w.CmdSaveAs, Qt::LeftButton);
  QCOMPARE(get(plan), QByteArray("mine"));
  // Name.ini is refused in the dialog before Qt asks about replacing it, and is not offered again.
  const QString names = r.dir.filePath("Name.ini");
  const QByteArray settings = get(names);
  whenShown<QFileDialog>([&](QFileDialog* d) {
    whenShown<QMessageBox>([&](QMessageBox* box) {
      QCOMPARE(box->text(), "不能另存为程序自己的文件\n" + names);
      box->button(QMessageBox::Ok)->click();
    });
    // Typed into the name field as a user does, with the focus there (without it, the dialog
    // would add the typed name to the offered one it selected on reading the folder).
    auto* name = d->findChild<QLineEdit*>("fileNameEdit");
    QApplication::setActiveWindow(d);
    name->setFocus();
    QTRY_VERIFY(name->hasFocus());
    name->clear();
    QTest::keyClicks(name, "Name.ini");
    QTest::keyClick(name, Qt::Key_Return);
  });
  QTest::mouseClick(r.w.CmdSaveAs, Qt::LeftButton);
  QCOMPARE(get(names), settings);

  // The entries are not saved (a delete): the title says so; 打开 asks first, and "取消" opens
  // nothing. The close box, with no tray to hide in, asks as "退出" does. "取消" keeps the
  // program; "保存" saves.
  QCOMPARE(r.w.windowTitle(), QString("PC智能Tavrel *"));
  const auto choose = [](const QString& button) {
    whenShown<QMessageBox>([=](QMessageBox* box) {
      QCOMPARE(box->text(), QString("时间表已修改，是否保存？"));
      for (QAbstractButton* b : box->buttons())
        if (b->text() == button) b->click();
    });
  };
  choose("取消");
  QTest::mouseClick(r.w.CmdOpenFile, Qt::LeftButton);
  QCOMPARE(r.w.windowTitle(), QString("PC智能Tavrel *"));
  r.w.show();
  choose("取消");
  r.w.close();
  QVERIFY(r.w.isVisible() && get(r.dir.filePath("Note.ini")).contains("0102="));
  choose("保存");
  QTest::mouseClick(r.w.CmdQuit, Qt::LeftButton);
  QVERIFY(!get(r.dir.filePath("Note.ini")).contains("0102="));
  QCOMPARE(r.w.windowTitle(), QString("PC智能Tavrel"));

  // 打开 with an entry deleted: "保存" saves it, then the dialog (offering the last entry file);
  // Name.ini has no entries: the timetable stays, and 自动功能允许 with it.
  r.select({0});
  answer("删除当前信息吗？", QMessageBox::Ok);
  QTest::mouseClick(r.w.CmdDel, Qt::LeftButton);
  choose("保存");
  whenShown<QFileDialog>([&](QFileDialog* d) {
    auto* name = d->findChild<QLineEdit*>("fileNameEdit");
    QCOMPARE(name->text(), QString("plan.ini"));
    whenShown<QMessageBox>([&](QMessageBox* box) {
      QCOMPARE(box->text(), "文件中没有条目\n" + names);
      box->button(QMessageBox::Ok)->click();
    });
    QApplication::setActiveWindow(d);
    name->setFocus();
    QTRY_VERIFY(name->hasFocus());
    name->clear();
    QTest::keyClicks(name, names);
    QTest::keyClick(name, Qt::Key_Return);
  });
  QTest::mouseClick(r.w.CmdOpenFile, Qt::LeftButton);
  QVERIFY(!get(r.dir.filePath("Note.ini")).contains("0101="));
  QVERIFY(r.w.ChkAuto->isChecked() && r.w.windowTitle() == QString("PC智能Tavrel"));
}

void TestWindow::tabsAndLampsAsDrawn() {
  Rig r;
  QFile f(r.dir.filePath("Name.ini"));
  f.open(QIODevice::WriteOnly);
  f.write(QString("[Note]\n01=水泵\n02=风机\n03=灯光\n04=喷淋\n").toUtf8());
  f.close();
  r.w.show();
  r.w.Form_Load();
  TabStrip* tabs = r.w.SSTab2;
  const auto tab = [tabs](int i) { return tabs->grab(tabs->tabRect(i)).toImage(); };
  // Each tab draws its own name: another name changes that tab and no other.
  for (int i = 0; i < 16; ++i) {
    const int other = (i + 1) % 16;
    const QImage mine = tab(i), next = tab(other);
    const QString name = tabs->tabText(i);
    tabs->setTabText(i, "第" + QString::number(i + 1));
    QVERIFY2(tab(i) != mine, qPrintable(name));
    QVERIFY2(tab(other) == next, qPrintable(name));
    tabs->setTabText(i, name);
  }
  // With one name on every tab, the selected tab alone looks different.
  for (int i = 0; i < 16; ++i) tabs->setTabText(i, "路");
  const QImage unselected = tab(8);  // the same column as tab 0, one row down
  QVERIFY(tab(0) != unselected);
  QVERIFY(tab(2) == tab(3));
  tabs->setCurrentIndex(8);
  QVERIFY(tab(0) == unselected);
  QVERIFY(tab(8) != unselected);
  // The lamps are filled with their colours.
  const std::pair<quint32, QColor> colours[] = {{kLampRed, QColor(255, 0, 0)},
                                                {kLampGreen, QColor(0, 255, 0)},
                                                {kLampGrey, QColor(192, 192, 192)}};
  for (const auto& [colorref, rgb] : colours) {
    r.w.Shape1[6]->setColorRef(colorref);
    QCOMPARE(r.w.grab().toImage().pixelColor(r.w.Shape1[6]->geometry().center()), rgb);
  }
}

void TestWindow::dialogShowsWeeklyEntryAndCancelKeepsIt() {
  Rig r;
  QFile f(r.dir.filePath("Note.ini"));
  f.open(QIODevice::WriteOnly);
  f.write("[Note]\r\n0101=10101000010100000000063000\r\n0102=00010000010120240309235959\r\n");
  f.close();
  r.w.Form_Load();
  const QString before = r.logic.entries().item("key0101")->GetStr();
  r.select({0});
  r.withDialog([&] { r.w.List_DblClick(); },
               [](Dialog& d) {
                 QVERIFY(d.Option1[1]->isChecked());
                 for (int i = 0; i < 7; ++i) {
                   QVERIFY(d.Check1[i]->isEnabled());
                   QCOMPARE(d.Check1[i]->isChecked(), i == 1 || i == 6);  // "2" and "日"
                 }
                 QVERIFY(!d.DT->isEnabled());
                 QCOMPARE(d.Combo1->currentText(), QString("06"));
                 QCOMPARE(d.Combo2->currentText(), QString("30"));
                 d.Option1[2]->click();  // changes shown, then abandoned
                 QVERIFY(d.DT->isEnabled());
                 QVERIFY(!d.Check1[1]->isChecked());
                 d.Combo1->setCurrentIndex(9);
                 d.CancelButton->click();
               });
  QCOMPARE(r.logic.entries().item("key0101")->GetStr(), before);

  r.select({1});
  r.withDialog([&] { r.w.List_DblClick(); },
               [](Dialog& d) {
                 QVERIFY(d.Option1[2]->isChecked());
                 QCOMPARE(d.DT->date(), QDate(2024, 3, 9));
                 QCOMPARE(d.CmbStatus->currentText(), QString("断开"));
                 d.Option1[0]->click();
                 d.OKButton->click();
               });
  const EntryPtr e = r.logic.entries().item("key0102");
  QVERIFY(e->bIsEveryDay && !e->bIsWeek);
  QCOMPARE(e->strWeek, QString("1000001"));  // kept
  QCOMPARE(r.listTexts().at(1), QString("第1路, 每天, 23:59:59 ,断开 "));
  r.w.List->clearSelection();
  r.w.List_DblClick();  // nothing selected: nothing happens
}

void TestWindow::typingIsDiscarded() {
  Rig r;
  r.w.show();
  r.w.Form_Load();
  QTest::keyClicks(r.w.CmbCom, "Com3");
  QTest::keyClicks(r.w.CmbID, "9");
  QCOMPARE(r.w.CmbCom->currentText(), QString("Com1"));
  QCOMPARE(r.w.CmbID->currentText(), QString("1"));
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [](Dialog& d) {
                 for (QComboBox* box : {d.Combo1, d.Combo2, d.Combo3, d.CmbStatus}) {
                   // Would jump to "10" or "1x" without the filter (digits choose a time, below).
                   QTest::keyClicks(box, box == d.CmbStatus ? "1" : "x");
                   QKeyEvent chinese(QEvent::KeyPress, 0, Qt::NoModifier, "断");
                   QApplication::sendEvent(box, &chinese);
                   QCOMPARE(box->currentIndex(), 0);
                   // The same with the list open: typing does not move to an item that Return
                   // would then choose.
                   box->showPopup();
                   QTRY_VERIFY(box->view()->isVisible());
                   QTest::keyClicks(box->view(), "1");
                   QTest::keyClick(box->view(), Qt::Key_Return);
                   QTRY_VERIFY(!box->view()->isVisible());
                   QCOMPARE(box->currentIndex(), 0);
                 }
                 // A digit is taken at once; two within a second make one number.
                 QTest::keyClicks(d.Combo2, "45");
                 QTest::keyClicks(d.Combo1, "07");
                 QCOMPARE(d.Combo2->currentIndex(), 45);
                 QCOMPARE(d.Combo1->currentIndex(), 7);
                 QTest::keyClicks(d.Combo1, "45");  // no such hour: the 5 starts anew
                 QCOMPARE(d.Combo1->currentIndex(), 5);
                 QTest::keyClicks(d.Combo3, "7");
                 QCOMPARE(d.Combo3->currentIndex(), 7);
                 d.CancelButton->click();
               });
  // A whole date typed over the date selected with Ctrl+A (keys reach the closed dialog's fields).
  Dialog& d = r.w.dialog();
  d.Option1[2]->click();
  for (const auto& [typed, date] :
       {std::pair("2027-03-15", QDate(2027, 3, 15)), std::pair("2028/1/5", QDate(2028, 1, 5))}) {
    QTest::keyClick(d.DT, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(d.DT, typed);
    QCOMPARE(d.DT->date(), date);
  }
}

void TestWindow::dialogStartsAtFirstControlAndReturnConfirms() {
  Rig r;
  r.w.Form_Load();
  const auto pressReturn = [](Dialog& d) {
    QVERIFY(d.focusWidget());
    QTest::keyClick(d.focusWidget(), Qt::Key_Return);
    if (d.isVisible()) d.reject();  // Return did not close it: the count below tells
  };
  // Cancelled with the focus on "取消": the next opening starts at the options again.
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [](Dialog& d) {
                 d.CancelButton->setFocus();
                 QTest::keyClick(d.CancelButton, Qt::Key_Space);
               });
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [&](Dialog& d) {
                 QCOMPARE(d.focusWidget(), d.Option1[0]);
                 pressReturn(d);
               });
  QCOMPARE(r.logic.entries().count(), 1);
  // Return means "确定" from any control, "取消" included.
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [&](Dialog& d) {
                 d.CancelButton->setFocus();
                 pressReturn(d);
               });
  r.withDialog([&] { r.w.CmdAdd_Click(); },
               [&](Dialog& d) {
                 d.Combo2->setFocus();
                 pressReturn(d);
               });
  QCOMPARE(r.logic.entries().count(), 3);
  // Editing a weekly entry starts on its option.
  r.logic.entries().item("key0101")->bIsEveryDay = false;
  r.logic.entries().item("key0101")->bIsWeek = true;
  r.logic.refresh_list(1);
  r.select({0});
  r.withDialog([&] { r.w.List_DblClick(); },
               [&](Dialog& d) {
                 QCOMPARE(d.focusWidget(), d.Option1[1]);
                 d.reject();
               });
}

void TestWindow::qtTextsAndCalendarInChinese() {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));  // whatever the system's
  QVERIFY(install_language(*qApp, Language::Chinese));
  QMessageBox box(QMessageBox::NoIcon, "提示", "x", QMessageBox::Ok | QMessageBox::Cancel);
  QCOMPARE(box.button(QMessageBox::Ok)->text(), QString("确定"));
  QCOMPARE(box.button(QMessageBox::Cancel)->text(), QString("取消"));
  Rig r;
  QCalendarWidget* calendar = r.w.dialog().DT->calendarWidget();
  calendar->setCurrentPage(2010, 12);
  QCOMPARE(calendar->findChild<QToolButton*>("qt_calendar_monthbutton")->text(), QString("十二月"));
  QLocale::setDefault(QLocale::system());
}

void TestWindow::longRouteNamesAreCutAtTheRight() {
  Rig r;
  r.w.show();
  TabStrip* tabs = r.w.SSTab2;
  tabs->setTabText(0, "ABCDEFGHIJKLMNOP");
  tabs->setTabText(1, "第十一路");
  const QString shown = tabs->shownText(0);
  QVERIFY2(shown.startsWith("AB") && shown.endsWith(QChar(0x2026)), qPrintable(shown));
  QVERIFY(tabs->fontMetrics().horizontalAdvance(shown) < tabs->tabRect(0).width());
  QCOMPARE(tabs->shownText(1), QString("第十一路"));  // a name that fits is shown whole
  // The whole name is the tab's tip.
  const QPoint at = tabs->tabRect(0).center();
  QHelpEvent help(QEvent::ToolTip, at, tabs->mapToGlobal(at));
  QApplication::sendEvent(tabs, &help);
  QTRY_COMPARE(QToolTip::text(), QString("ABCDEFGHIJKLMNOP"));
}

void TestWindow::portAndAddressAreWrittenAtOnce() {
  Rig r;
  r.w.Form_Load();
  r.w.CmbCom->setCurrentIndex(2);
  emit r.w.CmbCom->activated(2);
  QCOMPARE(r.logic.nCom(), quint8(3));
  QCOMPARE(r.logic.settings().ReadCom(), QString("3"));
  emit r.w.CmbID->activated(15);
  QCOMPARE(r.logic.nID(), quint8(16));
  QCOMPARE(r.logic.settings().ReadID(), QString("16"));
}

void TestWindow::failedOpenLocksNothing() {
  Rig r;
  r.w.Form_Load();
  r.logic.setPort(7);  // a link that leads nowhere
  QDir(r.dir.path()).mkpath("dosdevices");
  QFile::link("/nonexistent/tty", r.dir.filePath("dosdevices/com7"));
  QTest::mouseClick(r.w.CmdOpen, Qt::LeftButton);
  QCOMPARE(r.prompt.messages, QStringList({"串口打开错误\n/nonexistent/tty：设备不存在"}));
  QCOMPARE(r.w.CmdOpen->text(), QString("打开"));
  QVERIFY(!r.logic.station().link().pushRunning());
  for (QWidget* w :
       std::initializer_list<QWidget*>{r.w.CmbID, r.w.CmbCom, r.w.CmdOpenFile, r.w.CmdSave,
                                       r.w.CmdSaveAs, r.w.CmdAdd, r.w.CmdDelAll})
    QVERIFY(w->isEnabled());
}

void TestWindow::lockTableAndChkAutoInterplay() {
  Rig r;
  RelayBoard board({});
  QVERIFY(board.open(r.dir.filePath("dosdevices/com1"), nullptr));
  r.withEntries({{1, 1}});
  r.w.Form_Load();
  QVERIFY(r.w.ChkAuto->isChecked());
  const QList<QWidget*> locked = {r.w.CmbID,     r.w.CmbCom, r.w.CmdOpenFile, r.w.CmdSave,
                                  r.w.CmdSaveAs, r.w.CmdAdd, r.w.CmdDel,      r.w.CmdDelAll};
  QTest::mouseClick(r.w.CmdOpen, Qt::LeftButton);
  QCOMPARE(r.w.CmdOpen->text(), QString("关闭"));
  QVERIFY(r.logic.station().link().pushRunning());
  for (QWidget* w : locked) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
  QVERIFY(r.w.CmdIn->isEnabled() && r.w.CmdQuit->isEnabled());
  QTRY_VERIFY(!r.logic.station().link().bIsFirst());
  const auto lamp = [&] {
    return r.w.grab().toImage().pixelColor(r.w.Shape1[0]->geometry().center());
  };
  QTRY_COMPARE(lamp(), QColor(255, 0, 0));  // the board reports route 1 released

  // Ticking ChkAuto while open unlocks its four buttons again; the others stay locked.
  QTest::mouseClick(r.w.ChkAuto, Qt::LeftButton);  // clear
  QTest::mouseClick(r.w.ChkAuto, Qt::LeftButton);  // ticked
  QVERIFY(!r.w.CmdDel->isEnabled());               // nothing selected to delete
  r.select({0});
  for (QWidget* w : {r.w.CmdAdd, r.w.CmdDel, r.w.CmdDelAll, r.w.CmdSave}) QVERIFY(w->isEnabled());
  for (QWidget* w :
       std::initializer_list<QWidget*>{r.w.CmbID, r.w.CmbCom, r.w.CmdOpenFile, r.w.CmdSaveAs})
    QVERIFY(!w->isEnabled());

  QTest::mouseClick(r.w.CmdOpen, Qt::LeftButton);
  QCOMPARE(r.w.CmdOpen->text(), QString("打开"));
  QVERIFY(!r.logic.station().link().pushRunning());
  QVERIFY(r.logic.station().link().bIsFirst());
  for (QWidget* w : locked) QVERIFY(w->isEnabled());
  // Nothing reads the board after closing: the lamps are grey, as drawn.
  QCOMPARE(r.w.Shape1[0]->colorRef(), quint32(kLampGrey));
  QCOMPARE(lamp(), QColor(192, 192, 192));
  QVERIFY(r.prompt.messages.isEmpty());
}

void TestWindow::manualCommandsReachNextSetFrame() {
  Rig r;
  RelayBoard board({});
  QVERIFY(board.open(r.dir.filePath("dosdevices/com1"), nullptr));
  r.w.Form_Load();
  // The link closed: nothing is switched or recorded, and the press is told.
  QTest::mouseClick(r.w.CmdIn, Qt::LeftButton);
  QCOMPARE(r.prompt.messages, QStringList({"串口未打开"}));
  QCOMPARE(r.logic.station().link().nState(), RouteStateTable{});
  for (const RecordEvent& e : r.logic.record().newest(10)) QCOMPARE(e.route, 0);
  r.w.CmdOpen->click();
  QTRY_VERIFY(!r.logic.station().link().bIsFirst());
  r.w.SSTab2->setCurrentIndex(4);
  QTest::mouseClick(r.w.CmdIn, Qt::LeftButton);
  QCOMPARE(r.logic.station().link().nState()[5], quint8(2));
  QTRY_COMPARE(board.outputs(), quint16(0x0010));  // bit 4 of data2
  r.w.SSTab2->setCurrentIndex(11);
  r.w.CmdOpenAll->click();
  QTRY_COMPARE(board.outputs(), quint16(0xFFFF));
  QTest::mouseClick(r.w.CmdOut, Qt::LeftButton);
  QTRY_COMPARE(board.outputs(), quint16(0xF7FF));  // bit 3 of data1 clear
  QTRY_COMPARE(r.w.Shape1[11]->colorRef(), quint32(kLampRed));
  QTRY_COMPARE(r.w.Shape1[10]->colorRef(), quint32(kLampGreen));
  r.w.CmdCloseAll->click();
  QTRY_COMPARE(board.outputs(), quint16(0));
}

void TestWindow::vanishedDeviceIsWaitedFor() {
  Rig r;
  auto* board = new RelayBoard({});
  QVERIFY(board->open(r.dir.filePath("dosdevices/com1"), nullptr));
  r.w.Form_Load();
  r.w.CmdOpen->click();
  QTRY_VERIFY(!r.logic.station().link().bIsFirst());
  QTRY_COMPARE(r.w.Shape1[0]->colorRef(), quint32(kLampRed));
  delete board;  // the adapter is pulled
  QTRY_COMPARE(r.prompt.messages, QStringList({"串口已断开"}));
  for (Lamp* lamp : r.w.Shape1) QCOMPARE(lamp->colorRef(), quint32(kLampGrey));  // at once
  // Still meant to be open: the button stops the waiting, the port stays locked.
  QCOMPARE(r.w.CmdOpen->text(), QString("关闭"));
  QVERIFY(!r.w.CmbCom->isEnabled());
  QVERIFY(r.logic.station().link().bIsFirst());
  // Plugged in again: the link comes back by itself with a fresh handshake, without a word.
  auto* again = new RelayBoard({});
  QVERIFY(again->open(r.dir.filePath("dosdevices/com1"), nullptr));
  QTRY_VERIFY_WITH_TIMEOUT(!r.logic.station().link().bIsFirst(), 2 * LinkControl::kRetryMs + 1000);
  QCOMPARE(r.prompt.messages.size(), 1);
  // Pulled again and the user presses "关闭": the waiting ends, a returning port stays closed.
  delete again;
  QTRY_COMPARE(r.prompt.messages.size(), 2);
  r.w.CmdOpen->click();
  QCOMPARE(r.w.CmdOpen->text(), QString("打开"));
  RelayBoard third({});
  QVERIFY(third.open(r.dir.filePath("dosdevices/com1"), nullptr));
  QTest::qWait(LinkControl::kRetryMs + 300);
  QVERIFY(!r.logic.station().port().portOpen());
}

void TestWindow::startupTellsAMissingPortWithoutWaiting() {
  RigWith<WidgetPrompt> r;
  r.prompt.setParent(&r.w);
  put(r.dir.filePath("Name.ini"), "[Note]\r\nOpen=1\r\n");
  QVERIFY(QDir(r.dir.path()).mkpath("dosdevices"));  // Com1: dosdevices/com1, not there yet
  r.w.Form_Load();                                   // returns while the message is up
  QVERIFY(r.prompt.shownNotice() && r.prompt.shownNotice()->isVisible());
  QCOMPARE(r.prompt.shownNotice()->text(),
           "串口打开错误\n" + r.dir.filePath("dosdevices/com1") + "：设备不存在");
  RelayBoard board({});
  QVERIFY(board.open(r.dir.filePath("dosdevices/com1"), nullptr));
  QTRY_VERIFY_WITH_TIMEOUT(!r.prompt.shownNotice(), 2 * LinkControl::kRetryMs + 1000);
}

void TestWindow::recordShowsEntryTexts() {
  Rig r;
  r.withEntries({{1, 1}});  // every day at 00:00:01, 吸合
  r.w.Form_Load();
  QDateTime at(QDate::currentDate(), QTime(0, 0, 31));
  SwitchRecord record(r.dir.path(), [&] { return at; });
  record.appendState(1, true, RecordCause::Entry, "key0101");  // a late tick: still this entry's
  at = at.addSecs(60);
  record.appendState(1, true, RecordCause::Entry, "key0101");  // not this entry's (edited since)
  record.appendState(1, true, RecordCause::Entry, "key0102");  // no such entry any more
  put(r.dir.filePath("Name.ini"), "[Note]\r\n01=Pump\r\n");
  r.w.CmdRecord_Click();
  QTreeWidget* list = r.w.findChild<RecordWindow*>()->list();
  QCOMPARE(list->findItems("每天 00:00:01", Qt::MatchExactly, 3).size(), 1);
  QCOMPARE(list->findItems("key0101", Qt::MatchExactly, 3).size(), 1);
  QCOMPARE(list->findItems("已删除的条目 key0102", Qt::MatchExactly, 3).size(), 1);
  QCOMPARE(list->findItems("1 Pump", Qt::MatchExactly, 1).size(), 3);
  QCOMPARE(r.w.findChild<RecordWindow*>()->windowTitle(), QString("记录 - 第1路"));
}

void TestWindow::portBoxShowsWhatIsUsedAndWhereItLeads() {
  {
    // An unusable stored port with "Open" set: Com1 is opened, and the box says so.
    Rig r;
    RelayBoard board({});
    QVERIFY(board.open(r.dir.filePath("dosdevices/com1"), nullptr));
    QFile f(r.dir.filePath("Name.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Note]\r\nOpen=1\r\nCom=x9\r\nID=99\r\n");
    f.close();
    r.w.Form_Load();
    QCOMPARE(r.w.CmdOpen->text(), QString("关闭"));
    QCOMPARE(r.w.CmbCom->currentText(), QString("Com1"));
    QCOMPARE(r.w.CmbID->currentText(), QString("1"));
    QCOMPARE(r.w.CmbCom->toolTip(), board.slavePath());
  }
  // The stored port's tip, chosen with the box's signals blocked, and a link that comes and goes.
  Rig r;
  QFile f(r.dir.filePath("Name.ini"));
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write("[Note]\r\nCom=3\r\n");
  f.close();
  QVERIFY(QDir(r.dir.path()).mkpath("dosdevices"));
  r.w.Form_Load();
  const QString com3 = r.dir.filePath("dosdevices/com3");
  QCOMPARE(r.w.CmbCom->currentText(), QString("Com3"));
  QCOMPARE(r.w.CmbCom->toolTip(), com3 + "：设备不存在");
  RelayBoard board({});
  QVERIFY(board.open(com3, nullptr));
  QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), r.w.CmbCom->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(r.w.CmbCom, &hover);
  QCOMPARE(r.w.CmbCom->toolTip(), board.slavePath());
  QCOMPARE(r.w.CmbCom->itemData(2, Qt::ToolTipRole).toString(), board.slavePath());
  board.close();
  r.w.hide();
  r.w.show();  // brought back from the tray
  QCOMPARE(r.w.CmbCom->toolTip(), com3 + "：设备不存在");
}

void TestWindow::mqttDialogWritesTheBrokerSection() {
  Rig r;
  r.w.Form_Load();
  const auto withMqtt = [&](const std::function<void(MqttDialog&)>& answer) {
    QTimer::singleShot(0, [&r, answer] {
      QTRY_VERIFY(r.w.mqttDialog().isVisible());
      answer(r.w.mqttDialog());
      if (r.w.mqttDialog().isVisible()) r.w.mqttDialog().reject();
    });
    QTest::mouseClick(r.w.CmdMqtt, Qt::LeftButton);
  };
  const QString ini = r.dir.filePath("Name.ini");
  const auto stored = [&] { return SettingsStore::ReadMqtt(ProfileFile::load(ini)); };
  // Nothing set up and nothing filled in: OK leaves the file as it was.
  withMqtt([&](MqttDialog& d) { d.OKButton->click(); });
  QVERIFY(!stored().present);
  // A prefix with a wildcard is refused: the dialog stays open and nothing is written.
  withMqtt([&](MqttDialog& d) {
    QCOMPARE(d.TxtPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(d.TxtPrefix->placeholderText(), QString("tavrel/1"));
    // TLS has a port of its own: a port left at the default follows the box.
    d.ChkTls->setChecked(true);
    QCOMPARE(d.TxtPort->value(), 8883);
    QVERIFY(d.TxtCaFile->isEnabled());
    d.ChkTls->setChecked(false);
    QCOMPARE(d.TxtPort->value(), 1883);
    d.TxtHost->setText("127.0.0.1");
    d.TxtPort->setValue(1);  // nothing listens there: the client keeps trying
    d.TxtUser->setText("home");
    d.TxtPassword->setText("s3cret");
    d.TxtPrefix->setText("a/+/b");
    d.OKButton->click();
    QCOMPARE(r.prompt.messages, QStringList({"前缀无效：不能含有 + 或 #，也不能有空的层级"}));
    QVERIFY(d.isVisible());
    QVERIFY(!stored().present);
    // A GBK file cannot hold "ß": stored, the password would come back as another one.
    d.TxtPrefix->setText("home/relays");
    d.TxtDiscoveryPrefix->setText("#");
    d.OKButton->click();
    QCOMPARE(r.prompt.messages.size(), 2);
    QVERIFY(d.TxtDiscoveryPrefix->hasFocus());
    d.TxtDiscoveryPrefix->setText("ha");
    d.TxtPassword->setText("Größe-ß");
    d.OKButton->click();
    QCOMPARE(r.prompt.messages.last(), QString("密码含有无法保存的字符"));
    QVERIFY(d.isVisible());
    QVERIFY(!stored().present);
    d.TxtPassword->setText("s3cret");
    QTest::keyClick(d.TxtPrefix, Qt::Key_Return);
    QVERIFY(!d.isVisible());
  });
  const MqttSettings s = stored();
  QVERIFY(s.enabled());
  QCOMPARE(s.host, QString("127.0.0.1"));
  QCOMPARE(s.port, 1);
  QCOMPARE(s.user, QString("home"));
  QCOMPARE(s.password, QString("s3cret"));
  QCOMPARE(s.prefix, QString("home/relays"));
  QCOMPARE(s.discoveryPrefix, QString("ha"));
  QVERIFY(!s.tls && s.discovery);
  // Written by hand with TLS and no port: TLS's own.
  QCOMPARE(SettingsStore::ReadMqtt(ProfileFile::fromBytes("[Mqtt]\nHost=h\nTls=1\n")).port, 8883);
  struct stat st {};
  QCOMPARE(::stat(QFile::encodeName(ini).constData(), &st), 0);
  QCOMPARE(st.st_mode & 0777, mode_t(0600));
  QCOMPARE(r.logic.bridge().settings(), s);
  QVERIFY(r.logic.bridge().state() != MqttClient::Off);
  // The button's tip and the tray's tip tell the broker's state.
  QCOMPARE(r.w.CmdMqtt->toolTip(), r.logic.mqttText() + "\n127.0.0.1:1");
  QCOMPARE(r.w.tray()->toolTip().split('\n').at(1), r.logic.mqttText());
  // The next opening shows what is in use; cancelled, a changed field changes nothing.
  withMqtt([&](MqttDialog& d) {
    QCOMPARE(d.settings().host, s.host);
    QCOMPARE(d.TxtPassword->text(), s.password);
    d.TxtHost->setText("192.0.2.1");
    d.CancelButton->click();
  });
  QCOMPARE(stored(), s);
  QCOMPARE(r.logic.bridge().settings(), s);
}

// Both languages in the fixed layouts: every control's text fits its control (the texts the code
// sets later, the link's states and the next switch, included). In English no Chinese word is
// left anywhere a window, its lists or the tray's menu show.
void TestWindow::textsFitInBothLanguages_data() {
  QTest::addColumn<bool>("english");
  QTest::newRow("Chinese") << false;
  QTest::newRow("English") << true;
}

void TestWindow::textsFitInBothLanguages() {
  QFETCH(bool, english);
  install_font_substitutions();  // as the program does: "宋体" is the desktop's CJK font
  QTranslator catalogue;
  QVERIFY(catalogue.load(QStringLiteral(":/i18n/tavrel_en.qm")));
  if (english) qApp->installTranslator(&catalogue);
  {
    Rig r;
    r.withEntries({{1, 2}});
    put(r.dir.filePath("Note.ini"), get(r.dir.filePath("Note.ini")) +
                                        "0103=10101010100120261224063000\r\n"
                                        "0104=00000000000120270230063000\r\n");
    r.w.Form_Load();
    r.w.show();
    checkTextsFit(&r.w);
    for (int i = 0; i < r.w.SSTab2->count(); ++i)
      QCOMPARE(r.w.SSTab2->shownText(i), r.w.SSTab2->tabText(i));
    const QStringList links = {r.logic.linkText(), AppLogic::tr("未连接"), AppLogic::tr("等待串口"),
                               AppLogic::tr("无应答"), AppLogic::tr("已连接")};
    for (const QString& t : links) checkFits(r.w.LabLink, t);
    for (const QString& t : {AppLogic::tr("打开"), AppLogic::tr("关闭")}) checkFits(r.w.CmdOpen, t);
    RouteSwitch next{QDateTime(QDate(2026, 12, 28), QTime(23, 59, 59)), false, {}};
    for (const QString& t : {next_switch_text(next, true), next_switch_text(std::nullopt, true),
                             next_switch_text(std::nullopt, false)})
      checkFits(r.w.LabNext, t);
    r.withDialog([&] { r.w.CmdAdd_Click(); },
                 [&](Dialog& d) {
                   checkTextsFit(&d);
                   if (english) QVERIFY2(!has_cjk(texts_shown(&d).join('|')), "editor");
                   d.reject();
                 });
    QTimer::singleShot(0, [&r, english] {
      QTRY_VERIFY(r.w.mqttDialog().isVisible());
      checkTextsFit(&r.w.mqttDialog());
      if (english) QVERIFY2(!has_cjk(texts_shown(&r.w.mqttDialog()).join('|')), "broker");
      r.w.mqttDialog().reject();
    });
    QTest::mouseClick(r.w.CmdMqtt, Qt::LeftButton);
    if (english) {
      r.w.CmdRecord_Click();
      QWidgetList windows{&r.w};
      for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible()) windows << top;
      for (QWidget* w : windows) {
        const QString all = texts_shown(w).join('|');
        QVERIFY2(!has_cjk(all), qPrintable(all));
      }
      QStringList menu;
      for (QAction* a : r.w.tray()->menu()->actions()) menu << a->text();
      QVERIFY2(!has_cjk(menu.join('|') + r.w.tray()->toolTip()), qPrintable(menu.join('|')));
    }
  }
  qApp->removeTranslator(&catalogue);
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"

// "Route 1 every day 08:00 吸合, 18:00 断开": the plan's colour over 08:00-18:00 of each day in
// row 1 and nowhere else in it; the board's one reported period in the actual look, only there.
void TestWindow::weekChartDrawsPlanAndActual() {
  EntryCollection c;
  c.add("key0101", ::entry("11000000000100000000080000"));
  c.add("key0102", ::entry("01000000000100000000180000"));
  const auto ms = [](int d, int h, int msec = 0) {
    return QDateTime(QDate(2026, 12, 7 + d), QTime(h, 0)).toMSecsSinceEpoch() + msec;
  };
  const auto at = [](qint64 t) { return QDateTime::fromMSecsSinceEpoch(t); };
  const QList<RecordEvent> record = {
      {at(ms(0, 1)), 0, RecordAction::BoardAnswers, RecordCause::None, {}, {}, {}},
      {at(ms(0, 8, 400)), 1, RecordAction::Energise, RecordCause::Board, {}, {}, {}},
      {at(ms(0, 18, 300)), 1, RecordAction::Release, RecordCause::Board, {}, {}, {}},
      {at(ms(1, 8)), 1, RecordAction::NotDone, RecordCause::Entry, "key0101", {}, {}}};
  const qint64 now = ms(2, 20);
  WeekChart chart([&](const QString& key) { return entry_text(*c.item(key)); });
  chart.resize(WeekChart::kNameWidth + 726, chart.sizeHint().height());
  chart.setMisses(actual_misses(record, ms(0, 0), ms(3, 0)));
  chart.setData(week_plan(c, ms(0, 0), ms(3, 0), last_route_states(c, at(ms(0, 0))), now),
                actual_periods(record, ms(0, 0), ms(3, 0), now, quint16(0)),
                QStringList(16, "水泵"), now);
  chart.setWindow(ms(0, 0), ms(3, 0));
  QImage shot(chart.size(), QImage::Format_RGB32);
  chart.render(&shot);
  for (int x = WeekChart::kNameWidth; x < WeekChart::kNameWidth + 720; ++x) {
    if (std::abs(x - chart.xOf(now)) <= 1) continue;  // the line for now
    bool planned = false;
    for (int d = 0; d < 3; ++d) planned |= x >= chart.xOf(ms(d, 8)) && x < chart.xOf(ms(d, 18));
    const bool reported = x >= chart.xOf(ms(0, 8, 400)) && x < chart.xOf(ms(0, 18, 300));
    QCOMPARE(shot.pixel(x, chart.planLane(1).center().y()) == WeekChart::planColour().rgb(),
             planned);
    QCOMPARE(shot.pixel(x, chart.actualLane(1).center().y()) == WeekChart::actualColour().rgb(),
             reported);
  }
  QVERIFY(chart.tipAt({chart.xOf(ms(1, 12)), chart.planLane(1).center().y()})
              .contains("第1路, 每天, 08:00:00 ,吸合"));
  const QString missed = chart.tipAt({chart.xOf(ms(1, 8)), chart.actualLane(1).center().y()});
  QVERIFY2(missed.startsWith("未执行：第1路, 每天, 08:00:00 ,吸合"), qPrintable(missed));

  // In the window: it follows the entries; a click on a row shows that route's page.
  Rig r;
  r.w.findChild<QPushButton*>("CmdWeek")->click();
  auto* view = r.w.findChild<WeekView*>();
  QVERIFY(view && view->isVisible());
  r.add({{"key0201", ::entry("11000000000200000000000000")}});
  const QPoint row2(view->chart()->xOf(view->chart()->windowTo() - 1),
                    view->chart()->planLane(2).center().y());
  QTRY_VERIFY(view->chart()->tipAt(row2).contains("第2路, 每天, 00:00:00 ,吸合"));
  QTest::mouseClick(view->chart(), Qt::LeftButton, {}, view->chart()->planLane(5).center());
  QCOMPARE(r.w.SSTab2->currentIndex(), 4);
  // Zoomed in to an hour about the middle, then out a notch by the wheel with Ctrl, about the
  // moment under the pointer.
  WeekChart* zoomed = view->chart();
  const qint64 middle = (zoomed->windowFrom() + zoomed->windowTo()) / 2;
  for (auto* in = view->findChild<QPushButton*>("ZoomIn"); in->isEnabled();) in->click();
  QCOMPARE(zoomed->windowTo() - zoomed->windowFrom(), WeekView::kShortestMs);
  QVERIFY(std::abs((zoomed->windowFrom() + zoomed->windowTo()) / 2 - middle) < 1000);
  const QPoint pointer(zoomed->xOf(middle) + 200, zoomed->planLane(1).center().y());
  const qint64 under = zoomed->timeAt(pointer.x());
  QWheelEvent wheel(pointer, zoomed->mapToGlobal(pointer), {}, {0, -120}, Qt::NoButton,
                    Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(zoomed, &wheel);
  QCOMPARE(zoomed->windowTo() - zoomed->windowFrom(), 3 * WeekView::kShortestMs);
  QVERIFY(std::abs(zoomed->xOf(under) - pointer.x()) <= 1);
}
