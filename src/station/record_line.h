#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include "station/record_event.h"

// The switch record's lines: "time,route,action,cause" (CSV; a field with a comma, quote or line
// end is quoted). The time is local, to the
// millisecond ("2026-12-07 08:00:00.123"); only in the hour that an autumn clock change repeats
// does it carry its offset from UTC ("2027-10-31 02:10:00.000+02:00", an hour later
// "2027-10-31 02:10:00.000+01:00"), so the two passes stay apart; both forms read back.
// The file's words are the same in every language (scripts and spreadsheets read them): the
// action "吸合", "断开", "串口打开", "串口关闭", "串口丢失", "串口恢复", "板应答", "板无应答",
// "远程已连接", "远程断开", "远程连接失败", "远程消息无效", "程序启动", "程序退出", "接管",
// "板状态", "记录中断", "记录已满", "时钟跳变", "未执行" (a broker's command or an entry that could
// not act), "时间表更新", "设置无效", "前缀被占用", "无权发布", "无权订阅", "前缀无效", "自动允许",
// "自动禁止", "告警", "告警解除";
// the cause an entry's key, "手动", "接管", "恢复", "板状态", "远程", where a link's or broker's
// event happened (a failure's reason after a blank), several routes' states ("吸合 1,2 断开
// 3-16"), or a count: "12行" lines lost, "3600秒" seconds skipped. They are made and read back here
// only.
class RecordLine {
 public:
  // One event as its line in the file (no line end), and one line read back.
  static QString line(const RecordEvent& e);
  static bool parse(const QString& line, RecordEvent* e);
  // A moment as the file writes it (see above).
  static QString timeText(const QDateTime& at);
  // The action and cause columns in the file's words, or, with shown, as the user reads them
  // (translated).
  static QString actionWord(const RecordEvent& e, bool shown = false);
  static QString causeWord(const RecordEvent& e, bool shown = false);
  // Why a broker's connection failed, in the file's words or as shown.
  static QString errorWord(MqttError e, bool shown = false);
  // Several routes' states in one line's detail, in the file's words (or, with shown, translated):
  // "吸合 1,2,9 断开 3-8,10-16" for the routes whose bit (route r: bit r - 1) is set in routes;
  // energised says which are on. parse() reads it back into RecordEvent::routes and on.
  static QString statesDetail(quint16 routes, quint16 energised, bool shown = false);

  // Filters on a line's bytes, without reading it as an event:
  // whether it is one of route's (1..16) or of route 0 (any line for any other route number);
  static bool ofRoute(QByteArrayView line, int route);
  // whether it is a link's, the program's or the broker's (no route), a route's change the board
  // reported (cause "板状态"), or an entry that could not act.
  static bool toldByBoardOrLink(QByteArrayView line);
};
