#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QMenu;

namespace plk {

// The "Projets récents" submenu and the list behind it, kept in the user's settings: the last
// projects opened or saved, most recent first.
class RecentProjects final : public QObject {
 public:
  // Adds the submenu to `fileMenu`; choosing an item calls `open` with its path.
  RecentProjects(QMenu& fileMenu, std::function<void(const QString&)> open);

  [[nodiscard]] QStringList paths() const;
  void remember(const QString& path);
  void forget(const QString& path);

 private:
  void store(const QStringList& paths);
  void fillMenu();

  QMenu* menu_ = nullptr;
  std::function<void(const QString&)> open_;
};

}  // namespace plk
