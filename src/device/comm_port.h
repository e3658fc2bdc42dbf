#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

// A serial-port component over QSerialPort: 9600 baud, 8 data bits, no parity, 1 stop bit, no
// flow control. Received bytes accumulate in an input buffer of kInBufferSize bytes (the excess
// of a full buffer is dropped); once at least RThreshold bytes wait, OnComm is raised with
// CommEvent() == comEvReceive, on the thread that owns the port. A device that vanishes or fails
// while open (adapter pulled, the far end gone, a write error) closes the port and raises lost()
// exactly once; it raises no further events.

// Why an opening failed.
enum class OpenFailure {
  None,
  Missing,       // no device there (or it vanished while opening)
  NoPermission,  // the user may not read and write it
  NotInGroup,    // ... because it belongs to a group the user is not in (PortFailure::group)
  NotSerial,     // a file that is no character device
  Busy,          // another program holds it
  Other,
};

struct PortFailure {
  OpenFailure reason = OpenFailure::None;
  QString device;  // the final device tried (symbolic links followed)
  QString group;   // for NotInGroup: the device's group, e.g. "dialout"
};

class CommPort : public QObject {
  Q_OBJECT
 public:
  static constexpr int comEvReceive = 2;
  static constexpr int kInBufferSize = 1024;

  // appDir is where dosdevices/ is looked up for the port names.
  explicit CommPort(QString appDir, QObject* parent = nullptr);
  ~CommPort() override;

  // The port number, 1..20 for "Com1".."Com20"; takes effect at the next opening.
  void setCommPort(int n) { commPort_ = n; }
  int commPort() const { return commPort_; }
  // The file this port number opens (see port_device_path).
  QString devicePath() const;

  // Opens or closes the port. Opening an open port, or closing a closed one, does nothing.
  // Returns false when opening fails (missing device, no permission, in use); failure() then
  // says where and why. The input buffer, and whatever the device received before, starts empty
  // at every opening.
  bool setPortOpen(bool open);
  bool portOpen() const { return port_.isOpen(); }
  // After a failed opening, the device and the reason; reason None after a good one.
  const PortFailure& failure() const { return failure_; }

  void setRThreshold(int n) { rThreshold_ = n; }
  int rThreshold() const { return rThreshold_; }

  int inBufferCount() const { return static_cast<int>(inBuffer_.size()); }
  // Discards every received byte not yet read (the only value it takes is 0).
  void clearInBuffer() { inBuffer_.clear(); }
  // The first n waiting bytes (fewer when fewer wait), left waiting; and dropping them.
  QByteArray peekInput(int n) const { return inBuffer_.left(n); }
  void skipInput(int n) { inBuffer_.remove(0, qMin<qsizetype>(n, inBuffer_.size())); }

  // Sends bytes as one block; does nothing while closed.
  void Output(const QByteArray& bytes);
  // The next waiting byte as a one-byte array; empty when nothing waits.
  QByteArray Input();

  // Kind of the event being handled.
  int CommEvent() const { return commEvent_; }

 signals:
  void OnComm();
  void lost();

 private:
  void onReadyRead();
  void onError(QSerialPort::SerialPortError e);

  QString appDir_;
  QSerialPort port_;
  QByteArray inBuffer_;
  PortFailure failure_;
  int commPort_ = 1;
  int rThreshold_ = 0;
  int commEvent_ = 0;
};
