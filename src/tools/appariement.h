#pragma once

#include "core/fonctions/partner.h"
#include "tools/tool_dialog.h"

class QCheckBox;
class QLineEdit;

namespace plk {

// "Apparier les points d'intérêt...": correlation window, search zone, threshold, sub-pixel
// precision and the bidirectional check with its flexibility.
class TFAppariement final : public ToolDialog {
 public:
  TFAppariement(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);

  // The disparities its search zone spans (columns q1 left to q2 right of the left point), from
  // the fields as they stand, or their defaults where they are no whole number.
  [[nodiscard]] DisparityRange disparityRange() const;

 protected:
  void Button1Click() override;

 private:
  void createSearchZone();

  QLineEdit* Edit1 = nullptr;  // N
  QLineEdit* Edit2 = nullptr;  // p1
  QLineEdit* Edit3 = nullptr;  // p2
  QLineEdit* Edit4 = nullptr;  // q1
  QLineEdit* Edit5 = nullptr;  // q2
  QLineEdit* Edit6 = nullptr;  // threshold
  QLineEdit* Edit7 = nullptr;  // precision
  QCheckBox* CheckBox1 = nullptr;
  QLineEdit* Edit8 = nullptr;  // flexibility
};

}  // namespace plk
