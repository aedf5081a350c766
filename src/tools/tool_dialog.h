#pragma once

#include <QDialog>

class QPushButton;
class QVBoxLayout;

namespace plk {

class Prompts;
class ToolHost;

// The frame shared by the tool dialogs: a modal dialog with its caption and the "Démarrer"
// and "Annuler" buttons. "Annuler" only closes the dialog.
class ToolDialog : public QDialog {
 public:
  ToolDialog(const QString& caption, ToolHost& host, Prompts& prompts, QWidget* parent);

 protected:
  // Runs the tool; the dialog closes when the run is accepted.
  virtual void Button1Click();
  void Button2Click();

  // Where a dialog puts its labels and fields, above the two buttons.
  [[nodiscard]] QVBoxLayout* fieldsLayout() const { return fieldsLayout_; }

  ToolHost& host_;
  Prompts& prompts_;

 private:
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QVBoxLayout* fieldsLayout_ = nullptr;
};

}  // namespace plk
