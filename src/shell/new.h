#pragma once

#include <QDialog>

class QLineEdit;

namespace plk {

class Prompts;
class TFMain;

// The new-project dialog. Its three texts are the project's name and image paths; they stay
// between projects, and opening a project file writes them.
class TFNew final : public QDialog {
 public:
  // `lastDirectory` is shared with the other file dialogs.
  TFNew(TFMain& main, Prompts& prompts, QString& lastDirectory, QWidget* parent = nullptr);

  [[nodiscard]] QString projectName() const;
  [[nodiscard]] QString leftImagePath() const;
  [[nodiscard]] QString rightImagePath() const;
  void setFields(const QString& name, const QString& leftPath, const QString& rightPath);

  void Button1Click();  // browse for the left image
  void Button2Click();  // browse for the right image
  void Button3Click();  // "OK"

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void browse(QLineEdit* field, const QString& title);
  // The first empty field's message, or an empty text when all three are filled.
  [[nodiscard]] QString missingField() const;

  TFMain& main_;
  Prompts& prompts_;
  QString& lastDirectory_;
  QLineEdit* EditNom = nullptr;
  QLineEdit* EditGauche = nullptr;
  QLineEdit* EditDroite = nullptr;
};

// "Images (*.bmp *.png ...)": every format the image readers know.
[[nodiscard]] QString imageFileFilter();

}  // namespace plk
