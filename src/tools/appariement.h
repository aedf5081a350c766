#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFAppariement final : public ToolDialog {
 public:
  explicit TFAppariement(QWidget* parent = nullptr);
};

}  // namespace plk
