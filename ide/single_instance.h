// TSingleInstance: one running program per user. The first start listens on
// a local socket; a later start hands its whole command line over to it and
// ends once the first one has processed it.
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

  // "Marloiac" and the user's id.
  static QString DefaultName();

  explicit TSingleInstance(const QString& name = DefaultName(), QObject* parent = nullptr);
  ~TSingleInstance() override;

  QString Name() const { return name_; }

  // A later start: delivers `commandLine` to the first start and waits,
  // blocking, until it has been processed, however long that takes while
  // the first start lives. False when no first start answered within
  // `timeoutMs` (to connect, and to confirm that the text arrived) or when
  // it went away before finishing; the caller then goes on by itself.
  bool HandOver(const QString& commandLine, int timeoutMs = 1000);

  // The first start: listens for later ones. A server left by a crashed
  // start is replaced. False when another live start holds the name.
  bool Listen();
  bool IsListening() const;

 signals:
  void commandLineReceived(const QString& text, marlo::ide::TSingleInstance::Reply reply);

 private:
  void Accept();
  void Read(QLocalSocket* socket);
  void DispatchNext();

  struct Pending {
    QPointer<QLocalSocket> socket;
    QString text;
  };

  QString name_;
  QLocalServer* server_ = nullptr;
  std::deque<Pending> queue_;
  bool busy_ = false;
};

}  // namespace marlo::ide
