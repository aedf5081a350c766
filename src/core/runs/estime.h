#pragma once

#include <string>

#include "core/fonctions/estimation.h"
#include "core/project.h"
#include "core/report.h"
#include "core/run_control.h"
#include "core/runs/run_common.h"
#include "core/textformat.h"
#include "numeric/lcg.h"

// The "Estimer les homographies..." tool: field checks, the run over the left polygons and its
// report.
namespace plk {

// The dialog's field texts, initialised to its defaults.
struct EstimeFields {
  std::string maxIterations = "100";     // Edit1, Marquardt iteration limit (integer)
  std::string ransacTolerance = "1e-4";  // Edit2, RANSAC threshold (real)
};

// The parameters, or the message of the first refusal: no matches, then each field in order.
[[nodiscard]] Checked<EstimationParameters> checkEstime(const Project& project,
                                                        const EstimeFields& fields);
// The fields alone, in the same order, whatever the project holds.
[[nodiscard]] Checked<EstimationParameters> checkEstimeFields(const EstimeFields& fields);

// Writes the header, estimates every unlocked left polygon with RANSAC drawing from the
// generator and, when the project has both images, fits its photometric plane; then stores the
// results and writes one block per polygon. A cancelled run leaves
// the project and the generator as they were.
RunStatus runEstime(Project& project, const EstimeFields& fields,
                    const EstimationParameters& parameters, ReportSink& report, RunControl& control,
                    NumberFormat format,
                    LinearCongruentialGenerator& generator = runtimeGenerator());

// One block per unlocked left polygon that has results, numbered among all left polygons; the
// photometric lines follow the four estimates where that table has an entry.
void appendEstimationReport(ReportSink& report, const Project& project, NumberFormat format);

// The report entry of a homography: three rows of "%10.8f " values between "        [ " and
// " ]", rows separated by LF, CR and ten spaces.
[[nodiscard]] std::string matrixEntry(const Homography& h, NumberFormat format);

}  // namespace plk
