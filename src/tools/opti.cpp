#include "tools/opti.h"

namespace plk {

TFOpti::TFOpti(QWidget* parent)
    : ToolDialog(QStringLiteral("Optimisation de la segmentation"), parent) {}

}  // namespace plk
