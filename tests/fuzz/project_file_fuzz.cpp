// The project file reader, from bytes to a project or a refusal. An accepted file must give
// polygon lists the editor can rebuild, and saving what was read must give a file that reads
// back to the same bytes when saved again. The disparity tool's scan of the polygons read must
// stay within a small image's memory, whatever their coordinates, and agree with the polygons.
#include "core/fonctions/polygon_scan.h"
#include "core/polygon_list.h"
#include "fuzz_support.h"
#include "io/io_error.h"
#include "io/project_file.h"

namespace {

using plk::io::ProjectFileData;

// What a save of the project read would hold: the lists rebuilt as the editor holds them.
ProjectFileData asEdited(const ProjectFileData& read) {
  ProjectFileData data = read;
  for (plk::PolygonListRecord* side : {&data.left, &data.right}) {
    plk::fuzz::require(plk::isValid(*side), "a read side is consistent");
    plk::PolygonList list;
    list.rebuild(*side);
    *side = list.describe();
  }
  return data;
}

// Every polygon of a side as the disparity tool scans it over a 64 x 48 image, asked at cell
// centres over the image and a little beyond.
void scanPolygons(const plk::PolygonListRecord& side) {
  plk::PolygonList list;
  list.rebuild(side);
  for (const plk::PolygonShape& shape : plk::shapesOf(list)) {
    const plk::ShapeGrid grid(shape, 48, 64);
    for (int u = -3; u < 52; u += 2) {
      for (int v = -3; v < 68; v += 2) {
        plk::fuzz::require(grid.contains(u + 0.5, v + 0.5) == shape.contains(u + 0.5, v + 0.5),
                           "the scan grid answers as the polygon");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plk::fuzz::setUp();
  const QString name = QStringLiteral("fuzz.plk");
  ProjectFileData read;
  try {
    read = plk::io::parseProjectFile(plk::fuzz::bytesOf(data, size), name);
  } catch (const plk::io::IoError&) {
    return 0;
  }
  scanPolygons(asEdited(read).right);
  for (const plk::NumberFormat format : {plk::NumberFormat{'.'}, plk::NumberFormat{','}}) {
    const std::optional<QByteArray> saved = plk::io::projectFileBytes(asEdited(read), format);
    plk::fuzz::require(saved.has_value(), "what was read can be saved");
    ProjectFileData again;
    try {
      again = plk::io::parseProjectFile(*saved, name);
    } catch (const plk::io::IoError&) {
      plk::fuzz::require(false, "a saved project reads back");
    }
    plk::fuzz::require(plk::io::projectFileBytes(asEdited(again), format) == saved,
                       "a saved project reads back to the same file");
  }
  return 0;
}
