// TMessageWindow: the "Messages" child window. It shows the message list
// into which every source window's compiler writes, and takes the user
// from an error line to its place in the preprocessed text.
//
// The list (TMessageList) belongs to the main window and lives as long as
// the program; the window is only a view of it. Closing the window
// therefore loses nothing: compiles go on writing into the list, and the
// next window created shows everything.
#pragma once

#include <QListView>
#include <QStringListModel>
#include <QWidget>
#include <string>

#include "base/hooks.h"

class QMdiArea;
class QMenu;

namespace marlo::ide {

class TMessageList : public QObject, public core::IMessageList {
  Q_OBJECT
 public:
  explicit TMessageList(QObject* parent = nullptr);
  void Add(const std::string& line) override;
  void Append(const QString& line);
  QStringList Lines() const { return model_.stringList(); }
  QStringListModel* Model() { return &model_; }

 signals:
  void lineAdded(int row);

 private:
  QStringListModel model_;
};

class TMessageWindow : public QWidget {
  Q_OBJECT
 public:
  TMessageWindow(TMessageList& list, QMdiArea& area, QWidget* parent = nullptr);

  QListView* ListBox1() const { return listBox_; }
  // The selected line's row, or -1.
  int SelectedRow() const;
  void SelectRow(int row);

  // Builds the context menu as it shows when opened now.
  QMenu* PopupMenu1();

 public slots:
  void GotoError();
  // The same line's place in the files the author has open: the file (a
  // header too) opens, or comes to the front, at that line and column.
  void GotoSourceLine();
  void ClearList();
  void DeleteLine();

 private:
  TMessageList& list_;
  QMdiArea& area_;
  QListView* listBox_;
  QMenu* popup_ = nullptr;
};

}  // namespace marlo::ide
