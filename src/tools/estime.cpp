#include "tools/estime.h"

namespace plk {

TFEstime::TFEstime(QWidget* parent)
    : ToolDialog(QStringLiteral("Estimation des homographies"), parent) {}

}  // namespace plk
