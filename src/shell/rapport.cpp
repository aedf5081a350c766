#include "shell/rapport.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "io/io_error.h"
#include "io/text_file.h"
#include "shell/file_names.h"
#include "shell/new.h"
#include "ui/placement.h"
#include "ui/prompts.h"

namespace plk {

TFRapport::TFRapport(Prompts& prompts, const TFNew& newProject, QString& lastDirectory,
                     QWidget* parent)
    : QWidget(parent), prompts_(prompts), newProject_(newProject), lastDirectory_(lastDirectory) {
  setWindowTitle(QStringLiteral("Rapport"));
  resize(669, 459);
  createControls();
  centreOnScreen(*this);
}

void TFRapport::createControls() {
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setFocus();
  // Every move of the view, by the user or by the report itself, decides whether the next
  // lines are followed: a view left at the end follows them, one scrolled up stays put.
  QScrollBar* bar = Memo1->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this,
          [this, bar](int value) { followsEnd_ = value == bar->maximum(); });

  auto* Button1 = new QPushButton(QStringLiteral("Sauver..."), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  auto* Button2 = new QPushButton(QStringLiteral("Effacer"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  connect(Button1, &QPushButton::clicked, this, &TFRapport::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TFRapport::Button2Click);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 8, 8);
  layout->addWidget(Memo1, 0, 0, 1, 3);
  layout->setRowStretch(0, 1);
  layout->setColumnStretch(0, 1);
  layout->addWidget(Button1, 1, 1);
  layout->addWidget(Button2, 1, 2);
}

// The text box writes an appended line into its first block while the document is empty, so
// a report that so far holds only empty lines gets its line break explicitly.
void TFRapport::appendLine(std::string_view utf8) {
  QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  // CR LF, and the LF CR of the estimation's matrix entries, are one line break each.
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  if (holdsLines_ && Memo1->document()->isEmpty()) text.prepend(QLatin1Char('\n'));
  Memo1->appendPlainText(text);
  holdsLines_ = true;
  if (followsEnd_) scrollToEnd();
}

void TFRapport::scrollToEnd() {
  QScrollBar* bar = Memo1->verticalScrollBar();
  bar->setValue(bar->maximum());
}

QStringList TFRapport::lines() const {
  if (!holdsLines_ && Memo1->document()->isEmpty()) return {};
  return Memo1->toPlainText().split(QLatin1Char('\n'));
}

void TFRapport::Button1Click() {
  const QString chosen = prompts_.saveFileName(
      this, QStringLiteral("Sauvegarde du rapport en cours"), lastDirectory_,
      newProject_.projectName() + QStringLiteral(".txt"), QStringLiteral("Rapport PLK(*.txt)"));
  if (chosen.isEmpty()) return;
  const QString path = withExtension(chosen, QStringLiteral(".txt"));
  if (QFileInfo::exists(path) && prompts_.askYesNo(this, kOverwriteQuestion) != Answer::Yes) return;
  lastDirectory_ = QFileInfo(path).absolutePath();
  try {
    io::writeTextFile(path, lines());
  } catch (const io::IoError& error) {
    prompts_.showError(this, QString::fromUtf8(error.what()));
  }
}

void TFRapport::Button2Click() {
  Memo1->clear();
  holdsLines_ = false;
}

}  // namespace plk
