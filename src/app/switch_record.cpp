#include "app/switch_record.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>

namespace {

// The words of the file, in RecordAction's order; shown translated in the context "Record".
const char* const kActionWords[] = {
    QT_TRANSLATE_NOOP("Record", "吸合"),         QT_TRANSLATE_NOOP("Record", "断开"),
    QT_TRANSLATE_NOOP("Record", "串口打开"),     QT_TRANSLATE_NOOP("Record", "串口关闭"),
    QT_TRANSLATE_NOOP("Record", "串口丢失"),     QT_TRANSLATE_NOOP("Record", "串口恢复"),
    QT_TRANSLATE_NOOP("Record", "板应答"),       QT_TRANSLATE_NOOP("Record", "板无应答"),
    QT_TRANSLATE_NOOP("Record", "远程已连接"),   QT_TRANSLATE_NOOP("Record", "远程断开"),
    QT_TRANSLATE_NOOP("Record", "远程连接失败"), QT_TRANSLATE_NOOP("Record", "远程消息无效"),
    QT_TRANSLATE_NOOP("Record", "未执行"),
};
constexpr int kKnownActions = static_cast<int>(RecordAction::Unknown);
static_assert(sizeof kActionWords / sizeof *kActionWords == kKnownActions);

// RecordCause's words from Manual on (None and Entry have none of their own).
const char* const kCauseWords[] = {
    QT_TRANSLATE_NOOP("Record", "手动"), QT_TRANSLATE_NOOP("Record", "接管"),
    QT_TRANSLATE_NOOP("Record", "恢复"), QT_TRANSLATE_NOOP("Record", "板状态"),
    QT_TRANSLATE_NOOP("Record", "远程"),
};
constexpr int kFirstWordCause = static_cast<int>(RecordCause::Manual);

// MqttError's words from HostNotFound on.
const char* const kErrorWords[] = {
    QT_TRANSLATE_NOOP("Record", "找不到服务器"),
    QT_TRANSLATE_NOOP("Record", "无法连接"),
    QT_TRANSLATE_NOOP("Record", "连接超时"),
    QT_TRANSLATE_NOOP("Record", "连接中断"),
    QT_TRANSLATE_NOOP("Record", "服务器无响应"),
    QT_TRANSLATE_NOOP("Record", "客户端标识被占用"),
    QT_TRANSLATE_NOOP("Record", "TLS 连接失败"),
    QT_TRANSLATE_NOOP("Record", "证书名称不符"),
    QT_TRANSLATE_NOOP("Record", "证书颁发机构未知"),
    QT_TRANSLATE_NOOP("Record", "服务器不支持 TLS"),
    QT_TRANSLATE_NOOP("Record", "协议版本不被接受"),
    QT_TRANSLATE_NOOP("Record", "客户端标识被拒绝"),
    QT_TRANSLATE_NOOP("Record", "服务器暂不可用"),
    QT_TRANSLATE_NOOP("Record", "用户名或密码错误"),
    QT_TRANSLATE_NOOP("Record", "用户名或密码不被接受"),
    QT_TRANSLATE_NOOP("Record", "连接被拒绝"),
};
static_assert(sizeof kErrorWords / sizeof *kErrorWords == static_cast<int>(MqttError::Refused));

QString word(const char* text, bool shown) {
  return shown ? QCoreApplication::translate("Record", text) : QString::fromUtf8(text);
}

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

QString SwitchRecord::actionWord(const RecordEvent& e, bool shown) {
  const int a = static_cast<int>(e.action);
  return a < kKnownActions ? word(kActionWords[a], shown) : e.word;
}

QString SwitchRecord::errorWord(MqttError e, bool shown) {
  const int i = static_cast<int>(e);
  return i > 0 ? word(kErrorWords[i - 1], shown) : QString();
}

QString SwitchRecord::causeWord(const RecordEvent& e, bool shown) {
  const int c = static_cast<int>(e.cause);
  if (c >= kFirstWordCause) return word(kCauseWords[c - kFirstWordCause], shown);
  if (e.error == MqttError::None) return e.detail;
  return e.detail + QLatin1Char(' ') + errorWord(e.error, shown);
}

QString SwitchRecord::line(const RecordEvent& e) {
  return QStringList{e.at.toString(QLatin1String(kTimeFormat)),
                     e.route > 0 ? QString::number(e.route) : QString(), field(actionWord(e)),
                     field(causeWord(e))}
      .join(QLatin1Char(','));
}

bool SwitchRecord::parse(const QString& text, RecordEvent* e) {
  const QStringList fields = split_fields(text);
  if (fields.size() != 4) return false;
  e->at = QDateTime::fromString(fields[0], QLatin1String(kTimeFormat));
  if (!e->at.isValid()) return false;  // the header and anything unreadable
  e->route = fields[1].toInt();
  e->action = RecordAction::Unknown;
  e->word = fields[2];
  for (int a = 0; a < kKnownActions; ++a)
    if (fields[2] == QString::fromUtf8(kActionWords[a])) e->action = static_cast<RecordAction>(a);
  const QString& cause = fields[3];
  e->cause = e->route > 0 ? RecordCause::Entry : RecordCause::None;
  e->detail = cause;
  e->error = MqttError::None;
  for (int c = 0; c < static_cast<int>(sizeof kCauseWords / sizeof *kCauseWords); ++c)
    if (cause == QString::fromUtf8(kCauseWords[c])) {
      e->cause = static_cast<RecordCause>(kFirstWordCause + c);
      e->detail.clear();
    }
  const qsizetype blank = cause.lastIndexOf(QLatin1Char(' '));
  if (e->cause == RecordCause::None && blank > 0)
    for (int i = 1; i <= static_cast<int>(MqttError::Refused); ++i)
      if (cause.mid(blank + 1) == errorWord(static_cast<MqttError>(i))) {
        e->error = static_cast<MqttError>(i);
        e->detail = cause.left(blank);
      }
  return true;
}

void SwitchRecord::append(int route, RecordAction action, RecordCause cause, const QString& detail,
                          MqttError error) {
  RecordEvent e{clock_(), route, action, cause, detail, error, {}};
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
      RecordEvent e;
      if (parse(*it, &e)) out << e;
    }
    if (out.size() >= count) break;
  }
  return out;
}
