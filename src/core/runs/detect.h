#pragma once

#include <string>

#include "core/fonctions/detection.h"
#include "core/project.h"
#include "core/report.h"
#include "core/run_control.h"
#include "core/runs/run_common.h"
#include "core/textformat.h"

namespace plk {

// The texts of the detection dialog's fields, as typed; the initialisers are its defaults.
struct DetectFields {
  std::string filterSize = "11";     // Edit1 "Taille du filtre du détecteur (NxN) :"
  std::string pointCount = "300";    // Edit2 "Nombre de points par polygone : "
  std::string inclusionSize = "11";  // Edit3 "Taille de fenêtre d'inclusion dans le polygone ..."
};

// The left polygons (at least one, all closed), then the fields in the order N_i, N_f, K. Sizes
// and count below 1 are refused, and filters under 3 taps, which have no derivative.
[[nodiscard]] Checked<DetectionParameters> checkDetect(const Project& project,
                                                       const DetectFields& fields);

// Writes the header and parameter lines, detects the points of every unlocked left polygon and,
// on completion, stores the tables, sets `pointsDetected` (clearing the later stages' flags) and
// writes one line per unlocked polygon. A cancelled run changes nothing in the project.
[[nodiscard]] RunStatus runDetect(Project& project, const DetectFields& fields,
                                  const DetectionParameters& parameters, ReportSink& report,
                                  RunControl& control, NumberFormat format);

}  // namespace plk
