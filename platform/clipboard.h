// The system clipboard, text only.
#pragma once

#include <QString>

class Clipboard {
public:
    Clipboard() = default;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;
    virtual ~Clipboard() = default;

    // Empties the clipboard.
    virtual void clear() = 0;
    // Puts text on the clipboard (and, where the desktop has one, the primary selection).
    // False when the text could not be placed there.
    virtual bool setText(const QString& text) = 0;
};

// Qt's clipboard; on X11 the primary selection too, since terminals paste that on Shift+Insert.
class QtClipboard final : public Clipboard {
public:
    void clear() override;
    bool setText(const QString& text) override;
};
