#include "core/runs/opti.h"

#include <chrono>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/fonctions/geometry.h"

namespace plk {

namespace {

constexpr std::size_t kMaxLevels = 20;
// Finer levels or forced steps would sample each side at millions of points, enough to exhaust
// the memory: a thousandth of a pixel is the finest measure taken.
constexpr std::int32_t kFinestLevel = 1000;
constexpr double kSmallestStep = 0.001;
// Within an iteration, progress and the cancel question go to the user interface at most this
// often: enough for the windows to repaint and a cancel to take effect at once, seldom enough
// to cost nothing beside the annealer's many evaluations.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Integers separated by single spaces, each from 1 to 1000, at most 20 of them.
std::optional<std::vector<std::int32_t>> parseLevels(std::string_view text) {
  std::vector<std::int32_t> levels;
  while (true) {
    const std::size_t space = text.find(' ');
    const std::optional<int> level = parseInteger(text.substr(0, space));
    if (!level || *level < 1 || *level > kFinestLevel || levels.size() == kMaxLevels) {
      return std::nullopt;
    }
    levels.push_back(*level);
    if (space == std::string_view::npos) return levels;
    text.remove_prefix(space + 1);
  }
}

// An integer field no lower than `least`.
std::optional<std::int32_t> parseAtLeast(const std::string& text, std::int32_t least) {
  const std::optional<int> value = parseInteger(text);
  if (!value || *value < least) return std::nullopt;
  return *value;
}

std::string methodText(const OptimisationParameters& parameters) {
  if (parameters.annealingIterations == 0) return "recherche exacte";
  if (parameters.annealingMinVertices == 0) return "recherche incomplète";
  return "recherche incomplète à partir de " + std::to_string(parameters.annealingMinVertices) +
         " sommets";
}

void appendParameters(ReportSink& report, const OptiFields& fields,
                      const OptiParameters& parameters) {
  const OptimisationParameters& optimisation = parameters.optimisation;
  appendHeader(report, "=========== Optimisation de la segmentation ==============");
  report.appendLine("  Méthode de recherche des solutions : " + methodText(optimisation));
  report.appendLine("  Niveaux de précision : " + fields.levels);
  report.appendLine("  Nombre d'itérations par niveau de précision : " + fields.iterationsPerLevel);
  if (optimisation.annealingIterations != 0) {
    report.appendLine("  Nombre maximal d'itérations par procédure d'optimisation : " +
                      fields.annealingIterations);
  }
  report.appendLine(optimisation.samplingStep == 0.0
                        ? std::string("  Pas d'échantillonage : adaptatif")
                        : "  Pas d'échantillonage : forcé à " + fields.forcedStep);
  report.appendLine("");
}

// Separate copies of one image's polygons and vertices that keep the sharing of vertices, so
// that a run can work on them and hand its result over only when it completes.
class PolygonListCopy {
 public:
  explicit PolygonListCopy(const PolygonList& list) {
    std::unordered_map<const Sommet*, Sommet*> copies;
    for (std::size_t i = 0; i < list.size(); ++i) {
      auto& polygon = polygons_.emplace_back(std::make_unique<Polygone>(list[i]));
      for (Sommet*& vertex : polygon->sommets) {
        auto [entry, isNew] = copies.try_emplace(vertex, nullptr);
        if (isNew) {
          vertices_.push_back(vertex->clone());
          entry->second = vertices_.back().get();
        }
        vertex = entry->second;
      }
    }
  }

  [[nodiscard]] std::size_t size() const { return polygons_.size(); }
  [[nodiscard]] Polygone& operator[](std::size_t i) { return *polygons_[i]; }

  // Writes the coordinates of every vertex and the value of every polygon into the list.
  void applyTo(PolygonList& list) const {
    for (std::size_t i = 0; i < polygons_.size(); ++i) {
      list[i].copyCoordinatesFrom(*polygons_[i]);
      list[i].value = polygons_[i]->value;
    }
  }

 private:
  VertexStore vertices_;
  std::vector<std::unique_ptr<Polygone>> polygons_;
};

std::string polygonVertexLine(const Polygone& polygon, NumberFormat format) {
  std::size_t held = 0;
  for (const Sommet* vertex : polygon.sommets) {
    if (vertex->Fixe) ++held;
  }
  return "          " + std::to_string(polygon.sommets.size()) + " sommets (" +
         std::to_string(held) + " bloqués) " + vertexListText(polygon, format);
}

// Walks the polygons of both images, counting progress over both.
class OptiWalk {
 public:
  OptiWalk(const OptiParameters& parameters, ReportSink& report, RunControl& control,
           NumberFormat format, std::size_t total)
      : parameters_(parameters),
        report_(report),
        control_(control),
        format_(format),
        total_(static_cast<int>(total)) {}

