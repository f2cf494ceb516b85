// TSingleInstance: one running program per user and display. The first start
// listens on a local socket; a later start hands its whole command line over
// to it and ends once the first one has processed it.
//
// On Unix the socket lies in a folder that only the user may enter, so no
// other user can send command lines or take the name.
//
// Protocol on the socket: the later start sends the command line as UTF-8,
// preceded by its byte length (8 bytes, big-endian). The first start answers
// 'R' as soon as the text is whole and 'D' once it has been processed
// (files opened and compiled). Command lines are processed one at a time.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace marlo::ide {

class TSingleInstance : public QObject {
  Q_OBJECT
 public:
  // Called by the receiver of commandLineReceived once it has processed the
  // text; the later start then gets its answer. Later calls do nothing.
  using Reply = std::function<void()>;

  enum class THandOver {
    NoFirstStart,  // nobody took the text, or the first start went away
    Done,          // processed
    Unconfirmed,   // taken, but not processed within the time limit
  };
  enum class TRole { HandedOver, Unconfirmed, First, Alone };

  // How long a later start waits for its text to be processed.
  static constexpr int kDoneTimeoutMs = 5 * 60 * 1000;

  // Unix: "Marloiac-" and the display, in the private folder
  // $XDG_RUNTIME_DIR/marlo, else <temp>/marlo-<uid>.
  static QString DefaultName();

  explicit TSingleInstance(const QString& name = DefaultName(), QObject* parent = nullptr);
  ~TSingleInstance() override;

  QString Name() const { return name_; }
  // Why the last Listen failed.
  QString ErrorString() const { return error_; }

  // A later start: delivers `commandLine` to the first start and waits,
  // blocking, until it has been processed. Connecting and the first
  // start's receipt each have `timeoutMs`, the processing `doneTimeoutMs`.
  THandOver HandOver(const QString& commandLine, int timeoutMs = 1000, int doneTimeoutMs = kDoneTimeoutMs);

  // The first start: listens for later ones. A server left by a crashed
  // start is replaced. False when another live start holds the name or the
  // socket cannot be made (ErrorString says why).
  bool Listen();
  bool IsListening() const;

  // Hands over, else listens. A start that loses the race for the name to a
  // simultaneous one hands over to it. Alone: neither worked (ErrorString).
  TRole Start(const QString& commandLine, int timeoutMs = 1000);

 signals:
  void commandLineReceived(const QString& text, marlo::ide::TSingleInstance::Reply reply);

 private:
  bool PrivateFolder();
  void Accept();
  void Read(QLocalSocket* socket);
  void DispatchNext();

  struct Pending {
    QPointer<QLocalSocket> socket;
    QString text;
  };

  QString name_;
  QString error_;
  bool nameTaken_ = false;
  QLocalServer* server_ = nullptr;
  std::deque<Pending> queue_;
  bool busy_ = false;
};

}  // namespace marlo::ide
