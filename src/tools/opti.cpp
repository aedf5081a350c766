#include "tools/opti.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/placement.h"
#include "ui/progress.h"
#include "ui/prompts.h"
#include "ui/tool_host.h"

namespace plk {

namespace {

QLineEdit* createEdit(QWidget* parent, const QString& name, const QString& text) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  return edit;
}

// A radio group: a titled box whose items are numbered from 0 in the order given.
QGroupBox* createRadioGroup(QWidget* parent, const QString& name, const QString& title,
                            const QStringList& items, int checked, QButtonGroup*& buttons,
                            QGridLayout*& layout) {
  auto* group = new QGroupBox(title, parent);
  group->setObjectName(name);
  layout = new QGridLayout(group);
  buttons = new QButtonGroup(group);
  for (int i = 0; i < items.size(); ++i) {
    auto* item = new QRadioButton(items[i], group);
    buttons->addButton(item, i);
    layout->addWidget(item, i, 0);
  }
  buttons->button(checked)->setChecked(true);
  return group;
}

std::string text(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

TFOpti::TFOpti(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Optimisation de la segmentation"), host, prompts, parent) {
  createLevelField();
  createSamplingGroup();
  createIterationField();
  createMethodGroup();
  createAnnealingGroup();
}

void TFOpti::createLevelField() {
  const OptiFields defaults;
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Niveaux de précision : "), this));
  Edit1 = createEdit(this, QStringLiteral("Edit1"), QString::fromStdString(defaults.levels));
  row->addWidget(Edit1);
  fieldsLayout()->addLayout(row);
}

void TFOpti::createSamplingGroup() {
  const OptiFields defaults;
  QGridLayout* layout = nullptr;
  QGroupBox* group = createRadioGroup(
      this, QStringLiteral("RadioGroup1"), QStringLiteral("Pas d'échantillonage"),
      {QStringLiteral("Adaptatif"), QStringLiteral("Forcé")}, 0, samplingItems_, layout);
  Edit2 = createEdit(group, QStringLiteral("Edit2"), QString::fromStdString(defaults.forcedStep));
  layout->addWidget(Edit2, 1, 1);
  fieldsLayout()->addWidget(group);
}

void TFOpti::createIterationField() {
  const OptiFields defaults;
  auto* row = new QHBoxLayout;
  row->addWidget(
      new QLabel(QStringLiteral("Nombre d'itérations maximum par niveau de précision : "), this));
  Edit3 = createEdit(this, QStringLiteral("Edit3"),
                     QString::fromStdString(defaults.iterationsPerLevel));
  row->addWidget(Edit3);
  fieldsLayout()->addLayout(row);
}

void TFOpti::createMethodGroup() {
  const OptiFields defaults;
  QGridLayout* layout = nullptr;
  QGroupBox* group = createRadioGroup(
      this, QStringLiteral("RadioGroup2"), QStringLiteral("Méthode de recherche des solutions"),
      {QStringLiteral("Solutions exactes"), QStringLiteral("Méthode incomplète"),
       QStringLiteral("Méthode incomplète à partir de N sommets")},
      2, methodItems_, layout);
  auto* n = new QHBoxLayout;
  n->addWidget(new QLabel(QStringLiteral("N = "), group));
  Edit4 = createEdit(group, QStringLiteral("Edit4"), QString::fromStdString(defaults.minVertices));
  n->addWidget(Edit4);
  layout->addLayout(n, 2, 1);
  fieldsLayout()->addWidget(group);
}

void TFOpti::createAnnealingGroup() {
  const OptiFields defaults;
  auto* group = new QGroupBox(QStringLiteral("Méthode incomplète"), this);
  auto* layout = new QGridLayout(group);
  layout->addWidget(
      new QLabel(QStringLiteral("Maximum d'itérations d'optimisation par itération"), group), 0, 0);
  layout->addWidget(new QLabel(QStringLiteral("dans un niveau de précision :"), group), 1, 0);
  Edit5 = createEdit(group, QStringLiteral("Edit5"),
                     QString::fromStdString(defaults.annealingIterations));
  layout->addWidget(Edit5, 1, 1);
  fieldsLayout()->addWidget(group);
}

OptiFields TFOpti::readFields() const {
  OptiFields fields;
  fields.levels = text(Edit1);
  fields.sampling =
      samplingItems_->checkedId() == 1 ? SamplingChoice::Forced : SamplingChoice::Adaptive;
  fields.forcedStep = text(Edit2);
  fields.iterationsPerLevel = text(Edit3);
  fields.method = static_cast<SearchMethod>(methodItems_->checkedId());
  fields.minVertices = text(Edit4);
  fields.annealingIterations = text(Edit5);
  return fields;
}

void TFOpti::Button1Click() {
  OptiFields fields = readFields();
  bool logFailed = false;
  const std::optional<RunStatus> status = checkAndRun<OptiParameters>(
      [&](const Project& project) {
        Checked<OptiParameters> checked = checkOpti(project, fields);
        Edit1->setText(QString::fromStdString(fields.levels));
        return checked;
      },
      [&](Project& project, const OptiParameters& parameters, ReportSink& report,
          RunControl& control) {
        host_.beginPolygonEdit();
        const OptiOutcome outcome =
            runOpti(project, fields, parameters, report, control, host_.numberFormat());
        host_.endPolygonEdit(QStringLiteral("optimisation de la segmentation"));
        logFailed = outcome.logFailed;
        return outcome.status;
      });
  if (logFailed) {
    prompts_.showError(this, QString::fromUtf8(kOptimLogFailed.data(),
                                               static_cast<qsizetype>(kOptimLogFailed.size())));
  }
  if (status == RunStatus::Completed) accept();
}

void TFOpti::showEvent(QShowEvent* event) {
  ToolDialog::showEvent(event);
  centreOnScreen(*this);
}

}  // namespace plk
