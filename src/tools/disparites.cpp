#include "tools/disparites.h"

#include <QButtonGroup>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <variant>

#include "core/runs/disparites.h"
#include "io/disparity_files.h"
#include "io/io_error.h"
#include "ui/progress.h"
#include "ui/prompts.h"
#include "ui/tool_host.h"

namespace plk {

TFDisparites::TFDisparites(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Calcul de la carte des disparités"), host, prompts, parent) {
  const DisparitesFields defaults;
  Edit1 = addField("Edit1", QStringLiteral("Facteur de résolution :"),
                   QString::fromStdString(defaults.factor));
  Edit2 = addField("Edit2", QStringLiteral("Coefficient multiplicatif pour les cartes RVB :"),
                   QString::fromStdString(defaults.rgbMultiplier));
  Edit3 = addField("Edit3",
                   QStringLiteral("Coefficient multiplicatif pour la carte en niveaux de gris :"),
                   QString::fromStdString(defaults.greyMultiplier));
  createRadioGroup();
}

QLineEdit* TFDisparites::addField(const char* name, const QString& label, const QString& text) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(label, this));
  auto* field = new QLineEdit(text, this);
  field->setObjectName(QString::fromLatin1(name));
  row->addWidget(field);
  fieldsLayout()->addLayout(row);
  return field;
}

void TFDisparites::createRadioGroup() {
  auto* group = new QGroupBox(QStringLiteral("Homographie"), this);
  group->setObjectName(QStringLiteral("RadioGroup1"));
  auto* column = new QVBoxLayout(group);
  homographyButtons_ = new QButtonGroup(group);
  const QStringList items{QStringLiteral("Linéaire"), QStringLiteral("Non linéaire"),
                          QStringLiteral("Robuste"), QStringLiteral("Robuste + non linéaire"),
                          QStringLiteral("Photométrique")};
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], group);
    homographyButtons_->addButton(button, i);
    column->addWidget(button);
  }
  homographyButtons_->button(DisparitesFields{}.homographyIndex)->setChecked(true);
  fieldsLayout()->addWidget(group);
}

void TFDisparites::Button1Click() {
  Project* project = host_.project();
  if (project == nullptr) return;
  const DisparitesFields fields{Edit1->text().toStdString(), Edit2->text().toStdString(),
                                Edit3->text().toStdString(), homographyButtons_->checkedId()};
  const Checked<DisparityParameters> checked = checkDisparites(*project, fields);
  if (const auto* error = std::get_if<FieldError>(&checked)) {
    prompts_.showError(this, QString::fromStdString(error->message));
    return;
  }
  ReportSink& report = host_.showReport();
  ProgressDialog progress(this, windowTitle());
  const DisparitesOutcome outcome =
      runDisparites(*project, fields, std::get<DisparityParameters>(checked), report, progress,
                    host_.numberFormat());
  if (outcome.status == RunStatus::Cancelled) return;
  // The windows show the verdicts on the estimate just used.
  project->results.verdictEstimate = fields.homographyIndex;
  host_.redrawImages();
  host_.listPolygons();
  try {
    io::writeDisparityFiles(QDir::currentPath(), *outcome.maps);
  } catch (const io::IoError& error) {
    prompts_.showError(this, QString::fromUtf8(error.what()));
    return;
  }
  accept();
}

}  // namespace plk
