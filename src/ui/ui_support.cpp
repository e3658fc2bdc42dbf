#include "ui/ui_support.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>

namespace {

class TypingFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    const auto* k = static_cast<QKeyEvent*>(e);
    return !k->text().isEmpty() && k->text().at(0).isPrint();
  }
};

}  // namespace

void install_font_substitutions() {
  const QStringList cjk = {QStringLiteral("WenQuanYi Micro Hei"),
                           QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC"),
                           QStringLiteral("AR PL UMing CN"), QStringLiteral("Droid Sans Fallback")};
  QFont::insertSubstitutions(QStringLiteral("宋体"), cjk);
  QFont::insertSubstitutions(QStringLiteral("SimSun"), cjk);
}

QFont song_bold(double points) {
  QFont f(QStringLiteral("宋体"));
  f.setPixelSize(qRound(points * 96.0 / 72.0));
  f.setBold(true);
  return f;
}

void discard_typing(QComboBox* box) { box->installEventFilter(new TypingFilter(box)); }

void place(QWidget* w, int x, int y, int width, int height) { w->setGeometry(x, y, width, height); }
