#include "tools/estime.h"

#include <QGridLayout>
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

QLineEdit* addField(QGridLayout* grid, int row, const QString& name, const QString& label,
                    const std::string& text) {
  grid->addWidget(new QLabel(label), row, 0);
  auto* field = new QLineEdit(QString::fromStdString(text));
  field->setObjectName(name);
  field->setFixedWidth(60);
  grid->addWidget(field, row, 1);
  return field;
}

}  // namespace

TFEstime::TFEstime(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(kCaption, host, prompts, parent) {
  createFields();
  layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
  setFixedSize(kClientWidth, kClientHeight);
  findChild<QPushButton*>(QStringLiteral("Button1"))->setFocus();
}

void TFEstime::createFields() {
  const EstimeFields defaults;
  auto* grid = new QGridLayout;
  Edit1 = addField(grid, 0, QStringLiteral("Edit1"),
                   QStringLiteral("Nombre maximal d'itérations pour l'estimation non linéaire : "),
                   defaults.maxIterations);
  Edit2 = addField(grid, 1, QStringLiteral("Edit2"), QStringLiteral("Tolérance pour ransac : "),
                   defaults.ransacTolerance);
  fieldsLayout()->addLayout(grid);
}

void TFEstime::Button1Click() {
  const EstimeFields fields{Edit1->text().toStdString(), Edit2->text().toStdString()};
  Project* project = host_.project();
  const Project none;
  const Checked<EstimationParameters> checked = checkEstime(project ? *project : none, fields);
  if (const auto* error = std::get_if<FieldError>(&checked)) {
    prompts_.showError(this, QString::fromStdString(error->message));
    return;
  }
  ReportSink& report = host_.showReport();
  ProgressDialog progress(this, kCaption);
  const RunStatus status = runEstime(*project, fields, std::get<EstimationParameters>(checked),
                                     report, progress, host_.numberFormat());
  host_.redrawImages();
  host_.listPolygons();
  if (status == RunStatus::Completed) accept();
}

}  // namespace plk
