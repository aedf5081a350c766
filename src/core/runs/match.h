#pragma once

#include <string>

#include "core/fonctions/matching.h"
#include "core/project.h"
#include "core/report.h"
#include "core/run_control.h"
#include "core/runs/run_common.h"
#include "core/textformat.h"

namespace plk {

// The texts of the matching dialog's fields, as typed; the initialisers are its defaults.
struct MatchFields {
  std::string windowSize = "11";   // Edit1 "Taille de la fenêtre de corrélation (NxN) :"
  std::string p1 = "10";           // Edit2, rows above ("p1, p2, q1, q2 :")
  std::string p2 = "10";           // Edit3, rows below
  std::string q1 = "30";           // Edit4, columns left
  std::string q2 = "10";           // Edit5, columns right
  std::string threshold = "0,97";  // Edit6 "CCNC minimum :"
  std::string precision = "0,1";   // Edit7 "Précision au sous pixel :"
  bool bidirectional = true;       // CheckBox1 "Contrainte bi-directionnelle"
  std::string flexibility = "1";   // Edit8 "Souplesse : "
};

// Interest points detected, then the fields in the dialog's order. Reals take the point or the
// comma. Refused besides non-numbers: a window below 1, a threshold at or below -1, a precision
// at or below 0, and non-finite reals. The flexibility is read even when the box is unticked,
// and is then -1.
[[nodiscard]] Checked<MatchParameters> checkMatch(const Project& project,
                                                  const MatchFields& fields);
// The fields alone, in the same order, whatever the project holds.
[[nodiscard]] Checked<MatchParameters> checkMatchFields(const MatchFields& fields);

// Writes the header and parameter lines, matches the interest points of every unlocked left
// polygon and, on completion, stores the tables, sets `pointsMatched`, clears
// `homographiesEstimated` and writes one line per unlocked polygon. A cancelled run changes
// nothing in the project.
[[nodiscard]] RunStatus runMatch(Project& project, const MatchFields& fields,
                                 const MatchParameters& parameters, ReportSink& report,
                                 RunControl& control, NumberFormat format);

}  // namespace plk
