#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

#include "core/polygon_list.h"
#include "core/textformat.h"

namespace plk::io {

// What a project file holds: identity, image paths and both images' polygons.
struct ProjectFileData {
  std::string projectName = "sans nom";
  std::string leftImagePath;
  std::string rightImagePath;
  PolygonListRecord left;
  PolygonListRecord right;
};

// Writes the INI project file through a temporary file renamed into place, in ISO-8859-1 when
// every character fits and in UTF-8 otherwise; reals use the given separator. Throws
// IoError("Unable to write to " + path) and leaves any previous file intact.
void writeProjectFile(const QString& path, const ProjectFileData& data, NumberFormat format);

// The bytes writeProjectFile writes; nothing when the text cannot be built.
[[nodiscard]] std::optional<QByteArray> projectFileBytes(const ProjectFileData& data,
                                                         NumberFormat format);

// Reads a project file, as UTF-8 when it is valid UTF-8 and as ISO-8859-1 otherwise; missing
// keys take their defaults and reals are read with either separator; a missing file reads as
// defaults. Throws IoError("Le fichier de projet est invalide : " + path) when the path is not
// a regular file or holds more than 64 MB, when a vertex number lies outside its side's table,
// a count does not match the keys present, or a vertex coordinate is missing, not a number,
// not finite or beyond a billion pixels.
[[nodiscard]] ProjectFileData readProjectFile(const QString& path);

// The same from the file's bytes; `path` names it in the message.
[[nodiscard]] ProjectFileData parseProjectFile(const QByteArray& bytes, const QString& path);

}  // namespace plk::io
