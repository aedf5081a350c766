#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFEstime final : public ToolDialog {
 public:
  TFEstime(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);
};

}  // namespace plk
