#include "ui/ui_support.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <optional>

#include "editing/entry_editor.h"

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

// Digits select a number of the box's list; other typing is dropped.
class NumberTyping : public TypingFilter {
 public:
  NumberTyping(QComboBox* box, int count) : TypingFilter(box), box_(box), typed_(count) {
    pause_.setSingleShot(true);
    pause_.setInterval(TypedNumber::kPauseMs);
    connect(&pause_, &QTimer::timeout, this, [this] { typed_.pause(); });
  }
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    const QString text = static_cast<QKeyEvent*>(e)->text();
    const int d = text.size() == 1 ? text.at(0).digitValue() : -1;
    if (d < 0 || d > 9) return TypingFilter::eventFilter(o, e);
    select(typed_.digit(d));
    pause_.start();
    return true;
  }

 private:
  void select(std::optional<int> n) {
    if (n && *n < box_->count()) box_->setCurrentIndex(*n);
  }

  QComboBox* box_;
  TypedNumber typed_;
  QTimer pause_;
};

// See type_whole_dates.
class DateTyping : public QObject {
 public:
  explicit DateTyping(QDateTimeEdit* edit) : QObject(edit), edit_(edit) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::FocusOut || e->type() == QEvent::MouseButtonPress) typedIn_ = -1;
    if (e->type() != QEvent::KeyPress) return false;
    const auto* k = static_cast<QKeyEvent*>(e);
    const bool typed = !k->text().isEmpty() && k->text().at(0).isPrint() &&
                       !(k->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    if (!typed) {
      typedIn_ = -1;
      return false;
    }
    const QLineEdit* line = edit_->findChild<QLineEdit*>();
    if (line && line->hasSelectedText() && line->selectedText() == line->text()) {
      edit_->setSelectedSection(edit_->sectionAt(0));
      typedIn_ = -1;
    }
    const int part = edit_->currentSectionIndex();
    if (k->text().at(0).isDigit()) {
      typedIn_ = part;
      return false;
    }
    // Any other character ends the part, as the field's own separator does, unless the digit
    // before filled it and the field has moved on already.
    if (typedIn_ < 0 || part == typedIn_) {
      if (part >= 0 && part + 1 < edit_->sectionCount())
        edit_->setSelectedSection(edit_->sectionAt(part + 1));
    }
    typedIn_ = -1;
    return true;
  }

 private:
  QDateTimeEdit* edit_;
  int typedIn_ = -1;  // the part the last key, a digit, was typed into
};

}  // namespace

void install_font_substitutions() {
  const QStringList cjk = {QStringLiteral("WenQuanYi Micro Hei"),
                           QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC"),
                           QStringLiteral("AR PL UMing CN"), QStringLiteral("Droid Sans Fallback")};
  QFont::insertSubstitutions(QStringLiteral("宋体"), cjk);
  QFont::insertSubstitutions(QStringLiteral("SimSun"), cjk);
}

bool install_language(QCoreApplication& app, Language language) {
  QLocale::setDefault(language_locale(language));
  auto* translator = new QTranslator(&app);
  const bool found = language == Language::English
                         ? translator->load(QStringLiteral(":/i18n/tavrel_en.qm"))
                         : translator->load(QStringLiteral("qtbase_zh_CN"),
                                            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (!found) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

QLocale language_locale(Language language) {
  return language == Language::English ? QLocale(QLocale::English, QLocale::UnitedStates)
                                       : QLocale(QLocale::Chinese, QLocale::China);
}

QIcon tavrel_icon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 256})
    icon.addFile(QStringLiteral(":/icons/tavrel-%1.png").arg(size), QSize(size, size));
  return icon;
}

QColor lamp_look(int look) {
  static const QRgb kLampLooks[] = {0xff9a9a9a, 0xfff0a020, 0xff22c935};
  return QColor(kLampLooks[qBound(0, look, 2)]);
}

QIcon round_lamp(const QColor& colour, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(colour.darker(140), 1));
  p.setBrush(colour);
  p.drawEllipse(QRectF(pixmap.rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  p.end();
  return QIcon(pixmap);
}

QFont song_bold(double points) {
  QFont f(QStringLiteral("宋体"));
  f.setPixelSize(qRound(points * 96.0 / 72.0));
  f.setBold(true);
  return f;
}

void discard_typing(QComboBox* box) {
  auto* filter = new TypingFilter(box);
  box->installEventFilter(filter);
  box->view()->installEventFilter(filter);  // the open list would jump to a typed item
}

void select_typed_numbers(QComboBox* box, int count) {
  box->installEventFilter(new NumberTyping(box, count));
  box->view()->installEventFilter(new TypingFilter(box));  // the open list would jump to an item
}

void type_whole_dates(QDateTimeEdit* edit) { edit->installEventFilter(new DateTyping(edit)); }

void bring_forward(QWidget* window) {
  window->showNormal();
  window->raise();
  window->activateWindow();
}

void place(QWidget* w, int x, int y, int width, int height) { w->setGeometry(x, y, width, height); }

OkCancel ok_cancel_buttons(QDialog* dialog, const QFont& font, int okX, int cancelX, int y) {
  auto* ok = new QPushButton(QCoreApplication::translate("Dialog", "确定"), dialog);
  auto* cancel = new QPushButton(QCoreApplication::translate("Dialog", "取消"), dialog);
  ok->setObjectName(QStringLiteral("OKButton"));
  cancel->setObjectName(QStringLiteral("CancelButton"));
  for (QPushButton* b : {ok, cancel}) {
    b->setFont(font);
    b->setAutoDefault(false);
  }
  place(ok, okX, y, 81, 25);
  place(cancel, cancelX, y, 81, 25);
  ok->setDefault(true);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return {ok, cancel};
}
