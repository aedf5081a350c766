#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/fonctions/disparity.h"
#include "core/project.h"
#include "core/report.h"
#include "core/run_control.h"
#include "core/runs/run_common.h"
#include "core/textformat.h"

namespace plk {

// The texts of the disparity dialog's fields, as typed; the initialisers are its defaults.
struct DisparitesFields {
  std::string factor = "1";            // Edit1 "Facteur de résolution :"
  std::string rgbMultiplier = "1000";  // Edit2 "Coefficient multiplicatif pour les cartes RVB :"
  std::string greyMultiplier = "8";    // Edit3 "... pour la carte en niveaux de gris :"
  std::int32_t homographyIndex = 3;    // RadioGroup1 "Homographie", "Robuste + non linéaire"
                                       // (4: "estimation photométrique")
};

// The preconditions and fields in the dialog's order: homographies estimated, then the factor
// (an integer from 1, within kMaxFineSamples), then the two multipliers (integers from 0).
[[nodiscard]] Checked<DisparityParameters> checkDisparites(const Project& project,
                                                           const DisparitesFields& fields);
// The fields alone, in the same order, against the project's image size only.
[[nodiscard]] Checked<DisparityParameters> checkDisparitesFields(const Project& project,
                                                                 const DisparitesFields& fields);

// How a run ended and, when it completed, what it computed (the files still to be written).
struct DisparitesOutcome {
  RunStatus status = RunStatus::Completed;
  std::optional<DisparityMaps> maps;
};

// Writes the header and the parameter lines, computes the maps and, on completion, the line of
// dropped samples if there were any, then the verdict of each polygon's chosen estimate. A
// cancelled run ends its report with "Calcul interrompu.".
[[nodiscard]] DisparitesOutcome runDisparites(const Project& project,
                                              const DisparitesFields& fields,
                                              const DisparityParameters& parameters,
                                              ReportSink& report, RunControl& control,
                                              NumberFormat format);

}  // namespace plk
