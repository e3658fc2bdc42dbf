#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavrel"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
  QLabel placeholder(QStringLiteral("PC智能Tavrel"));
  placeholder.setWindowTitle(QStringLiteral("PC智能Tavrel"));
  placeholder.resize(681, 366);
  placeholder.show();
  return app.exec();
}
