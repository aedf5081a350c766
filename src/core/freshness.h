#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/project.h"

// Whether the tool results of a polygon still belong to it. Each run records, per polygon it
// computes, a fingerprint of what its results were computed from; a later tool compares it with
// the polygons as they are now and refuses results of a polygon that has changed since.
namespace plk {

// What a polygon's results depend on. The detection reads the left outlines up to the polygon's
// own (an earlier polygon takes the pixels it shares with a later one); the matching, the
// estimation from its matches and the disparities also read the right outlines up to the
// polygon's number. Vertex positions and the closing of each outline count; the locks do not.
enum class ResultInputs { LeftOutlines, BothOutlines };

// The fingerprint of every left polygon position, for the given inputs.
[[nodiscard]] std::vector<std::uint64_t> polygonFingerprints(const Project& project,
                                                             ResultInputs inputs);

// Records the current fingerprints of the unlocked left polygons in `recorded`, resized to the
// number of left polygons; locked polygons keep what they had, as their results do.
void recordFingerprints(std::vector<std::uint64_t>& recorded, const Project& project,
                        ResultInputs inputs);

// Numbers (from 1) of the unlocked left polygons, up to `count`, whose results were computed
// from other polygons than the current ones. Positions past the recorded ones (polygons added
// since the run) have no results to be out of date: the tools find nothing there.
[[nodiscard]] std::vector<std::size_t> outOfDatePolygons(const std::vector<std::uint64_t>& recorded,
                                                         const Project& project,
                                                         ResultInputs inputs, std::size_t count);

// One fingerprint of every outline of both images, whole lists: the polygons a set of saved
// results belongs to.
[[nodiscard]] std::uint64_t polygonListsFingerprint(const Project& project);

// The recorded fingerprints of `results` that `saved` gives as current, replaced by those that
// `reread` gives at the same positions; the others are kept. Saving the polygons may round their
// coordinates: results current for the polygons saved stay current for the polygons read back.
[[nodiscard]] ToolResults withFingerprintsOf(const ToolResults& results, const Project& saved,
                                             const Project& reread);

// "Les <what> ne correspondent plus au polygone 2 : relancez <tool>." with "aux polygones 2, 4
// et 5" for several; `what` and `tool` as the sentence takes them.
[[nodiscard]] std::string outOfDateMessage(const std::string& what,
                                           const std::vector<std::size_t>& numbers,
                                           const std::string& tool);

}  // namespace plk
