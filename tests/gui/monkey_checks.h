#pragma once

#include <QString>

#include "core/polygon_list.h"

namespace plk {
class TFMain;
}

namespace plk::test {

// What a project file keeps of a polygon list, as text: vertices numbered in order of first use
// with their coordinates to 15 significant digits, and each polygon's vertex numbers.
[[nodiscard]] QString describeText(const PolygonListRecord& record);
// Both images' descriptions; empty when no project is open.
[[nodiscard]] QString describeProject(const TFMain& main);
// The same for the polygons of a project file, or of a project without polygons when `file` is
// empty.
[[nodiscard]] QString describeProjectFile(const QString& file);

// The invariants of the model and its windows after any user event, each check saying what it
// found broken (an empty text when everything holds):
// - every vertex a polygon lists is owned by its image's list, and every owned vertex is listed;
// - no polygon is empty, and every vertex is finite and within one image size of the image;
// - the vertices an image window refers to (hovered, dragged, last of the polygon under
//   construction) are its list's, and a polygon under construction is the list's last, open,
//   ending on that last vertex;
// - the listing shows the model (closed polygons with their first vertex again at the end).
// Closure and sharing are vertex identity; the save-and-load comparisons below check that they
// survive the file.
[[nodiscard]] QString brokenInvariant(const TFMain& main);

// The project written to `file` and read back has the same description.
[[nodiscard]] QString roundTripMismatch(const TFMain& main, const QString& file);

// A project without unsaved changes has the polygons of the file it was saved to or opened from.
[[nodiscard]] QString fileMismatch(const TFMain& main);

}  // namespace plk::test
