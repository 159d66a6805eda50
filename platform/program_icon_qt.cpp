// SPDX-License-Identifier: MIT
#include "platform/program_icon_qt.h"

namespace kelvora::platform {

QIcon ProgramIcon() {
  QIcon icon;
  for (const char* size : {"32", "48", "256"})
    icon.addFile(QStringLiteral(":/icons/kelvora-%1.png").arg(QLatin1String(size)));
  return icon;
}

}  // namespace kelvora::platform
