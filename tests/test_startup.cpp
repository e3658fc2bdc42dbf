#include <QtTest>
#include <QtWidgets>

#include "app/startup.h"
#include "platform/autostart.h"
#include "support/entries.h"
#include "support/files.h"
#include "support/logic_rig.h"
#include "ui/frmmain.h"
#include "ui/tray.h"

namespace {

struct Rig : LogicRig {
  QString name() const { return dir.filePath("Name.ini"); }
};

}  // namespace

class TestStartup : public QObject {
  Q_OBJECT
 private slots:
  void storedListPositions();
  void storedValuesSelectAndWriteBack();
  void unusableValuesSelectNothingAndWriteNothing();
  void entriesTickChkAutoAndOpenFailureGoesOn();
  void unreadableStoreIsToldOnce();
  void storeChangedByAnotherProgram();
  void flagsOtherThanZeroAreOn();
  void quitWritesSettingsAndAutostart();
  void autostartQuoting_data();
  void autostartQuoting();
  void trayTipAndNoTrayKeepsWindowVisible();
};

void TestStartup::storedListPositions() {
  QCOMPARE(stored_list_position("1", 16), 0);
  QCOMPARE(stored_list_position("07", 20), 6);
  QCOMPARE(stored_list_position("16", 16), 15);
  QCOMPARE(stored_list_position("17", 16), -1);
  QCOMPARE(stored_list_position("0", 20), -1);
  QCOMPARE(stored_list_position("", 20), -1);
  QCOMPARE(stored_list_position("x3", 20), -1);
  QCOMPARE(stored_list_position("-1", 20), -1);
}

void TestStartup::storedValuesSelectAndWriteBack() {
  Rig r;
  put(r.name(), "[Note]\r\nCom=07\r\nID=12\r\n");
  const StartupChoices c = run_startup(r.logic, r.logic.settings().load());
  QCOMPARE(c.comIndex, 6);
  QCOMPARE(c.idIndex, 11);
  QCOMPARE(r.logic.nCom(), quint8(7));
  QCOMPARE(r.logic.nID(), quint8(12));
  QCOMPARE(get(r.name()), QByteArray("[Note]\r\nCom=7\r\nID=12\r\n"));  // canonical form
  QVERIFY(r.logic.station().link().bIsFirst());
  QCOMPARE(r.logic.nPage(), 1);
  // A "Unicode" Name.ini as Windows writes it: read, and written back in UTF-16.
  Rig wide;
  put(wide.name(), utf16("[Note]\r\nCom=02\r\nID=3\r\n"));
  run_startup(wide.logic, wide.logic.settings().load());
  QCOMPARE(wide.logic.nCom(), quint8(2));
  QCOMPARE(get(wide.name()), utf16("[Note]\r\nCom=2\r\nID=3\r\n"));
}

void TestStartup::unusableValuesSelectNothingAndWriteNothing() {
  Rig r;
  const QByteArray before = "[Note]\r\nCom=99999999999999999999\r\nID=300\r\n";
  put(r.name(), before);
  const StartupChoices c = run_startup(r.logic, r.logic.settings().load());
  QCOMPARE(c.comIndex, -1);
  QCOMPARE(c.idIndex, -1);
  QCOMPARE(r.logic.nCom(), quint8(1));
  QCOMPARE(r.logic.nID(), quint8(1));
  QCOMPARE(get(r.name()), before);
  // Told in the record, each once.
  QStringList told;
  for (const RecordEvent& e : r.logic.record().newest(10))
    if (e.action == RecordAction::SettingInvalid) told.prepend(e.detail);
  QCOMPARE(told, QStringList({"ID=300", "Com=99999999999999999999"}));
}

void TestStartup::entriesTickChkAutoAndOpenFailureGoesOn() {
  Rig r;
  put(r.name(), "[Note]\r\nOpen=1\r\nCom=20\r\n");  // nothing leads to Com20
  put(r.dir.filePath("Note.ini"),
      "[Note]\r\n0101=11000000000100000000073000\r\n0201=11000000000200000000073000\r\n");
  QDir(r.dir.path()).mkpath("dosdevices");
  QFile::link("/nonexistent", r.dir.filePath("dosdevices/com20"));
  const StartupChoices c = run_startup(r.logic, r.logic.settings().load());
  QVERIFY(c.open);
  QCOMPARE(r.prompt.messages, QStringList({"串口打开错误\n/nonexistent：设备不存在"}));
  QVERIFY(r.logic.chkAuto());
  QVERIFY(r.logic.station().scheduler().isEnabled());
  QCOMPARE(r.logic.station().linkControl().state(),
           LinkControl::Waiting);           // the port may come later
  QCOMPARE(r.logic.listItems().size(), 1);  // route 1 only, listed after the failure
  QCOMPARE(r.logic.station().link().nState(), RouteStateTable{});
}

void TestStartup::unreadableStoreIsToldOnce() {
  Rig r;
  const QString note = r.dir.filePath("Note.ini");
  QDir(r.dir.path()).mkdir("Note.ini");  // exists, cannot be read as a file
  put(r.name(), "[Note]\r\nOpen=0\r\n");
  run_startup(r.logic, r.logic.settings().load());
  QCOMPARE(r.prompt.messages, QStringList({"读取失败\n" + note}));
  QVERIFY(!r.logic.chkAuto());
  QCOMPARE(get(r.name()), QByteArray("[Note]\r\nOpen=0\r\nID=1\r\nCom=1\r\n"));  // went on
}

