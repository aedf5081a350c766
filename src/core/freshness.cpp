#include "core/freshness.h"

#include <algorithm>
#include <bit>

namespace plk {

namespace {

// One step of a 64-bit mixing hash (the finaliser of splitmix64 over the running value).
std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
  std::uint64_t z = hash ^ (value + 0x9E3779B97F4A7C15ULL + (hash << 6U) + (hash >> 2U));
  z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31U);
}

std::uint64_t outlineHash(std::uint64_t hash, const Polygone& polygon) {
  hash = mix(hash, polygon.sommets.size());
  for (const Sommet* vertex : polygon.sommets) {
    hash = mix(hash, std::bit_cast<std::uint64_t>(vertex->U));
    hash = mix(hash, std::bit_cast<std::uint64_t>(vertex->V));
  }
  return mix(hash, polygon.isClosed() ? 1U : 0U);
}

// Per position, the hash of the outlines of the list up to that position; past the end of the
// list, the hash of the whole list followed by the position.
std::vector<std::uint64_t> runningHashes(const PolygonList& polygons, std::size_t count) {
  std::vector<std::uint64_t> hashes(count);
  std::uint64_t hash = 0;
  for (std::size_t p = 0; p < count; ++p) {
    hash = p < polygons.size() ? outlineHash(hash, polygons[p]) : mix(hash, p);
    hashes[p] = hash;
  }
  return hashes;
}

bool isUnlocked(const Project& project, std::size_t p) { return !project.left.polygons[p].locked; }

std::uint64_t wholeListHash(const PolygonList& polygons) {
  const std::vector<std::uint64_t> hashes = runningHashes(polygons, polygons.size());
  return mix(hashes.empty() ? 0 : hashes.back(), polygons.size());
}

void rebase(std::vector<std::uint64_t>& recorded, const Project& saved, const Project& reread,
            ResultInputs inputs) {
  const std::vector<std::uint64_t> before = polygonFingerprints(saved, inputs);
  const std::vector<std::uint64_t> after = polygonFingerprints(reread, inputs);
  for (std::size_t p = 0; p < std::min({recorded.size(), before.size(), after.size()}); ++p) {
    if (recorded[p] == before[p]) recorded[p] = after[p];
  }
}

}  // namespace

std::vector<std::uint64_t> polygonFingerprints(const Project& project, ResultInputs inputs) {
  const std::size_t count = project.left.polygons.size();
  std::vector<std::uint64_t> fingerprints = runningHashes(project.left.polygons, count);
  if (inputs == ResultInputs::BothOutlines) {
    const std::vector<std::uint64_t> right = runningHashes(project.right.polygons, count);
    for (std::size_t p = 0; p < count; ++p) fingerprints[p] = mix(fingerprints[p], right[p]);
  }
  return fingerprints;
}

void recordFingerprints(std::vector<std::uint64_t>& recorded, const Project& project,
                        ResultInputs inputs) {
  const std::vector<std::uint64_t> current = polygonFingerprints(project, inputs);
  recorded.resize(current.size());
  for (std::size_t p = 0; p < current.size(); ++p) {
    if (isUnlocked(project, p)) recorded[p] = current[p];
  }
}

std::vector<std::size_t> outOfDatePolygons(const std::vector<std::uint64_t>& recorded,
                                           const Project& project, ResultInputs inputs,
                                           std::size_t count) {
  const std::vector<std::uint64_t> current = polygonFingerprints(project, inputs);
  std::vector<std::size_t> numbers;
  for (std::size_t p = 0; p < std::min({count, current.size(), recorded.size()}); ++p) {
    if (isUnlocked(project, p) && recorded[p] != current[p]) {
      numbers.push_back(p + 1);
    }
  }
  return numbers;
}

std::uint64_t polygonListsFingerprint(const Project& project) {
  return mix(wholeListHash(project.left.polygons), wholeListHash(project.right.polygons));
}

ToolResults withFingerprintsOf(const ToolResults& results, const Project& saved,
                               const Project& reread) {
  ToolResults rebased = results;
  rebase(rebased.detectedFrom, saved, reread, ResultInputs::LeftOutlines);
  rebase(rebased.matchedFrom, saved, reread, ResultInputs::BothOutlines);
  rebase(rebased.estimatedFrom, saved, reread, ResultInputs::BothOutlines);
  return rebased;
}

std::string outOfDateMessage(const std::string& what, const std::vector<std::size_t>& numbers,
                             const std::string& tool) {
  std::string list;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) list += i + 1 == numbers.size() ? " et " : ", ";
    list += std::to_string(numbers[i]);
  }
  const std::string polygons = numbers.size() == 1 ? "au polygone " : "aux polygones ";
  return "Les " + what + " ne correspondent plus " + polygons + list + " : relancez " + tool + ".";
}

}  // namespace plk
