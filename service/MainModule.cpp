#include "MainModule.h"

namespace vq {

TdmMain::TdmMain(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("dmMain"));
}

TdmMain::~TdmMain() = default;

} // namespace vq
