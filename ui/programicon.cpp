// Builds the program icon from its two compiled-in images.
#include "ui/programicon.h"

QIcon programIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/quenlo/icon"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/quenlo/icon16"), QSize(16, 16));
    return icon;
}
