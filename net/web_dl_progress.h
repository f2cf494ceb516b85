// The download-progress window of the update check.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace marlo::net {

class TWebDlProgress : public QDialog {
  Q_OBJECT
 public:
  explicit TWebDlProgress(const QString& text, QWidget* parent = nullptr);

  // One progress notification; ignored once Cancel was pressed. A total of
  // 0 or less (size not announced) shows the bytes so far and a busy bar.
  void SetProgress(qint64 received, qint64 total);
  bool Cancelled() const { return cancelled_; }
  QString CountText() const;
  int Position() const;
  bool Busy() const;
  QPushButton* CancelButton() const { return cancel_; }

 signals:
  void CancelRequested();
  // After each shown notification.
  void Progressed(qint64 received, qint64 total);

 public slots:
  void Cancel();
  // Esc counts as Cancel; the window closes when the request has ended.
  void reject() override { Cancel(); }

 private:
  QLabel* text_;
  QProgressBar* bar_;
  QLabel* count_;
  QPushButton* cancel_;
  bool cancelled_ = false;
};

}  // namespace marlo::net