// Note.ini replaced by another program: taken up while nothing is unsaved, else only told, once.
void TestStartup::storeChangedByAnotherProgram() {
  Rig r;
  const QString note = r.dir.filePath("Note.ini");
  run_startup(r.logic, r.logic.settings().load());
  put(note, "[Note]\r\n0101=11000000000100000000080000\r\n");
  QVERIFY(r.station.takeUpStore());
  QVERIFY(r.logic.chkAuto() && !r.logic.modified());
  QCOMPARE(r.logic.record().newest(1).value(0).action, RecordAction::StoreLoaded);
  QVERIFY(!r.station.takeUpStore());  // the same entries again
  r.logic.CmdDelAll_Click();          // unsaved
  put(note, "[Note]\r\n0301=11000000000300000000100000\r\n");
  QVERIFY(!r.station.takeUpStore());
  QVERIFY(!r.station.takeUpStore());
  QCOMPARE(r.logic.entries().count(), 0);
  QCOMPARE(r.prompt.messages, QStringList({"已载入新的 Note.ini", "Note.ini 已被其他程序修改"}));
}

void TestStartup::flagsOtherThanZeroAreOn() {
  Rig r;
  put(r.name(), "[Note]\r\nOpen=0x\r\nRun=5\r\n");
  const StartupChoices c = run_startup(r.logic, r.logic.settings().load());
  QVERIFY(!c.open);
  QVERIFY(c.run);
  QVERIFY(!r.logic.chkAuto());
  QVERIFY(!r.logic.station().scheduler().isEnabled());
  QVERIFY(r.prompt.messages.isEmpty());
}

void TestStartup::quitWritesSettingsAndAutostart() {
  Rig r;
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QDir(config.path()).mkpath("autostart");
  put(config.filePath("autostart/other.desktop"), "x");
  const QString exe = r.dir.filePath("my tavrel");
  r.logic.CmdQuit_Click(true, true, exe);
  QCOMPARE(r.logic.settings().ReadOpen(), QString("1"));
  QCOMPARE(r.logic.settings().ReadRun(), QString("1"));
  const QByteArray entry = get(config.filePath("autostart/my tavrel.desktop"));
  QVERIFY(entry.startsWith("[Desktop Entry]\n"));
  QVERIFY(entry.contains("\nExec=\"" + exe.toUtf8() + "\"\n"));
  r.logic.CmdQuit_Click(false, false, exe);
  QVERIFY(!QFile::exists(config.filePath("autostart/my tavrel.desktop")));
  QVERIFY(QFile::exists(config.filePath("autostart/other.desktop")));
  QCOMPARE(get(r.name()), QByteArray("[Note]\r\nOpen=0\r\nRun=0\r\n"));
  r.logic.CmdQuit_Click(false, false, exe);  // removing a missing entry is no failure
  qunsetenv("XDG_CONFIG_HOME");
}

void TestStartup::autostartQuoting_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("exec");
  QTest::newRow("plain") << "/opt/tavrel/tavrel"
                         << "/opt/tavrel/tavrel";
  QTest::newRow("space") << "/home/a b/tavrel"
                         << "\"/home/a b/tavrel\"";
  QTest::newRow("dollar and quote") << "/x/$y\"z"
                                    << "\"/x/\\\\$y\\\\\"z\"";
  QTest::newRow("backslash") << "/x/a\\b"
                             << "\"/x/a\\\\\\\\b\"";
  QTest::newRow("percent") << "/x/100%/t"
                           << "/x/100%%/t";
  QTest::newRow("chinese") << "/home/用户/定时/tavrel"
                           << "/home/用户/定时/tavrel";
}

void TestStartup::autostartQuoting() {
  QFETCH(QString, path);
  QFETCH(QString, exec);
  QCOMPARE(desktop_exec_quoted(path), exec);
}

void TestStartup::trayTipAndNoTrayKeepsWindowVisible() {
  QCOMPARE(Tray::tipText(), QString("Tavrel(版本 1.0.0)"));
  Rig r;
  Frmmain w(r.logic);
  w.Form_Load();
  QCOMPARE(w.tray()->toolTip(), QString("Tavrel(版本 1.0.0) 未连接\n") + r.dir.path());
  // The offscreen platform has no notification area: the window must stay reachable.
  QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
  QVERIFY(w.isVisible());
  QVERIFY(!w.windowIcon().isNull());
  // A record that cannot be written is told from the start: in the tip, and "记录" in red.
  Rig blocked;
  put(blocked.dir.filePath("log"), "a file where the folder should be");
  Frmmain b(blocked.logic);
  b.Form_Load();
  QCOMPARE(b.tray()->toolTip(), "Tavrel(版本 1.0.0) 未连接\n记录无法写入\n" + blocked.dir.path());
  QCOMPARE(b.CmdRecord->palette().color(QPalette::ButtonText), QColor(Qt::red));
  QCOMPARE(b.CmdRecord->toolTip(), "记录无法写入\n" + blocked.dir.filePath("log"));
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tavrel");
  QApplication::setApplicationVersion("1.0.0");
  TestStartup t;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&t, argc, argv);
}

#include "test_startup.moc"
