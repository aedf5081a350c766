#include "tools/estime.h"

namespace plk {

TFEstime::TFEstime(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Estimation des homographies"), host, prompts, parent) {}

}  // namespace plk
