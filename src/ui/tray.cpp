#include "ui/tray.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QWidget>

#include "ui/ui_support.h"

Tray::Tray(QWidget* window)
    : QObject(window), window_(window), icon_(new QSystemTrayIcon(this)), menu_(new QMenu(window)) {
  icon_->setIcon(tavrel_icon());
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::Trigger) bring_forward(window_);
  });
  menu_->setObjectName(QStringLiteral("TrayMenu"));
  QAction* showHide = menu_->addAction(QString());
  showHide->setObjectName(QStringLiteral("ShowHide"));
  connect(menu_, &QMenu::aboutToShow, this, [this, showHide] {
    showHide->setText(window_->isVisible() ? tr("隐藏主窗口") : tr("显示主窗口"));
  });
  connect(showHide, &QAction::triggered, this, [this] {
    if (window_->isVisible())
      window_->hide();
    else
      bring_forward(window_);
  });
  connect(menu_->addAction(tr("记录")), &QAction::triggered, this, &Tray::recordRequested);
  menu_->addSeparator();
  connect(menu_->addAction(tr("退出")), &QAction::triggered, this, &Tray::quitRequested);
  icon_->setContextMenu(menu_);
}

void Tray::tellKeepsRunning() {
  if (toldKeepsRunning_) return;
  toldKeepsRunning_ = true;
  icon_->showMessage(QCoreApplication::applicationName(), tr("仍在托盘中运行，定时照常执行"),
                     tavrel_icon());
}

void Tray::showAlert(const QString& text, bool raised) {
  icon_->showMessage(QCoreApplication::applicationName(), text,
                     raised ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}

void Tray::tellRunsHere() {
  toldKeepsRunning_ = true;  // once is enough
  icon_->showMessage(QCoreApplication::applicationName(), tr("Tavrel 已在此运行，点击图标打开窗口"),
                     tavrel_icon());
}

namespace {

// The program's icon with its lamp (a circle at 190,190 of the 256 grid, inside a white rim)
// painted in the given colour.
QIcon icon_with_lamp(const QColor& colour) {
  const QIcon base = tavrel_icon();
  QIcon icon;
  for (const QSize& size : base.availableSizes()) {
    QPixmap pixmap = base.pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const double scale = size.width() / 256.0;
    p.drawEllipse(QPointF(190 * scale, 190 * scale), 42 * scale, 42 * scale);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

void Tray::showLink(const AppLogic& logic) {
  const LinkHealth health = logic.health();
  const int look = health == LinkHealth::Closed ? 0 : (health == LinkHealth::Answering ? 2 : 1);
  const bool alarmed = logic.alerts().any();
  if (look + (alarmed ? 3 : 0) != look_) {
    look_ = look + (alarmed ? 3 : 0);
    icon_->setIcon(icon_with_lamp(alarmed ? QColor(Qt::red) : lamp_look(look)));
  }
  QString tip = tipText() + QLatin1Char(' ') + logic.linkText() + QLatin1Char('\n');
  if (logic.mqttSettings().enabled()) tip += logic.mqttText() + QLatin1Char('\n');
  if (!logic.recordText().isEmpty()) tip += logic.recordText() + QLatin1Char('\n');
  if (logic.paused()) tip += tr("定时已暂停（自动功能未允许）") + QLatin1Char('\n');
  if (!logic.alertsText().isEmpty()) tip += logic.alertsText() + QLatin1Char('\n');
  icon_->setToolTip(tip + logic.appDir());
}

Tray::~Tray() { icon_->hide(); }

QString Tray::tipText() {
  return tr("%1(版本 %2)")
      .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion());
}

bool Tray::AddTrayIcon() {
  icon_->setToolTip(tipText());
  icon_->show();
  return QSystemTrayIcon::isSystemTrayAvailable();
}

QString Tray::toolTip() const { return icon_->toolTip(); }
