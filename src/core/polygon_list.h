#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/polygone.h"
#include "core/sommet.h"

namespace plk {

// Plain description of a polygon list with vertices numbered in order of first use: the form in
// which a project file stores one image's polygons.
struct VertexRecord {
  double U = 0.0;
  double V = 0.0;
  bool BordU = false;
  bool BordV = false;

  friend bool operator==(const VertexRecord&, const VertexRecord&) = default;
};

struct PolygonListRecord {
  std::vector<VertexRecord> vertices;
  std::vector<std::vector<std::int32_t>> polygons;  // vertex numbers of each polygon's elements
};

// The content of a polygon list with vertex identities: what an undo step restores, so that a
// vertex shared by several polygons comes back as the one object it was.
struct VertexState {
  Sommet* vertex = nullptr;
  VertexRecord record;

  friend bool operator==(const VertexState&, const VertexState&) = default;
};

struct PolygonState {
  std::vector<Sommet*> sommets;
  double value = 0.0;
  bool locked = false;

  friend bool operator==(const PolygonState&, const PolygonState&) = default;
};

struct PolygonListState {
  std::vector<VertexState> vertices;  // in the list's order
  std::vector<PolygonState> polygons;

  friend bool operator==(const PolygonListState&, const PolygonListState&) = default;
};

// The polygons of one image, in creation order, and the vertices they share. The list owns both;
// polygons refer to vertices by pointer, so sharing and closure are identity.
class PolygonList {
 public:
  PolygonList() = default;
  PolygonList(const PolygonList&) = delete;
  PolygonList& operator=(const PolygonList&) = delete;
  PolygonList(PolygonList&&) = default;
  PolygonList& operator=(PolygonList&&) = default;

  [[nodiscard]] std::size_t size() const { return polygons_.size(); }
  [[nodiscard]] bool empty() const { return polygons_.empty(); }
  [[nodiscard]] Polygone& operator[](std::size_t k) { return *polygons_[k]; }
  [[nodiscard]] const Polygone& operator[](std::size_t k) const { return *polygons_[k]; }
  [[nodiscard]] Polygone& back() { return *polygons_.back(); }
  [[nodiscard]] std::size_t vertexCount() const { return vertices_.size(); }

  // A new vertex owned by the list, referenced by no polygon yet.
  Sommet* createVertex(double u, double v, bool bordU = false, bool bordV = false);
  // A new empty polygon appended at the end of the list.
  Polygone& appendPolygon();
  // Removes every occurrence of the vertex from every polygon, then the polygons left without
  // elements, keeping the order of the others. The vertex goes to the caller, which may keep
  // it for an undo or let it be destroyed.
  std::unique_ptr<Sommet> deleteVertex(Sommet* vertex);
  // Destroys every polygon and vertex.
  void clear();

  // Numbers the vertices in order of first use (setting their `index`) and describes the list.
  [[nodiscard]] PolygonListRecord describe() const;
  [[nodiscard]] PolygonListState capture() const;
  // Makes the list exactly as captured. Vertices the state does not name move from the list into
  // `spare`; those it names are taken from the list or from `spare`, where they must be.
  void restore(const PolygonListState& state, VertexStore& spare);

  // Replaces the content by the described polygons; a vertex number recurring in the record
  // becomes the same vertex object. The record must be valid (see isValid).
  void rebuild(const PolygonListRecord& record);

 private:
  std::vector<std::unique_ptr<Sommet>> vertices_;
  std::vector<std::unique_ptr<Polygone>> polygons_;
};

// Every vertex number of the record names one of its vertices.
[[nodiscard]] bool isValid(const PolygonListRecord& record);

}  // namespace plk
