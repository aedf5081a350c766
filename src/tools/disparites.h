#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFDisparites final : public ToolDialog {
 public:
  TFDisparites(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);
};

}  // namespace plk
