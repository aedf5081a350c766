#include "tools/detect.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <variant>

#include "core/runs/detect.h"
#include "ui/progress.h"
#include "ui/prompts.h"
#include "ui/tool_host.h"

namespace plk {

TFDetect::TFDetect(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Détection de points d'intérêt"), host, prompts, parent) {
  const DetectFields defaults;
  Edit1 = addField("Edit1",
                   QStringLiteral("Taille du filtre du détecteur (NxN) :"), defaults.filterSize);
  Edit3 = addField("Edit3",
                   QStringLiteral("Taille de fenêtre d'inclusion dans le polygone (NxN) : "),
                   defaults.inclusionSize);
  Edit2 = addField("Edit2",
                   QStringLiteral("Nombre de points par polygone : "), defaults.pointCount);
}

void TFDetect::Button1Click() {
  const DetectFields fields{Edit1->text().toStdString(), Edit2->text().toStdString(),
                            Edit3->text().toStdString()};
  const std::optional<RunStatus> status = checkAndRun<DetectionParameters>(
      [&](const Project& project) { return checkDetect(project, fields); },
      [&](Project& project, const DetectionParameters& parameters, ReportSink& report,
          RunControl& control) {
        return runDetect(project, fields, parameters, report, control, host_.numberFormat());
      });
  if (status == RunStatus::Completed) accept();
}

}  // namespace plk
