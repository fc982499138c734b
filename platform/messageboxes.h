// Modal message boxes: information with OK, questions with Yes and No.
#pragma once

#include <QString>

// The title of a box whose command passes none of its own: the application's.
inline const QString applicationTitle = QStringLiteral("Quenlo");

class MessageBoxes {
public:
    MessageBoxes() = default;
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;
    virtual ~MessageBoxes() = default;

    // Shows text with an OK button only and no icon; returns when the user closes it.
    virtual void inform(const QString& title, const QString& text) = 0;
    // Asks with Yes and No buttons; true only when the answer is Yes.
    virtual bool ask(const QString& title, const QString& text) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    void inform(const QString& title, const QString& text) override;
    bool ask(const QString& title, const QString& text) override;
};
