// The word-kind and completion-key choices that persist, OptionsCheck, and the display time.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class MessageBoxes;
class SettingsStore;

struct OptionControls {
    QCheckBox* Check5;  // "Use Default Words", stored as "C5"
    QCheckBox* Check4;  // "Use Custom Words", stored as "C4"
    QRadioButton* Opt1; // Shift completes, stored as "Opt1"
    QRadioButton* Opt2; // Tab completes, stored as "Opt2"
    QLineEdit* Text2;   // seconds the pop-up stays up; not stored
};

class PersistedOptions : public QObject {
    Q_OBJECT
public:
    PersistedOptions(const OptionControls& controls, SettingsStore& settings, MessageBoxes& messages,
                     std::function<void(std::int16_t)> setCompletionKeyCode,
                     std::function<void(int milliseconds)> setHideInterval);

    // Restores C5, C4, Opt1 and Opt2, in that order. A stored value that does not convert
    // leaves its control as it was, silently.
    void restore();
    // Stores which option is selected and derives the completion key code from it.
    void OptionsCheck();

    // The key code that completes a word for the given option state: Shift or Tab.
    static std::int16_t completionKeyCodeFor(bool shiftSelected);
    // The text as a Boolean the way stored options are read: "True"/"False" in any case, or a
    // number (0 false, anything else true). Nothing for any other text.
    static std::optional<bool> toBoolean(const QString& text);

private:
    void restoreCheckBox(QCheckBox* box, const QString& key);
    void restoreOption(QRadioButton* option, QRadioButton* other, const QString& key);
    void writeCheckBox(QCheckBox* box, const QString& key);
    void applyDisplayTime();

    OptionControls m_controls;
    SettingsStore& m_settings;
    MessageBoxes& m_messages;
    std::function<void(std::int16_t)> m_setCompletionKeyCode;
    std::function<void(int)> m_setHideInterval;
};
