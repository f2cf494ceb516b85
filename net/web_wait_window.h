// The small windows of the update check besides the progress window: the
// "Please Wait" window shown while a page is fetched, and the read-me viewer.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace marlo::net {

class TWebWaitWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TWebWaitWindow(const QString& text, const QFont& font, QWidget* parent = nullptr);
  QString Text() const;
  void SetText(const QString& text);

 signals:
  void CancelRequested();

 public slots:
  // Esc gives up the request; the window closes when it has ended.
  void reject() override { emit CancelRequested(); }

 private:
  QLabel* label_;
};

class TWebReadMeViewer : public QDialog {
  Q_OBJECT
 public:
  explicit TWebReadMeViewer(const QString& text, QWidget* parent = nullptr);
  QString Text() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPlainTextEdit* memo_;
  QPushButton* ok_;
};

}  // namespace marlo::net
