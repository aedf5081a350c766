#include "tools/opti.h"

namespace plk {

TFOpti::TFOpti(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Optimisation de la segmentation"), host, prompts, parent) {}

}  // namespace plk
