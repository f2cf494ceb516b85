#include "ide/include_dirs_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "ide/directory_edit.h"

namespace marlo::ide {

namespace {

QPushButton* AddButton(QBoxLayout* layout, const QString& text, const QString& name) {
  auto* button = new QPushButton(text);
  button->setObjectName(name);
  button->setAutoDefault(false);
  layout->addWidget(button);
  return button;
}

QToolButton* ArrowButton(Qt::ArrowType arrow, const QString& name) {
  auto* button = new QToolButton;
  button->setObjectName(name);
  button->setArrowType(arrow);
  return button;
}

}  // namespace

TForm10::TForm10(QWidget* parent) : QDialog(parent), listBox1_(new QListWidget), directoryEdit1_(new TDirectoryEdit) {
  setWindowTitle(QStringLiteral("Include directories"));
  listBox1_->setObjectName(QStringLiteral("ListBox1"));
  directoryEdit1_->setObjectName(QStringLiteral("DirectoryEdit1"));

  auto* up = ArrowButton(Qt::UpArrow, QStringLiteral("UpButton"));
  auto* down = ArrowButton(Qt::DownArrow, QStringLiteral("DownButton"));
  auto* arrows = new QVBoxLayout;
  arrows->addStretch();
  arrows->addWidget(up);
  arrows->addWidget(down);
  arrows->addStretch();

  auto* commands = new QHBoxLayout;
  QPushButton* replace = AddButton(commands, QStringLiteral("Replace"), QStringLiteral("ReplaceButton"));
  QPushButton* add = AddButton(commands, QStringLiteral("Add"), QStringLiteral("AddButton"));
  QPushButton* remove = AddButton(commands, QStringLiteral("Remove"), QStringLiteral("RemoveButton"));
  commands->addStretch();
  QPushButton* ok = AddButton(commands, QStringLiteral("&Ok"), QStringLiteral("OkButton"));
  QPushButton* cancel = AddButton(commands, QStringLiteral("&Cancel"), QStringLiteral("CancelButton"));
  ok->setDefault(true);

  auto* layout = new QGridLayout(this);
  layout->addWidget(listBox1_, 0, 0);
  layout->addLayout(arrows, 0, 1);
  layout->addWidget(directoryEdit1_, 1, 0);
  layout->addLayout(commands, 2, 0, 1, 2);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog frame
  listBox1_->setMinimumSize(360, 200);

  connect(listBox1_, &QListWidget::itemClicked, this, &TForm10::ShowSelected);
  connect(listBox1_, &QListWidget::currentRowChanged, this, &TForm10::ShowSelected);
  connect(replace, &QPushButton::clicked, this, &TForm10::Replace);
  connect(add, &QPushButton::clicked, this, &TForm10::Add);
  connect(remove, &QPushButton::clicked, this, &TForm10::Remove);
  connect(up, &QToolButton::clicked, this, [this] { Move(-1); });
  connect(down, &QToolButton::clicked, this, [this] { Move(1); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm10::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* where = screen()) move(where->availableGeometry().center() - rect().center());
}

void TForm10::SetDirs(const QString& dirs) {
  // A final ";" only ends the last entry: ";" is one empty entry, while an
  // empty text is no entry at all.
  QStringList entries;
  if (!dirs.isEmpty()) {
    entries = dirs.split(u';');
    if (dirs.endsWith(u';')) entries.removeLast();
  }

  const QSignalBlocker blocker(listBox1_);
  listBox1_->clear();
  listBox1_->addItems(entries);
  listBox1_->setCurrentRow(entries.isEmpty() ? -1 : 0);
  directoryEdit1_->setText(entries.value(0));
}

QString TForm10::GetDirs() const {
  QStringList entries;
  for (int i = 0; i < listBox1_->count(); ++i) entries.append(listBox1_->item(i)->text());
  return entries.join(u';');
}

void TForm10::ShowSelected() {
  if (const QListWidgetItem* item = listBox1_->currentItem()) directoryEdit1_->setText(item->text());
}

void TForm10::Replace() {
  if (QListWidgetItem* item = listBox1_->currentItem()) item->setText(directoryEdit1_->text());
}

void TForm10::Add() {
  const QSignalBlocker blocker(listBox1_);
  const int selected = listBox1_->currentRow();
  listBox1_->addItem(directoryEdit1_->text());
  listBox1_->setCurrentRow(selected);
}

void TForm10::Remove() {
  const int selected = listBox1_->currentRow();
  if (selected < 0) return;
  const QSignalBlocker blocker(listBox1_);
  delete listBox1_->takeItem(selected);
  listBox1_->setCurrentRow(-1);
}

void TForm10::Move(int step) {
  const int selected = listBox1_->currentRow();
  const int other = selected + step;
  if (selected < 0 || other < 0 || other >= listBox1_->count()) return;
  const QSignalBlocker blocker(listBox1_);
  QListWidgetItem* item = listBox1_->takeItem(selected);
  listBox1_->insertItem(other, item);
  listBox1_->setCurrentRow(other);
}

}  // namespace marlo::ide
