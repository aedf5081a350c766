#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFOpti final : public ToolDialog {
 public:
  TFOpti(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);
};

}  // namespace plk
