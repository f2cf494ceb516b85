#include "ide/message_window.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QVBoxLayout>

#include "ide/message_lines.h"
#include "ide/source_window.h"
#include "ui/message_box.h"

namespace marlo::ide {

TMessageList::TMessageList(QObject* parent) : QObject(parent) {}

void TMessageList::Add(const std::string& line) { Append(QString::fromStdString(line)); }

void TMessageList::Append(const QString& line) {
  const int row = model_.rowCount();
  model_.insertRows(row, 1);
  model_.setData(model_.index(row), line);
  emit lineAdded(row);
}

TMessageWindow::TMessageWindow(TMessageList& list, QMdiArea& area, QWidget* parent)
    : QWidget(parent), list_(list), area_(area), listBox_(new QListView(this)) {
  setWindowTitle(QStringLiteral("Messages"));
  setObjectName(QStringLiteral("MessageWindow"));
  listBox_->setObjectName(QStringLiteral("ListBox1"));
  listBox_->setModel(list.Model());
  listBox_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listBox_->setSelectionMode(QAbstractItemView::SingleSelection);
  listBox_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(listBox_);

  connect(listBox_, &QListView::doubleClicked, this, &TMessageWindow::GotoError);
  connect(listBox_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1()->popup(listBox_->viewport()->mapToGlobal(at)); });
  // New lines come into view as they arrive.
  connect(&list, &TMessageList::lineAdded, listBox_,
          [this](int row) { listBox_->scrollTo(list_.Model()->index(row)); });
}

int TMessageWindow::SelectedRow() const {
  const QModelIndexList selected = listBox_->selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.first().row();
}

void TMessageWindow::SelectRow(int row) { listBox_->setCurrentIndex(list_.Model()->index(row)); }

QMenu* TMessageWindow::PopupMenu1() {
  if (!popup_) {
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("PopupMenu1"));
    popup_->addAction(QStringLiteral("Goto error"), this, &TMessageWindow::GotoError);
    popup_->addAction(QStringLiteral("Go to source line"), this, &TMessageWindow::GotoSourceLine);
    popup_->addSeparator();
    popup_->addAction(QStringLiteral("Clear list"), this, &TMessageWindow::ClearList);
    popup_->addAction(QStringLiteral("Delete line"), this, &TMessageWindow::DeleteLine);
  }
  const QList<QAction*> items = popup_->actions();
  const int row = SelectedRow();
  const bool selected = row >= 0;
  items[0]->setEnabled(selected && IsErrorLine(list_.Lines().value(row)));
  items[1]->setEnabled(selected && IsErrorLine(list_.Lines().value(row)));
  items[3]->setEnabled(selected);
  return popup_;
}

void TMessageWindow::GotoSourceLine() {
  const int row = SelectedRow();
  const QStringList lines = list_.Lines();
  if (row < 0 || !IsErrorLine(lines.value(row))) return;
  const QString path = CompiledFileAbove(lines, row);
  const TErrorPosition position = ParseErrorPosition(lines[row]);
  if (!position.ok) return;
  const QString message = lines[row].mid(lines[row].indexOf(QLatin1Char(']')) + 2);
  for (QMdiSubWindow* child : area_.subWindowList(QMdiArea::CreationOrder)) {
    auto* source = qobject_cast<TSourceWindow*>(child->widget());
    if (!source || child->windowTitle().compare(path, Qt::CaseInsensitive) != 0) continue;
    // Queued, as for Goto error: the window preprocesses and may open another.
    QMetaObject::invokeMethod(
        source,
        [window = QPointer<TSourceWindow>(source), col = position.col, line = position.line, message] {
          if (window) window->GotoSourceLine(col, line, message);
        },
        Qt::QueuedConnection);
    return;
  }
}

void TMessageWindow::GotoError() {
  const int row = SelectedRow();
  const QStringList lines = list_.Lines();
  if (row < 0 || !IsErrorLine(lines.value(row))) return;
  const QString path = CompiledFileAbove(lines, row);
  const TErrorPosition position = ParseErrorPosition(lines[row]);
  if (!position.ok) {
    ShowError(this, position.error);
    return;
  }
  // In the order the windows were created; every other window on the way
  // is named in a box, the message window among them.
  for (QMdiSubWindow* child : area_.subWindowList(QMdiArea::CreationOrder)) {
    if (child->windowTitle().compare(path, Qt::CaseInsensitive) == 0) {
      // Queued: going there may preprocess and run events, which may close
      // this window while its list's handler is still on the stack.
      if (auto* source = qobject_cast<TSourceWindow*>(child->widget())) {
        QMetaObject::invokeMethod(
            source,
            [window = QPointer<TSourceWindow>(source), col = position.col, line = position.line] {
              if (window) window->GotoPosition(col, line);
            },
            Qt::QueuedConnection);
      }
      return;
    }
    ShowInformation(this, QStringLiteral("%1 is not \r\n%2").arg(child->windowTitle(), path));
  }
}

void TMessageWindow::ClearList() { list_.Model()->removeRows(0, list_.Model()->rowCount()); }

void TMessageWindow::DeleteLine() {
  const int row = SelectedRow();
  if (row >= 0) list_.Model()->removeRows(row, 1);
}

}  // namespace marlo::ide
