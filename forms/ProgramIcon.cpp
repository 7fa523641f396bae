#include "ProgramIcon.h"

#include <QString>

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/w-dq7184.png")); }
