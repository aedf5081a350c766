#include "tools/appariement.h"

namespace plk {

TFAppariement::TFAppariement(QWidget* parent)
    : ToolDialog(QStringLiteral("Appariement des points d'intérêt"), parent) {}

}  // namespace plk
