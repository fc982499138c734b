// QDesktopServices behind the WebPages interface.
#include "webpages.h"

#include <QDesktopServices>

bool DesktopWebPages::open(const QUrl& page) {
    return QDesktopServices::openUrl(page);
}
