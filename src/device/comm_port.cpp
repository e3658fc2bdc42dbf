#include "device/comm_port.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <vector>

#include "platform/port_naming.h"

namespace {

bool in_group(gid_t gid) {
  if (getegid() == gid) return true;
  const int n = getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<size_t>(qMax(n, 0)));
  if (n > 0 && getgroups(n, groups.data()) == n)
    for (gid_t g : groups)
      if (g == gid) return true;
  return false;
}

// Why `device` did not open. QSerialPort tells a missing permission and a port locked by another
// program alike, so the file itself is looked at.
PortFailure open_failure(const QString& device, QSerialPort::SerialPortError e) {
  const QByteArray path = QFile::encodeName(device);
  struct stat st {};
  if (::stat(path.constData(), &st) != 0 || e == QSerialPort::DeviceNotFoundError)
    return {OpenFailure::Missing, device, {}};
  if (::access(path.constData(), R_OK | W_OK) != 0) {
    // The usual case: the device belongs to a group such as dialout that the user is not in.
    if ((st.st_mode & 060) == 060 && !in_group(st.st_gid))
      if (const group* g = getgrgid(st.st_gid))
        return {OpenFailure::NotInGroup, device, QString::fromLocal8Bit(g->gr_name)};
    return {OpenFailure::NoPermission, device, {}};
  }
  if (!S_ISCHR(st.st_mode)) return {OpenFailure::NotSerial, device, {}};
  if (e == QSerialPort::PermissionError || e == QSerialPort::OpenError)
    return {OpenFailure::Busy, device, {}};
  if (e == QSerialPort::ResourceError) return {OpenFailure::Missing, device, {}};
  return {OpenFailure::Other, device, {}};
}

}  // namespace

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
  failure_ = {};
  // Open the final device, so the port's lock is named after it and not after "com1".
  const QString device = port_target_path(devicePath());
  port_.setPortName(device);
  port_.setBaudRate(QSerialPort::Baud9600);
  port_.setDataBits(QSerialPort::Data8);
  port_.setParity(QSerialPort::NoParity);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!port_.open(QIODevice::ReadWrite)) {
    failure_ = open_failure(device, port_.error());
    port_.clearError();
    return false;
  }
  // Whatever reached the device while nobody listened (a late reply on a port just used by the
  // other component) is not for this opening.
  port_.clear(QSerialPort::Input);
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
  port_.clearError();
  port_.close();
  inBuffer_.clear();
  emit lost();
}
