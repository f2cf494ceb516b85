#include "ide/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMetaMethod>
#include <QTimer>
#include <QtEndian>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace marlo::ide {
namespace {

constexpr qint64 kHeaderSize = 8;
constexpr quint64 kMaxText = 64ull << 20;  // far beyond any system's command line
constexpr int kIncompleteTimeoutMs = 30000;
constexpr char kReceived = 'R';
constexpr char kDone = 'D';
constexpr char kGone = 0;
constexpr char kTimedOut = 1;
const char* const kWhole = "marloWhole";  // socket property: the text was read

// The first start's next answer, kGone when it went away, kTimedOut when
// none came in time.
char NextAnswer(QLocalSocket& socket, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
      return socket.state() == QLocalSocket::ConnectedState ? kTimedOut : kGone;
  char answer = kGone;
  socket.getChar(&answer);
  return answer;
}

#ifdef Q_OS_UNIX
// A display name as part of a file name.
QString DisplayPart() {
  QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  for (QChar& c : display)
    if (!c.isLetterOrNumber() || c.unicode() > 127) c = u'_';
  // Socket paths are short; a long name (a Wayland socket's path) is hashed.
  if (display.size() > 32)
    display =
        QString::fromLatin1(QCryptographicHash::hash(display.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
  return display;
}
#endif

}  // namespace

QString TSingleInstance::DefaultName() {
#ifdef Q_OS_UNIX
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  const QString folder = QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()
                             ? runtime + QStringLiteral("/marlo")
                             : QDir::tempPath() + QStringLiteral("/marlo-%1").arg(::getuid());
  return folder + QStringLiteral("/Marloiac-") + DisplayPart();
#else
  return QStringLiteral("Marloiac") + qEnvironmentVariable("USERNAME");
#endif
}

TSingleInstance::TSingleInstance(const QString& name, QObject* parent) : QObject(parent), name_(name) {}

TSingleInstance::~TSingleInstance() = default;

// The socket's folder: made if missing, and only the user may enter it.
// A folder that is someone else's, or a link, is not used at all: whoever
// controls it could listen in place of the first start.
bool TSingleInstance::PrivateFolder() {
#ifdef Q_OS_UNIX
  const QString folder = QFileInfo(name_).absolutePath();
  const QByteArray path = QFile::encodeName(folder);
  if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
    error_ =
        QStringLiteral("Cannot create the folder %1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  struct stat info {};
  if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    error_ = QStringLiteral("The folder %1 is not a folder of this user.").arg(folder);
    return false;
  }
  if ((info.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
    error_ = QStringLiteral("Cannot make the folder %1 private: %2")
                 .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
#endif
  return true;
}

TSingleInstance::THandOver TSingleInstance::HandOver(const QString& commandLine, int timeoutMs, int doneTimeoutMs) {
  if (!PrivateFolder()) return THandOver::NoFirstStart;
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(timeoutMs)) return THandOver::NoFirstStart;

  const QByteArray text = commandLine.toUtf8();
  QByteArray message(kHeaderSize, '\0');
  qToBigEndian<quint64>(text.size(), message.data());
  message += text;
  socket.write(message);
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(timeoutMs)) return THandOver::NoFirstStart;
  if (NextAnswer(socket, timeoutMs) != kReceived) return THandOver::NoFirstStart;
  // Processing may compile for long, or wait for the user to answer a box.
  switch (NextAnswer(socket, doneTimeoutMs)) {
    case kDone:
      return THandOver::Done;
    case kTimedOut:
      return THandOver::Unconfirmed;
    default:
      return THandOver::NoFirstStart;
  }
}

bool TSingleInstance::Listen() {
  nameTaken_ = false;
  if (IsListening()) return true;
  if (!PrivateFolder()) return false;
  if (!server_) {
    server_ = new QLocalServer(this);
    connect(server_, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
  }
  // Two starts that both found a stale socket must not both replace it.
  QLockFile lock(name_ + QStringLiteral(".lock"));
  lock.tryLock(2000);
  if (server_->listen(name_)) return true;
  // A socket file may be left by a crashed start. Remove it only when no
  // one answers on it: a live first start must never be replaced.
  if (server_->serverError() == QAbstractSocket::AddressInUseError) {
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (probe.waitForConnected(1000)) {
      nameTaken_ = true;
      error_ = QStringLiteral("Another start of the program holds %1 but did not take the command line.").arg(name_);
      return false;
    }
    if (probe.error() == QLocalSocket::ConnectionRefusedError || probe.error() == QLocalSocket::ServerNotFoundError) {
      QLocalServer::removeServer(name_);
      if (server_->listen(name_)) return true;
    }
  }
  error_ = QStringLiteral("Cannot listen on %1: %2").arg(name_, server_->errorString());
  return false;
}

bool TSingleInstance::IsListening() const { return server_ && server_->isListening(); }

TSingleInstance::TRole TSingleInstance::Start(const QString& commandLine, int timeoutMs) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    switch (HandOver(commandLine, timeoutMs)) {
      case THandOver::Done:
        return TRole::HandedOver;
      case THandOver::Unconfirmed:
        return TRole::Unconfirmed;
      case THandOver::NoFirstStart:
        break;
    }
    if (Listen()) return TRole::First;
    if (!nameTaken_) break;  // trying again changes nothing
  }
  return TRole::Alone;
}

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
  // Not from here: processing runs events (boxes, compiles), and the later
  // start may go away meanwhile, deleting this socket under its own read.
  QMetaObject::invokeMethod(this, &TSingleInstance::DispatchNext, Qt::QueuedConnection);
}

void TSingleInstance::DispatchNext() {
  if (busy_ || queue_.empty()) return;
  Pending next = queue_.front();
  queue_.pop_front();
  busy_ = true;
  Reply reply = [self = QPointer(this), socket = next.socket, answered = std::make_shared<bool>(false)] {
    if (*answered) return;
    *answered = true;
    if (socket && socket->state() == QLocalSocket::ConnectedState) {
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
