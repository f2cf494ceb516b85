// TForm10, the Include directories dialog: edits the ";"-separated list of
// the "Include dirs" setting one entry at a time. Nothing is stored here; the
// Compiler Settings dialog takes the joined text back.
#pragma once

#include <QDialog>
#include <QString>

class QListWidget;

namespace marlo::ide {

class TDirectoryEdit;

class TForm10 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm10(QWidget* parent = nullptr);

  // Splits `dirs` at each ";" (empty parts are empty entries), selects the
  // first entry and puts it into the directory edit.
  void SetDirs(const QString& dirs);
  // The entries joined with ";".
  QString GetDirs() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowSelected();
  void Replace();
  void Add();
  void Remove();
  // Exchanges the selected entry with its neighbour `step` rows away.
  void Move(int step);

  QListWidget* listBox1_;
  TDirectoryEdit* directoryEdit1_;
};

}  // namespace marlo::ide
