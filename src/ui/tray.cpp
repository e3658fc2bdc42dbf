#include "ui/tray.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QWidget>

#include "ui/ui_support.h"

Tray::Tray(QWidget* window) : QObject(window), window_(window), icon_(new QSystemTrayIcon(this)) {
  icon_->setIcon(tavrel_icon());
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r != QSystemTrayIcon::Trigger) return;
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
  });
}

Tray::~Tray() { icon_->hide(); }

QString Tray::tipText() {
  return QCoreApplication::applicationName() + QStringLiteral("(版本 ") +
         QCoreApplication::applicationVersion() + QLatin1Char(')');
}

bool Tray::AddTrayIcon() {
  icon_->setToolTip(tipText());
  icon_->show();
  return QSystemTrayIcon::isSystemTrayAvailable();
}

QString Tray::toolTip() const { return icon_->toolTip(); }
