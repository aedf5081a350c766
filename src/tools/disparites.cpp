#include "tools/disparites.h"

namespace plk {

TFDisparites::TFDisparites(QWidget* parent)
    : ToolDialog(QStringLiteral("Calcul de la carte des disparités"), parent) {}

}  // namespace plk
