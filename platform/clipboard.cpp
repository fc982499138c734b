// Qt's clipboard behind the Clipboard interface.
#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

void QtClipboard::clear() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    if (clipboard->supportsSelection())
        clipboard->clear(QClipboard::Selection);
}

bool QtClipboard::setText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    if (clipboard->supportsSelection())
        clipboard->setText(text, QClipboard::Selection);
    // Qt reports no failure of its own; reading back tells whether the text took.
    return clipboard->text(QClipboard::Clipboard) == text;
}
