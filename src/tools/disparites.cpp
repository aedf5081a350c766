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
                   defaults.factor);
  Edit2 = addField("Edit2", QStringLiteral("Coefficient multiplicatif pour les cartes RVB :"),
                   defaults.rgbMultiplier);
  Edit3 = addField("Edit3",
                   QStringLiteral("Coefficient multiplicatif pour la carte en niveaux de gris :"),
                   defaults.greyMultiplier);
  createRadioGroup();
  createFolderRow();
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
  const DisparitesFields fields{Edit1->text().toStdString(), Edit2->text().toStdString(),
                                Edit3->text().toStdString(), homographyButtons_->checkedId()};
  std::optional<DisparityMaps> maps;
  const std::optional<RunStatus> status = checkAndRun<DisparityParameters>(
      [&](const Project& project) { return checkDisparites(project, fields); },
      [&](Project& project, const DisparityParameters& parameters, ReportSink& report,
          RunControl& control) {
        DisparitesOutcome outcome =
            runDisparites(project, fields, parameters, report, control, host_.numberFormat());
        if (outcome.status == RunStatus::Completed) keepMap(project, fields, *outcome.maps);
        maps = std::move(outcome.maps);
        return outcome.status;
      });
  if (status == RunStatus::Completed) writeFiles(*maps);
}

// The windows show the verdicts on the estimate just used, and the map window this map; the
// files take the rest.
void TFDisparites::keepMap(Project& project, const DisparitesFields& fields, DisparityMaps& maps) {
  project.results.verdictEstimate = fields.homographyIndex;
  project.results.disparityMap =
      std::make_shared<const std::vector<double>>(std::move(maps.disparities));
}

// The files, then the report line naming them and their folder, and the dialog closes; a file
// that cannot be written is shown and the dialog stays open.
void TFDisparites::writeFiles(const DisparityMaps& maps) {
  const QString folder = outputFolder();
  try {
    const QStringList written = io::writeDisparityFiles(folder, maps);
    host_.showReport().appendLine((QStringLiteral("  Fichiers écrits dans ") +
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
