#include "tools/disparites.h"

#include <QButtonGroup>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>
#include <variant>
#include <vector>

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
  createFolderRow();
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

void TFDisparites::createFolderRow() {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Dossier des fichiers :"), this));
  folderField_ = new QLineEdit(this);
  folderField_->setObjectName(QStringLiteral("EditFolder"));
  folderField_->setReadOnly(true);
  row->addWidget(folderField_, 1);
  auto* browse = new QPushButton(QStringLiteral("Parcourir..."), this);
  browse->setObjectName(QStringLiteral("ButtonFolder"));
  connect(browse, &QPushButton::clicked, this, &TFDisparites::chooseFolder);
  row->addWidget(browse);
  fieldsLayout()->addLayout(row);
}

QString TFDisparites::outputFolder() const {
  return chosenFolder_.isEmpty() ? QDir::currentPath() : chosenFolder_;
}

void TFDisparites::showEvent(QShowEvent* event) {
  ToolDialog::showEvent(event);
  folderField_->setText(QDir::toNativeSeparators(outputFolder()));
}

void TFDisparites::chooseFolder() {
  const QString chosen = prompts_.folderName(
      this, QStringLiteral("Dossier des fichiers de disparités"), outputFolder());
  if (chosen.isEmpty()) return;
  chosenFolder_ = chosen;
  folderField_->setText(QDir::toNativeSeparators(chosen));
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
  DisparitesOutcome outcome =
      runDisparites(*project, fields, std::get<DisparityParameters>(checked), report, progress,
                    host_.numberFormat());
  if (outcome.status == RunStatus::Cancelled) return;
  // The windows show the verdicts on the estimate just used.
  project->results.verdictEstimate = fields.homographyIndex;
  // The map window shows this map; the files take the rest.
  project->results.disparityMap =
      std::make_shared<const std::vector<double>>(std::move(outcome.maps->disparities));
  host_.redrawImages();
  host_.listPolygons();
  writeFiles(*outcome.maps, report);
}

// The files, then the report line naming them and their folder, and the dialog closes; a file
// that cannot be written is shown and the dialog stays open.
void TFDisparites::writeFiles(const DisparityMaps& maps, ReportSink& report) {
  const QString folder = outputFolder();
  try {
    const QStringList written = io::writeDisparityFiles(folder, maps);
    report.appendLine((QStringLiteral("  Fichiers écrits dans ") +
                       QDir::toNativeSeparators(folder) + QStringLiteral(" : ") +
                       written.join(QStringLiteral(", ")))
                          .toStdString());
  } catch (const io::IoError& error) {
    prompts_.showError(this, QString::fromUtf8(error.what()));
    return;
  }
  accept();
}

}  // namespace plk
