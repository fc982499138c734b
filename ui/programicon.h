// The program's icon, drawn for this program in two sizes (32 x 32 and 16 x 16, 16 colours).
#pragma once

#include <QIcon>

// Both sizes in one icon; the same images are ":/quenlo/icon" (32) and ":/quenlo/icon16" (16).
QIcon programIcon();
