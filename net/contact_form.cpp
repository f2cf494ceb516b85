#include "net/contact_form.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace marlo::net {

QString SubjectForPurpose(int index) {
  switch (index) {
    case 1:
      return QStringLiteral("Feature request");
    case 2:
      return QStringLiteral("Bug report");
    default:
      return QStringLiteral("Product feedback");
  }
}

TContactForm::TContactForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ContactForm"));

  Edit1 = new QLineEdit(this);
  Edit2 = new QLineEdit(this);
  Edit3 = new QLineEdit(this);
  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("Your email address"), Edit1);
  fields->addRow(QStringLiteral("Your outgoing mail server"), Edit2);
  fields->addRow(QStringLiteral("Your name"), Edit3);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  RadioGroup1 = new QGroupBox(QStringLiteral("Purpose"), this);
  auto* purposes = new QVBoxLayout(RadioGroup1);
  const QString captions[3] = {QStringLiteral("Feedback"), QStringLiteral("Feature request"),
                               QStringLiteral("Bug report")};
  for (int i = 0; i < 3; ++i) {
    Purpose[i] = new QRadioButton(captions[i], RadioGroup1);
    purposes->addWidget(Purpose[i]);
  }
  Purpose[0]->setChecked(true);

  CheckBox1 = new QCheckBox(QStringLiteral("Send me a copy"), this);
  OkButton = new QPushButton(QStringLiteral("OK"), this);
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  OkButton->setDefault(true);
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  auto* options = new QHBoxLayout;
  options->addWidget(RadioGroup1);
  auto* checkAndButtons = new QVBoxLayout;
  checkAndButtons->addWidget(CheckBox1);
  checkAndButtons->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OkButton);
  buttons->addWidget(CancelButton);
  checkAndButtons->addLayout(buttons);
  options->addLayout(checkAndButtons, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(Memo1, 1);
  layout->addLayout(options);
  resize(460, 400);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  Memo1->setMinimumSize(420, 200);

  setTabOrder(Edit1, Edit2);
  setTabOrder(Edit2, Edit3);
  setTabOrder(Edit3, Memo1);
  setTabOrder(Memo1, Purpose[0]);
  setTabOrder(Purpose[0], CheckBox1);
  setTabOrder(CheckBox1, OkButton);
  setTabOrder(OkButton, CancelButton);
}

void TContactForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* shown = screen()) move(shown->availableGeometry().center() - rect().center());
}

int TContactForm::ItemIndex() const {
  for (int i = 0; i < 3; ++i)
    if (Purpose[i]->isChecked()) return i;
  return 0;
}

QStringList TContactForm::Lines() const {
  const QString text = Memo1->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

}  // namespace marlo::net
