#pragma once

#include <string>

#include "core/fonctions/segmentation.h"
#include "core/project.h"
#include "core/report.h"
#include "core/run_control.h"
#include "core/runs/run_common.h"
#include "core/textformat.h"

// The segmentation optimisation run: field checks, report header and the walk over the polygons
// of the left then the right image.
namespace plk {

// How the sampling step along the sides is chosen (RadioGroup1).
enum class SamplingChoice { Adaptive, Forced };

// Which search each iteration makes (RadioGroup2).
enum class SearchMethod { Exact, Incomplete, IncompleteFromN };

// The dialog's field texts as typed; the initialisers are the dialog's defaults.
struct OptiFields {
  std::string levels = "1 3 10";                        // Edit1
  SamplingChoice sampling = SamplingChoice::Adaptive;   // RadioGroup1
  std::string forcedStep = "0,1";                       // Edit2
  std::string iterationsPerLevel = "10";                // Edit3
  SearchMethod method = SearchMethod::IncompleteFromN;  // RadioGroup2
  std::string minVertices = "6";                        // Edit4
  std::string annealingIterations = "1000";             // Edit5
};

struct OptiParameters {
  OptimisationParameters optimisation;
};

// The parameters, or the message of the first refused precondition or field. Once the checks
// reach the levels, fields.levels loses its leading and trailing blanks, and the dialog shows
// the trimmed text back.
[[nodiscard]] Checked<OptiParameters> checkOpti(const Project& project, OptiFields& fields);

struct OptiOutcome {
  RunStatus status = RunStatus::Completed;
  bool logFailed = false;  // an annealing trace could not be written
};

// The message shown after a run whose annealing trace could not be written.
inline constexpr std::string_view kOptimLogFailed =
    "Le fichier de suivi optim.log n'a pas pu être écrit.";

// Optimises every unlocked polygon of the left then the right image on working copies, writing
// the report as it goes; the project receives the moved vertices and the polygons' energies only
// when the run completes.
[[nodiscard]] OptiOutcome runOpti(Project& project, const OptiFields& fields,
                                  const OptiParameters& parameters, ReportSink& report,
                                  RunControl& control, NumberFormat format);

}  // namespace plk
