// The project file reader, from bytes to a project or a refusal. An accepted file must give
// polygon lists the editor can rebuild, and saving what was read must give a file that reads
// back to the same bytes when saved again.
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
