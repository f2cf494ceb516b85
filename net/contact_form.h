// The feedback form of Help > Contact Author. It is created once and kept,
// so its fields hold their contents for a second attempt.
#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace marlo::net {

// The mail subject for a purpose index (0 feedback, 1 feature request, 2 bug
// report).
QString SubjectForPurpose(int index);

class TContactForm : public QDialog {
  Q_OBJECT

 public:
  explicit TContactForm(QWidget* parent = nullptr);

  QLineEdit* Edit1;  // the user's address
  QLineEdit* Edit2;  // the user's outgoing mail server
  QLineEdit* Edit3;  // the user's name
  QPlainTextEdit* Memo1;
  QGroupBox* RadioGroup1;
  QRadioButton* Purpose[3];
  QCheckBox* CheckBox1;
  QPushButton* OkButton;
  QPushButton* CancelButton;

  // The selected purpose, as for SubjectForPurpose.
  int ItemIndex() const;
  // Memo1's text as lines.
  QStringList Lines() const;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace marlo::net
