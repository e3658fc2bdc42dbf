#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>
#include <random>

#include "board_protocol.h"

class QSocketNotifier;
class QTimer;

// A simulated relay board on a pseudo-terminal: the program opens the terminal's slave side as
// its serial port and the board answers on the master side with BoardProtocol.
//
// The board keeps its own handle on the slave side, so the program may close and reopen the port
// any number of times; when the board goes away the program's port sees the device vanish.
// A partly received frame is forgotten after kQuietDropMs without a byte (the program sends each
// frame as one block), so a stray header byte never holds up the next frame.
class RelayBoard : public QObject {
  Q_OBJECT
 public:
  struct Options {
    quint8 address = 1;
    quint16 outputs = 0;   // bit r-1 = route r energised
    bool silent = false;   // never answer
    int corruptEvery = 0;  // spoil the sum of every Nth reply (0: never)
    int replyDelayMs = 0;  // answer this long after the frame
    bool pace = false;     // answer only after the frame and the answer would have crossed a
                           // 9600-baud line (10 bits a byte)
    double noise = 0;      // random bytes a second on the line, between and inside replies
    bool echo = false;     // hand each command frame back before its reply, in one piece with
                           // it (an RS-485 adapter that hears itself)
    int strayBytes = 0;    // this many 0x00 bytes before each reply, in one piece with it
    unsigned seed = 1;     // of the noise
    quint16 stuck = 0;     // routes whose relays never follow (bit r-1 = route r)
  };
  static constexpr int kQuietDropMs = 100;

  explicit RelayBoard(Options options, QObject* parent = nullptr);
  ~RelayBoard() override;

  // Opens the pseudo-terminal and makes linkPath a symlink to its slave side, creating parent
  // folders and replacing an existing symlink (never a regular file). False with *error set when
  // that fails.
  bool open(const QString& linkPath, QString* error);
  // Closes the terminal and removes the link; the program's port then sees the device vanish.
  void close();
  bool isOpen() const { return master_ >= 0; }

  QString slavePath() const { return slavePath_; }
  QString linkPath() const { return linkPath_; }
  quint16 outputs() const { return protocol_.outputs(); }
  const BoardProtocol& protocol() const { return protocol_; }
  void setSilent(bool on) { options_.silent = on; }
  void setStuck(quint16 routes) { protocol_.setStuck(routes); }

  int repliesSent() const { return repliesSent_; }
  qint64 noiseBytesSent() const { return noiseBytes_; }

 signals:
  void outputsChanged(quint16 outputs);
  // Every frame handled: a query or set frame (with the masks it carried) or a download.
  void commandReceived(BoardProtocol::Kind kind, quint16 outputsAfter);
  void entryReceived(const DownloadedEntry& entry);
  // A reply carrying these outputs went out intact (not spoiled on purpose).
  void replied(quint16 outputs);

 private:
  void onReadable();
  void send(QByteArray bytes);
  void sendNoise();

  Options options_;
  BoardProtocol protocol_;
  int master_ = -1;
  int slave_ = -1;
  QString slavePath_;
  QString linkPath_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QElapsedTimer sinceLastByte_;
  int repliesSent_ = 0;
  int replyCount_ = 0;
  qint64 noiseBytes_ = 0;
  std::mt19937 rng_;
  QTimer* noiseTimer_ = nullptr;
};
