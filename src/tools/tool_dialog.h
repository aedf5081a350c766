#pragma once

#include <QDialog>

class QPushButton;

namespace plk {

// The frame shared by the tool dialogs: a modal dialog with its caption and the "Démarrer"
// and "Annuler" buttons. "Annuler" only closes the dialog.
class ToolDialog : public QDialog {
 public:
  ToolDialog(const QString& caption, QWidget* parent);

 protected:
  // Runs the tool; the dialog closes when the run is accepted.
  virtual void Button1Click();
  void Button2Click();

 private:
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
};

}  // namespace plk
