#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <atomic>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/private_profile.h"
#include "support/as_user.h"
#include "support/entries.h"
#include "support/files.h"
#include "support/tmpfs.h"

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  put(path, bytes);
  return path;
}

QByteArray readFile(const QString& path) { return get(path); }

}  // namespace

class TestProfile : public QObject {
  Q_OBJECT
 private slots:
  void namesAreCaseInsensitiveAndTrimmed();
  void quotesAndComments();
  void firstSectionAndKeyCount();
  void defaultsWhenMissing();
  void cutToBufferInGbkBytes();
  void gbkAndUtf8Text_data();
  void gbkAndUtf8Text();
  void writeReplacesInPlaceKeepingEverythingElse();
  void writeAppendsKeyAfterLastEntryOfSection();
  void writeAppendsSectionAndUsesCrlfForNewFiles();
  void writeKeepsLfOrCrFileAndMissingLastLineEnd();
  void writeInUtf8FileStaysUtf8();
  void wholeSectionReplacedAtOnce();
  void unreadablePathsReadAsMissing();
  void readOnlyFolderWritesInPlace();
  void fileReplacedWhileReadIsNeverMissing();
  void utf8Validation();
};

void TestProfile::namesAreCaseInsensitiveAndTrimmed() {
  const ProfileFile f = ProfileFile::fromBytes("  [ note ]  \r\n  COM  =  7  \r\nid=3\r\n");
  QCOMPARE(f.read("Note", "Com", "1", 10), QString("7"));
  QCOMPARE(f.read("NOTE", "ID", "1", 10), QString("3"));
  QCOMPARE(f.read("Note", "Open", "0", 10), QString("0"));
}

void TestProfile::quotesAndComments() {
  const ProfileFile f = ProfileFile::fromBytes(
      "[Note]\n;01=comment\n01=\"a b\"\n02='x'\n03=\"unbalanced\n04=\"\n05=a=b\n ; 06=x\n");
  QCOMPARE(f.read("Note", "01", "d", 20), QString("a b"));
  QCOMPARE(f.read("Note", "02", "d", 20), QString("x"));
  QCOMPARE(f.read("Note", "03", "d", 20), QString("\"unbalanced"));
  QCOMPARE(f.read("Note", "04", "d", 20), QString("\""));
  QCOMPARE(f.read("Note", "05", "d", 20), QString("a=b"));
  QCOMPARE(f.read("Note", ";01", "d", 20), QString("d"));
  QCOMPARE(f.read("Note", "06", "d", 20), QString("d"));
}

void TestProfile::firstSectionAndKeyCount() {
  const ProfileFile f =
      ProfileFile::fromBytes("Com=9\n[Other]\nCom=8\n[Note]\nCom=1\nCom=2\n[note]\nCom=3\nID=4\n");
  QCOMPARE(f.read("Note", "Com", "x", 10), QString("1"));
  QCOMPARE(f.read("Note", "ID", "x", 10), QString("x"));  // only in the second [note]
  QCOMPARE(f.read("Other", "Com", "x", 10), QString("8"));
}

void TestProfile::defaultsWhenMissing() {
  QTemporaryDir dir;
  QCOMPARE(profile_read(dir.filePath("none.ini"), "Note", "01", "未命名", 9), QString("未命名"));
  const ProfileFile f = ProfileFile::fromBytes("[Note]\n01=\n");
  QCOMPARE(f.read("Note", "01", "未命名", 9), QString(""));  // present but empty is not missing
}

void TestProfile::cutToBufferInGbkBytes() {
  const ProfileFile f =
      ProfileFile::fromBytes("[Note]\r\nCom=123\r\n01=" + gbk("一二三四五") +
                             "\r\n02=" + gbk("ab一二三四") + "\r\n03=abcdefghij\r\n");
  QCOMPARE(f.read("Note", "Com", "1", 3), QString("12"));
  QCOMPARE(f.read("Note", "01", "x", 9), QString("一二三四"));
  QCOMPARE(f.read("Note", "02", "x", 9), QString("ab一二三"));  // 7 bytes: the broken half goes
  QCOMPARE(f.read("Note", "03", "x", 9), QString("abcdefgh"));
  QCOMPARE(f.read("Note", "04", "未命名", 6), QString("未命"));  // the default is cut too
  QCOMPARE(cut_to_gbk_bytes("😀x", 2), QString("😀"));
}

