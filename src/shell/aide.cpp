#include "shell/aide.h"

#include <QCoreApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>

#include "io/text_file.h"
#include "ui/placement.h"
#include "ui/prompts.h"

namespace plk {

namespace {

const QString kHelpFileName = QStringLiteral("aide.txt");

}  // namespace

TFHelp::TFHelp(Prompts& prompts, const QStringList& folders, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Aide"));
  setFixedSize(696, 480);
  centreOnScreen(*this);

  Memo1 = new QPlainTextEdit(QStringLiteral("Memo1"), this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(0, 0, 696, 433);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(310, 445, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  loadHelpText(prompts, folders);
}

QString TFHelp::text() const { return Memo1->toPlainText(); }

void TFHelp::loadHelpText(Prompts& prompts, const QStringList& folders) {
  for (const QString& folder : folders) {
    if (const auto lines = io::readTextFile(QDir(folder).filePath(kHelpFileName))) {
      Memo1->setPlainText(lines->join(QLatin1Char('\n')));
      return;
    }
  }
  prompts.showError(this, QStringLiteral("Impossible de lire le fichier d'aide « aide.txt » : "
                                         "l'aide ne sera pas disponible."));
}

QStringList helpFolders() {
  const QString program = QCoreApplication::applicationDirPath();
  return {QDir::currentPath(), program, QDir(program).filePath(QStringLiteral("../share/plk"))};
}

}  // namespace plk
