#include "core/listing.h"

#include <algorithm>

namespace plk {

namespace {

std::size_t polygonCount(const PolygonList* polygons) {
  return polygons == nullptr ? 0 : polygons->size();
}

std::string headerText(std::size_t k, bool locked, const std::string& note) {
  return "    " + std::to_string(k + 1) + (locked ? " (bloqué) : " : " (libre) : ") + note;
}

const std::string kNoNote;

// The one edit that turns `before` into `after`: the lines between their common beginning and
// their common end; none when they are equal.
std::vector<ListingEdit> differingMiddle(const std::vector<std::string>& before,
                                         const std::vector<std::string>& after) {
  const std::size_t shorter = std::min(before.size(), after.size());
  std::size_t prefix = 0;
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < shorter - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  if (prefix == before.size() && prefix == after.size()) return {};
  return {{prefix, before.size() - prefix - suffix, prefix, after.size() - prefix - suffix}};
}

}  // namespace

ListingChange PolygonListing::update(const PolygonList* left, const PolygonList* right,
                                     const std::vector<std::string>& leftNotes) {
  const Sides sides{left, right};
  notes_ = leftNotes;
  if (lines_.empty()) {
    shown_ = {};
    (void)updateResized(sides);
    return {true, {}};
  }
  const bool sameCounts =
      polygonCount(left) == shown_[0].size() && polygonCount(right) == shown_[1].size();
  return {false, sameCounts ? updateInPlace(sides) : updateResized(sides)};
}

void PolygonListing::reset() {
  lines_.clear();
  shown_ = {};
}

const std::string& PolygonListing::noteOf(std::size_t side, std::size_t k) const {
  return side == 0 && k < notes_.size() ? notes_[k] : kNoNote;
}

bool PolygonListing::stillShows(const Shown& shown, const Polygone& polygon,
                                const std::string& note) {
  if (shown.locked != polygon.locked || shown.coordinates.size() != 2 * polygon.sommets.size() ||
      shown.note != note) {
    return false;
  }
  for (std::size_t i = 0; i < polygon.sommets.size(); ++i) {
    if (shown.coordinates[2 * i] != polygon.sommets[i]->U ||
        shown.coordinates[2 * i + 1] != polygon.sommets[i]->V) {
      return false;
    }
  }
  return true;
}

PolygonListing::Shown PolygonListing::shownOf(const Polygone& polygon, const std::string& note) {
  Shown shown{polygon.locked, {}, note};
  shown.coordinates.reserve(2 * polygon.sommets.size());
  for (const Sommet* vertex : polygon.sommets) {
    shown.coordinates.push_back(vertex->U);
    shown.coordinates.push_back(vertex->V);
  }
  return shown;
}

std::string PolygonListing::vertexLine(const Polygone& polygon) const {
  std::string line;
  for (const Sommet* vertex : polygon.sommets) {
    line += "(" + formatFixed(vertex->U, 5, 1, format_) + " " +
            formatFixed(vertex->V, 5, 1, format_) + ") ";
  }
  return line;
}

// "Image gauche :" comes first, and the right polygons follow " " and "Image droite :".
std::size_t PolygonListing::headerLine(std::size_t side, std::size_t k) const {
  return side == 0 ? 1 + 2 * k : 1 + 2 * shown_[0].size() + 2 + 2 * k;
}

// Same polygon counts: only the lines of the polygons that changed are formatted and compared.
std::vector<ListingEdit> PolygonListing::updateInPlace(const Sides& sides) {
  std::vector<ListingEdit> edits;
  for (std::size_t side = 0; side < sides.size(); ++side) {
    for (std::size_t k = 0; k < shown_[side].size(); ++k) {
      const Polygone& polygon = (*sides[side])[k];
      const std::string& note = noteOf(side, k);
      if (stillShows(shown_[side][k], polygon, note)) continue;
      const std::size_t header = headerLine(side, k);
      replaceLine(header, headerText(k, polygon.locked, note), edits);
      replaceLine(header + 1, vertexLine(polygon), edits);
      shown_[side][k] = shownOf(polygon, note);
    }
  }
  std::reverse(edits.begin(), edits.end());
  return edits;
}

void PolygonListing::replaceLine(std::size_t line, std::string text,
                                 std::vector<ListingEdit>& edits) {
  if (lines_[line] == text) return;
  lines_[line] = std::move(text);
  edits.push_back({line, 1, line, 1});
}

// Polygons were added or removed: the lines are rebuilt, taking those of every polygon that
// still shows the same at the same position, and the one differing stretch is reported.
std::vector<ListingEdit> PolygonListing::updateResized(const Sides& sides) {
  std::vector<std::string> next{"Image gauche :"};
  std::array<std::vector<Shown>, 2> nextShown;
  for (std::size_t side = 0; side < sides.size(); ++side) {
    if (side == 1) next.insert(next.end(), {" ", "Image droite :"});
    for (std::size_t k = 0; k < polygonCount(sides[side]); ++k) {
      const Polygone& polygon = (*sides[side])[k];
      const std::string& note = noteOf(side, k);
      if (k < shown_[side].size() && stillShows(shown_[side][k], polygon, note)) {
        const std::size_t header = headerLine(side, k);
        next.push_back(lines_[header]);
        next.push_back(lines_[header + 1]);
        nextShown[side].push_back(std::move(shown_[side][k]));
      } else {
        next.push_back(headerText(k, polygon.locked, note));
        next.push_back(vertexLine(polygon));
        nextShown[side].push_back(shownOf(polygon, note));
      }
    }
  }
  std::vector<ListingEdit> edits = differingMiddle(lines_, next);
  lines_ = std::move(next);
  shown_ = std::move(nextShown);
  return edits;
}

}  // namespace plk
