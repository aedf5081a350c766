#include "tools/detect.h"

namespace plk {

TFDetect::TFDetect(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Détection de points d'intérêt"), host, prompts, parent) {}

}  // namespace plk
