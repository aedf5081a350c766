#include "shell/recent_projects.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>

#include "ui/user_settings.h"

namespace plk {

namespace {

const QString kRecentProjectsKey = QStringLiteral("projetsRecents");
constexpr int kRecentProjectCount = 4;

}  // namespace

RecentProjects::RecentProjects(QMenu& fileMenu, std::function<void(const QString&)> open)
    : QObject(&fileMenu),
      menu_(fileMenu.addMenu(QStringLiteral("Projets récents"))),
      open_(std::move(open)) {
  menu_->setObjectName(QStringLiteral("Projetsrecents1"));
  fillMenu();
}

QStringList RecentProjects::paths() const {
  return userSettings().value(kRecentProjectsKey).toStringList();
}

void RecentProjects::remember(const QString& path) {
  QStringList list = paths();
  list.removeAll(path);
  list.prepend(path);
  while (list.size() > kRecentProjectCount) list.removeLast();
  store(list);
}

void RecentProjects::forget(const QString& path) {
  QStringList list = paths();
  list.removeAll(path);
  store(list);
}

void RecentProjects::store(const QStringList& list) {
  userSettings().setValue(kRecentProjectsKey, list);
  fillMenu();
}

// One item per remembered project, "&1 path" for the most recent.
void RecentProjects::fillMenu() {
  menu_->clear();
  const QStringList list = paths();
  for (int i = 0; i < list.size(); ++i) {
    const QString path = list[i];
    QAction* item =
        menu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)));
    item->setObjectName(QStringLiteral("Projetrecent%1").arg(i + 1));
    connect(item, &QAction::triggered, this, [this, path] { open_(path); });
  }
  menu_->menuAction()->setEnabled(!list.isEmpty());
}

}  // namespace plk
