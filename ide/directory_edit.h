// TDirectoryEdit: a line edit with a folder-browse button at its right, as in
// the settings dialogs. The text is kept as typed or chosen; nothing adds a
// trailing separator.
#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;

namespace marlo::ide {

class TDirectoryEdit : public QWidget {
  Q_OBJECT

 public:
  explicit TDirectoryEdit(QWidget* parent = nullptr);

  QString text() const;
  void setText(const QString& text);
  QLineEdit* lineEdit() const { return edit_; }

 private:
  void Browse();

  QLineEdit* edit_;
};

}  // namespace marlo::ide
