#include "ide/recent_files.h"

#include <QAction>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>

#include "ide/reg_ini_plus.h"

namespace marlo::ide {

TMRUFileList::TMRUFileList(QObject* parent) : QObject(parent) {}

qsizetype TMRUFileList::IndexOf(const QString& path) const {
  for (qsizetype i = 0; i < items_.size(); ++i)
    if (items_[i].compare(path, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

void TMRUFileList::Add(const QString& path) {
  if (path.isEmpty()) return;
  if (const qsizetype at = IndexOf(path); at >= 0) items_.removeAt(at);
  items_.prepend(path);
  while (items_.size() > kMaxItems) items_.removeLast();
  Changed();
}

void TMRUFileList::Remove(const QString& path) {
  if (const qsizetype at = IndexOf(path); at >= 0) {
    items_.removeAt(at);
    Changed();
  }
}

void TMRUFileList::Clear() {
  items_.clear();
  Changed();
}

void TMRUFileList::RemoveObsolete() {
  items_.removeIf([](const QString& path) { return !QFileInfo::exists(path); });
  Changed();
}

void TMRUFileList::Load(const TRegIniPlus& store) {
  items_.clear();
  for (const QString& name : store.ReadSection(kSection)) {
    const QString path = store.ReadString(kSection, name, QString());
    if (!path.isEmpty() && IndexOf(path) < 0 && items_.size() < kMaxItems) items_.append(path);
  }
  Changed();
}

void TMRUFileList::Save(TRegIniPlus& store) const {
  store.EraseSection(kSection);
  for (qsizetype i = 0; i < items_.size(); ++i) store.WriteString(kSection, QStringLiteral("F%1").arg(i), items_[i]);
}

void TMRUFileList::AttachTo(QMenu* fileMenu, QAction* reopenPlaceholder) {
  placeholder_ = reopenPlaceholder;
  placeholder_->setEnabled(false);
  reopen_ = new QMenu(tr("&Reopen"), fileMenu);
  separator_ = fileMenu->insertSeparator(placeholder_);
  fileMenu->insertMenu(placeholder_, reopen_);
  entriesEnd_ = reopen_->addSeparator();
  connect(reopen_->addAction(tr("&Clear MRU List")), &QAction::triggered, this, &TMRUFileList::Clear);
  connect(reopen_->addAction(tr("&Remove Obsolete")), &QAction::triggered, this, &TMRUFileList::RemoveObsolete);
  Changed();
}

void TMRUFileList::Changed() {
  if (!reopen_) return;
  // The chosen entry's action may be the one being triggered: let it go
  // later instead of now.
  for (QAction* entry : std::as_const(entries_)) {
    reopen_->removeAction(entry);
    entry->deleteLater();
  }
  entries_.clear();
  const QFontMetrics metrics(reopen_->font());
  for (qsizetype i = 0; i < items_.size(); ++i) {
    const QString shown = metrics.elidedText(items_[i], Qt::ElideMiddle, kCaptionWidth);
    // A '&' of the path is shown as itself, not taken for a mnemonic.
    auto* entry = new QAction(
        QStringLiteral("&%1 %2").arg(QString::number(i + 1), QString(shown).replace(u'&', QStringLiteral("&&"))),
        reopen_);
    entry->setStatusTip(items_[i]);
    connect(entry, &QAction::triggered, this, [this, path = items_[i]] {
      Remove(path);
      emit fileChosen(path);
    });
    reopen_->insertAction(entriesEnd_, entry);
    entries_.append(entry);
  }
  const bool shown = !items_.isEmpty();
  separator_->setVisible(shown);
  reopen_->menuAction()->setVisible(shown);
  placeholder_->setVisible(!shown);
}

}  // namespace marlo::ide
