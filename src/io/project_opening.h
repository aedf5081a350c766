#pragma once

#include <QString>
#include <memory>
#include <string>
#include <variant>

#include "core/project.h"
#include "core/report.h"

namespace plk::io {

// The file to read for an image path of a project: a relative path is taken from the project
// file's folder when the file is there, and from the running folder otherwise; an absolute path
// as written when that file exists, else a file of the same name beside the project file. When
// none of these exists the path is returned as written, so that loading it fails with the usual
// message.
[[nodiscard]] QString resolveImagePath(const QString& imagePath, const QString& projectFile);

// Whether an opened project gets its gradient matrices, which only the segmentation optimisation
// reads: 16 bytes per image pixel that a run without it need not hold.
enum class GradientMatrices { Computed, Omitted };

// Opens a project file as "Ouvrir projet..." does, without windows: the two images (found as
// resolveImagePath says, their paths kept as written; colour and 16-bit grey ones converted to
// 8-bit grey as greyPicture does), their checks with the same messages, the gradient matrices
// unless omitted and both polygon lists. Gives the project or the French message.
[[nodiscard]] std::variant<std::unique_ptr<Project>, std::string> openProjectFile(
    const QString& path, GradientMatrices gradients = GradientMatrices::Computed);

// The same, writing to `notes` one line for each image converted to 8-bit grey (image_io).
[[nodiscard]] std::variant<std::unique_ptr<Project>, std::string> openProjectFile(
    const QString& path, ReportSink& notes,
    GradientMatrices gradients = GradientMatrices::Computed);

}  // namespace plk::io
