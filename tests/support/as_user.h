#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <vector>

// Permission tests must not run as root, who may read and write everything. A test runs such a
// check as a "scenario": a fresh copy of its own executable, started as user and group "nobody"
// when the tests run as root (as themselves otherwise), with the arguments
// "--scenario NAME ARGS...". The test's main() hands those runs to its scenario function (see
// TAVREL_TEST_MAIN_WITH_SCENARIOS). Folders a scenario uses must be open to it (make_open_to_all).

inline void make_open_to_all(const QString& path) {
  chmod(QFile::encodeName(path).constData(), 0777);
}

// Runs the scenario and returns whether it succeeded (exit code 0).
inline bool as_ordinary_user(const QString& scenario, const QStringList& args = {}) {
  // A copy of ourselves where "nobody" may run it, whatever folder the build lies in.
  QTemporaryDir copyDir;
  make_open_to_all(copyDir.path());
  const QString exe = copyDir.filePath(QStringLiteral("scenario"));
  if (!QFile::copy(QCoreApplication::applicationFilePath(), exe)) return false;
  chmod(QFile::encodeName(exe).constData(), 0755);

  QList<QByteArray> words = {QFile::encodeName(exe), "--scenario", scenario.toUtf8()};
  for (const QString& a : args) words << a.toUtf8();
  std::vector<char*> argv;
  for (QByteArray& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      _exit(3);
    execv(argv[0], argv.data());
    _exit(4);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// main() for a test class with scenarios: `bool scenario(const QStringList& args)` receives the
// scenario's name and arguments.
#define TAVREL_TEST_MAIN_WITH_SCENARIOS(TestClass, scenarioFunction) \
  int main(int argc, char** argv) {                                  \
    QCoreApplication app(argc, argv);                                \
    if (argc >= 3 && qstrcmp(argv[1], "--scenario") == 0)            \
      return scenarioFunction(app.arguments().mid(2)) ? 0 : 1;       \
    TestClass tc;                                                    \
    QTEST_SET_MAIN_SOURCE_PATH                                       \
    return QTest::qExec(&tc, argc, argv);                            \
  }
