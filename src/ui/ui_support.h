#pragma once

#include <QFont>

class QComboBox;
class QWidget;

// Maps "宋体" to the CJK fonts a Linux desktop has. Call once before building windows.
void install_font_substitutions();

// Bold "宋体" of the given size in points at 96 dpi, as pixels so layouts hold at any dpi.
QFont song_bold(double points);

// Typed characters never reach the box: its text changes only by choosing an item (arrow keys
// and the mouse still work).
void discard_typing(QComboBox* box);

// Places w at x, y with size width x height, in pixels of its parent.
void place(QWidget* w, int x, int y, int width, int height);
