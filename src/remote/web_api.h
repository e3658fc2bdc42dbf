#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QTime>
#include <array>
#include <optional>

#include "core/clsdata.h"
#include "core/week_plan.h"
#include "editing/entry_editor.h"
#include "station/actual_periods.h"
#include "station/link_control.h"
#include "station/record_event.h"

// The page's API in values: what its JSON bodies hold and what they are read into, the sessions
// and the login's brake. Nothing here words a message or touches a station; the server does.

// A request body is read only up to this size; a larger one is refused (413) unread.
constexpr qsizetype kWebMaxBody = 64 * 1024;

// "answering", "no-answer", "waiting", "closed".
QString web_link_word(LinkHealth h);

// An ISO-8601 local time with its offset ("2026-12-08T16:30:00+01:00"); null for an invalid one.
QJsonValue web_time(const QDateTime& t);

// One entry: {"key", "route", "kind": "daily"|"weekly"|"date", "time": "HH:MM:SS", "days": [1..7]
// (weekly, 1 Monday), "date": "YYYY-MM-DD" (date), "on", "valid" (whether it can ever fall due),
// "text"}.
QJsonObject web_entry_json(const QString& key, const Clsdata& e, const QString& text);

// An entry as a POST or PUT body gives it.
struct WebEntry {
  int route = 0;
  Recurrence kind = Recurrence::EveryDay;
  QTime time;
  std::array<bool, 7> days{};  // Monday first
  QDate date;
  bool on = true;
  bool confirmPast = false;  // a fixed date whose moment has passed is meant
};

// Why a body is not an entry: not a JSON object at all (400), or a field that breaks a rule (422).
enum class WebEntryError { None, NotJson, Route, Kind, Time, Days, Date, Action };

// Reads an entry: "route" 1..16, "kind", "time" a real time of day (not 24:00:00), "days" (weekly:
// at least one of 1..7, each once), "date" (date: a real day in 2001..2099), "on" a boolean,
// "confirmPast" optional. Fields the kind does not use are ignored.
WebEntryError read_web_entry(const QByteArray& body, WebEntry* out);

// The editor's state for an entry read above (what editor_confirm writes from).
EditorState web_editor_state(const WebEntry& w);

// The body as a JSON object, or none (not JSON, or not an object).
std::optional<QJsonObject> web_json_object(const QByteArray& body);

// The week's plan and actual beside it, as the page draws them:
// {"from", "to", "now", "routes": [16 × {"route", "name", "plan": [{"from", "to", "state":
// "on"|"off"|"unknown", "key"}], "actual": [{"from", "to", "state": "on"|"off"|"unknown"|
// "no-link"}], "missed": [{"at", "key"}]}]}. names[r] is route r's name ("" unnamed).
QJsonObject web_plan_json(const WeekPlan& plan, const ActualRoutes& actual,
                          const ActualMisses& misses,
                          const std::array<QString, kRouteCount + 1>& names, qint64 now);

// The value of cookie `name` in a Cookie header, or a null array.
QByteArray web_cookie(const QByteArray& header, const QByteArray& name);

// The logged-in browsers: each session an unguessable id (the cookie) and its own token against
// cross-site requests (sent back in X-CSRF-Token). A session ends after kIdleMs without a
// request, at logout, or when kMaxSessions newer ones were made.
class WebSessions {
 public:
  static constexpr qint64 kIdleMs = 7LL * 24 * 3600 * 1000;
  static constexpr int kMaxSessions = 256;
  struct Session {
    QByteArray id;
    QByteArray csrf;
    qint64 lastUsed = 0;
  };
  // A new session at nowMs (monotonic or wall clock, the same for every call).
  Session create(qint64 nowMs);
  // The live session with that id, marked used at nowMs; null when there is none.
  const Session* use(const QByteArray& id, qint64 nowMs);
  void end(const QByteArray& id) { sessions_.remove(id); }
  int count() const { return static_cast<int>(sessions_.size()); }

 private:
  QHash<QByteArray, Session> sessions_;
};

// The login's brake: more than kMaxFailures wrong passwords within kWindowMs from one address
// and that address is refused until the oldest of them is kWindowMs old. At most kMaxAddresses
// addresses are remembered (the oldest forgotten first), so memory stays bounded.
class LoginBrake {
 public:
  static constexpr int kMaxFailures = 5;
  static constexpr qint64 kWindowMs = 60000;
  static constexpr int kMaxAddresses = 4096;
  // 0 when a login from address may be tried at nowMs; otherwise the seconds to wait (at least 1).
  int retryAfter(const QString& address, qint64 nowMs);
  void failed(const QString& address, qint64 nowMs);
  // The last failure of address taken back (the password was right after all).
  void forgetLast(const QString& address);

 private:
  void prune(const QString& address, qint64 nowMs);
  QHash<QString, QList<qint64>> failures_;
};
