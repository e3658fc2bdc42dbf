#include "app/switch_record.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>

namespace {

const char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss.zzz";
const QRegularExpression kMonthFile(QStringLiteral("^(\\d{4})-(\\d{2})\\.csv$"));

int month_number(int year, int month) { return year * 12 + month - 1; }

QString field(const QString& text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
      !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
    return text;
  QString quoted = text;
  quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The fields of one line as written by line(): commas separate, quotes may hold commas.
QStringList split_fields(const QString& line) {
  QStringList out;
  QString cur;
  bool quoted = false;
  for (int i = 0; i < line.size(); ++i) {
    const QChar c = line.at(i);
    if (quoted) {
      if (c == QLatin1Char('"')) {
        if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"'))
          cur += c, ++i;
        else
          quoted = false;
      } else {
        cur += c;
      }
    } else if (c == QLatin1Char('"')) {
      quoted = true;
    } else if (c == QLatin1Char(',')) {
      out << cur;
      cur.clear();
    } else {
      cur += c;
    }
  }
  out << cur;
  return out;
}

}  // namespace

SwitchRecord::SwitchRecord(const QString& folder, Clock clock, QObject* parent)
    : QObject(parent),
      dir_(folder),
      clock_(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); })) {}

QString SwitchRecord::line(const RecordEvent& e) {
  return QStringList{e.at.toString(QLatin1String(kTimeFormat)),
                     e.route > 0 ? QString::number(e.route) : QString(), field(e.action),
                     field(e.cause)}
      .join(QLatin1Char(','));
}

void SwitchRecord::append(int route, const QString& action, const QString& cause) {
  const RecordEvent e{clock_(), route, action, cause};
  const QString text = line(e);
  if (echo_) {
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
  }
  const QDate month = e.at.date();
  const QString logDir = dir_ + QStringLiteral("/log");
  const QString path = logDir + month.toString(QStringLiteral("/yyyy-MM")) + QStringLiteral(".csv");
  if (QDir().mkpath(logDir)) {
    QFile f(path);
    const bool begun = !f.exists();
    if (f.open(QIODevice::WriteOnly | QIODevice::Append)) {
      QByteArray bytes;
      if (f.size() == 0)
        bytes =
            QByteArrayLiteral("\xEF\xBB\xBF") + QStringLiteral("时间,路,动作,来源\r\n").toUtf8();
      bytes += text.toUtf8() + "\r\n";
      f.write(bytes);
      f.close();
    }
    if (begun) removeOldFiles(month);
  }
  emit appended(e);
}

void SwitchRecord::removeOldFiles(const QDate& month) const {
  QDir logDir(dir_ + QStringLiteral("/log"));
  const int now = month_number(month.year(), month.month());
  for (const QString& name : logDir.entryList({QStringLiteral("*.csv")}, QDir::Files)) {
    const auto m = kMonthFile.match(name);
    if (!m.hasMatch()) continue;
    if (now - month_number(m.captured(1).toInt(), m.captured(2).toInt()) > kKeepMonths)
      logDir.remove(name);
  }
}

QList<RecordEvent> SwitchRecord::newest(int count) const {
  QList<RecordEvent> out;
  QDir logDir(dir_ + QStringLiteral("/log"));
  QStringList names;
  for (const QString& name : logDir.entryList({QStringLiteral("*.csv")}, QDir::Files))
    if (kMonthFile.match(name).hasMatch()) names << name;
  std::sort(names.rbegin(), names.rend());
  for (const QString& name : names) {
    QFile f(logDir.filePath(name));
    if (!f.open(QIODevice::ReadOnly)) continue;
    const QStringList lines =
        QString::fromUtf8(f.readAll()).split(QRegularExpression(QStringLiteral("\r?\n")));
    for (auto it = lines.rbegin(); it != lines.rend() && out.size() < count; ++it) {
      const QStringList fields = split_fields(*it);
      if (fields.size() != 4) continue;
      RecordEvent e;
      e.at = QDateTime::fromString(fields[0], QLatin1String(kTimeFormat));
      if (!e.at.isValid()) continue;  // the header and anything unreadable
      e.route = fields[1].toInt();
      e.action = fields[2];
      e.cause = fields[3];
      out << e;
    }
    if (out.size() >= count) break;
  }
  return out;
}
