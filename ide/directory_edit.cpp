#include "ide/directory_edit.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace marlo::ide {

TDirectoryEdit::TDirectoryEdit(QWidget* parent) : QWidget(parent), edit_(new QLineEdit(this)) {
  auto* button = new QToolButton(this);
  button->setObjectName(QStringLiteral("BrowseButton"));
  button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  button->setToolTip(tr("Browse"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(edit_);
  layout->addWidget(button);
  setFocusProxy(edit_);
  connect(button, &QToolButton::clicked, this, &TDirectoryEdit::Browse);
}

QString TDirectoryEdit::text() const { return edit_->text(); }

void TDirectoryEdit::setText(const QString& text) { edit_->setText(text); }

void TDirectoryEdit::Browse() {
  const QString chosen = QFileDialog::getExistingDirectory(this, QString(), QDir::fromNativeSeparators(text()));
  if (!chosen.isEmpty()) setText(QDir::toNativeSeparators(chosen));
}

}  // namespace marlo::ide
