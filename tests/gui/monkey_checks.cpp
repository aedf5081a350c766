#include "monkey_checks.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QUndoStack>
#include <array>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include "io/io_error.h"
#include "io/project_file.h"
#include "shell/main.h"

namespace plk::test {

namespace {

using VertexSet = std::unordered_set<const Sommet*>;

QString general(double value) { return QString::fromStdString(formatGeneral(value, {})); }

QString vertexText(const Sommet& vertex) {
  return QStringLiteral("(%1, %2)").arg(general(vertex.U), general(vertex.V));
}

VertexSet ownedVertices(const PolygonList& polygons) {
  VertexSet owned;
  for (const VertexState& state : polygons.capture().vertices) owned.insert(state.vertex);
  return owned;
}

// Ownership first: the later checks read the vertices.
QString ownershipViolation(const PolygonList& polygons, const VertexSet& owned,
                           const VertexSet& otherImage, const QString& side) {
  VertexSet listed;
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    const QString polygon = QStringLiteral("polygon %1 of the %2 image").arg(k + 1).arg(side);
    if (polygons[k].sommets.empty()) return polygon + QStringLiteral(" is empty");
    for (const Sommet* vertex : polygons[k].sommets) {
      if (otherImage.contains(vertex)) {
        return polygon + QStringLiteral(" lists a vertex of the other image");
      }
      if (!owned.contains(vertex)) {
        return polygon + QStringLiteral(" lists a vertex that its image's list does not own");
      }
      listed.insert(vertex);
    }
  }
  if (listed.size() != owned.size()) {
    return QStringLiteral("the %1 image's list owns %2 vertices that no polygon lists")
        .arg(side)
        .arg(owned.size() - listed.size());
  }
  return {};
}

QString positionViolation(const PolygonList& polygons, const Project& project,
                          const QString& side) {
  const double width = project.imageWidth;
  const double height = project.imageHeight;
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    const std::vector<Sommet*>& sommets = polygons[k].sommets;
    const QString polygon = QStringLiteral("polygon %1 of the %2 image").arg(k + 1).arg(side);
    for (const Sommet* vertex : sommets) {
      const bool near = vertex->U >= -height && vertex->U <= 2 * height && vertex->V >= -width &&
                        vertex->V <= 2 * width;
      if (!near) {
        return polygon + QStringLiteral(" has the vertex %1, not finite or far off the image")
                             .arg(vertexText(*vertex));
      }
    }
  }
  return {};
}

QString windowViolation(const TFImage& window, const PolygonList& polygons, const VertexSet& owned,
                        EditMode mode, const QString& side) {
  const QString name = QStringLiteral("the %1 window").arg(side);
  const auto foreign = [&owned](const Sommet* vertex) {
    return vertex != nullptr && !owned.contains(vertex);
  };
  if (foreign(window.editor().hoveredVertex()) || foreign(window.editor().draggedVertex()) ||
      foreign(window.editor().lastVertex())) {
    return name + QStringLiteral(" refers to a vertex that its list does not own");
  }
  if (window.editor().draggedVertex() != nullptr) {
    return mode == EditMode::Move && window.editor().constructionState() == 1
               ? QString()
               : name + QStringLiteral(" drags a vertex outside a move");
  }
  if (window.editor().constructionState() != 1) return {};
  if (mode != EditMode::Add && mode != EditMode::Arrow) {
    return name + QStringLiteral(" keeps a polygon under construction in another mode");
  }
  const Polygone* last = polygons.empty() ? nullptr : &polygons[polygons.size() - 1];
  // A polygon of one element counts as closed: it is its own first and last vertex.
  if (window.editor().lastVertex() == nullptr || last == nullptr ||
      (last->sommets.size() > 1 && last->isClosed()) ||
      last->sommets.back() != window.editor().lastVertex()) {
    return name + QStringLiteral(
                      " draws a polygon that is not the list's last, open one ending "
                      "on its last vertex");
  }
  return {};
}

QString sideViolation(const TFMain& main, bool left) {
  const Project& project = *main.project();
  const PolygonList& polygons = left ? project.left.polygons : project.right.polygons;
  const PolygonList& others = left ? project.right.polygons : project.left.polygons;
  const QString side = left ? QStringLiteral("left") : QStringLiteral("right");
  const VertexSet owned = ownedVertices(polygons);
  QString found = ownershipViolation(polygons, owned, ownedVertices(others), side);
  if (found.isEmpty()) found = positionViolation(polygons, project, side);
  if (found.isEmpty()) {
    found = windowViolation(left ? *main.leftWindow() : *main.rightWindow(), polygons, owned,
                            main.editing().editMode, side);
  }
  return found;
}

// "%5.1f" by the C library's printf (ties of the binary value round to even: 66.25 gives 66.2),
// with the program's separator whatever the C library's locale writes.
QString fixed(double value, NumberFormat format) {
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%5.1f", value);
  const QLatin1Char separator(format.decimalSeparator);
  return QString::fromLatin1(text.data())
      .replace(QLatin1Char('.'), separator)
      .replace(QLatin1Char(','), separator);
}

