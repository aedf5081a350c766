#include "tools/appariement.h"

namespace plk {

TFAppariement::TFAppariement(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Appariement des points d'intérêt"), host, prompts, parent) {}

}  // namespace plk
