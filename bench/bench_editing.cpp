// Editing a project of 60 000 vertices (15 000 closed quadrilaterals on a 3000 x 2000 pair, a
// project file of about 5 MB) in the desktop program, at zoom 1 in a 738 x 738 view showing some
// 1400 of the polygons: one click of the Add tool, and one step of a vertex drag. Each event is
// timed with the event loop turn that follows it (the listing and the repaint). The reference
// does what every event once cost: the whole listing rewritten and every polygon drawn, on each
// press and pointer move.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/editing.h"
#include "core/project.h"
#include "io/project_file.h"
#include "shell/main.h"
#include "shell/shell.h"
#include "ui/prompts.h"
#include "views/image.h"
#include "views/image_host.h"

namespace {

constexpr int kWidth = 3000;
constexpr int kHeight = 2000;
constexpr int kCell = 20;  // one quadrilateral per 20 x 20 cell, its corners 2 pixels in
constexpr int kInset = 2;
constexpr int kCrossArm = 6;
const plk::NumberFormat kFormat{','};

// Never destroyed: the toolkit's input devices do not survive being torn down among the
// program's static objects.
QApplication& application() {
  static int argc = 1;
  static char name[] = "bench_editing";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* instance = new QApplication(argc, argv);
  return *instance;
}

// No box may open during a measurement: a question is declined, an error ends the run.
class SilentPrompts final : public plk::Prompts {
 public:
  void showError(QWidget*, const QString& text) override {
    std::fprintf(stderr, "unexpected error box: %s\n", qPrintable(text));
    std::abort();
  }
  plk::Answer askYesNo(QWidget*, const QString&) override { return plk::Answer::No; }
  plk::Answer askToKeep(QWidget*, const QString&) override { return plk::Answer::No; }
  plk::Answer askYesNoCancel(QWidget*, const QString&) override { return plk::Answer::No; }
  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  QString saveFileName(QWidget*, const QString&, const QString&, const QString&,
                       const QString&) override {
    return {};
  }
  QString folderName(QWidget*, const QString&, const QString&) override { return {}; }
};

// The left Tsukuba image scaled to 3000 x 2000, kept 8-bit grey.
QString largeImage(const QTemporaryDir& folder, const QString& name) {
  const QImage source(QStringLiteral(PLK_TESTDATA_DIR "/middlebury2001/tsukuba/left.bmp"));
  const QImage scaled = source.convertToFormat(QImage::Format_Grayscale8).scaled(kWidth, kHeight);
  const QString path = folder.filePath(name);
  scaled.convertToFormat(QImage::Format_Indexed8).save(path, "BMP");
  return path;
}

plk::PolygonListRecord quadrilateralGrid() {
  plk::PolygonListRecord record;
  for (int r = 0; r < kHeight / kCell; ++r) {
    for (int c = 0; c < kWidth / kCell; ++c) {
      const double top = r * kCell + kInset;
      const double left = c * kCell + kInset;
      const double bottom = top + kCell - 2 * kInset - 1;
      const double right = left + kCell - 2 * kInset - 1;
      const auto first = static_cast<std::int32_t>(record.vertices.size());
      for (const auto& [u, v] :
           {std::pair{top, left}, {top, right}, {bottom, right}, {bottom, left}}) {
        record.vertices.push_back({u, v, false, false});
      }
      record.polygons.push_back({first, first + 1, first + 2, first + 3, first});
    }
  }
  return record;
}

QString writeProject(const QTemporaryDir& folder) {
  plk::io::ProjectFileData data;
  data.projectName = "grille";
  data.leftImagePath = largeImage(folder, QStringLiteral("left.bmp")).toStdString();
  data.rightImagePath = largeImage(folder, QStringLiteral("right.bmp")).toStdString();
  data.left = quadrilateralGrid();
  const QString path = folder.filePath(QStringLiteral("grille.plk"));
  plk::io::writeProjectFile(path, data, kFormat);
  return path;
}

void send(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button,
          Qt::MouseButtons held) {
  QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, held,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(target, &event);
}

void moveTo(QWidget* surface, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
  send(surface, QEvent::MouseMove, at, Qt::NoButton, held);
}

void pressAndRelease(QWidget* surface, QPoint at) {
  send(surface, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  send(surface, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

// The centre of the quadrilateral of cell (r, c) at zoom 1: away from every vertex.
QPoint cellCentre(int r, int c) { return {c * kCell + kCell / 2, r * kCell + kCell / 2}; }

// The program with the grid project open, its right window hidden.
struct Program {
  QTemporaryDir folder;
  SilentPrompts prompts;
  std::unique_ptr<plk::Shell> shell;

  Program() {
    application();
    QFile help(folder.filePath(QStringLiteral("aide.txt")));
    if (!help.open(QIODevice::WriteOnly) || help.write("Aide\r\n") != 6) std::abort();
    help.close();
    const QString project = writeProject(folder);
    std::fprintf(stderr, "project file: %lld bytes\n",
                 static_cast<long long>(QFileInfo(project).size()));
    shell = std::make_unique<plk::Shell>(prompts, kFormat, QStringList{folder.path()},
                                         folder.filePath(QStringLiteral("recovery")));
    main().session().recovery().setInterval(std::chrono::milliseconds(0));
    if (!main().session().loadProject(project)) std::abort();
    main().rightWindow()->hide();
    QApplication::processEvents();
  }
  [[nodiscard]] plk::TFMain& main() const { return shell->main(); }
  [[nodiscard]] QWidget* surface() const { return main().leftWindow()->paintBox(); }
  void choose(const char* button) const {
    main().findChild<QToolButton*>(QString::fromLatin1(button))->click();
  }
};

// Never destroyed either (windows cannot be torn down once the program exits); its folder is
// removed at exit.
Program& program() {
  static Program* instance = [] {
    auto* made = new Program;
    static const std::filesystem::path folder = made->folder.path().toStdString();
    made->folder.setAutoRemove(false);
    std::atexit([] { std::filesystem::remove_all(folder); });
    return made;
  }();
  return *instance;
}

// --- The reference: the listing and the drawing as every event once paid for them. ---

void appendReferenceSide(QStringList& lines, const plk::PolygonList& polygons) {
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    const plk::Polygone& polygon = polygons[k];
    lines << QStringLiteral("    %1 (%2) : ")
                 .arg(k + 1)
                 .arg(polygon.locked ? QStringLiteral("bloqué") : QStringLiteral("libre"));
    std::string vertices;
    for (const plk::Sommet* vertex : polygon.sommets) {
      vertices += "(" + plk::formatFixed(vertex->U, 5, 1, kFormat) + " " +
                  plk::formatFixed(vertex->V, 5, 1, kFormat) + ") ";
    }
    lines << QString::fromStdString(vertices);
  }
}

void referenceListing(QPlainTextEdit& memo, const plk::Project& project) {
  QStringList lines{QStringLiteral("Image gauche :")};
  appendReferenceSide(lines, project.left.polygons);
  lines << QStringLiteral(" ") << QStringLiteral("Image droite :");
  appendReferenceSide(lines, project.right.polygons);
  memo.setPlainText(lines.join(QLatin1Char('\n')));
}

// Every polygon's outline, crosses in the visible range and number, into a buffer of the view's
// size, with the window's zoom and scroll positions.
class ReferenceDrawing {
 public:
  explicit ReferenceDrawing(const plk::TFImage& window) : window_(window) {}

  void drawEveryPolygon(const plk::PolygonList& polygons) {
    buffer_ = QImage(window_.viewBuffer().size(), QImage::Format_RGB32);
    const int zoom = window_.zoom();
    col0_ = window_.hpos() / zoom;
    row0_ = window_.vpos() / zoom;
    colMax_ = col0_ + buffer_.width() / zoom + 1;
    rowMax_ = row0_ + buffer_.height() / zoom + 1;
    QPainter painter(&buffer_);
    for (std::size_t k = 0; k < polygons.size(); ++k) drawPolygon(painter, polygons[k], k);
  }

 private:
  [[nodiscard]] int x(double column) const {
    return static_cast<int>(std::nearbyint(window_.zoom() * column - window_.hpos()));
  }
  [[nodiscard]] int y(double row) const {
    return static_cast<int>(std::nearbyint(window_.zoom() * row - window_.vpos()));
  }

  void drawPolygon(QPainter& painter, const plk::Polygone& polygon, std::size_t k) {
    QPolygon outline;
    for (const plk::Sommet* vertex : polygon.sommets) outline << QPoint(x(vertex->V), y(vertex->U));
    painter.setPen(QPen(plk::pairColour(k), 1));
    painter.drawPolyline(outline);
    for (const plk::Sommet* vertex : polygon.sommets) {
      const double r = std::nearbyint(vertex->U);
      const double c = std::nearbyint(vertex->V);
      if (c < col0_ || c > colMax_ || r < row0_ || r > rowMax_) continue;
      const int bx = x(vertex->V);
      const int by = y(vertex->U);
      painter.drawLine(bx - kCrossArm, by, bx - 1, by);
      painter.drawLine(bx + 1, by, bx + kCrossArm, by);
      painter.drawLine(bx, by - kCrossArm, bx, by - 1);
      painter.drawLine(bx, by + 1, bx, by + kCrossArm);
    }
    if (polygon.isClosed() && polygon.sommets.size() > 1) drawNumber(painter, polygon, k);
  }

  void drawNumber(QPainter& painter, const plk::Polygone& polygon, std::size_t k) {
    QPointF sum;
    const std::size_t corners = polygon.sommets.size() - 1;
    for (std::size_t i = 0; i < corners; ++i) {
      sum += QPointF(polygon.sommets[i]->V, polygon.sommets[i]->U);
    }
    const QPointF centre = sum / static_cast<double>(corners);
    const QString number = QString::number(k + 1);
    QFont font = painter.font();
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QSize size(metrics.horizontalAdvance(number) + 2, metrics.height() + 2);
    const QRect placed(
        QPoint(x(centre.x()), y(centre.y())) - QPoint(size.width() / 2, size.height() / 2), size);
    painter.setPen(Qt::black);
    for (const QPoint shift : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)}) {
      painter.drawText(placed.translated(shift), Qt::AlignCenter, number);
    }
    painter.setPen(plk::pairColour(k));
    painter.drawText(placed, Qt::AlignCenter, number);
  }

  const plk::TFImage& window_;
  QImage buffer_;
  int col0_ = 0;
  int row0_ = 0;
  int colMax_ = 0;
  int rowMax_ = 0;
};

// The hover scan over every vertex, as a pointer move in the Add and Move tools makes it.
const plk::Sommet* referenceHover(const plk::PolygonList& polygons, int row, int column) {
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    for (const plk::Sommet* vertex : polygons[k].sommets) {
      if (std::abs(vertex->V - column) < 4 && std::abs(vertex->U - row) < 4) return vertex;
    }
  }
  return nullptr;
}

