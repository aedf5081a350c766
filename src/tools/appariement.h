#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFAppariement final : public ToolDialog {
 public:
  TFAppariement(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);
};

}  // namespace plk