void TestProfile::gbkAndUtf8Text_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("utf8");
  // Short GBK names are often well-formed UTF-8 by accident ("一路" would read "һ·").
  for (const char* name : {"一路", "水", "二路", "水泵", "灯光", "风机一号"}) {
    QTest::addRow("GBK %s", name) << "[Note]\r\n01=" + gbk(name) + "\r\n" << QString(name) << false;
    QTest::addRow("UTF-8 %s", name) << "[Note]\n01=" + QByteArray(name) + "\n"
                                    << QString(name) << true;
  }
  QTest::newRow("UTF-8, cut in GBK bytes")
      << QString("[Note]\n01=水泵阀门灯光\n").toUtf8() << QString("水泵阀门") << true;
  QTest::newRow("byte-order mark")
      << "\xEF\xBB\xBF[Note]\n01=" + QString("灯").toUtf8() << QString("灯") << true;
  QTest::newRow("byte-order mark, ASCII only")
      << QByteArray("\xEF\xBB\xBF[Note]\n01=ab\n") << QString("ab") << true;
  QTest::newRow("UTF-16") << utf16("[Note]\r\n01=水泵阀门灯光\r\n") << QString("水泵阀门") << true;
  QTest::newRow("UTF-16, big-endian")
      << utf16("[Note]\r\n01=水泵\r\n", true) << QString("水泵") << true;
}

void TestProfile::gbkAndUtf8Text() {
  QFETCH(QByteArray, file);
  QFETCH(QString, name);
  QFETCH(bool, utf8);
  const ProfileFile f = ProfileFile::fromBytes(file);
  QCOMPARE(f.read("Note", "01", "x", 9), name);
  QCOMPARE(f.isUtf8(), utf8);
}

void TestProfile::writeReplacesInPlaceKeepingEverythingElse() {
  QTemporaryDir dir;
  const QByteArray before =
      "; settings\r\n[Other]\r\nCom=5\r\n\r\n[Note]\r\n  com = 3 ; old\r\nID=2\r\n01=" +
      gbk("水泵") + "\r\n[Tail]\r\nx=y\r\n";
  const QString path = writeFile(dir, "Name.ini", before);
  QVERIFY(profile_write(path, "NOTE", "Com", "12"));
  QByteArray expected = before;
  expected.replace("  com = 3 ; old\r\n", "com=12\r\n");
  QCOMPARE(readFile(path), expected);
  QCOMPARE(profile_read(path, "Note", "Com", "1", 3), QString("12"));
}

void TestProfile::writeAppendsKeyAfterLastEntryOfSection() {
  QTemporaryDir dir;
  const QString path =
      writeFile(dir, "a.ini", "[Note]\r\nCom=1\r\n\r\n; about the next one\r\n[Next]\r\nk=v\r\n");
  QVERIFY(profile_write(path, "Note", "ID", "4"));
  QCOMPARE(readFile(path),
           QByteArray("[Note]\r\nCom=1\r\nID=4\r\n\r\n; about the next one\r\n[Next]\r\nk=v\r\n"));
}

void TestProfile::writeAppendsSectionAndUsesCrlfForNewFiles() {
  QTemporaryDir dir;
  const QString path = dir.filePath("new.ini");
  QVERIFY(profile_write(path, "Note", "ID", "1"));
  QVERIFY(profile_write(path, "Note", "Com", "1"));
  QCOMPARE(readFile(path), QByteArray("[Note]\r\nID=1\r\nCom=1\r\n"));
  const QString other = writeFile(dir, "o.ini", "[A]\r\nx=1");
  QVERIFY(profile_write(other, "Note", "Open", "1"));
  QCOMPARE(readFile(other), QByteArray("[A]\r\nx=1\r\n[Note]\r\nOpen=1\r\n"));
}

