#pragma once

#include "tools/tool_dialog.h"

class QLineEdit;

namespace plk {

// "Détecter de points d'intérêt...": filter size, points per polygon and inclusion window.
class TFDetect final : public ToolDialog {
 public:
  TFDetect(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);

 protected:
  void Button1Click() override;

 private:
  QLineEdit* Edit1 = nullptr;  // N_f
  QLineEdit* Edit2 = nullptr;  // K
  QLineEdit* Edit3 = nullptr;  // N_i
};

}  // namespace plk
