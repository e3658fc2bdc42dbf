#pragma once

#include <QWidget>

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
  quint32 colorref_ = 0x0000FF;  // design colour: red
};
