#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFEstime final : public ToolDialog {
 public:
  explicit TFEstime(QWidget* parent = nullptr);
};

}  // namespace plk
