#include "tools/estime.h"

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <variant>

#include "core/runs/estime.h"
#include "ui/progress.h"
#include "ui/prompts.h"
#include "ui/tool_host.h"

namespace plk {

namespace {

const QString kCaption = QStringLiteral("Estimation des homographies");
constexpr int kClientWidth = 389;
constexpr int kClientHeight = 123;

}  // namespace

TFEstime::TFEstime(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(kCaption, host, prompts, parent) {
  createFields();
  layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
  // At least the classic size, and wide enough for the whole of its labels in any font.
  setFixedSize(sizeHint().expandedTo(QSize(kClientWidth, kClientHeight)));
  findChild<QPushButton*>(QStringLiteral("Button1"))->setFocus();
}

void TFEstime::createFields() {
  const EstimeFields defaults;
  Edit1 = addField("Edit1",
                   QStringLiteral("Nombre maximal d'itérations pour l'estimation non linéaire : "),
                   defaults.maxIterations);
  Edit2 = addField("Edit2", QStringLiteral("Tolérance pour ransac : "), defaults.ransacTolerance);
}

void TFEstime::Button1Click() {
  const EstimeFields fields{Edit1->text().toStdString(), Edit2->text().toStdString()};
  const std::optional<RunStatus> status = checkAndRun<EstimationParameters>(
      [&](const Project& project) { return checkEstime(project, fields); },
      [&](Project& project, const EstimationParameters& parameters, ReportSink& report,
          RunControl& control) {
        return runEstime(project, fields, parameters, report, control, host_.numberFormat());
      });
  if (status == RunStatus::Completed) accept();
}

}  // namespace plk
