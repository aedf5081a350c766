#include "shell/about.h"

#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace plk {

TFAbout::TFAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("A propos"));
  setFixedSize(324, 103);

  auto* Label1 = new QLabel(QStringLiteral("Version 0.6"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont font = Label1->font();
  font.setPixelSize(24);
  font.setBold(true);
  Label1->setFont(font);
  QPalette palette = Label1->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  Label1->setPalette(palette);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setGeometry(0, 12, 324, 40);

  auto* Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(124, 64, 75, 25);
  Button1->setDefault(true);
  Button1->setFocus();
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace plk
