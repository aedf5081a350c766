#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFDetect final : public ToolDialog {
 public:
  TFDetect(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);
};

}  // namespace plk
