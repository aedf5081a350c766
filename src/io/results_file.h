#pragma once

#include <QString>
#include <optional>
#include <string>

#include "core/project.h"
#include "core/textformat.h"

// The tools' results kept beside a project file: "scene.plk.resultats" for "scene.plk". The
// project file itself is left as it is; the results file only adds to it.
namespace plk::io {

[[nodiscard]] QString resultsFilePath(const QString& projectPath);

// Writes the project's results beside `projectPath`, for its polygons as the project file just
// written with `format` gives them back. Gives the French report line of a failure; the project
// file is never touched.
[[nodiscard]] std::optional<std::string> writeResultsFile(const QString& projectPath,
                                                          const Project& project,
                                                          NumberFormat format);

// Puts the results kept beside `projectPath` into the project when they were written for its
// polygons as they are. Gives the French report line of results ignored (other polygons, a
// damaged or unknown file); a missing file is no news.
[[nodiscard]] std::optional<std::string> readResultsFile(const QString& projectPath,
                                                         Project& project);

}  // namespace plk::io
