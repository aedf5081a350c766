#pragma once

#include "tools/tool_dialog.h"

class QLineEdit;

namespace plk {

// "Estimer les homographies...": the Marquardt iteration limit and the RANSAC tolerance.
class TFEstime final : public ToolDialog {
 public:
  TFEstime(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);

 protected:
  void Button1Click() override;

 private:
  void createFields();

  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
};

}  // namespace plk
