#include "net/smtp_client.h"

#include <QTcpSocket>
#include <cerrno>

namespace marlo::net {
namespace {

// A reply line longer than this is not a mail server talking.
constexpr qsizetype kMaxReplyLine = 64 * 1024;

}  // namespace

int SocketErrorNumber(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
      return ECONNRESET;
    case QAbstractSocket::HostNotFoundError:
      return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError:
      return EACCES;
    case QAbstractSocket::SocketResourceError:
      return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError:
      return ETIMEDOUT;
    case QAbstractSocket::NetworkError:
      return ENETUNREACH;
    case QAbstractSocket::AddressInUseError:
      return EADDRINUSE;
    case QAbstractSocket::UnsupportedSocketOperationError:
      return EOPNOTSUPP;
    default:
      return EIO;
  }
}

QString SmtpSettingsError(int port, int timeOut) {
  // Taken as they are, 68061 would become port 2525 and 0 would fail every
  // send before the server could answer.
  if (port < 1 || port > 65535) return QStringLiteral("The SMTP port %1 is not between 1 and 65535.").arg(port);
  if (timeOut < 1)
    return QStringLiteral("The SMTP time-out of %1 ms is too short: it must be 1 ms or more.").arg(timeOut);
  return {};
}

TSmtpClient::TSmtpClient(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &TSmtpClient::TimedOut);
}

TSmtpClient::~TSmtpClient() {
  if (socket_) {
    socket_->disconnect(this);
    socket_->abort();
  }
}

void TSmtpClient::SendMail() {
  if (Busy()) return;
  if (const QString error = SmtpSettingsError(Port, TimeOut); !error.isEmpty()) {
    emit Finished(false, error);
    return;
  }
  dialogue_ = std::make_unique<TSmtpDialogue>(UserID, PostMessage);
  pending_.clear();
  cancelled_ = false;
  socket_ = new QTcpSocket(this);
  connect(socket_, &QTcpSocket::connected, this, [this] {
    emit OnStatus(QStringLiteral("Connected to %1").arg(Host));
    timer_.start(TimeOut);
  });
  connect(socket_, &QTcpSocket::readyRead, this, &TSmtpClient::ReadReplies);
  connect(socket_, &QTcpSocket::errorOccurred, this, &TSmtpClient::SocketError);
  emit OnStatus(QStringLiteral("Connecting to %1").arg(Host));
  socket_->connectToHost(Host, static_cast<quint16>(Port));
  timer_.start(TimeOut);
}

void TSmtpClient::Cancel() {
  if (!Busy()) return;
  cancelled_ = true;
  dialogue_->ConnectionLost(QStringLiteral("Cancelled"));
  Finish(0);
}

void TSmtpClient::ReadReplies() {
  if (!socket_) return;
  pending_ += socket_->readAll();
  qsizetype end;
  while (socket_ && (end = pending_.indexOf('\n')) >= 0) {
    const QByteArray line = pending_.left(end + 1);
    pending_.remove(0, end + 1);
    const QString status = dialogue_->Status();
    const QByteArray reply = dialogue_->Feed(line);
    if (dialogue_->Status() != status) emit OnStatus(dialogue_->Status());
    if (!reply.isEmpty()) socket_->write(reply);
    timer_.start(TimeOut);
    if (dialogue_->Finished()) {
      Finish(0);
      return;
    }
  }
  if (socket_ && pending_.size() > kMaxReplyLine) {
    dialogue_->ConnectionLost(QStringLiteral("The mail server's reply is too long."));
    Finish(EPROTO);
  }
}

void TSmtpClient::SocketError(QAbstractSocket::SocketError error) {
  if (!socket_) return;
  // A server may close right after answering QUIT, or without answering it.
  if (dialogue_->Step() == TSmtpDialogue::TStep::Quit && error == QAbstractSocket::RemoteHostClosedError) {
    dialogue_->ConnectionLost(QString());
    Finish(0);
    return;
  }
  dialogue_->ConnectionLost(socket_->errorString());
  Finish(SocketErrorNumber(error));
}

void TSmtpClient::TimedOut() {
  if (!socket_) return;
  // No answer to QUIT: the outcome is already known.
  if (dialogue_->Step() == TSmtpDialogue::TStep::Quit) {
    dialogue_->ConnectionLost(QString());
    Finish(0);
    return;
  }
  dialogue_->ConnectionLost(QStringLiteral("The mail server did not answer in time."));
  Finish(ETIMEDOUT);
}

void TSmtpClient::Finish(int errorNumber) {
  timer_.stop();
  QTcpSocket* socket = socket_;
  socket_ = nullptr;
  socket->disconnect(this);
  socket->abort();
  socket->deleteLater();
  emit OnStatus(QStringLiteral("Disconnected"));

  const TSmtpDialogue dialogue = *dialogue_;
  if (dialogue.Outcome() == TSmtpDialogue::TOutcome::Sent) {
    if (ClearParams) PostMessage.Clear();
    emit OnSuccess();
    emit Finished(true, QString());
    return;
  }
  if (!cancelled_) {
    if (dialogue.Failure() == TSmtpDialogue::TFailure::GreetingRefused)
      emit OnAuthenticationFailed();
    else if (dialogue.Failure() != TSmtpDialogue::TFailure::NoRecipients)
      emit OnFailure(errorNumber);
  }
  emit Finished(false, dialogue.Error());
}

}  // namespace marlo::net
