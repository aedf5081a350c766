#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/polygon_list.h"
#include "core/textformat.h"

namespace plk {

// One change of the listing's lines: the `removed` lines from `first` on are replaced by the
// `inserted` lines that start at `newFirst` in the new lines.
struct ListingEdit {
  std::size_t first = 0;
  std::size_t removed = 0;
  std::size_t newFirst = 0;
  std::size_t inserted = 0;

  friend bool operator==(const ListingEdit&, const ListingEdit&) = default;
};

// What an update changed: the whole text (the first listing after a reset), or these edits in
// decreasing order of `first`, so that applying them in turn leaves the lines before each one as
// they were. No edit when nothing changed.
struct ListingChange {
  bool whole = false;
  std::vector<ListingEdit> edits;
};

// The listing of both images' polygons, as lines: "Image gauche :"; per left polygon a header
// "    k (libre) : " or "    k (bloqué) : " and a vertex line "(U V) " per element ("%5.1f"
// each); " "; "Image droite :"; the same for the right polygons. It keeps what each polygon
// showed, so that an update formats again only the polygons that changed and reports only the
// lines that differ: a listing of tens of thousands of vertices follows an edit quickly.
class PolygonListing {
 public:
  explicit PolygonListing(NumberFormat format) : format_(format) {}

  // Brings the lines up to date with both lists (null when no project is open). `leftNotes`,
  // when it has an entry for a left polygon, is written after its header (the verdict on its
  // estimate).
  ListingChange update(const PolygonList* left, const PolygonList* right,
                       const std::vector<std::string>& leftNotes = {});
  [[nodiscard]] const std::vector<std::string>& lines() const { return lines_; }
  // Forgets the lines: the next update gives the whole text.
  void reset();

 private:
  // What a polygon's two lines depend on.
  struct Shown {
    bool locked = false;
    std::vector<double> coordinates;  // U and V of each element in turn
    std::string note;
  };
  using Sides = std::array<const PolygonList*, 2>;

  [[nodiscard]] static bool stillShows(const Shown& shown, const Polygone& polygon,
                                       const std::string& note);
  [[nodiscard]] static Shown shownOf(const Polygone& polygon, const std::string& note);
  [[nodiscard]] const std::string& noteOf(std::size_t side, std::size_t k) const;
  [[nodiscard]] std::string vertexLine(const Polygone& polygon) const;
  [[nodiscard]] std::size_t headerLine(std::size_t side, std::size_t k) const;
  [[nodiscard]] std::vector<ListingEdit> updateInPlace(const Sides& sides);
  [[nodiscard]] std::vector<ListingEdit> updateResized(const Sides& sides);
  void replaceLine(std::size_t line, std::string text, std::vector<ListingEdit>& edits);

  NumberFormat format_;
  std::vector<std::string> notes_;  // of the update under way, left polygons
  std::vector<std::string> lines_;
  std::array<std::vector<Shown>, 2> shown_;
};

}  // namespace plk