// A window on a side without polygons, driven by the same mouse events, does the image part of
// each redraw; its host rewrites the whole listing of the real project when asked to, and the
// scene draws every polygon of the real project after each press and pointer move.
class ReferenceScene final : public plk::ImageWindowHost {
 public:
  explicit ReferenceScene(const plk::Project& project) : project_(project) {
    memo_.setReadOnly(true);
    memo_.setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_.resize(319, 227);
    memo_.show();
    window_ = std::make_unique<plk::TFImage>(empty_.left, plk::ImageSideKind::Left, editing_,
                                             empty_.results, *this, prompts_);
    const QString path = QString::fromStdString(project.leftImagePath);
    if (!window_->loadImage(path, QStringLiteral("gauche"), QFileInfo(path).fileName())) {
      std::abort();
    }
    drawing_ = std::make_unique<ReferenceDrawing>(*window_);
    QApplication::processEvents();
  }

  void listPolygons() override { referenceListing(memo_, project_); }
  void showPointerPosition(int, int) override {}
  void chooseEditMode(plk::EditMode) override {}
  void copyPolygon(plk::ImageSideKind) override {}
  void beginPolygonEdit() override {}
  void endPolygonEdit(const QString&, plk::VertexStore) override {}

  // The pointer move that comes before a click of the Add tool.
  void moveBeforeClick(QPoint at) {
    editing_.editMode = plk::EditMode::Add;
    moveTo(surface(), at);
    benchmark::DoNotOptimize(referenceHover(project_.left.polygons, at.y(), at.x()));
    drawing_->drawEveryPolygon(project_.left.polygons);
  }

