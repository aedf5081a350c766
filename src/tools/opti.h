#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFOpti final : public ToolDialog {
 public:
  explicit TFOpti(QWidget* parent = nullptr);
};

}  // namespace plk
