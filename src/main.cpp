#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

#include "app/app_logic.h"
#include "app/headless.h"
#include "platform/single_copy.h"
#include "ui/frmmain.h"
#include "ui/ui_support.h"
#include "ui/widget_prompt.h"

namespace {

QString second_copy_text(const QString& dataDir) {
  return QStringLiteral("另一个 Tavrel 正在使用此文件夹\n") + dataDir;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--headless") == 0) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    const QString dataDir = QCoreApplication::applicationDirPath();
    SingleCopy copy(dataDir);
    if (!copy.acquire()) {
      std::fprintf(stderr, "%s\n",
                   second_copy_text(dataDir)
                       .replace(QLatin1Char('\n'), QLatin1Char(' '))
                       .toUtf8()
                       .constData());
      return 1;
    }
    return run_headless(dataDir);
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavrel"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
  install_font_substitutions();
  install_chinese_qt_texts(app);
  QApplication::setWindowIcon(tavrel_icon());

  const QString dataDir = QCoreApplication::applicationDirPath();
  SingleCopy copy(dataDir);
  WidgetPrompt prompt;
  if (!copy.acquire()) {
    prompt.message(second_copy_text(dataDir));
    return 1;
  }
  AppLogic logic(dataDir, prompt);
  Frmmain window(logic);
  prompt.setParent(&window);
  window.Form_Load();
  return app.exec();
}
