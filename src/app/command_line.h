#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/port_naming.h"

// The language the program speaks: Chinese (its texts as written) or English (the catalogue).
enum class Language { Chinese, English };

// The desktop's choice, from the user's preferred UI languages in order (QLocale::system()'s
// uiLanguages(): LANGUAGE, then LANG): English when the first is a language other than Chinese;
// Chinese for Chinese and for the plain C/POSIX locale (a service or a minimal system).
Language language_for(const QStringList& uiLanguages);

// What the command line asks for. Started plainly, the program shows its window; every option is
// for running it from a terminal, a service or a script:
//   --help, -h               the usage text, with the data folder that would be used
//   --version                the program's name and version
//   --headless               the timetable without a window (see headless.h)
//   --data DIR               use DIR as the data folder (with the window, --headless, --link-port)
//   --list-ports             the serial devices present, their stable names and whether the user
//                            may open them
//   --link-port N DEVICE     make port N ("Com"N) lead to DEVICE
//   --lang zh|en             Chinese or English for this run, whatever the desktop's language
//   --test-alert             send a test message to the alerts' webhook and say what it answered
//   --web-password           read the page's new password from standard input, store its hash
// Parsing never touches a file or the display.
struct CommandLine {
  Q_DECLARE_TR_FUNCTIONS(CommandLine)

 public:
  enum class Mode {
    Window, Help, Version, Headless, ListPorts, LinkPort, TestAlert, WebPassword, Error
  };
  Mode mode = Mode::Window;
  QString dataDir;                   // --data's folder, empty when not given
  int port = 0;                      // --link-port's N (1..20)
  QString device;                    // --link-port's DEVICE
  QString error;                     // for Mode::Error: one line saying what is wrong
  std::optional<Language> language;  // --lang's choice

  // args without the program's name. An unknown option, a missing or bad value, or two modes
  // at once give Mode::Error.
  static CommandLine parse(const QStringList& args);
};

// The usage text; dataDir is the folder in use and is named in it.
QString usage_text(const QString& dataDir);
// "Tavrel <version>".
QString version_text();

// Whether a window can be shown: a platform is chosen explicitly (QT_QPA_PLATFORM, e.g.
// "offscreen") or a display is named (DISPLAY or WAYLAND_DISPLAY). Reads the environment only.
bool display_available();
// The one line told when there is none.
QString no_display_text();

// --list-ports: the text printed, one device a line (empty list: one line saying so).
QString list_ports_text();
// Why --link-port failed, in a line.
QString link_port_error_text(const LinkPortResult& r);
// --link-port: links the port in dataDir and prints what it did (standard output) or why not
// (standard error). Returns the exit status.
int run_link_port(const QString& dataDir, int port, const QString& device);

// --test-alert: posts a test message (condition "test") to the webhook of dataDir's Name.ini and
// prints the receiver's answer (standard output) or why there was none (standard error). Returns
// 0 when the receiver took it (2xx), else 1.
int run_test_alert(const QString& dataDir);

// --web-password: reads one line from standard input (without echo on a terminal) and stores its
// salted slow hash as the page's password in dataDir's Name.ini (see web_password_hash). An empty
// line changes nothing. Returns the exit status.
int run_web_password(const QString& dataDir);

// A folder that --data names and that does not exist is refused where the program would open a
// port on it (the window, --headless): a mistyped folder must not be made and run. The line that
// says so, or empty when the folder is fine (an absent --data: the default folder is made).
QString refused_data_text(const CommandLine& cl, const QString& dataDir);
