#include "net/web_wait_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace marlo::net {

TWebWaitWindow::TWebWaitWindow(const QString& text, const QFont& font, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Please Wait"));
  setFixedSize(240, 100);
  setCursor(Qt::WaitCursor);
  auto* layout = new QVBoxLayout(this);
  label_ = new QLabel(text, this);
  label_->setAlignment(Qt::AlignCenter);
  label_->setFont(font);
  layout->addWidget(label_);
}

QString TWebWaitWindow::Text() const { return label_->text(); }
void TWebWaitWindow::SetText(const QString& text) { label_->setText(text); }

TWebReadMeViewer::TWebReadMeViewer(const QString& text, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Read Me"));
  memo_ = new QPlainTextEdit(this);
  memo_->setReadOnly(true);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setPlainText(text);
  ok_ = new QPushButton(QStringLiteral("&Ok"), this);
  ok_->setFixedSize(68, 22);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  QRect area(0, 0, 800, 600);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) area = screen->geometry();
  const QSize size(area.width() * 4 / 5, area.height() * 4 / 5);
  resize(size);
  move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

QString TWebReadMeViewer::Text() const { return memo_->toPlainText(); }

void TWebReadMeViewer::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  memo_->setGeometry(10, 10, qMax(0, width() - 25), qMax(0, height() - 80));
  ok_->move((width() - ok_->width()) / 2, height() - 56);
}

}  // namespace marlo::net
