// Qt's clipboard behind the Clipboard interface.
#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

QMimeData* textData(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    // GTK on X11 asks for this target first and, where it is missing, asks once more for another:
    // the keyboard hook lets the keys typed behind a completion go once the application has fetched
    // the text, and a second request that comes late would find them typed before the paste.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        data->setData(QStringLiteral("text/plain;charset=utf-8"), text.toUtf8());
    return data;
}

} // namespace

void QtClipboard::clear() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    if (clipboard->supportsSelection())
        clipboard->clear(QClipboard::Selection);
}

bool QtClipboard::setText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(textData(text), QClipboard::Clipboard);
    if (clipboard->supportsSelection())
        clipboard->setMimeData(textData(text), QClipboard::Selection);
    // Qt reports no failure of its own; reading back tells whether the text took.
    return clipboard->text(QClipboard::Clipboard) == text;
}
