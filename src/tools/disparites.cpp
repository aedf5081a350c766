#include "tools/disparites.h"

namespace plk {

TFDisparites::TFDisparites(ToolHost& host, Prompts& prompts, QWidget* parent)
    : ToolDialog(QStringLiteral("Calcul de la carte des disparités"), host, prompts, parent) {}

}  // namespace plk
