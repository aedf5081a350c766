// renderView of a 3000 x 2000 pair (a Middlebury image scaled up) in a 1600 x 1000 view, at zoom
// 1 and 4, with thirty closed polygons, against a plain copy of as many pixels from the image: the
// ratio tells what the enlargement and the drawing cost over moving the visible pixels once.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

#include "core/editing.h"
#include "core/project.h"
#include "ui/prompts.h"
#include "views/image.h"
#include "views/image_host.h"

namespace {

constexpr int kWidth = 3000;
constexpr int kHeight = 2000;
const QSize kView(1600, 1000);

class SilentHost final : public plk::ImageWindowHost {
 public:
  void listPolygons() override {}
  void showPointerPosition(int, int) override {}
  void chooseEditMode(plk::EditMode) override {}
  void copyPolygon(plk::ImageSideKind) override {}
  void beginPolygonEdit() override {}
  void endPolygonEdit(const QString&, plk::VertexStore) override {}
};

QApplication& application() {
  static int argc = 1;
  static char name[] = "bench_render";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication instance(argc, argv);
  return instance;
}

// The left Tsukuba image scaled to 3000 x 2000, kept 8-bit grey.
QString largeImage(const QTemporaryDir& folder) {
  const QImage source(QStringLiteral(PLK_TESTDATA_DIR "/middlebury2001/tsukuba/left.bmp"));
  const QImage scaled = source.convertToFormat(QImage::Format_Grayscale8).scaled(kWidth, kHeight);
  const QString path = folder.filePath(QStringLiteral("large.bmp"));
  scaled.convertToFormat(QImage::Format_Indexed8).save(path, "BMP");
  return path;
}

// A 6 x 5 grid of closed quadrilaterals sharing their corners.
void addGrid(plk::PolygonList& polygons) {
  constexpr int kColumns = 6;
  constexpr int kRows = 5;
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const double u = r * (kHeight / kRows) + 10.0;
      const double v = c * (kWidth / kColumns) + 10.0;
      plk::Polygone& polygon = polygons.appendPolygon();
      plk::Sommet* first = polygons.createVertex(u, v);
      polygon.sommets = {first, polygons.createVertex(u, v + 450),
                         polygons.createVertex(u + 350, v + 450), polygons.createVertex(u + 350, v),
                         first};
    }
  }
}

struct Scene {
  QTemporaryDir folder;
  plk::Project project;
  plk::EditingState editing;
  SilentHost host;
  plk::DialogPrompts prompts;
  std::unique_ptr<plk::TFImage> window;

  Scene() {
    application();
    window = std::make_unique<plk::TFImage>(project.left, plk::ImageSideKind::Left, editing,
                                            project.results, host, prompts);
    window->loadImage(largeImage(folder), QStringLiteral("gauche"), QStringLiteral("large.bmp"));
    window->resize(kView);
    QApplication::processEvents();
    addGrid(project.left.polygons);
  }
};

Scene& scene() {
  static Scene instance;
  return instance;
}

void renderAtZoom(benchmark::State& state) {
  plk::TFImage& window = *scene().window;
  const int zoom = static_cast<int>(state.range(0));
  window.setZoom(1, 0, 0);
  window.resize(kView);
  QApplication::processEvents();
  window.setZoom(zoom, 1500, 1000);
  QApplication::processEvents();
  for (auto _ : state) {
    window.renderView();
    benchmark::DoNotOptimize(window.viewBuffer().constBits());
  }
  state.counters["view_width"] = window.viewBuffer().width();
  state.counters["view_height"] = window.viewBuffer().height();
}
BENCHMARK(renderAtZoom)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// The reference: copying the view's pixels out of the RGB32 image once.
void copyVisiblePixels(benchmark::State& state) {
  static const QImage image = [] {
    QImage filled(kWidth, kHeight, QImage::Format_RGB32);
    filled.fill(Qt::gray);
    return filled;
  }();
  QImage view(kView, QImage::Format_RGB32);
  for (auto _ : state) {
    for (int y = 0; y < kView.height(); ++y) {
      std::copy_n(reinterpret_cast<const QRgb*>(image.constScanLine(y + 500)) + 700, kView.width(),
                  reinterpret_cast<QRgb*>(view.scanLine(y)));
    }
    benchmark::DoNotOptimize(view.constBits());
  }
}
BENCHMARK(copyVisiblePixels)->Unit(benchmark::kMillisecond);

}  // namespace