void TestProfile::writeKeepsLfOrCrFileAndMissingLastLineEnd() {
  QTemporaryDir dir;
  const QString path = writeFile(dir, "lf.ini", "[Note]\nCom=1\nID=2");
  QVERIFY(profile_write(path, "Note", "ID", "16"));
  QCOMPARE(readFile(path), QByteArray("[Note]\nCom=1\nID=16"));
  QVERIFY(profile_write(path, "Note", "Run", "1"));
  QCOMPARE(readFile(path), QByteArray("[Note]\nCom=1\nID=16\nRun=1\n"));
  // Old Mac style: a lone CR ends a line.
  const QString cr = writeFile(dir, "cr.ini", "[Note]\rCom=7\rID=2");
  QCOMPARE(profile_read(cr, "Note", "Com", "1", 3), QString("7"));
  QVERIFY(profile_write(cr, "Note", "Com", "12"));
  QVERIFY(profile_write(cr, "Note", "Run", "1"));
  QCOMPARE(readFile(cr), QByteArray("[Note]\rCom=12\rID=2\rRun=1\r"));
}

void TestProfile::writeInUtf8FileStaysUtf8() {
  QTemporaryDir dir;
  const QString path = writeFile(dir, "u.ini", QString("[Note]\n01=水泵\n").toUtf8());
  QVERIFY(profile_write(path, "Note", "02", "阀门"));
  QCOMPARE(readFile(path), QString("[Note]\n01=水泵\n02=阀门\n").toUtf8());
  const QString g = writeFile(dir, "g.ini", "[Note]\r\n01=" + gbk("水泵") + "\r\n");
  QVERIFY(profile_write(g, "Note", "02", "阀门"));
  QCOMPARE(readFile(g), "[Note]\r\n01=" + gbk("水泵") + "\r\n02=" + gbk("阀门") + "\r\n");
  // A "Unicode" file stays one: never 8-bit lines appended.
  const QString wide = writeFile(dir, "w.ini", utf16("[Note]\r\nCom=2\r\n", true));
  QVERIFY(profile_write(wide, "Note", "01", "阀门"));
  QCOMPARE(readFile(wide), utf16("[Note]\r\nCom=2\r\n01=阀门\r\n", true));
  // The write removes the file's only byte that is not UTF-8; the GBK name still reads right.
  const QString one =
      writeFile(dir, "one.ini", "[Note]\r\nCom=" + gbk("二") + "\r\n01=" + gbk("一路") + "\r\n");
  QVERIFY(profile_write(one, "Note", "Com", "3"));
  QCOMPARE(profile_read(one, "Note", "01", "x", 9), QString("一路"));
}

void TestProfile::wholeSectionReplacedAtOnce() {
  QTemporaryDir dir;
  const QString path =
      writeFile(dir, "n.ini",
                "[Head]\r\nh=1\r\n[Note]\r\n0101=a\r\n0102=b\r\n0103=c\r\n\r\n[Tail]\r\nt=1\r\n");
  QVERIFY(profile_write_section(path, "Note", {{"0101", "x"}, {"0102", "y"}}));
  QCOMPARE(readFile(path),
           QByteArray("[Head]\r\nh=1\r\n[Note]\r\n0101=x\r\n0102=y\r\n\r\n[Tail]\r\nt=1\r\n"));
  QVERIFY(profile_write_section(path, "Note", {}));
  QCOMPARE(profile_read(path, "Note", "0101", "none", 27), QString("none"));
  QCOMPARE(profile_read(path, "Tail", "t", "none", 27), QString("1"));
}

