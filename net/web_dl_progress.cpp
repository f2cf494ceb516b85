#include "net/web_dl_progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "net/product_page.h"

namespace marlo::net {

TWebDlProgress::TWebDlProgress(const QString& text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Download Progress"));
  setFixedSize(272, 123);
  setCursor(Qt::WaitCursor);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(text, this);
  text_->setAlignment(Qt::AlignCenter);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  count_ = new QLabel(this);
  count_->setAlignment(Qt::AlignCenter);
  cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  cancel_->setCursor(Qt::ArrowCursor);
  layout->addWidget(text_);
  layout->addWidget(bar_);
  layout->addWidget(count_);
  layout->addWidget(cancel_, 0, Qt::AlignHCenter);
  connect(cancel_, &QPushButton::clicked, this, &TWebDlProgress::Cancel);
}

void TWebDlProgress::SetProgress(qint64 received, qint64 total) {
  if (cancelled_) return;
  count_->setText(ProgressText(received, total));
  if (total <= 0) {
    bar_->setRange(0, 0);
  } else {
    if (bar_->maximum() == 0) bar_->setRange(0, 100);
    const int position = static_cast<int>(qMin<qint64>(100, qMax<qint64>(0, received) * 100 / total));
    if (position > bar_->value()) bar_->setValue(position);
  }
  emit Progressed(received, total);
}

QString TWebDlProgress::CountText() const { return count_->text(); }
int TWebDlProgress::Position() const { return bar_->value(); }
bool TWebDlProgress::Busy() const { return bar_->maximum() == 0; }

void TWebDlProgress::Cancel() {
  if (cancelled_) return;
  cancelled_ = true;
  emit CancelRequested();
}

}  // namespace marlo::net
