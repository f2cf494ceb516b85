// TCompilerSettings, the Compiler Settings dialog: shows the settings of the
// section "Marlo" with the dialog's own defaults and stores them on "&Ok".
// A field that does not convert to a number stops the storing there: what
// came before it stays stored, the error is shown in the program's error box,
// and the dialog still closes with OK.
#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;
class QSpinBox;

namespace marlo::ide {

class TDirectoryEdit;
class TRegIniPlus;

class TCompilerSettings : public QDialog {
  Q_OBJECT

 public:
  // Fills the controls from `store`, which must outlive the dialog.
  explicit TCompilerSettings(TRegIniPlus& store, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Fill();
  void Ok();
  void StoreSettings();
  void EditIncludeDirs();

  TRegIniPlus& store_;
  QLineEdit* comboEdit1_;
  TDirectoryEdit* directoryEdit1_;
  QLineEdit* edit1_;
  QLineEdit* edit2_;
  QLineEdit* edit3_;
  QListWidget* checkListBox1_;
  QSpinBox* spinEdit1_;
};

}  // namespace marlo::ide
