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

namespace {

QLineEdit* addField(QWidget* dialog, QVBoxLayout* layout, const char* name, const QString& label,
                    const std::string& text) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(label, dialog));
  auto* field = new QLineEdit(QString::fromStdString(text), dialog);
  field->setObjectName(QString::fromLatin1(name));
  row->addWidget(field);
  layout->addLayout(row);
  return field;
}

}  // namespace

TFDetect::TFDetect(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Détection de points d'intérêt"), host, prompts, parent) {
  const DetectFields defaults;
  Edit1 = addField(this, fieldsLayout(), "Edit1",
                   QStringLiteral("Taille du filtre du détecteur (NxN) :"), defaults.filterSize);
  Edit3 = addField(this, fieldsLayout(), "Edit3",
                   QStringLiteral("Taille de fenêtre d'inclusion dans le polygone (NxN) : "),
                   defaults.inclusionSize);
  Edit2 = addField(this, fieldsLayout(), "Edit2",
                   QStringLiteral("Nombre de points par polygone : "), defaults.pointCount);
}

void TFDetect::Button1Click() {
  Project* project = host_.project();
  if (project == nullptr) return;
  const DetectFields fields{Edit1->text().toStdString(), Edit2->text().toStdString(),
                            Edit3->text().toStdString()};
  const Checked<DetectionParameters> checked = checkDetect(*project, fields);
  if (const auto* error = std::get_if<FieldError>(&checked)) {
    prompts_.showError(this, QString::fromStdString(error->message));
    return;
  }
  ReportSink& report = host_.showReport();
  ProgressDialog progress(this, windowTitle());
  const RunStatus status = runDetect(*project, fields, std::get<DetectionParameters>(checked),
                                     report, progress, host_.numberFormat());
  if (status == RunStatus::Cancelled) return;
  host_.redrawImages();
  accept();
}

}  // namespace plk
