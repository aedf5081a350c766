#include "tools/detect.h"

namespace plk {

TFDetect::TFDetect(QWidget* parent)
    : ToolDialog(QStringLiteral("Détection de points d'intérêt"), parent) {}

}  // namespace plk
