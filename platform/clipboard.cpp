// Qt's clipboard behind the Clipboard interface.
#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

QMimeData* transientText(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    // Clipboard history tools leave content so marked out of their history.
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    return data;
}

} // namespace

Clipboard::Placement QtClipboard::placeForPaste(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(transientText(text), QClipboard::Clipboard);
    if (clipboard->supportsSelection())
        clipboard->setMimeData(transientText(text), QClipboard::Selection);
    // Qt reports no failure of its own; reading back tells whether the text took.
    return clipboard->text(QClipboard::Clipboard) == text ? Placement::NotKept : Placement::Failed;
}
