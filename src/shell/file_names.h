#pragma once

#include <QString>

namespace plk {

// Asked before a project or report file is replaced.
inline const QString kOverwriteQuestion =
    QStringLiteral("Ce fichier de projet existe déjà. Voulez-vous le remplacer ?");

// The chosen name with the extension appended unless it already appears anywhere in the name
// (case-sensitive): "scene" gives "scene.plk", "my.plk.old" stays as it is.
[[nodiscard]] inline QString withExtension(const QString& chosen, const QString& extension) {
  return chosen.contains(extension) ? chosen : chosen + extension;
}

}  // namespace plk
