#include "ui/Activation.h"

#include <QtGlobal>

namespace quorvel {

#ifndef Q_OS_MACOS
void activateApplication(bool) {} // ui/mac/Activation.mm on the Mac
#endif

} // namespace quorvel
