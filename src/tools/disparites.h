#pragma once

#include "tools/tool_dialog.h"

class QButtonGroup;
class QLineEdit;

namespace plk {

// "Calculer la carte des disparités...": factor, the two multipliers and the homography table.
// The files go to the current working folder.
class TFDisparites final : public ToolDialog {
 public:
  TFDisparites(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);

 protected:
  void Button1Click() override;

 private:
  QLineEdit* addField(const char* name, const QString& label, const QString& text);
  void createRadioGroup();

  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QButtonGroup* homographyButtons_ = nullptr;
};

}  // namespace plk
