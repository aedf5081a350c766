#pragma once

#include "tools/tool_dialog.h"

namespace plk {

class TFDisparites final : public ToolDialog {
 public:
  explicit TFDisparites(QWidget* parent = nullptr);
};

}  // namespace plk
