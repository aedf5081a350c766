#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFDetect final : public ToolDialog {
 public:
  explicit TFDetect(QWidget* parent = nullptr);
};

}  // namespace plk