  // The click itself: the press rewrites the listing and redraws.
  void click(QPoint at) {
    send(surface(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    drawing_->drawEveryPolygon(project_.left.polygons);
    send(surface(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  }

  // One pointer move of a drag: the vertex follows, the listing and the picture are rebuilt.
  void dragStep(plk::Sommet& vertex, QPoint at) {
    editing_.editMode = plk::EditMode::Arrow;
    moveTo(surface(), at, Qt::LeftButton);
    vertex.U = at.y();
    vertex.V = at.x();
    listPolygons();
    drawing_->drawEveryPolygon(project_.left.polygons);
  }

 private:
  [[nodiscard]] QWidget* surface() const { return window_->paintBox(); }

  const plk::Project& project_;
  plk::Project empty_;
  plk::EditingState editing_;
  SilentPrompts prompts_;
  QPlainTextEdit memo_;
  std::unique_ptr<plk::TFImage> window_;
  std::unique_ptr<ReferenceDrawing> drawing_;
};

// --- Measurements ---

// Add-tool clicks on the centres of successive quadrilaterals of the third row: each adds a
// vertex to the polygon under construction, or closes it on its first vertex. The pointer move
// before each click is an event of its own, not timed.
void clickInAddMode(benchmark::State& state) {
  Program& p = program();
  p.choose("SpeedButtonAdd");
  int c = 1;
  for (auto _ : state) {
    state.PauseTiming();
    moveTo(p.surface(), cellCentre(2, c));
    QApplication::processEvents();
    state.ResumeTiming();
    pressAndRelease(p.surface(), cellCentre(2, c));
    QApplication::processEvents();
    c = c % 20 + 1;
  }
  p.choose("SpeedButtonArrow");
}
BENCHMARK(clickInAddMode)->Unit(benchmark::kMillisecond)->Iterations(40);

void referenceClickInAddMode(benchmark::State& state) {
  Program& p = program();
  ReferenceScene scene(*p.main().project());
  int c = 1;
  for (auto _ : state) {
    state.PauseTiming();
    scene.moveBeforeClick(cellCentre(2, c));
    QApplication::processEvents();
    state.ResumeTiming();
    scene.click(cellCentre(2, c));
    QApplication::processEvents();
    c = c % 20 + 1;
  }
}
BENCHMARK(referenceClickInAddMode)->Unit(benchmark::kMillisecond)->Iterations(10);

// The top-left corner of quadrilateral (5, 5) dragged to and fro by a few pixels.
void dragStep(benchmark::State& state) {
  Program& p = program();
  p.choose("SpeedButtonMove");
  const QPoint corner(5 * kCell + kInset, 5 * kCell + kInset);
  moveTo(p.surface(), corner);
  send(p.surface(), QEvent::MouseButtonPress, corner, Qt::LeftButton, Qt::LeftButton);
  int step = 0;
  for (auto _ : state) {
    moveTo(p.surface(), corner + QPoint(step % 2, step % 3), Qt::LeftButton);
    QApplication::processEvents();
    ++step;
  }
  send(p.surface(), QEvent::MouseButtonRelease, corner, Qt::LeftButton, Qt::NoButton);
  QApplication::processEvents();
  p.choose("SpeedButtonArrow");
}
BENCHMARK(dragStep)->Unit(benchmark::kMillisecond)->Iterations(40);

void referenceDragStep(benchmark::State& state) {
  Program& p = program();
  ReferenceScene scene(*p.main().project());
  plk::Sommet& vertex = *p.main().project()->left.polygons[5 * (kWidth / kCell) + 5].sommets[0];
  const QPoint corner(5 * kCell + kInset, 5 * kCell + kInset);
  int step = 0;
  for (auto _ : state) {
    scene.dragStep(vertex, corner + QPoint(step % 2, step % 3));
    QApplication::processEvents();
    ++step;
  }
}
BENCHMARK(referenceDragStep)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
