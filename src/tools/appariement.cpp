#include "tools/appariement.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <variant>

#include "core/runs/match.h"
#include "core/textformat.h"
#include "ui/progress.h"
#include "ui/prompts.h"
#include "ui/tool_host.h"

namespace plk {

namespace {

QLineEdit* newField(QWidget* dialog, const char* name, const std::string& text) {
  auto* field = new QLineEdit(QString::fromStdString(text), dialog);
  field->setObjectName(QString::fromLatin1(name));
  return field;
}

std::string textOf(const QLineEdit* field) { return field->text().toStdString(); }

}  // namespace

TFAppariement::TFAppariement(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Appariement des points d'intérêt"), host, prompts, parent) {
  const MatchFields defaults;
  Edit1 =
      addField("Edit1",
               QStringLiteral("Taille de la fenêtre de corrélation (NxN) :"), defaults.windowSize);
  createSearchZone();
  Edit6 =
      addField("Edit6", QStringLiteral("CCNC minimum :"), defaults.threshold);
  Edit7 = addField("Edit7", QStringLiteral("Précision au sous pixel :"),
                   defaults.precision);
  CheckBox1 = new QCheckBox(QStringLiteral("Contrainte bi-directionnelle"), this);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setChecked(defaults.bidirectional);
  fieldsLayout()->addWidget(CheckBox1);
  Edit8 =
      addField("Edit8", QStringLiteral("Souplesse : "), defaults.flexibility);
}

// The zone's title over one row of the four sizes p1, p2, q1, q2.
void TFAppariement::createSearchZone() {
  const MatchFields defaults;
  fieldsLayout()->addWidget(new QLabel(
      QStringLiteral("Dimensions de la zone de recherche (i-p1:i+p2,j-q1:j+q2) :"), this));
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("p1, p2, q1, q2 :"), this));
  Edit2 = newField(this, "Edit2", defaults.p1);
  Edit3 = newField(this, "Edit3", defaults.p2);
  Edit4 = newField(this, "Edit4", defaults.q1);
  Edit5 = newField(this, "Edit5", defaults.q2);
  for (QLineEdit* field : {Edit2, Edit3, Edit4, Edit5}) row->addWidget(field);
  fieldsLayout()->addLayout(row);
}

DisparityRange TFAppariement::disparityRange() const {
  const MatchFields defaults;
  const auto columns = [](const QLineEdit* field, const std::string& fallback) {
    return static_cast<double>(
        parseInteger(textOf(field)).value_or(parseInteger(fallback).value_or(0)));
  };
  return {-columns(Edit5, defaults.q2), columns(Edit4, defaults.q1)};
}

void TFAppariement::Button1Click() {
  const MatchFields fields{textOf(Edit1), textOf(Edit2),          textOf(Edit3),
                           textOf(Edit4), textOf(Edit5),          textOf(Edit6),
                           textOf(Edit7), CheckBox1->isChecked(), textOf(Edit8)};
  const std::optional<RunStatus> status = checkAndRun<MatchParameters>(
      [&](const Project& project) { return checkMatch(project, fields); },
      [&](Project& project, const MatchParameters& parameters, ReportSink& report,
          RunControl& control) {
        return runMatch(project, fields, parameters, report, control, host_.numberFormat());
      });
  if (status == RunStatus::Completed) accept();
}

}  // namespace plk
