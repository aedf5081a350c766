#pragma once

#include "core/runs/opti.h"
#include "tools/tool_dialog.h"

class QButtonGroup;
class QLineEdit;

namespace plk {

// "Optimisation de la segmentation": precision levels, sampling step, iterations and search
// method. The dialog lives as long as the program, so its fields keep their texts.
class TFOpti final : public ToolDialog {
 public:
  TFOpti(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);

 protected:
  void Button1Click() override;
  void showEvent(QShowEvent* event) override;

 private:
  void createLevelField();
  void createSamplingGroup();
  void createIterationField();
  void createMethodGroup();
  void createAnnealingGroup();
  [[nodiscard]] OptiFields readFields() const;

  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QButtonGroup* samplingItems_ = nullptr;  // RadioGroup1's items
  QButtonGroup* methodItems_ = nullptr;    // RadioGroup2's items
};

}  // namespace plk
