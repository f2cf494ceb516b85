#include "ide/single_instance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaMethod>
#include <QTimer>
#include <QtEndian>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace marlo::ide {
namespace {

constexpr qint64 kHeaderSize = 8;
constexpr quint64 kMaxText = 64ull << 20;  // far beyond any system's command line
constexpr int kIncompleteTimeoutMs = 30000;
constexpr char kReceived = 'R';
constexpr char kDone = 'D';
const char* const kWhole = "marloWhole";  // socket property: the text was read

// Abstract names (Linux) leave no file behind when a start crashes.
#ifdef Q_OS_LINUX
constexpr auto kServerOptions = QLocalServer::AbstractNamespaceOption;
constexpr auto kSocketOptions = QLocalSocket::AbstractNamespaceOption;
#else
constexpr auto kServerOptions = QLocalServer::NoOptions;
constexpr auto kSocketOptions = QLocalSocket::NoOptions;
#endif

bool ReadAnswer(QLocalSocket& socket, char expected, int timeoutMs) {
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  char answer = 0;
  return socket.getChar(&answer) && answer == expected;
}

}  // namespace

QString TSingleInstance::DefaultName() {
#ifdef Q_OS_UNIX
  return QStringLiteral("Marloiac%1").arg(::getuid());
#else
  return QStringLiteral("Marloiac") + qEnvironmentVariable("USERNAME");
#endif
}

TSingleInstance::TSingleInstance(const QString& name, QObject* parent) : QObject(parent), name_(name) {}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::HandOver(const QString& commandLine, int timeoutMs) {
  QLocalSocket socket;
  socket.setSocketOptions(kSocketOptions);
  socket.connectToServer(name_);
  if (!socket.waitForConnected(timeoutMs)) return false;

  const QByteArray text = commandLine.toUtf8();
  QByteArray message(kHeaderSize, '\0');
  qToBigEndian<quint64>(text.size(), message.data());
  message += text;
  socket.write(message);
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
  if (!ReadAnswer(socket, kReceived, timeoutMs)) return false;
  // Processing may compile for long; the connection tells whether the first
  // start still lives.
  return ReadAnswer(socket, kDone, -1);
}

bool TSingleInstance::Listen() {
  if (IsListening()) return true;
  if (!server_) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(kServerOptions);
    connect(server_, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
  }
  if (server_->listen(name_)) return true;
#ifndef Q_OS_LINUX
  // A socket file may be left by a crashed start. Remove it only when no
  // one answers on it: a live first start must never be replaced.
  if (server_->serverError() == QAbstractSocket::AddressInUseError) {
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (!probe.waitForConnected(1000) &&
        (probe.error() == QLocalSocket::ConnectionRefusedError || probe.error() == QLocalSocket::ServerNotFoundError)) {
      QLocalServer::removeServer(name_);
      return server_->listen(name_);
    }
  }
#endif
  return false;
}

bool TSingleInstance::IsListening() const { return server_ && server_->isListening(); }

void TSingleInstance::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A client that never completes its text is dropped.
    QTimer::singleShot(kIncompleteTimeoutMs, socket, [socket] {
      if (!socket->property(kWhole).toBool()) socket->abort();
    });
    Read(socket);
  }
}

void TSingleInstance::Read(QLocalSocket* socket) {
  if (socket->property(kWhole).toBool()) {
    socket->readAll();  // nothing more is expected
    return;
  }
  if (socket->bytesAvailable() < kHeaderSize) return;
  char header[kHeaderSize];
  socket->peek(header, kHeaderSize);
  const quint64 size = qFromBigEndian<quint64>(header);
  if (size > kMaxText) {
    socket->abort();
    return;
  }
  if (quint64(socket->bytesAvailable()) < kHeaderSize + size) return;
  socket->skip(kHeaderSize);
  const QString text = QString::fromUtf8(socket->read(qint64(size)));
  socket->setProperty(kWhole, true);
  socket->putChar(kReceived);
  socket->flush();
  queue_.push_back({socket, text});
  DispatchNext();
}

void TSingleInstance::DispatchNext() {
  if (busy_ || queue_.empty()) return;
  Pending next = queue_.front();
  queue_.pop_front();
  busy_ = true;
  Reply reply = [self = QPointer(this), socket = next.socket, answered = std::make_shared<bool>(false)] {
    if (*answered) return;
    *answered = true;
    if (socket) {
      socket->putChar(kDone);
      socket->disconnectFromServer();  // after the answer has been written
    }
    if (self) {
      self->busy_ = false;
      QTimer::singleShot(0, self, &TSingleInstance::DispatchNext);
    }
  };
  // A text that nobody takes is answered at once, so that no start waits
  // for ever.
  if (!isSignalConnected(QMetaMethod::fromSignal(&TSingleInstance::commandLineReceived)))
    reply();
  else
    emit commandLineReceived(next.text, reply);
}

}  // namespace marlo::ide
