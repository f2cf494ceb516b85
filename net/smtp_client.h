// The mail component: TSmtpDialogue carried over a QTcpSocket. Everything is
// signal-driven (no waitFor* calls), so the GUI stays responsive and Cancel
// works at any point.
#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QTimer>
#include <memory>

#include "net/smtp_dialogue.h"

class QTcpSocket;

namespace marlo::net {

// The platform's error number for a socket error (errno values), as shown
// in "Transmission failed, ws err no:".
int SocketErrorNumber(QAbstractSocket::SocketError error);

// Why a port or time-out cannot be used (a port outside 1 to 65535, a
// time-out below 1 ms); empty when both can.
QString SmtpSettingsError(int port, int timeOut);

class TSmtpClient : public QObject {
  Q_OBJECT

 public:
  explicit TSmtpClient(QObject* parent = nullptr);
  ~TSmtpClient() override;

  QString Host;
  int Port = 25;
  QString UserID;
  int TimeOut = 2000;  // milliseconds allowed for the connection and each reply
  bool ClearParams = true;
  TMailMessage PostMessage;

  // Connects, sends PostMessage and disconnects; the outcome arrives through
  // the signals, ending with Finished (at once when Port or TimeOut cannot be
  // used). Ignored while a send is running.
  void SendMail();
  // Stops a running send; Finished reports the cancellation.
  void Cancel();
  bool Busy() const { return socket_ != nullptr; }

 signals:
  void OnStatus(const QString& text);
  void OnFailure(int socketErrorNumber);
  void OnSuccess();
  void OnAuthenticationFailed();
  // `ok` false: `error` says why (a server reply line, a socket error text,
  // "Cancelled").
  void Finished(bool ok, const QString& error);

 private:
  void ReadReplies();
  void SocketError(QAbstractSocket::SocketError error);
  void TimedOut();
  void Finish(int errorNumber);

  QTcpSocket* socket_ = nullptr;
  std::unique_ptr<TSmtpDialogue> dialogue_;
  QByteArray pending_;
  QTimer timer_;
  bool cancelled_ = false;
};

}  // namespace marlo::net
