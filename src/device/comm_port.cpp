#include "device/comm_port.h"

#include "platform/port_naming.h"

CommPort::CommPort(QString appDir, QObject* parent) : QObject(parent), appDir_(std::move(appDir)) {
  connect(&port_, &QSerialPort::readyRead, this, &CommPort::onReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &CommPort::onError);
}

CommPort::~CommPort() {
  // Closing from the destructor must not raise lost().
  port_.disconnect(this);
  port_.close();
}

QString CommPort::devicePath() const { return port_device_path(appDir_, commPort_); }

bool CommPort::setPortOpen(bool open) {
  if (open == port_.isOpen()) return true;
  if (!open) {
    port_.close();
    return true;
  }
  inBuffer_.clear();
  error_.clear();
  // Open the final device, so the port's lock is named after it and not after "com1".
  port_.setPortName(port_target_path(devicePath()));
  port_.setBaudRate(QSerialPort::Baud9600);
  port_.setDataBits(QSerialPort::Data8);
  port_.setParity(QSerialPort::NoParity);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!port_.open(QIODevice::ReadWrite)) {
    error_ = port_.errorString();
    port_.clearError();
    return false;
  }
  return true;
}

void CommPort::Output(const QByteArray& bytes) {
  if (!port_.isOpen()) return;
  if (port_.write(bytes) != bytes.size()) onError(QSerialPort::WriteError);
}

QByteArray CommPort::Input() {
  if (inBuffer_.isEmpty()) return {};
  QByteArray b = inBuffer_.left(1);
  inBuffer_.remove(0, 1);
  return b;
}

void CommPort::onReadyRead() {
  const QByteArray fresh = port_.readAll();
  const qsizetype room = kInBufferSize - inBuffer_.size();
  inBuffer_.append(fresh.left(qMax<qsizetype>(room, 0)));
  if (rThreshold_ > 0 && inBuffer_.size() >= rThreshold_) {
    commEvent_ = comEvReceive;
    emit OnComm();
  }
}

void CommPort::onError(QSerialPort::SerialPortError e) {
  // Only these mean the device is gone or unusable; the others leave the link as it is.
  if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError &&
      e != QSerialPort::WriteError && e != QSerialPort::DeviceNotFoundError)
    return;
  if (!port_.isOpen()) return;  // open failures are reported by setPortOpen
  const QString reason = port_.errorString();
  port_.clearError();
  port_.close();
  inBuffer_.clear();
  emit lost(reason);
}
