// The program's icon, the one its menu launcher shows.
#pragma once

#include <QIcon>

// From the program's resources; the same picture as packaging/w-dq7184.png.
QIcon ProgramIcon();
