#include "shell/app_logic.h"

AppLogic::AppLogic(const QString& appDir, SchedulerTimer::Clock clock, QObject* parent)
    : QObject(parent),
      MSComm(appDir),
      link(MSComm),
      Timer1(colData, link.nState, [this] { return link.bIsFirst; }, std::move(clock)),
      appDir_(appDir) {}
