// The source window's Find and Replace dialogs, laid out like the classic
// Windows ones. They stay open while the user works in the editor and only
// report the user's commands; the window runs them (source_search.h).
#pragma once

#include <QDialog>
#include <QString>

#include "ide/search_text.h"

class QCheckBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace marlo::ide {

// What both dialogs share: the search text, the options and Find Next.
class TSearchDialog : public QDialog {
  Q_OBJECT
 public:
  QString FindText() const;
  void SetFindText(const QString& text);
  TSearchOptions Options() const;
  void SetOptions(const TSearchOptions& options);
  // Shows the dialog, or brings it forward when it is open, with the search
  // text selected for typing over.
  void Execute();

  QLineEdit* FindEdit() const { return findEdit_; }
  QPushButton* FindNextButton() const { return findNext_; }
  QPushButton* CancelButton() const { return cancel_; }

 signals:
  void findNext(const QString& text, const marlo::ide::TSearchOptions& options);

 protected:
  // Builds row 0 of the grid: the search text and Find Next. The subclass
  // adds its rows, then the options with AddOptions, and calls UpdateButtons.
  TSearchDialog(const QString& title, QWidget* parent);
  QGridLayout* Grid() const { return grid_; }
  // The options in `row` of the grid, with Cancel beside them.
  void AddOptions(int row);
  // The command buttons are enabled while there is a search text.
  virtual void UpdateButtons();

 private:
  QGridLayout* grid_;
  QLineEdit* findEdit_;
  QCheckBox* wholeWord_;
  QCheckBox* matchCase_;
  QRadioButton* up_;
  QRadioButton* down_;
  QPushButton* findNext_;
  QPushButton* cancel_;
};

class TFindDialog : public TSearchDialog {
  Q_OBJECT
 public:
  explicit TFindDialog(QWidget* parent = nullptr);
};

class TReplaceDialog : public TSearchDialog {
  Q_OBJECT
 public:
  explicit TReplaceDialog(QWidget* parent = nullptr);

  QString ReplaceText() const;
  void SetReplaceText(const QString& text);

  QLineEdit* ReplaceEdit() const { return replaceEdit_; }
  QPushButton* ReplaceButton() const { return replace_; }
  QPushButton* ReplaceAllButton() const { return replaceAll_; }

 signals:
  void replace(const QString& text, const QString& replacement, const marlo::ide::TSearchOptions& options);
  void replaceAll(const QString& text, const QString& replacement, const marlo::ide::TSearchOptions& options);

 protected:
  void UpdateButtons() override;

 private:
  QLineEdit* replaceEdit_;
  QPushButton* replace_;
  QPushButton* replaceAll_;
};

}  // namespace marlo::ide
