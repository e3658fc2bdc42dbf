// The data folder rule, the command line, ports by name, and quitting when the settings cannot be
// written. Checks that depend on rights run as an ordinary user (see support/as_user.h).
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <tuple>

#include "app/command_line.h"
#include "core/clsdata.h"
#include "platform/autostart.h"
#include "platform/data_folder.h"
#include "platform/port_naming.h"
#include "platform/single_copy.h"
#include "support/as_user.h"
#include "support/files.h"
#include "support/logic_rig.h"
#include "support/scripted_prompt.h"

namespace {

// Scenario "installed" EXEDIR HOME: a program in the read-only EXEDIR keeps its files under
// HOME's ~/.local/share/tavrel, saves there and writes Open and Run at quit.
bool installed(const QString& exeDir, const QString& home) {
  qputenv("XDG_CONFIG_HOME", (home + "/.config").toLocal8Bit());
  const QString dir = choose_data_folder(exeDir);
  if (dir != home + "/.local/share/tavrel" || !make_data_folder(dir)) return false;
  ScriptedPrompt prompt;
  Plant plant(dir, prompt);
  AppLogic& logic = plant.logic;
  EntryCollection entries;
  entries.add("key0101", StrToData("11000000000100000000010000"));
  logic.setEntries(std::move(entries));
  logic.CmdSave_Click();
  if (prompt.messages != QStringList{"保存成功！"}) return false;
  if (!get(dir + "/Note.ini").contains("0101=11000000000100000000010000")) return false;
  if (!logic.CmdQuit_Click(true, true, exeDir + "/tavrel")) return false;
  const QByteArray entry = get(home + "/.config/autostart/tavrel.desktop");
  return logic.settings().ReadOpen() == "1" && logic.settings().ReadRun() == "1" &&
         entry.contains("\nExec=" + exeDir.toUtf8() + "/tavrel\n") &&
         entry.contains("\nIcon=tavrel\n") && prompt.messages.size() == 1;
}

// Scenario "unwritable" DIR HOME: DIR cannot be written: one copy only all the same, the record
// says it cannot be written, and quitting says so once and leaves the autostart entry alone.
bool unwritable(const QString& dir, const QString& home) {
  qputenv("XDG_CONFIG_HOME", (home + "/.config").toLocal8Bit());
  qputenv("XDG_RUNTIME_DIR", (home + "/run").toLocal8Bit());
  QDir().mkpath(home + "/run");
  QFile::setPermissions(home + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  SingleCopy first(dir), second(dir);
  if (!first.acquire() || second.acquire()) return false;
  ScriptedPrompt prompt;
  Plant plant(dir, prompt);
  AppLogic& logic = plant.logic;
  logic.recordProgramStart();
  return logic.recordText() == "记录无法写入：没有写入权限" &&
         !logic.CmdQuit_Click(true, true, dir + "/tavrel") &&
         prompt.messages == QStringList{"保存设置失败：没有写入权限\n" + dir + "/Name.ini"} &&
         !QFileInfo::exists(home + "/.config/autostart/tavrel.desktop");
}

bool scenario(const QStringList& args) {
  // Every scenario: NAME FOLDER HOME [EXPECTED]
  qputenv("HOME", args.value(2).toLocal8Bit());
  qunsetenv("XDG_DATA_HOME");
  if (args.value(0) == "chooses") return choose_data_folder(args.value(1)) == args.value(3);
  if (args.value(0) == "installed") return installed(args.value(1), args.value(2));
  if (args.value(0) == "unwritable") return unwritable(args.value(1), args.value(2));
  return false;
}

}  // namespace

class TestDataFolder : public QObject {
  Q_OBJECT
 private slots:
  void folderRule();
  void runsInstalled();
  void quitWithUnwritableSettings();
  void commandLine_data();
  void commandLine();
  void presentDevicesAndLinks();
  void autostartNamesTheFolder();
};

void TestDataFolder::folderRule() {
  QTemporaryDir exe, home;
  qputenv("HOME", home.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", "relative/ignored");
  QCOMPARE(choose_data_folder(exe.path()), exe.path());  // writable: portable
  QCOMPARE(choose_data_folder(exe.path(), "/x/../y/"), QString("/y"));
  QCOMPARE(choose_data_folder("/nonexistent"), home.path() + "/.local/share/tavrel");
  // Installed, even when the folder is writable (root): never files in /usr/bin.
  QCOMPARE(choose_data_folder("/usr/bin"), home.path() + "/.local/share/tavrel");
  QCOMPARE(choose_data_folder(home.path() + "/.local/bin/"), home.path() + "/.local/share/tavrel");
  qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
  QCOMPARE(choose_data_folder("/nonexistent"), home.filePath("data/tavrel"));
  qunsetenv("XDG_DATA_HOME");
  qunsetenv("HOME");
}

void TestDataFolder::runsInstalled() {
  QTemporaryDir exe, home, other;
  make_open_to_all(home.path());
  QFile::setPermissions(exe.path(),
                        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
  QVERIFY(as_ordinary_user("installed", {exe.path(), home.path()}));
  QVERIFY(
      as_ordinary_user("chooses", {exe.path(), home.path(), home.path() + "/.local/share/tavrel"}));
  // A read-only folder someone set up by hand stays the data folder.
  put(other.filePath("Note.ini"), "[Note]\r\n");
  QFile::setPermissions(other.path(),
                        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
  QVERIFY(as_ordinary_user("chooses", {other.path(), home.path(), other.path()}));
}

void TestDataFolder::quitWithUnwritableSettings() {
  QTemporaryDir dir, home;
  make_open_to_all(home.path());
  put(dir.filePath("Name.ini"), "[Note]\r\nOpen=0\r\nRun=0\r\n");
  QFile::setPermissions(dir.filePath("Name.ini"), QFile::ReadOwner | QFile::ReadOther);
  QFile::setPermissions(dir.path(),
                        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
  QVERIFY(as_ordinary_user("unwritable", {dir.path(), home.path()}));
  QCOMPARE(get(dir.filePath("Name.ini")), QByteArray("[Note]\r\nOpen=0\r\nRun=0\r\n"));
}

void TestDataFolder::commandLine_data() {
  using M = CommandLine::Mode;
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("mode");
  QTest::addColumn<QString>("dataDir");
  QTest::newRow("plain") << QStringList{} << int(M::Window) << "";
  QTest::newRow("help wins") << QStringList{"--headless", "--data", "d", "-h"} << int(M::Help)
                             << "d";
  QTest::newRow("help with bad rest") << QStringList{"--bogus", "--help"} << int(M::Help) << "";
  QTest::newRow("version") << QStringList{"--version"} << int(M::Version) << "";
  QTest::newRow("headless in a folder")
      << QStringList{"--data", "/srv/t", "--headless"} << int(M::Headless) << "/srv/t";
  QTest::newRow("list") << QStringList{"--list-ports"} << int(M::ListPorts) << "";
  QTest::newRow("link") << QStringList{"--link-port", "20", "/dev/ttyUSB0"} << int(M::LinkPort)
                        << "";
  QTest::newRow("link port 0") << QStringList{"--link-port", "0", "/dev/x"} << int(M::Error) << "";
  QTest::newRow("link port 21") << QStringList{"--link-port", "21", "/dev/x"} << int(M::Error)
                                << "";
  QTest::newRow("link without device") << QStringList{"--link-port", "1"} << int(M::Error) << "";
  QTest::newRow("data without folder") << QStringList{"--data"} << int(M::Error) << "";
  QTest::newRow("two modes") << QStringList{"--headless", "--list-ports"} << int(M::Error) << "";
  QTest::newRow("unknown") << QStringList{"-x"} << int(M::Error) << "";
  QTest::newRow("positional") << QStringList{"Note.ini"} << int(M::Error) << "";
}

void TestDataFolder::commandLine() {
  QFETCH(QStringList, args);
  QFETCH(int, mode);
  QFETCH(QString, dataDir);
  const CommandLine c = CommandLine::parse(args);
  QCOMPARE(int(c.mode), mode);
  QCOMPARE(c.dataDir, dataDir);
  QCOMPARE(c.error.isEmpty(), mode != int(CommandLine::Mode::Error));
  if (c.mode == CommandLine::Mode::LinkPort) {
    QCOMPARE(c.port, 20);
    QCOMPARE(c.device, QString("/dev/ttyUSB0"));
  }
}

void TestDataFolder::presentDevicesAndLinks() {
  // A folder stands in for /dev: two adapters, one with a stable name, and a plain file.
  QTemporaryDir dev, data;
  const QDir d(dev.path());
  d.mkpath("serial/by-id");
  // Terminals by the numbers of ttyS0, and one with /dev/null's.
  const std::tuple<const char*, int, int> nodes[] = {
      {"ttyUSB0", 4, 64}, {"ttyACM1", 4, 65}, {"null", 1, 3}};
  for (const auto& [name, maj, min] : nodes)
    if (mknod(QFile::encodeName(d.filePath(name)).constData(), S_IFCHR | 0666, makedev(maj, min)) !=
        0)
      QSKIP("making device nodes needs root");
  put(d.filePath("sda"), "");
  QVERIFY(QFile::link("../../ttyUSB0", d.filePath("serial/by-id/usb-FTDI_X-if00-port0")));
  const QList<SerialDevice> found = present_serial_devices(dev.path());
  QCOMPARE(found.size(), 2);
  QCOMPARE(found[0].path, d.filePath("ttyACM1"));
  QVERIFY(found[0].byId.isEmpty());
  QCOMPARE(found[1].byId, d.filePath("serial/by-id/usb-FTDI_X-if00-port0"));
  QVERIFY(found[1].mayOpen);

  const auto link = [&](int n, const QString& device) {
    return link_port(data.path(), n, d.filePath(device), dev.path());
  };
  QCOMPARE(link(3, "ttyUSB0").path, found[1].byId);  // the stable name, not the one given
  const QString com3 = data.filePath("dosdevices/com3");
  QCOMPARE(QFileInfo(com3).symLinkTarget(), found[1].byId);
  QCOMPARE(link(3, "ttyACM1").error, LinkPortError::None);
  QCOMPARE(QFileInfo(com3).symLinkTarget(), d.filePath("ttyACM1"));  // an old link replaced
  const LinkPortResult missing = link(4, "ttyUSB9");
  QCOMPARE(link_port_error_text(missing), d.filePath("ttyUSB9") + "：设备不存在");
  QVERIFY(!QFileInfo::exists(data.filePath("dosdevices/com4")));
  put(data.filePath("dosdevices/com5"), "mine");
  QCOMPARE(link(5, "ttyACM1").error, LinkPortError::NotALink);
  QCOMPARE(get(data.filePath("dosdevices/com5")), QByteArray("mine"));  // never removed
  QCOMPARE(link(21, "ttyACM1").error, LinkPortError::BadNumber);
  QCOMPARE(link_port_error_text(link(6, "sda")), d.filePath("sda") + "：不是字符设备");
  QCOMPARE(link_port_error_text(link(6, "null")), d.filePath("null") + "：不是终端设备");
  QVERIFY(!QFileInfo::exists(data.filePath("dosdevices/com6")));
}

void TestDataFolder::autostartNamesTheFolder() {
  QTemporaryDir exe;
  const QString program = exe.filePath("tavrel");
  QVERIFY(autostart_entry(program, exe.path()).contains("\nExec=" + program.toUtf8() + "\n"));
  QVERIFY(autostart_entry(program, "/srv/my data")
              .contains("\nExec=" + program.toUtf8() + " --data \"/srv/my data\"\n"));
}

TAVREL_TEST_MAIN_WITH_SCENARIOS(TestDataFolder, scenario)
#include "test_data_folder.moc"
