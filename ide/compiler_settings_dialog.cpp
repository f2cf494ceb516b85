#include "ide/compiler_settings_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <climits>
#include <cmath>
#include <stdexcept>

#include "compiler/compile_text.h"
#include "driver/source_file.h"
#include "ide/directory_edit.h"
#include "ide/include_dirs_dialog.h"
#include "ide/reg_ini_plus.h"
#include "ide/settings.h"
#include "ui/message_box.h"

namespace marlo::ide {

namespace {

// Numbers are shown in general format with up to 15 significant digits and
// "." as the decimal point; texts that do not convert raise the conversion
// error's text.
QString FloatToText(double value) { return QString::number(value, 'g', 15); }

double TextToFloat(const QString& text) {
  // Digits with an optional point and exponent; no "inf", "nan" or hex.
  static const QRegularExpression number(QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$)"));
  bool ok = false;
  const double value = number.match(text).hasMatch() ? text.trimmed().toDouble(&ok) : 0.0;
  if (!ok || !std::isfinite(value))
    throw std::invalid_argument(QStringLiteral("'%1' is not a valid floating point value").arg(text).toStdString());
  return value;
}

// A scale the compiler takes, else an error naming the dialog's field.
double TextToScale(const QString& text, const QString& field) {
  const double value = TextToFloat(text);
  if (!core::IsValidLiteralScale(value))
    throw std::invalid_argument(
        QStringLiteral("%1 needs a scale above 0 and at most 1e9, got '%2'").arg(field, text).toStdString());
  return value;
}

int TextToInteger(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if (!ok) throw std::invalid_argument(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
  return value;
}

const QString kAngularLabel = QStringLiteral("Angular constant <X>");
const QString kLinearLabel = QStringLiteral("Linear constant [X]");

template <typename Control>
Control* Named(Control* control, const char* name) {
  control->setObjectName(QString::fromLatin1(name));
  return control;
}

QPushButton* Button(const QString& text, const char* name) {
  auto* button = Named(new QPushButton(text), name);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TCompilerSettings::TCompilerSettings(TRegIniPlus& store, QWidget* parent)
    : QDialog(parent),
      store_(store),
      comboEdit1_(Named(new QLineEdit, "ComboEdit1")),
      directoryEdit1_(Named(new TDirectoryEdit, "DirectoryEdit1")),
      edit1_(Named(new QLineEdit, "Edit1")),
      edit2_(Named(new QLineEdit, "Edit2")),
      edit3_(Named(new QLineEdit, "Edit3")),
      checkListBox1_(Named(new QListWidget, "CheckListBox1")),
      spinEdit1_(Named(new QSpinBox, "SpinEdit1")) {
  setWindowTitle(QStringLiteral("Compiler Settings"));

  auto* ellipsis = Named(new QToolButton, "ComboEdit1Button");
  ellipsis->setText(QStringLiteral("..."));
  auto* includeRow = new QHBoxLayout;
  includeRow->setSpacing(2);
  includeRow->addWidget(comboEdit1_);
  includeRow->addWidget(ellipsis);

  auto* directories = new QWidget;
  auto* directoriesLayout = new QFormLayout(directories);
  directoriesLayout->addRow(QStringLiteral("Include directories"), includeRow);
  directoriesLayout->addRow(QStringLiteral("Output directory"), directoryEdit1_);

  auto* constants = new QWidget;
  auto* constantsLayout = new QFormLayout(constants);
  constantsLayout->addRow(kAngularLabel, edit1_);
  constantsLayout->addRow(kLinearLabel, edit2_);
  constantsLayout->addRow(QStringLiteral("Max recursive depth"), edit3_);

  for (const Setting<bool>& check : settings::kDialogChecks) {
    auto* item = new QListWidgetItem(QString::fromUtf8(check.name), checkListBox1_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  }
  // As marloc's --tab-width: any value up to its limit.
  spinEdit1_->setRange(INT_MIN, core::kMaxTabWidth);
  auto* misc = new QWidget;
  auto* miscLayout = new QFormLayout(misc);
  miscLayout->addRow(checkListBox1_);
  miscLayout->addRow(QStringLiteral("Tab width"), spinEdit1_);

  auto* pages = Named(new QTabWidget, "PageControl1");
  pages->addTab(directories, QStringLiteral("Directories"));
  pages->addTab(constants, QStringLiteral("Constants"));
  pages->addTab(misc, QStringLiteral("Misc"));

  QPushButton* ok = Button(QStringLiteral("&Ok"), "OkButton");
  QPushButton* cancel = Button(QStringLiteral("&Cancel"), "CancelButton");
  ok->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages);
  layout->addLayout(buttons);

  connect(ellipsis, &QToolButton::clicked, this, &TCompilerSettings::EditIncludeDirs);
  connect(ok, &QPushButton::clicked, this, &TCompilerSettings::Ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  Fill();
}

void TCompilerSettings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* where = screen()) move(where->availableGeometry().center() - rect().center());
}

void TCompilerSettings::Fill() {
  using namespace settings;
  edit1_->setText(FloatToText(Read(store_, kDialogAngular)));
  edit2_->setText(FloatToText(Read(store_, kDialogLinear)));
  edit3_->setText(QString::number(Read(store_, kDialogRecurse)));
  directoryEdit1_->setText(Read(store_, kDialogOutputDir));
  comboEdit1_->setText(Read(store_, kDialogIncludeDirs));
  spinEdit1_->setValue(Read(store_, kDialogTabWidth));
  for (int i = 0; i < checkListBox1_->count(); ++i)
    checkListBox1_->item(i)->setCheckState(Read(store_, kDialogChecks[i]) ? Qt::Checked : Qt::Unchecked);
}

// The order matters: a field that fails leaves the ones before it stored.
void TCompilerSettings::StoreSettings() {
  using namespace settings;
  Write(store_, kDialogAngular, TextToScale(edit1_->text(), kAngularLabel));
  Write(store_, kDialogLinear, TextToScale(edit2_->text(), kLinearLabel));
  Write(store_, kRecurse, TextToInteger(edit3_->text()));  // shown from "Recurse", stored as "recurse"
  Write(store_, kDialogOutputDir, directoryEdit1_->text());
  Write(store_, kDialogIncludeDirs, comboEdit1_->text());
  Write(store_, kDialogTabWidth, spinEdit1_->value());
  for (int i = 0; i < checkListBox1_->count(); ++i)
    Write(store_, kDialogChecks[i], checkListBox1_->item(i)->checkState() == Qt::Checked);
}

void TCompilerSettings::Ok() {
  try {
    StoreSettings();
  } catch (const std::exception& error) {  // a conversion or a store that cannot be written
    ShowError(this, QString::fromStdString(error.what()));
  }
  accept();  // OK even after an error: what was stored stays stored
}

void TCompilerSettings::EditIncludeDirs() {
  TForm10 dialog(this);
  dialog.SetDirs(comboEdit1_->text());
  if (dialog.exec() == QDialog::Accepted) comboEdit1_->setText(dialog.GetDirs());
}

}  // namespace marlo::ide