void TestProfile::unreadablePathsReadAsMissing() {
  QTemporaryDir dir;
  QDir(dir.path()).mkdir("Name.ini");  // a directory in place of the file
  const QString asDir = dir.filePath("Name.ini");
  QCOMPARE(ProfileFile::load(asDir).status(), ProfileFile::Status::Unreadable);
  QCOMPARE(profile_read(asDir, "Note", "Com", "1", 3), QString("1"));
  QVERIFY(!profile_write(asDir, "Note", "Com", "2"));
  QVERIFY(QFileInfo(asDir).isDir());

  make_open_to_all(dir.path());
  const QString locked = writeFile(dir, "locked.ini", "[Note]\nCom=5\n");
  chmod(locked.toLocal8Bit().constData(), 0);
  QVERIFY(as_ordinary_user("locked-file", {locked}));
  QCOMPARE(readFile(locked), QByteArray("[Note]\nCom=5\n"));
}

void TestProfile::readOnlyFolderWritesInPlace() {
  QTemporaryDir dir;
  const TmpfsMount fs(dir.path(), "size=64k");  // small, to be filled below
  const QString path = writeFile(dir, "Name.ini", "[Note]\r\nCom=3\r\n");
  chmod(path.toLocal8Bit().constData(), 0666);  // the file is writable, its folder is not
  chmod(dir.path().toLocal8Bit().constData(), 0555);
  QVERIFY(as_ordinary_user("read-only-folder", {path}));
  QCOMPARE(readFile(path), QByteArray("[Note]\r\nCom=4\r\n"));
  if (fs.ok) {
    // A full disk: the write in place fails and the old content stays.
    QFile filler(dir.filePath("filler"));
    filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    while (filler.write(QByteArray(4096, 'x')) > 0) {
    }
    QVERIFY(as_ordinary_user("read-only-folder-full-disk", {path}));
    QCOMPARE(readFile(path), QByteArray("[Note]\r\nCom=4\r\n"));
  }
  chmod(dir.path().toLocal8Bit().constData(), 0755);
}

void TestProfile::fileReplacedWhileReadIsNeverMissing() {
  // Another copy of the program replaces the file over and over while this one reads it.
  QTemporaryDir dir;
  const QString path = writeFile(dir, "Name.ini", "[Note]\r\n01=a\r\n");
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i)
      write_file_atomically(path, "[Note]\r\n01=" + QByteArray(i % 2 ? "a" : "aa") + "\r\n");
  });
  int missing = 0, wrong = 0;
  for (int i = 0; i < 20000; ++i) {
    const ProfileFile f = ProfileFile::load(path);
    if (f.status() != ProfileFile::Status::Ok) ++missing;
    if (!f.read("Note", "01", "", 9).startsWith("a")) ++wrong;
  }
  stop = true;
  writer.join();
  QCOMPARE(missing, 0);
  QCOMPARE(wrong, 0);
}

void TestProfile::utf8Validation() {
  QVERIFY(is_valid_utf8("abc", 3));
  const QByteArray ok = QString("水😀").toUtf8();
  QVERIFY(is_valid_utf8(ok.constData(), ok.size()));
  QVERIFY(!is_valid_utf8(ok.constData(), ok.size() - 1));  // truncated
  QVERIFY(!is_valid_utf8("\xC0\x80", 2));                  // overlong
  QVERIFY(!is_valid_utf8("\xED\xA0\x80", 3));              // surrogate
  const QByteArray g = gbk("水泵");
  QVERIFY(!is_valid_utf8(g.constData(), g.size()));
}

// Checks that run as an ordinary user (see as_user.h).
bool scenario(const QStringList& args) {
  const QString name = args.value(0), path = args.value(1);
  if (name == "locked-file")
    return ProfileFile::load(path).status() == ProfileFile::Status::Unreadable &&
           profile_read(path, "Note", "Com", "1", 3) == "1" &&
           !profile_write(path, "Note", "Com", "2");
  if (name == "read-only-folder")
    return profile_write(path, "Note", "Com", "4") &&
           profile_read(path, "Note", "Com", "", 3) == "4";
  if (name == "read-only-folder-full-disk")
    return !profile_write(path, "Note", "Com", QString(100000, QChar('9')));
  return false;
}

TAVREL_TEST_MAIN_WITH_SCENARIOS(TestProfile, scenario)
#include "test_profile.moc"
