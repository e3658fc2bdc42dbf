#include <QApplication>

#include "app/app_logic.h"
#include "ui/frmmain.h"
#include "ui/ui_support.h"
#include "ui/widget_prompt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavrel"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
  install_font_substitutions();
  install_chinese_qt_texts(app);
  QApplication::setWindowIcon(tavrel_icon());

  WidgetPrompt prompt;
  AppLogic logic(QCoreApplication::applicationDirPath(), prompt);
  Frmmain window(logic);
  prompt.setParent(&window);
  window.Form_Load();
  return app.exec();
}