  // Optimises the unlocked polygons of one image; false when the user stopped the run.
  bool optimiseImage(std::string_view title, std::string_view side, PolygonListCopy& polygons,
                     const ImageSide& image) {
    report_.appendLine(title);
    for (std::size_t i = 0; i < polygons.size(); ++i) {
      Polygone& polygon = polygons[i];
      const std::string unit = std::string(side) + " : polygone " + std::to_string(i + 1) + "/" +
                               std::to_string(polygons.size());
      control_.step(done_, total_, unit);
      if (control_.cancelled()) return false;
      ++done_;
      if (polygon.locked) continue;
      report_.appendLine(polygonLabel(i, polygons.size()));
      report_.appendLine(polygonVertexLine(polygon, format_));
      if (polygon.sommets.size() < 2) continue;
      if (!optimiseOne(polygon, image, unit)) return false;
      for (Sommet* vertex : polygon.sommets) vertex->Fixe = true;
    }
    return true;
  }

  [[nodiscard]] bool logFailed() const { return logFailed_; }

 private:
  // Optimises one polygon, telling the user the level under way; false when the user stopped
  // the run.
  bool optimiseOne(Polygone& polygon, const ImageSide& image, const std::string& unit) {
    std::string label = unit;
    auto lastPoll = std::chrono::steady_clock::now();
    const ContinueCheck keepGoing = [&] {
      const auto now = std::chrono::steady_clock::now();
      if (now - lastPoll < kPollInterval) return true;
      lastPoll = now;
      control_.step(done_ - 1, total_, label);
      return !control_.cancelled();
    };
    const PolygonOutcome outcome = optimisePolygon(
        image.gradientX, image.gradientY, polygon, parameters_.optimisation, report_, format_,
        [&](std::int32_t precision) {
          label = unit + ", précision 1/" + std::to_string(precision);
          control_.step(done_ - 1, total_, label);
          return !control_.cancelled();
        },
        keepGoing);
    logFailed_ = logFailed_ || outcome.annealingLogFailed;
    return !outcome.stopped;
  }

  const OptiParameters& parameters_;
  ReportSink& report_;
  RunControl& control_;
  NumberFormat format_;
  int total_;
  int done_ = 0;
  bool logFailed_ = false;
};

}  // namespace

Checked<OptiParameters> checkOpti(const Project& project, OptiFields& fields) {
  if (project.left.polygons.empty() && project.right.polygons.empty()) {
    return FieldError{"Au moins un polygone est nécessaire pour cette étape."};
  }
  if (!allPolygonsClosed(project.left.polygons) || !allPolygonsClosed(project.right.polygons)) {
    return FieldError{"Au moins un polygone n'est pas fermé."};
  }
  OptiParameters parameters;
  OptimisationParameters& optimisation = parameters.optimisation;
  const auto iterations = parseAtLeast(fields.iterationsPerLevel, 1);
  if (!iterations) return FieldError{"Le nombre d'itérations n'est pas une valeur correcte."};
  optimisation.iterationsPerLevel = *iterations;
  const auto annealing = parseAtLeast(fields.annealingIterations, 0);
  if (!annealing) {
    return FieldError{"Le nombre d'itérations d'optimisation n'est pas une valeur correcte."};
  }
  optimisation.annealingIterations = *annealing;
  const auto minVertices = parseAtLeast(fields.minVertices, 0);
  if (!minVertices) return FieldError{"Le nombre de sommets n'est pas une valeur correcte."};
  optimisation.annealingMinVertices = *minVertices;
  optimisation.samplingStep = 0.0;
  if (fields.sampling == SamplingChoice::Forced) {
    const std::optional<double> step = parseReal(fields.forcedStep);
    const bool usable = step && std::isfinite(*step) && (*step == 0.0 || *step >= kSmallestStep);
    if (!usable) {
      return FieldError{"Le pas n'est pas une valeur correcte."};
    }
    optimisation.samplingStep = *step;
  }
  if (fields.method == SearchMethod::Exact) optimisation.annealingIterations = 0;
  if (fields.method == SearchMethod::Incomplete) optimisation.annealingMinVertices = 0;
  fields.levels = std::string(trimmed(fields.levels));
  std::optional<std::vector<std::int32_t>> levels = parseLevels(fields.levels);
  if (!levels) return FieldError{"La profondeur n'est pas une valeur correcte."};
  optimisation.levels = std::move(*levels);
  return parameters;
}

OptiOutcome runOpti(Project& project, const OptiFields& fields, const OptiParameters& parameters,
                    ReportSink& report, RunControl& control, NumberFormat format) {
  appendParameters(report, fields, parameters);
  PolygonListCopy left(project.left.polygons);
  PolygonListCopy right(project.right.polygons);
  OptiWalk walk(parameters, report, control, format, left.size() + right.size());
  const bool completed =
      walk.optimiseImage("--- Image gauche ---", "Image gauche", left, project.left) &&
      walk.optimiseImage("--- Image droite ---", "Image droite", right, project.right);
  if (!completed) {
    appendEnding(report, RunStatus::Cancelled);
    return {RunStatus::Cancelled, walk.logFailed()};
  }
  left.applyTo(project.left.polygons);
  right.applyTo(project.right.polygons);
  return {RunStatus::Completed, walk.logFailed()};
}

}  // namespace plk
