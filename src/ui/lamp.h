#pragma once

#include <QWidget>

#include "device/command_link.h"

// The lamps' colours as COLORREF values (blue in the high byte, red in the low byte).
enum LampColour : quint32 {
  kLampGreen = 0x00FF00,  // route energised
  kLampRed = 0x0000FF,    // route released
  kLampGrey = 0xC0C0C0,   // the board is not read, or no recent valid reply
};

// The colour a lamp shows for a look.
quint32 lamp_colour(LampLook look);

// One round indicator lamp: filled opaquely with its colour, outlined in white.
class Lamp : public QWidget {
  Q_OBJECT
 public:
  explicit Lamp(QWidget* parent = nullptr);
  // colour as COLORREF (red in the low byte)
  void setColorRef(quint32 colorref);
  quint32 colorRef() const { return colorref_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  quint32 colorref_ = kLampRed;  // design colour: red
};
