#include "station/record_line.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

namespace {

// The words of the file, in RecordAction's order; shown translated in the context "Record".
const char* const kActionWords[] = {
    QT_TRANSLATE_NOOP("Record", "吸合"),         QT_TRANSLATE_NOOP("Record", "断开"),
    QT_TRANSLATE_NOOP("Record", "串口打开"),     QT_TRANSLATE_NOOP("Record", "串口关闭"),
    QT_TRANSLATE_NOOP("Record", "串口丢失"),     QT_TRANSLATE_NOOP("Record", "串口恢复"),
    QT_TRANSLATE_NOOP("Record", "板应答"),       QT_TRANSLATE_NOOP("Record", "板无应答"),
    QT_TRANSLATE_NOOP("Record", "远程已连接"),   QT_TRANSLATE_NOOP("Record", "远程断开"),
    QT_TRANSLATE_NOOP("Record", "远程连接失败"), QT_TRANSLATE_NOOP("Record", "远程消息无效"),
    QT_TRANSLATE_NOOP("Record", "程序启动"),     QT_TRANSLATE_NOOP("Record", "程序退出"),
    QT_TRANSLATE_NOOP("Record", "接管"),         QT_TRANSLATE_NOOP("Record", "板状态"),
    QT_TRANSLATE_NOOP("Record", "记录中断"),     QT_TRANSLATE_NOOP("Record", "记录已满"),
    QT_TRANSLATE_NOOP("Record", "时钟跳变"),     QT_TRANSLATE_NOOP("Record", "输出中断"),
    QT_TRANSLATE_NOOP("Record", "未执行"),       QT_TRANSLATE_NOOP("Record", "时间表更新"),
    QT_TRANSLATE_NOOP("Record", "设置无效"),     QT_TRANSLATE_NOOP("Record", "前缀被占用"),
    QT_TRANSLATE_NOOP("Record", "无权发布"),     QT_TRANSLATE_NOOP("Record", "无权订阅"),
    QT_TRANSLATE_NOOP("Record", "前缀无效"),     QT_TRANSLATE_NOOP("Record", "自动允许"),
    QT_TRANSLATE_NOOP("Record", "自动禁止"),     QT_TRANSLATE_NOOP("Record", "告警"),
    QT_TRANSLATE_NOOP("Record", "告警解除"),
};
constexpr int kKnownActions = static_cast<int>(RecordAction::Unknown);
static_assert(sizeof kActionWords / sizeof *kActionWords == kKnownActions);

// RecordCause's words from Manual on (None and Entry have none of their own).
const char* const kCauseWords[] = {
    QT_TRANSLATE_NOOP("Record", "手动"), QT_TRANSLATE_NOOP("Record", "接管"),
    QT_TRANSLATE_NOOP("Record", "恢复"), QT_TRANSLATE_NOOP("Record", "板状态"),
    QT_TRANSLATE_NOOP("Record", "远程"), QT_TRANSLATE_NOOP("Record", "网页"),
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
    QT_TRANSLATE_NOOP("Record", "证书已过期"),
    QT_TRANSLATE_NOOP("Record", "证书文件不存在"),
    QT_TRANSLATE_NOOP("Record", "服务器要求 TLS"),
    QT_TRANSLATE_NOOP("Record", "协议版本不被接受"),
    QT_TRANSLATE_NOOP("Record", "客户端标识被拒绝"),
    QT_TRANSLATE_NOOP("Record", "服务器暂不可用"),
    QT_TRANSLATE_NOOP("Record", "用户名或密码错误"),
    QT_TRANSLATE_NOOP("Record", "用户名或密码不被接受"),
    QT_TRANSLATE_NOOP("Record", "连接被拒绝"),
};
static_assert(sizeof kErrorWords / sizeof *kErrorWords == static_cast<int>(MqttError::Refused));

// The cause of an event with a count: lines, or seconds for ClockJump.
const char kLines[] = QT_TRANSLATE_NOOP("Record", "%1行");
const char kSeconds[] = QT_TRANSLATE_NOOP("Record", "%1秒");

bool states_line(RecordAction a) {
  return a == RecordAction::TakeOver || a == RecordAction::BoardStates;
}

// Reads statesDetail()'s text back: pairs of an action word and a list of routes and runs.
bool parse_states(const QString& text, quint16* routes, quint16* on) {
  const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (words.isEmpty() || words.size() % 2) return false;
  for (qsizetype i = 0; i < words.size(); i += 2) {
    const bool energised = words[i] == QString::fromUtf8(kActionWords[0]);
    if (!energised && words[i] != QString::fromUtf8(kActionWords[1])) return false;
    for (const QString& run : words[i + 1].split(QLatin1Char(','))) {
      const QStringList ends = run.split(QLatin1Char('-'));
      bool ok1 = false, ok2 = true;
      const int first = ends.value(0).toInt(&ok1);
      const int last = ends.size() == 2 ? ends[1].toInt(&ok2) : first;
      if (!ok1 || !ok2 || ends.size() > 2 || first < 1 || last > 16 || first > last) return false;
      for (int r = first; r <= last; ++r) {
        *routes |= quint16(1u << (r - 1));
        if (energised) *on |= quint16(1u << (r - 1));
      }
    }
  }
  return true;
}

QString word(const char* text, bool shown) {
  return shown ? QCoreApplication::translate("Record", text) : QString::fromUtf8(text);
}

bool counted(RecordAction a) {
  return a == RecordAction::RecordLost || a == RecordAction::OutputLost ||
         a == RecordAction::ClockJump;
}

const char* count_word(RecordAction a) { return a == RecordAction::ClockJump ? kSeconds : kLines; }

const char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss.zzz";
constexpr int kTimeLength = 23;
const QRegularExpression kOffset(QStringLiteral("^([+-])(\\d{2}):(\\d{2})$"));

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

// Whether the wall-clock reading of t comes twice that day (the hour an autumn change repeats):
// some other offset in force near t gives the same reading at another moment.
bool in_repeated_hour(const QDateTime& t) {
  const qint64 s = t.toSecsSinceEpoch();
  const int offset = t.offsetFromUtc();
  for (const qint64 near : {s - 86400, s + 86400}) {
    const int other = QDateTime::fromSecsSinceEpoch(near).offsetFromUtc();
    if (other != offset &&
        QDateTime::fromSecsSinceEpoch(s + offset - other).offsetFromUtc() == other)
      return true;
  }
  return false;
}

// "+01:00", "-03:30".
QString offset_text(int seconds) {
  const int minutes = qAbs(seconds) / 60;
  return QStringLiteral("%1%2:%3")
      .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
      .arg(minutes / 60, 2, 10, QLatin1Char('0'))
      .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// A time as timeText() writes it, in local time; invalid when it does not read.
// "yyyy-MM-dd HH:mm:ss.zzz" read digit by digit (QDateTime::fromString takes many times longer,
// and a month's file holds millions of lines); invalid for anything else.
QDateTime local_time(QStringView t) {
  if (t.size() != kTimeLength) return {};
  const auto digits = [&](int at, int n) {
    int v = 0;
    for (int i = at; i < at + n; ++i) {
      const char16_t c = t[i].unicode();
      if (c < u'0' || c > u'9') return -1;
      v = v * 10 + (c - u'0');
    }
    return v;
  };
  for (const auto& [at, c] :
       {std::pair{4, u'-'}, {7, u'-'}, {10, u' '}, {13, u':'}, {16, u':'}, {19, u'.'}})
    if (t[at] != c) return {};
  const QDate date(digits(0, 4), digits(5, 2), digits(8, 2));
  const QTime time(digits(11, 2), digits(14, 2), digits(17, 2), digits(20, 3));
  if (!date.isValid() || !time.isValid()) return {};
  return QDateTime(date, time);
}

QDateTime parse_time(const QString& text) {
  const QDateTime at = local_time(QStringView(text).left(kTimeLength));
  if (text.size() == kTimeLength || !at.isValid())
    return text.size() == kTimeLength ? at : QDateTime();
  const auto m = kOffset.match(QStringView(text).sliced(kTimeLength));
  if (!m.hasMatch()) return {};
  const int seconds = (m.captured(2).toInt() * 60 + m.captured(3).toInt()) * 60;
  return QDateTime(at.date(), at.time(), Qt::OffsetFromUTC,
                   m.captured(1) == QLatin1String("-") ? -seconds : seconds)
      .toLocalTime();
}

}  // namespace

QString RecordLine::actionWord(const RecordEvent& e, bool shown) {
  const int a = static_cast<int>(e.action);
  return a < kKnownActions ? word(kActionWords[a], shown) : e.word;
}

QString RecordLine::errorWord(MqttError e, bool shown) {
  const int i = static_cast<int>(e);
  return i > 0 ? word(kErrorWords[i - 1], shown) : QString();
}

QString RecordLine::causeWord(const RecordEvent& e, bool shown) {
  if (states_line(e.action) && e.routes) return statesDetail(e.routes, e.on, shown);
  if (counted(e.action) && e.detail.isEmpty())
    return word(count_word(e.action), shown).arg(e.count);
  const int c = static_cast<int>(e.cause);
  if (c >= kFirstWordCause) return word(kCauseWords[c - kFirstWordCause], shown);
  if (e.error == MqttError::None) return e.detail;
  return e.detail + QLatin1Char(' ') + errorWord(e.error, shown);
}

QString RecordLine::statesDetail(quint16 routes, quint16 energised, bool shown) {
  QStringList parts;
  for (const bool on : {true, false}) {
    // Runs of neighbouring routes in one state as "3-8".
    QStringList runs;
    for (int r = 1; r <= 16; ++r) {
      const auto in = [&](int route) {
        const quint16 bit = quint16(1u << (route - 1));
        return route <= 16 && (routes & bit) && bool(energised & bit) == on;
      };
      if (!in(r)) continue;
      int last = r;
      while (in(last + 1)) ++last;
      runs << (last == r ? QString::number(r) : QStringLiteral("%1-%2").arg(r).arg(last));
      r = last;
    }
    if (!runs.isEmpty())
      parts << word(kActionWords[static_cast<int>(on ? RecordAction::Energise
                                                     : RecordAction::Release)],
                    shown) +
                   QLatin1Char(' ') + runs.join(QLatin1Char(','));
  }
  return parts.join(QLatin1Char(' '));
}

QString RecordLine::line(const RecordEvent& e) {
  return QStringList{timeText(e.at), e.route > 0 ? QString::number(e.route) : QString(),
                     field(actionWord(e)), field(causeWord(e))}
      .join(QLatin1Char(','));
}

bool RecordLine::parse(const QString& text, RecordEvent* e) {
  const QStringList fields = split_fields(text);
  if (fields.size() != 4) return false;
  e->at = parse_time(fields[0]);
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
  e->count = 0;
  if (counted(e->action)) {
    // "12行", "3600秒": the number before the unit.
    const QString unit = QString::fromUtf8(count_word(e->action)).mid(2);
    bool number = false;
    if (cause.endsWith(unit)) e->count = cause.chopped(unit.size()).toLongLong(&number);
    if (number) e->detail.clear();
    return true;
  }
  for (int c = 0; c < static_cast<int>(sizeof kCauseWords / sizeof *kCauseWords); ++c)
    if (cause == QString::fromUtf8(kCauseWords[c])) {
      e->cause = static_cast<RecordCause>(kFirstWordCause + c);
      e->detail.clear();
    }
  e->routes = e->on = 0;
  if (states_line(e->action) && parse_states(cause, &e->routes, &e->on)) e->detail.clear();
  // Where a failure happened, a blank, and why (some reasons hold a blank themselves).
  if (e->cause == RecordCause::None)
    for (int i = 1; i <= static_cast<int>(MqttError::Refused); ++i) {
      const QString why = QLatin1Char(' ') + errorWord(static_cast<MqttError>(i));
      if (cause.size() > why.size() && cause.endsWith(why)) {
        e->error = static_cast<MqttError>(i);
        e->detail = cause.chopped(why.size());
      }
    }
  return true;
}

QString RecordLine::timeText(const QDateTime& at) {
  const QDateTime local = at.toLocalTime();
  const QString text = local.toString(QLatin1String(kTimeFormat));
  return in_repeated_hour(local) ? text + offset_text(local.offsetFromUtc()) : text;
}

bool RecordLine::ofRoute(QByteArrayView line, int route) {
  if (route < 1 || route > 16) return true;
  const qsizetype a = line.indexOf(',');
  const qsizetype b = a < 0 ? -1 : line.indexOf(',', a + 1);
  if (b < 0) return false;
  const QByteArrayView f = line.sliced(a + 1, b - a - 1);
  if (f.isEmpty()) return true;
  int n = 0;
  for (const char c : f) {
    if (c < '0' || c > '9' || n > 16) return false;
    n = n * 10 + (c - '0');
  }
  return n == route;
}

bool RecordLine::toldByBoardOrLink(QByteArrayView line) {
  const qsizetype a = line.indexOf(',');
  if (a >= 0 && a + 1 < line.size() && line[a + 1] == ',') return true;
  static const QByteArray board = QByteArray(",") + kCauseWords[3];
  static const QByteArray notDone =
      QByteArray(",") + kActionWords[static_cast<int>(RecordAction::NotDone)] + ',';
  return line.endsWith(board) || line.contains(notDone);
}
