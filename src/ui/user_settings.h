#pragma once

#include <QSettings>

namespace plk {

// The user's settings of the program (recent projects, window places), in an INI file.
[[nodiscard]] inline QSettings userSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("PLK"),
                   QStringLiteral("PLK"));
}

}  // namespace plk
