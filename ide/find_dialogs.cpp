#include "ide/find_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace marlo::ide {
namespace {

constexpr int kEditWidth = 220;  // pixels of the text boxes

QLineEdit* AddTextRow(QGridLayout* grid, int row, const QString& caption, QPushButton* button) {
  auto* edit = new QLineEdit;
  edit->setMinimumWidth(kEditWidth);
  auto* label = new QLabel(caption);
  label->setBuddy(edit);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  grid->addWidget(button, row, 2);
  return edit;
}

}  // namespace

TSearchDialog::TSearchDialog(const QString& title, QWidget* parent)
    : QDialog(parent),
      grid_(new QGridLayout(this)),
      wholeWord_(new QCheckBox(QStringLiteral("Match &whole word only"))),
      matchCase_(new QCheckBox(QStringLiteral("Match &case"))),
      up_(new QRadioButton(QStringLiteral("&Up"))),
      down_(new QRadioButton(QStringLiteral("&Down"))),
      findNext_(new QPushButton(QStringLiteral("&Find Next"))),
      cancel_(new QPushButton(QStringLiteral("Cancel"))) {
  setWindowTitle(title);
  setModal(false);
  grid_->setSizeConstraint(QLayout::SetFixedSize);
  findEdit_ = AddTextRow(grid_, 0, QStringLiteral("Fi&nd what:"), findNext_);
  findNext_->setDefault(true);
  down_->setChecked(true);

  connect(findEdit_, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
  connect(findNext_, &QPushButton::clicked, this, [this] { emit findNext(FindText(), Options()); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void TSearchDialog::AddOptions(int row) {
  auto* checks = new QVBoxLayout;
  checks->addStretch();
  checks->addWidget(wholeWord_);
  checks->addWidget(matchCase_);

  auto* direction = new QGroupBox(QStringLiteral("Direction"));
  auto* directions = new QHBoxLayout(direction);
  directions->addWidget(up_);
  directions->addWidget(down_);

  auto* options = new QHBoxLayout;
  options->addLayout(checks);
  options->addStretch();
  options->addWidget(direction);
  grid_->addLayout(options, row, 0, 1, 2);
  grid_->addWidget(cancel_, row, 2, Qt::AlignTop);
}

void TSearchDialog::UpdateButtons() { findNext_->setEnabled(!FindText().isEmpty()); }

QString TSearchDialog::FindText() const { return findEdit_->text(); }

void TSearchDialog::SetFindText(const QString& text) { findEdit_->setText(text); }

TSearchOptions TSearchDialog::Options() const {
  return {down_->isChecked(), matchCase_->isChecked(), wholeWord_->isChecked()};
}

void TSearchDialog::SetOptions(const TSearchOptions& options) {
  (options.down ? down_ : up_)->setChecked(true);
  matchCase_->setChecked(options.matchCase);
  wholeWord_->setChecked(options.wholeWord);
}

void TSearchDialog::Execute() {
  show();
  raise();
  activateWindow();
  findEdit_->setFocus();
  findEdit_->selectAll();
}

TFindDialog::TFindDialog(QWidget* parent) : TSearchDialog(QStringLiteral("Find"), parent) {
  AddOptions(1);
  UpdateButtons();
}

TReplaceDialog::TReplaceDialog(QWidget* parent)
    : TSearchDialog(QStringLiteral("Replace"), parent),
      replace_(new QPushButton(QStringLiteral("&Replace"))),
      replaceAll_(new QPushButton(QStringLiteral("Replace &All"))) {
  replaceEdit_ = AddTextRow(Grid(), 1, QStringLiteral("Re&place with:"), replace_);
  Grid()->addWidget(replaceAll_, 2, 2);
  AddOptions(3);
  UpdateButtons();

  connect(replace_, &QPushButton::clicked, this, [this] { emit replace(FindText(), ReplaceText(), Options()); });
  connect(replaceAll_, &QPushButton::clicked, this, [this] { emit replaceAll(FindText(), ReplaceText(), Options()); });
}

QString TReplaceDialog::ReplaceText() const { return replaceEdit_->text(); }

void TReplaceDialog::SetReplaceText(const QString& text) { replaceEdit_->setText(text); }

void TReplaceDialog::UpdateButtons() {
  TSearchDialog::UpdateButtons();
  replace_->setEnabled(!FindText().isEmpty());
  replaceAll_->setEnabled(!FindText().isEmpty());
}

}  // namespace marlo::ide
