// The system clipboard, as the paste of a completion uses it.
#pragma once

#include <QString>

class Clipboard {
public:
    // What became of the user's clipboard when the rest of a word was placed for its paste.
    enum class Placement {
        Kept,    // placed; what the user had comes back once the paste is done
        NotKept, // placed, but what the user had could not be read in time and is gone
        Failed,  // nothing placed: a paste would insert whatever is there
    };

    Clipboard() = default;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;
    virtual ~Clipboard() = default;

    // Puts text on the clipboard (and the primary selection, where the desktop has one) for one
    // paste, marked so that clipboard history tools skip it. What was there comes back once the
    // application has fetched the text, or after a bound, unless something newer was put there
    // meanwhile. Returns within a bound, whatever the clipboard's owner does.
    virtual Placement placeForPaste(const QString& text) = 0;
};

// Qt's clipboard, where no backend of this desktop can tell when a paste is done: the text is
// placed, and what was there is not kept.
class QtClipboard final : public Clipboard {
public:
    Placement placeForPaste(const QString& text) override;
};
