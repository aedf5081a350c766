#include "shell/new.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "shell/main.h"
#include "ui/prompts.h"

namespace plk {

namespace {

QLineEdit* addField(QWidget* parent, const QString& name, const QString& label, int top) {
  auto* caption = new QLabel(label, parent);
  caption->setGeometry(8, top + 3, 100, 17);
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setGeometry(108, top, 320, 21);
  return field;
}

QPushButton* addButton(QWidget* parent, const QString& name, const QString& caption,
                       const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  return button;
}

// Line breaks and other control characters cannot be part of a name or a path; pasted into a
// field, they would break the project file's lines.
bool isControlCharacter(QChar c) {
  const char16_t code = c.unicode();
  return code < 0x20 || code == 0x7F || code == 0x85 || code == 0x2028 || code == 0x2029;
}

void removeControlCharacters(QLineEdit* field) {
  QString text = field->text();
  if (text.removeIf(isControlCharacter) != field->text()) field->setText(text);
}

}  // namespace

TFNew::TFNew(TFMain& main, Prompts& prompts, QString& lastDirectory, QWidget* parent)
    : QDialog(parent), main_(main), prompts_(prompts), lastDirectory_(lastDirectory) {
  setWindowTitle(QStringLiteral("Nouveau projet"));
  setFixedSize(534, 153);
  setModal(false);
  createControls();
}

void TFNew::createControls() {
  EditNom = addField(this, QStringLiteral("EditNom"), QStringLiteral("Nom du projet: "), 12);
  EditGauche = addField(this, QStringLiteral("EditGauche"), QStringLiteral("Image gauche:"), 44);
  EditDroite = addField(this, QStringLiteral("EditDroite"), QStringLiteral("Image droite:"), 76);
  auto* Button1 = addButton(this, QStringLiteral("Button1"), QStringLiteral("Parcourir..."),
                            QRect(436, 42, 88, 25));
  auto* Button2 = addButton(this, QStringLiteral("Button2"), QStringLiteral("Parcourir..."),
                            QRect(436, 74, 88, 25));
  auto* Button3 =
      addButton(this, QStringLiteral("Button3"), QStringLiteral("OK"), QRect(180, 116, 75, 25));
  auto* Button4 = addButton(this, QStringLiteral("Button4"), QStringLiteral("Annuler"),
                            QRect(280, 116, 75, 25));
  Button3->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TFNew::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TFNew::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TFNew::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &QDialog::reject);
}

// The name field has the focus each time the dialog opens.
void TFNew::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  EditNom->setFocus();
}

QString TFNew::projectName() const { return EditNom->text(); }
QString TFNew::leftImagePath() const { return EditGauche->text(); }
QString TFNew::rightImagePath() const { return EditDroite->text(); }

void TFNew::setFields(const QString& name, const QString& leftPath, const QString& rightPath) {
  EditNom->setText(name);
  EditGauche->setText(leftPath);
  EditDroite->setText(rightPath);
}

void TFNew::Button1Click() { browse(EditGauche, QStringLiteral("Ouvrir l'image gauche")); }

void TFNew::Button2Click() { browse(EditDroite, QStringLiteral("Ouvrir l'image droite")); }

void TFNew::browse(QLineEdit* field, const QString& title) {
  const QString path = prompts_.openFileName(this, title, lastDirectory_, imageFileFilter());
  if (path.isEmpty()) return;
  field->setText(path);
  lastDirectory_ = QFileInfo(path).absolutePath();
}

QString TFNew::missingField() const {
  if (EditNom->text().isEmpty()) return QStringLiteral("Vous devez spécifier un nom de projet !");
  if (EditGauche->text().isEmpty())
    return QStringLiteral("Vous devez spécifier une image gauche !");
  if (EditDroite->text().isEmpty())
    return QStringLiteral("Vous devez spécifier une image droite !");
  return {};
}

// A project opened while the dialog was showing is closed first; if the user cancels that,
// the dialog stays open. The texts lose their control characters before they are checked.
void TFNew::Button3Click() {
  for (QLineEdit* field : {EditNom, EditGauche, EditDroite}) removeControlCharacters(field);
  if (const QString message = missingField(); !message.isEmpty()) {
    prompts_.showError(this, message);
    return;
  }
  if (!main_.session().askSaveAndClose()) return;
  main_.session().createProjectFromImages();
  close();
}

QString imageFileFilter() {
  QStringList patterns;
  for (const QByteArray& format : QImageReader::supportedImageFormats()) {
    patterns << QStringLiteral("*.") + QString::fromLatin1(format);
  }
  return QStringLiteral("Images (") + patterns.join(QLatin1Char(' ')) + QStringLiteral(")");
}

}  // namespace plk