void appendListing(QStringList& lines, const PolygonList& polygons, NumberFormat format) {
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    lines << QStringLiteral("    %1 (%2) : ")
                 .arg(k + 1)
                 .arg(polygons[k].locked ? QStringLiteral("bloqué") : QStringLiteral("libre"));
    QString vertices;
    for (const Sommet* vertex : polygons[k].sommets) {
      vertices +=
          QStringLiteral("(%1 %2) ").arg(fixed(vertex->U, format), fixed(vertex->V, format));
    }
    lines << vertices;
  }
}

QString expectedListing(const TFMain& main) {
  if (main.project() == nullptr) return {};
  QStringList lines{QStringLiteral("Image gauche :")};
  appendListing(lines, main.project()->left.polygons, main.numberFormat());
  lines << QStringLiteral(" ") << QStringLiteral("Image droite :");
  appendListing(lines, main.project()->right.polygons, main.numberFormat());
  return lines.join(QLatin1Char('\n'));
}

// A project just created or opened without polygons may still show the empty listing.
QString listingViolation(const TFMain& main) {
  const QString shown = main.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
  if (shown == expectedListing(main)) return {};
  const Project* project = main.project();
  if (shown.isEmpty() && project != nullptr && project->left.polygons.empty() &&
      project->right.polygons.empty()) {
    return {};
  }
  return QStringLiteral("the listing does not show the model:\n%1\ninstead of\n%2")
      .arg(shown, expectedListing(main));
}

// The description of what `data` gives once read into polygon lists.
QString rebuiltDescription(const io::ProjectFileData& data) {
  PolygonList left;
  PolygonList right;
  left.rebuild(data.left);
  right.rebuild(data.right);
  return describeText(left.describe()) + QLatin1Char('\n') + describeText(right.describe());
}

QString mismatch(const QString& what, const QString& expected, const QString& found) {
  return what + QStringLiteral(":\n%1\ninstead of\n%2").arg(found, expected);
}

}  // namespace

QString describeText(const PolygonListRecord& record) {
  QStringList vertices;
  for (const VertexRecord& vertex : record.vertices) {
    vertices << QStringLiteral("(%1 %2 %3 %4)")
                    .arg(general(vertex.U), general(vertex.V))
                    .arg(int{vertex.BordU})
                    .arg(int{vertex.BordV});
  }
  QStringList polygons;
  for (const std::vector<std::int32_t>& numbers : record.polygons) {
    QStringList elements;
    for (const std::int32_t n : numbers) elements << QString::number(n);
    polygons << QLatin1Char('[') + elements.join(QLatin1Char(' ')) + QLatin1Char(']');
  }
  return vertices.join(QLatin1Char(' ')) + QStringLiteral(" | ") + polygons.join(QLatin1Char(' '));
}

QString describeProject(const TFMain& main) {
  if (main.project() == nullptr) return {};
  return describeText(main.project()->left.polygons.describe()) + QLatin1Char('\n') +
         describeText(main.project()->right.polygons.describe());
}

QString describeProjectFile(const QString& file) {
  return rebuiltDescription(file.isEmpty() ? io::ProjectFileData{} : io::readProjectFile(file));
}

QString brokenInvariant(const TFMain& main) {
  if (main.project() == nullptr) {
    if (main.leftWindow() != nullptr || main.rightWindow() != nullptr) {
      return QStringLiteral("an image window outlives its project");
    }
    return listingViolation(main);
  }
  for (const bool left : {true, false}) {
    if (QString found = sideViolation(main, left); !found.isEmpty()) return found;
  }
  return listingViolation(main);
}

QString roundTripMismatch(const TFMain& main, const QString& file) {
  if (main.project() == nullptr) return {};
  io::ProjectFileData data;
  data.projectName = "singe";
  data.left = main.project()->left.polygons.describe();
  data.right = main.project()->right.polygons.describe();
  try {
    io::writeProjectFile(file, data, main.numberFormat());
    const QString readBack = rebuiltDescription(io::readProjectFile(file));
    if (readBack == describeProject(main)) return {};
    return mismatch(QStringLiteral("the project read back differs from the one written"),
                    describeProject(main), readBack);
  } catch (const io::IoError& error) {
    return QStringLiteral("the project could not be written and read back: ") +
           QString::fromUtf8(error.what());
  }
}

QString fileMismatch(const TFMain& main) {
  if (main.project() == nullptr || !main.session().history().undoStack().isClean() ||
      main.session().projectFileName().isEmpty()) {
    return {};
  }
  try {
    const QString inFile = rebuiltDescription(io::readProjectFile(main.session().projectFileName()));
    if (inFile == describeProject(main)) return {};
    return mismatch(QStringLiteral("a project without unsaved changes differs from its file"),
                    inFile, describeProject(main));
  } catch (const io::IoError& error) {
    return QStringLiteral("the file of a project without unsaved changes cannot be read: ") +
           QString::fromUtf8(error.what());
  }
}

}  // namespace plk::test
