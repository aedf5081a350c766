#include "tools/tool_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/prompts.h"

namespace plk {

ToolDialog::ToolDialog(const QString& caption, ToolHost& host, Prompts& prompts, QWidget* parent)
    : QDialog(parent), host_(host), prompts_(prompts) {
  setWindowTitle(caption);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  fieldsLayout_ = new QVBoxLayout;
  layout->addLayout(fieldsLayout_);

  auto* buttons = new QHBoxLayout;
  Button1 = new QPushButton(QStringLiteral("Démarrer"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Annuler"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  layout->addLayout(buttons);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

QLineEdit* ToolDialog::addField(const char* name, const QString& label, const std::string& text) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(label, this));
  auto* field = new QLineEdit(QString::fromStdString(text), this);
  field->setObjectName(QString::fromLatin1(name));
  row->addWidget(field);
  fieldsLayout_->addLayout(row);
  return field;
}

void ToolDialog::showRefusal(const std::string& message) {
  prompts_.showError(this, QString::fromStdString(message));
}

void ToolDialog::Button1Click() { accept(); }

void ToolDialog::Button2Click() { reject(); }

}  // namespace plk
