#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLocale>

#include "app/command_line.h"

class QComboBox;
class QDateTimeEdit;
class QDialog;
class QPushButton;
class QCoreApplication;
class QWidget;

// Maps "宋体" to the CJK fonts a Linux desktop has. Call once before building windows.
void install_font_substitutions();

// Makes the program speak language: English installs the program's own catalogue (embedded,
// :/i18n/tavrel_en.qm); Chinese, the program's texts as written and Qt's own texts (standard
// buttons, file dialogs) in Chinese too, from Qt's translations folder (qtbase_zh_CN). The default
// locale (dates, numbers, the file dialogs' words) follows: Chinese (China) or English (United
// States), whatever the system's. Returns whether the catalogue was found (without it, texts
// stay as written, or Qt's stay English).
bool install_language(QCoreApplication& app, Language language);

// The locale the program's controls show dates in: the language's (see install_language).
QLocale language_locale(Language language);

// The program's icon at every size it ships in (16 to 256 pixels): the window's and the tray's.
QIcon tavrel_icon();

// The health lamps' colours (the tray icon's lamp, the "远程" button's): 0 off, grey; 1 in trouble
// or still trying, amber; 2 working, green.
QColor lamp_look(int look);
// A small round lamp of the given colour, size pixels across, for a button's icon.
QIcon round_lamp(const QColor& colour, int size);

// Bold "宋体" of the given size in points at 96 dpi, as pixels so layouts hold at any dpi.
QFont song_bold(double points);

// Typed characters never reach the box, closed or with its list open: its text changes only by
// choosing an item (arrow keys and the mouse still work).
void discard_typing(QComboBox* box);
// The same for a list of the numbers 0..count-1 ("00", "01", ...), except that digits typed into
// the closed box select a number (see TypedNumber).
void select_typed_numbers(QComboBox* box, int count);

// A whole date typed into a field of numbers ("yyyy-MM-dd"), separators and all ("2027-03-15" over
// the text Ctrl+A selected, or from the first part on), lands in the field's parts in order. Qt's
// own field takes a digit typed over the whole selection only when the text it leaves reads as a
// date by the display format, which "2" does not: the year's digits were dropped and the rest went
// into month and day. And once a part is full the field moves on to the next by itself, so the
// separator typed after it moved once more (the month's digits went into the day). Here a key
// typed over the whole selection starts at the first part, and any other character than a digit
// ends the part being typed ("2027/3/15" too), once: right after a part the digits filled, it is
// the step the field took already.
void type_whole_dates(QDateTimeEdit* edit);

// Shows the window, restored from the minimized state, in front and active.
void bring_forward(QWidget* window);

// Places w at x, y with size width x height, in pixels of its parent.
void place(QWidget* w, int x, int y, int width, int height);

// A fixed-layout dialog's "确定" and "取消" buttons (81 x 25, in font) with their left edges at
// okX and cancelX on the line y: Return confirms wherever the focus is; only a click (or Space) on
// "取消" cancels, which rejects the dialog. The caller connects "确定".
struct OkCancel {
  QPushButton* ok;
  QPushButton* cancel;
};
OkCancel ok_cancel_buttons(QDialog* dialog, const QFont& font, int okX, int cancelX, int y);
