// TMRUFileList: the recent-files list of the File menu. Up to five paths,
// most recent first, no two equal ignoring case; kept in the settings store
// under "Marlo\MRU Items" as the values F0, F1, ...
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;

namespace marlo::ide {

class TRegIniPlus;

class TMRUFileList : public QObject {
  Q_OBJECT
 public:
  static constexpr int kMaxItems = 5;
  static constexpr int kCaptionWidth = 200;  // pixels of a path in the menu
  static inline const QString kSection = QStringLiteral("Marlo\\MRU Items");

  explicit TMRUFileList(QObject* parent = nullptr);

  const QStringList& Items() const { return items_; }
  // Puts `path` at the top; an entry equal ignoring case moves there.
  void Add(const QString& path);
  void Remove(const QString& path);
  void Clear();
  // Drops the entries whose files no longer exist.
  void RemoveObsolete();

  // Replaces the list with the store's values, in the order read.
  void Load(const TRegIniPlus& store);
  void Save(TRegIniPlus& store) const;

  // Shows the list in `fileMenu`: while it is not empty, a separator and the
  // submenu "&Reopen" stand where `reopenPlaceholder` (always disabled) is,
  // and the placeholder is hidden.
  void AttachTo(QMenu* fileMenu, QAction* reopenPlaceholder);
  QMenu* ReopenMenu() const { return reopen_; }

 signals:
  // An entry was chosen in the menu; it has been taken off the list.
  void fileChosen(const QString& path);

 private:
  void Changed();
  qsizetype IndexOf(const QString& path) const;

  QStringList items_;
  QMenu* reopen_ = nullptr;
  QAction* separator_ = nullptr;
  QAction* placeholder_ = nullptr;
  QAction* entriesEnd_ = nullptr;  // the separator before the commands
  QList<QAction*> entries_;
};

}  // namespace marlo::ide
